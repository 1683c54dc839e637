// Files and the last-error code on Windows: CreateFileA, WriteFile,
// CloseHandle, DeleteFileA, MoveFileA and GetLastError, as the programs have
// always called them. File names compare as Windows compares them: without
// regard to letter case, and the same file reached by another spelling of
// its name is the same file.
#include <windows.h>

#include "driverlink/common/windows_names.h"
#include "driverlink/platform.h"
#include "driverlink/win32/win32_files.h"

namespace {

DWORD create_share_mode = 0;

// Identity of an existing file: its volume and its index on that volume.
// False when the file cannot be opened even without access rights.
bool file_identity(const char *name, BY_HANDLE_FILE_INFORMATION *info) {
    const HANDLE file = CreateFileA(name, 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                    nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return false;
    }
    const bool known = GetFileInformationByHandle(file, info) != 0;
    CloseHandle(file);
    return known;
}

// The full path of a name, for comparing two spellings when the files
// cannot be opened to ask for their identity.
bool full_path(const char *name, char *path, DWORD capacity) {
    const DWORD length = GetFullPathNameA(name, capacity, path, nullptr);
    return length != 0 && length < capacity;
}

}  // namespace

void win32_files_share_reading(bool share) {
    create_share_mode = share ? FILE_SHARE_READ : 0;
}

void platform_set_last_error(int code) {
    SetLastError(DWORD(code));
}

int platform_last_error() {
    return int(GetLastError());
}

int platform_name_too_long_error() {
    return ERROR_FILENAME_EXCED_RANGE;
}

int platform_not_regular_file_error() {
    return ERROR_BAD_FILE_TYPE;
}

// Write only, not shared, replacing any file of that name, attributes 0.
// A device name (NUL, aux.txt, COM1, ...) in any part of the name is
// refused before anything is opened: opening a port or a printer acts on
// it, and data written there never reaches a file. Whatever else turns out
// not to be a file on disk (a named pipe) is closed again and refused.
PlatformHandle platform_create_file(const char *name) {
    if (name == nullptr || name[0] == '\0') {
        SetLastError(ERROR_PATH_NOT_FOUND);
        return NO_HANDLE;
    }
    if (path_names_windows_device(name)) {
        SetLastError(ERROR_INVALID_NAME);
        return NO_HANDLE;
    }
    const HANDLE file = CreateFileA(name, GENERIC_WRITE, create_share_mode, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return NO_HANDLE;
    }
    if (GetFileType(file) != FILE_TYPE_DISK) {
        CloseHandle(file);
        SetLastError(ERROR_BAD_FILE_TYPE);
        return NO_HANDLE;
    }
    return reinterpret_cast<PlatformHandle>(file);
}

bool platform_write_file(PlatformHandle file, const void *data, uint32_t size) {
    if (file == NO_HANDLE || (data == nullptr && size != 0)) {
        SetLastError(ERROR_INVALID_HANDLE);
        return false;
    }
    const char *bytes = static_cast<const char *>(data);
    uint32_t done = 0;
    while (done < size) {
        DWORD written = 0;
        if (!WriteFile(reinterpret_cast<HANDLE>(file), bytes + done, size - done, &written, nullptr)) {
            return false;
        }
        if (written == 0) {
            SetLastError(ERROR_WRITE_FAULT);
            return false;
        }
        done += written;
    }
    return true;
}

void platform_close_file(PlatformHandle file) {
    if (file != NO_HANDLE) {
        CloseHandle(reinterpret_cast<HANDLE>(file));
    }
}

bool platform_delete_file(const char *name) {
    if (name == nullptr) {
        SetLastError(ERROR_FILE_NOT_FOUND);
        return false;
    }
    return DeleteFileA(name) != 0;
}

// MoveFileA never replaces an existing target.
bool platform_rename_file(const char *from, const char *to) {
    if (from == nullptr || to == nullptr) {
        SetLastError(ERROR_FILE_NOT_FOUND);
        return false;
    }
    return MoveFileA(from, to) != 0;
}

bool platform_same_file(const char *first, const char *second) {
    if (first == nullptr || second == nullptr ||
        GetFileAttributesA(first) == INVALID_FILE_ATTRIBUTES ||
        GetFileAttributesA(second) == INVALID_FILE_ATTRIBUTES) {
        return false;
    }
    BY_HANDLE_FILE_INFORMATION one;
    BY_HANDLE_FILE_INFORMATION two;
    if (file_identity(first, &one) && file_identity(second, &two)) {
        return one.dwVolumeSerialNumber == two.dwVolumeSerialNumber &&
               one.nFileIndexHigh == two.nFileIndexHigh && one.nFileIndexLow == two.nFileIndexLow;
    }
    char first_path[MAX_PATH];
    char second_path[MAX_PATH];
    return full_path(first, first_path, sizeof first_path) &&
           full_path(second, second_path, sizeof second_path) &&
           CompareStringA(LOCALE_INVARIANT, NORM_IGNORECASE, first_path, -1, second_path, -1) ==
               CSTR_EQUAL;
}
