// platform.h on Windows: the real Tarvel driver (or the simulated kernel
// driver tarvelsim.sys) through CreateFileA and DeviceIoControl, and the
// registry under HKEY_LOCAL_MACHINE through the Reg*A calls.
#include <windows.h>

#include <cstring>

#include "driverlink/platform.h"

namespace {

HANDLE as_handle(PlatformHandle handle) {
    return reinterpret_cast<HANDLE>(handle);
}

HKEY as_key(PlatformHandle key) {
    return reinterpret_cast<HKEY>(key);
}

}  // namespace

// GetVersion's top bit is clear on the NT family and set on the 9x platform.
bool platform_is_nt_family() {
    return (GetVersion() & 0x80000000u) == 0;
}

// No access rights, shared for reading, writing and deleting, and delete on
// close: on the 9x platform that flag unloads a dynamically loaded driver
// again when the last handle is closed.
PlatformHandle platform_open_device(const char *name) {
    if (name == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return NO_HANDLE;
    }
    const HANDLE device = CreateFileA(name, 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                      nullptr, OPEN_EXISTING, FILE_FLAG_DELETE_ON_CLOSE, nullptr);
    return device == INVALID_HANDLE_VALUE ? NO_HANDLE : reinterpret_cast<PlatformHandle>(device);
}

void platform_close_device(PlatformHandle device) {
    if (device != NO_HANDLE) {
        CloseHandle(as_handle(device));
    }
}

// The count is set to 0 before the call and is all the caller learns: the
// success flag of DeviceIoControl is not read, so a failed call is simply a
// call that delivered nothing.
bool platform_device_control(PlatformHandle device, uint32_t code, const void *input,
                             uint32_t input_size, void *output, uint32_t output_size,
                             uint32_t *returned) {
    DWORD count = 0;
    if (device != NO_HANDLE) {
        DeviceIoControl(as_handle(device), code, const_cast<void *>(input), input_size, output,
                        output_size, &count, nullptr);
    }
    if (returned != nullptr) {
        *returned = count;
    }
    return count != 0;
}

PlatformHandle platform_open_key(const char *key_path, unsigned access) {
    if (key_path == nullptr || access == 0 || (access & ~(REGISTRY_QUERY | REGISTRY_SET)) != 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return NO_HANDLE;
    }
    REGSAM wanted = 0;
    wanted |= (access & REGISTRY_QUERY) != 0 ? KEY_QUERY_VALUE : 0;
    wanted |= (access & REGISTRY_SET) != 0 ? KEY_SET_VALUE : 0;
    HKEY key = nullptr;
    const LONG status = RegOpenKeyExA(HKEY_LOCAL_MACHINE, key_path, 0, wanted, &key);
    if (status != ERROR_SUCCESS) {
        SetLastError(DWORD(status));
        return NO_HANDLE;
    }
    return reinterpret_cast<PlatformHandle>(key);
}

void platform_close_key(PlatformHandle key) {
    if (key != NO_HANDLE) {
        RegCloseKey(as_key(key));
    }
}

// No type is asked for: ActiveModems is read as 4 bytes whatever its type.
ValueRead platform_read_value(PlatformHandle key, const char *value_name, void *buffer,
                              uint32_t *size) {
    if (key == NO_HANDLE || value_name == nullptr || size == nullptr) {
        SetLastError(ERROR_INVALID_HANDLE);
        return VALUE_FAILED;
    }
    DWORD got = buffer != nullptr ? *size : 0;
    const LONG status = RegQueryValueExA(as_key(key), value_name, nullptr, nullptr,
                                         static_cast<BYTE *>(buffer), &got);
    if (status == ERROR_SUCCESS && (buffer != nullptr || got == 0)) {
        *size = got;
        return VALUE_READ;
    }
    if (status == ERROR_MORE_DATA || status == ERROR_SUCCESS) {
        *size = got;
        SetLastError(ERROR_MORE_DATA);
        return VALUE_TOO_LARGE;
    }
    SetLastError(DWORD(status));
    return status == ERROR_FILE_NOT_FOUND ? VALUE_MISSING : VALUE_FAILED;
}

bool platform_write_value(PlatformHandle key, const char *value_name, const void *data,
                          uint32_t size) {
    if (key == NO_HANDLE || value_name == nullptr || (data == nullptr && size != 0)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return false;
    }
    const LONG status = RegSetValueExA(as_key(key), value_name, 0, REG_BINARY,
                                       static_cast<const BYTE *>(data), size);
    if (status != ERROR_SUCCESS) {
        SetLastError(DWORD(status));
        return false;
    }
    return true;
}

void platform_sleep(unsigned milliseconds) {
    Sleep(milliseconds);
}

// The capture lock is a named mutex per device: its name holds the device
// path in capitals (device names are not case-sensitive) with each
// backslash made a slash (a backslash would name a namespace). Whoever
// created it holds the lock until the handle is closed, by the program or
// by the system at its end; a create that finds it already there gets a
// handle to the same object, closed again at once.
PlatformHandle platform_lock_capture(const char *device_name) {
    static const char PREFIX[] = "TarvelCaptureLock ";
    char name[sizeof PREFIX + 128];
    size_t length = sizeof PREFIX - 1;
    if (device_name == nullptr || std::strlen(device_name) >= sizeof name - length) {
        SetLastError(ERROR_INVALID_NAME);
        return NO_HANDLE;
    }
    std::memcpy(name, PREFIX, length);
    for (const char *c = device_name; *c != '\0'; ++c) {
        const char upper = *c >= 'a' && *c <= 'z' ? char(*c - 'a' + 'A') : *c;
        name[length++] = upper == '\\' ? '/' : upper;
    }
    name[length] = '\0';
    const HANDLE mutex = CreateMutexA(nullptr, FALSE, name);
    if (mutex == nullptr) {
        return NO_HANDLE;
    }
    if (GetLastError() == ERROR_ALREADY_EXISTS) {
        CloseHandle(mutex);
        SetLastError(ERROR_BUSY);
        return NO_HANDLE;
    }
    return reinterpret_cast<PlatformHandle>(mutex);
}

void platform_unlock_capture(PlatformHandle lock) {
    if (lock != NO_HANDLE) {
        CloseHandle(as_handle(lock));
    }
}

int platform_capture_busy_error() {
    return ERROR_BUSY;
}
