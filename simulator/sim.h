// The simulated Tarvel driver: one core that both transports serve (in-process
// for tests, the tarvel-sim daemon for separate programs).
//
// The core keeps per-modem queues of status records, eye points and capture
// data, driver memory as an address map, the registry values that the driver
// maintains or the programs write (ActiveModems, TarvelSetup under both
// programs' keys), a log of the device-control calls it served, and faults
// that tests switch on to check how the programs cope with a driver that
// breaks its contract.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "decoder/status.h"
#include "driverlink/ioctl.h"

// Back to the state of a driver just loaded: queues, memory, call log and
// faults empty; ActiveModems 0 under both keys; TarvelSetup absent; both
// program keys present; the device closed.
void sim_reset();

// --- Registry world ----------------------------------------------------
// ActiveModems under both programs' keys.
void sim_set_active_modems(uint32_t count);
// Raw registry values and keys, as the programs see them.
void sim_set_value(const char *key_path, const char *value_name, const void *data, uint32_t size);
// Copies the value into data (capacity *size); true when present and it fit;
// *size receives the value's size when present.
bool sim_get_value(const char *key_path, const char *value_name, void *data, uint32_t *size);
void sim_remove_value(const char *key_path, const char *value_name);
void sim_remove_key(const char *key_path);
void sim_create_key(const char *key_path);
bool sim_key_exists(const char *key_path);
// The value's bytes, or nullptr when the key or value is missing.
const std::vector<unsigned char> *sim_find_value(const char *key_path, const char *value_name);

// --- Queues and memory -------------------------------------------------
void sim_queue_record(const StatusRecord &record);
// Queues a record whose driver memory is fixed now: the intake's reads for
// it see the memory as it stands at this moment, whatever changes before
// it is fetched (a session holds, before each record, the memory that its
// decoding read then).
void sim_queue_record_pinned(const StatusRecord &record);
void sim_queue_eye(int modem, const EyePoint *points, size_t count);            // modem 1 or 2
void sim_queue_capture(int modem, const unsigned char *bytes, size_t count);    // modem 1 or 2
void sim_queue_capture_fill(int modem, size_t count, unsigned char byte);
void sim_map_memory(uint32_t address, const unsigned char *bytes, size_t count);
void sim_unmap_memory(uint32_t address, size_t count);  // reading these bytes fails again
// Driver memory reads: how many leading bytes at address are mapped (and copied).
size_t sim_read_memory(uint32_t address, unsigned char *dest, size_t count);
// Driver memory as the record taken last sees it: its pinned memory where
// that answers the read, else the memory as it stands. What programs read.
size_t sim_read_record_memory(uint32_t address, unsigned char *dest, size_t count);
size_t sim_pending_records();
size_t sim_pending_capture(int modem);

// --- Device ------------------------------------------------------------
// The device's name without the \\.\ prefix ("trvlmd" by default).
void sim_set_device_name(const char *name);
bool sim_open_device(const char *device_path);  // path as the programs give it, \\.\NAME
void sim_close_device();
bool sim_device_open();
// Attempts to open the device (successful or not) since sim_reset.
uint32_t sim_open_count();
// Serves one device-control call; *returned receives the reported count.
bool sim_device_control(uint32_t code, const void *input, uint32_t input_size,
                        void *output, uint32_t output_size, uint32_t *returned);
// sim_device_control, also telling how many bytes went into output (which
// differs from the reported count for eye calls and under faults).
bool sim_device_control_bytes(uint32_t code, const void *input, uint32_t input_size,
                              void *output, uint32_t output_size, uint32_t *returned,
                              uint32_t *bytes_written);

// --- Capture locks ---------------------------------------------------------
// One reader of a device's capture data at a time, for the programs of this
// process: a lock number, or SIM_LOCK_BUSY when the device's lock is held,
// SIM_LOCK_FULL when every slot is taken. sim_reset frees them all.
constexpr int SIM_LOCK_BUSY = -1;
constexpr int SIM_LOCK_FULL = -2;
int sim_lock_capture(const char *device_path);
void sim_unlock_capture(int lock);

// --- Playing traces ----------------------------------------------------
// Time in the core is virtual: directives of a played trace take effect when
// the core's clock reaches them. The daemon advances the clock with real time;
// the in-process backend advances it when the program sleeps, so a program
// under test runs through a whole trace deterministically and at full speed.
struct TraceDirective;
// Appends a trace's directives to the script (after whatever is still pending).
void sim_play(const TraceDirective *directives, size_t count);
// The same, with the modems going idle linger_ms after the directives
// before each "active 0", as a driver's do a little after their last record.
void sim_play_lingering(const TraceDirective *directives, size_t count, uint32_t linger_ms);
// Lets ms milliseconds pass: every directive that falls due takes effect.
void sim_advance(uint32_t milliseconds);
// True when the script has no directive left.
bool sim_script_done();
// Milliseconds of virtual time since sim_reset.
uint64_t sim_clock();

// --- Faults ------------------------------------------------------------
struct SimFaults {
    uint32_t status_count;      // nonzero: report this count for every status call that delivers a record
    uint32_t eye_count;         // nonzero: report this many points on every eye call
    uint32_t capture_count;     // nonzero: report this many bytes on every capture read with data pending
    bool refuse_open;           // the device refuses to open while ActiveModems is nonzero
    uint32_t setup_value_size;  // nonzero: TarvelSetup starts as a value of this many bytes (> 4)
};
void sim_set_faults(const SimFaults &faults);
// Byte index of the TarvelSetup value that the setup-size fault creates:
// '@', 'A', ... '\x7f', '@', ... (bit 0 of the first byte clear).
unsigned char sim_setup_pattern_byte(size_t index);

// --- Call log ----------------------------------------------------------
// One line per device-control call served: "NAME INPUT COUNT\n", with NAME
// the call's IOCTL_TARVEL_ name, INPUT the 32-bit input word in decimal or
// "-" when the call takes none, COUNT the reported count in decimal. Capture
// data dropped because a modem's buffer was full adds
// "CAPTURE_DROPPED MODEM BYTES".
const char *sim_call_log();
void sim_clear_call_log();
