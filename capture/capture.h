// Session capture files of the monitor: on the driver's request each modem's
// recorded session data goes into a capture file, finished captures can be
// renamed to numbered log files, and bit 0 of TarvelSetup follows the last
// start or stop of either modem.
#pragma once

#include <cstddef>
#include <cstdint>

#include "decoder/driver_memory.h"
#include "decoder/status.h"
#include "capture/capture_copy.h"
#include "driverlink/device.h"
#include "driverlink/ioctl.h"
#include "driverlink/recording_flag.h"
#include "driverlink/platform.h"

constexpr size_t CAPTURE_NAME_BYTES = 128;  // at most 127 characters and a NUL

// Byte limit of the session.rec.N capture that a restart request starts (20 MiB).
constexpr int64_t RESTART_BYTE_LIMIT = 20971520;
// A capture-file request gives its limit in mebibytes. Requests of 2048 MiB
// or more get this limit, the largest any request can express
// (0xFFFFFFFF MiB): in practice the capture runs until the modems go idle.
constexpr uint32_t NAMED_LIMIT_MAX_MIB = 2048;
constexpr int64_t CAPTURE_BYTE_LIMIT_MAX = static_cast<int64_t>(0xFFFFFFFFu) << 20;

// The error number reported when the driver's name for a capture file lies
// in driver memory that cannot be read: ERROR_NOACCESS, the Win32 code for
// an invalid access to a memory location, on every platform.
constexpr int CAPTURE_NAME_UNREADABLE_ERROR = 998;
// The error number reported for a driver-supplied name that is absolute,
// climbs out of the current directory through "..", or holds control
// characters, holds a colon or a Windows device name (NUL, aux.txt, COM1,
// ...): ERROR_INVALID_NAME, on every platform.
constexpr int CAPTURE_NAME_INVALID_ERROR = 123;

// The capture of one modem. Counts are 64-bit so that no limit or total wraps.
struct CaptureSlot {
    CaptureFile file;                     // the open capture file and what reached it
    char file_name[CAPTURE_NAME_BYTES];   // current capture file; kept after the stop
    int64_t byte_limit;                   // the capture stops before reaching this
    int64_t byte_count;                   // bytes delivered since the start, the dropped last chunk included
    bool active;
};

// The monitor's captures over one driver link: the slots of modem 1
// (index 0) and modem 2 (index 1), the running number of unnamed capture
// files shared by both modems, and the one buffer that capture reads fill.
struct CaptureSet {
    DriverLink *link;
    CaptureSlot slot[2];  // modem 1 (index 0) and modem 2
    int32_t log_counter;
    // The device's capture lock, held while either capture runs, and
    // whether the last start failed because another program holds it.
    PlatformHandle lock;
    bool start_refused_busy;
    SetupValue setup;  // scratch for the recording flag
    // While its reader is set, decoding reads driver memory through it
    // instead of the link's own (a session recording's logging reader, which
    // passes each read on to the source and keeps what it read). Null: the
    // link's reader.
    DriverMemory memory_tap;
    // Set for a monitor that replays a recorded session: every capture and
    // restart request gives the line it gave live, but no file is created,
    // written, renamed or deleted (the files in the current directory may
    // be the very captures that the session's driver wrote). Kept by
    // reset_captures.
    bool replaying;
    unsigned char buffer[CAPTURE_BUFFER_SIZE];
};

// The start state over `link`: slots empty and inactive, log_counter 1.
void capture_set_init(CaptureSet &captures, DriverLink &link);

// The driver memory that the records fetched through these captures' link
// are decoded against, and capture names are read from: the tap when one is
// set, else the memory of the link's driver.
DriverMemory capture_memory(const CaptureSet &captures);

// Message texts written into a StatusLine.
extern const char CREATED_LOG_TEXT[];  // "Created new log file %s"
extern const char FAILED_LOG_TEXT[];   // "Failed to create new log file error = %d"
// The line of a capture that could not start because another program (a
// recorder, another monitor) holds the device's capture lock.
extern const char CAPTURE_BUSY_TEXT[];

// Starts (start true) or stops the capture of modem 1 or 2. A start takes
// the device's capture lock (held until both captures have stopped; when
// another program holds it, nothing is created or changed), creates
// file_name anew, sets bit 0 of TarvelSetup and counts towards byte_limit.
// A stop closes the file and clears bit 0; stopping an inactive slot touches
// nothing. False for a bad modem, when the registry key cannot be opened
// (nothing changed), when a start's file cannot be created, or when
// TarvelSetup cannot be read whole (a start then changes nothing; a stop
// still closes the file and leaves the value untouched).
bool set_capture(CaptureSet &captures, bool start, int modem, const char *file_name = nullptr, int64_t byte_limit = 0);

// Carries out a restart request (code 77): param1 from 10000 to 19999 stops
// the capture, renames it to "<param1 - 10000>.log" when param1 is above
// 10000, and starts session.rec.N. line receives a message only for a rename,
// or CAPTURE_BUSY_TEXT when another program holds the capture lock.
// When that rename fails and the finished capture is session.rec.N itself,
// no new capture is started, so that the finished one is not replaced.
void restart_capture(CaptureSet &captures, int modem, int32_t param1, StatusLine &line);

// Carries out a capture-file request (code 131): stops the capture and, unless
// limit_mib is 0, starts a new one named by the driver's text at name_address
// (or "<log_counter>.log" when name_address is 0), read from
// capture_memory(captures). line receives the result, except for a
// stop-only request.
void open_named_capture(CaptureSet &captures, int modem, uint32_t limit_mib, uint32_t name_address, StatusLine &line);

// Moves each active capture's pending data into its file: one read per
// modem present, stopping a capture at its limit and both when no modem is
// active. When the presence check finds the count fallen to 0, each running
// capture first gets one last read, before the device closes (the capture
// code registers that with set_presence_closing_hook on its first start).
void drain_captures(CaptureSet &captures);

// Back to the start state: any open capture file closed (without touching
// the registry), slots zeroed and inactive, log_counter 1.
void reset_captures(CaptureSet &captures);
