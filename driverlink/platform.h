// The small platform layer under the driver link. One backend is linked into
// each program: Win32 (the real driver, the registry, Win32 files), POSIX
// (the tarvel-sim daemon, its registry tree, POSIX files) or, in tests, the
// simulated driver in the same process (simulator/inproc/). Everything above
// this layer is portable; which driver a program talks to is chosen at run
// time through a DriverSource (driver_source.h), of which the platform's own
// driver is one.
#pragma once

#include <cstddef>
#include <cstdint>

// A device, file or registry-key handle; NO_HANDLE (all bits set) means none.
using PlatformHandle = intptr_t;
constexpr PlatformHandle NO_HANDLE = -1;

// True on the NT family of the platform (device default \\.\trvlmd), false
// on the 9x platform (\\.\TRVLM).
bool platform_is_nt_family();

// --- Driver device -------------------------------------------------------
// Opens the device by its \\.\NAME path; NO_HANDLE when it cannot be opened.
PlatformHandle platform_open_device(const char *device_name);
void platform_close_device(PlatformHandle device);
// One synchronous device-control call. *returned receives the count that the
// driver reports (0 when the call fails). Callers set *returned to 0 first
// and rely on it alone; the result only says whether the call went through.
bool platform_device_control(PlatformHandle device, uint32_t code,
                             const void *input, uint32_t input_size,
                             void *output, uint32_t output_size,
                             uint32_t *returned);

// --- Registry (under HKEY_LOCAL_MACHINE) ---------------------------------
constexpr unsigned REGISTRY_QUERY = 1;  // KEY_QUERY_VALUE
constexpr unsigned REGISTRY_SET = 2;    // KEY_SET_VALUE

// Opens a key such as "SOFTWARE\\Velmora\\Tarvel"; NO_HANDLE when it is missing
// or cannot be opened with that access.
PlatformHandle platform_open_key(const char *key_path, unsigned access);
void platform_close_key(PlatformHandle key);

enum ValueRead {
    VALUE_READ,       // the whole value is in buffer, *size is its size
    VALUE_MISSING,    // no such value; buffer and *size unchanged
    VALUE_TOO_LARGE,  // larger than *size; *size now holds its size, buffer unchanged
    VALUE_FAILED,     // any other error; buffer and *size unchanged
};
// Reads a value's raw bytes, whatever its type. *size is the buffer's
// capacity on entry.
ValueRead platform_read_value(PlatformHandle key, const char *value_name,
                              void *buffer, uint32_t *size);
// Writes a value's raw bytes as a binary value (REG_BINARY), replacing it whole.
bool platform_write_value(PlatformHandle key, const char *value_name,
                          const void *data, uint32_t size);

// --- Files (in the current directory unless the name says otherwise) -----
// Creates a file for writing only, not shared, replacing any file of that
// name; NO_HANDLE when it cannot be created. While it is open it cannot be
// created anew, deleted or renamed (the operation fails). Only a regular
// file is made or replaced: a name that holds anything else (a FIFO, a
// device, a Windows device name such as NUL) fails at once, never blocking,
// with platform_not_regular_file_error() or the platform's code for an
// invalid name. The POSIX backends never follow a symbolic link in any
// part of the name.
PlatformHandle platform_create_file(const char *name);
// Writes all size bytes; false when they could not all be written.
bool platform_write_file(PlatformHandle file, const void *data, uint32_t size);
void platform_close_file(PlatformHandle file);
bool platform_delete_file(const char *name);
bool platform_rename_file(const char *from, const char *to);
// True when both names exist and name one and the same file.
bool platform_same_file(const char *first, const char *second);

// The code of the last failed platform operation (GetLastError or errno).
int platform_last_error();
// Records the code that platform_last_error reports next (SetLastError or
// errno), for backends that fail an operation of their own making.
void platform_set_last_error(int code);
// The platform's code for a file name that is too long.
int platform_name_too_long_error();
// The code for a name that holds something other than a regular file.
int platform_not_regular_file_error();

// --- Capture lock ---------------------------------------------------------
// One program at a time reads a device's capture data: each read takes the
// data away from every other reader. A program takes the device's capture
// lock before it sets the recording flag or reads capture data, and keeps it
// until it has stopped. The lock is held per process and handle: a second
// take of the same device, even by the same process, fails. The system
// drops it when the process ends, however it ends.
//
// Takes the lock of device_name (\\.\NAME); NO_HANDLE when it cannot be
// taken, with platform_capture_busy_error() as the last error when another
// holder has it.
PlatformHandle platform_lock_capture(const char *device_name);
void platform_unlock_capture(PlatformHandle lock);
// The code for a capture lock that another program holds.
int platform_capture_busy_error();

void platform_sleep(unsigned milliseconds);

// --- Driver memory -------------------------------------------------------
// Copies up to count bytes of the driver's memory at address into dest;
// the number of leading bytes that could be read. Decoding reaches it
// through PlatformDriverSource (driver_source_memory).
size_t platform_read_driver_memory(uint32_t address, unsigned char *dest, size_t count);
