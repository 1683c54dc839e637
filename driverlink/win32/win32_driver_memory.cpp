// Driver memory on Windows. On the 9x platform the driver's memory is mapped
// into every program, and records carry addresses that the program can read
// in place. On the NT family it is not: a record's address names kernel
// memory (or, in a 64-bit program, some unrelated memory of the program's
// own), so nothing is read and the line shows <unreadable>.
#include "driverlink/win32/win32_driver_memory.h"

#include <windows.h>

#include "driverlink/platform.h"

namespace {

constexpr uintptr_t PAGE_BYTES = 4096;
constexpr DWORD READABLE_PAGES = PAGE_READONLY | PAGE_READWRITE | PAGE_WRITECOPY | PAGE_EXECUTE_READ |
                                 PAGE_EXECUTE_READWRITE | PAGE_EXECUTE_WRITECOPY;

}  // namespace

size_t read_mapped_memory(uint32_t address, unsigned char *dest, size_t count) {
    if (address == 0 || dest == nullptr) {
        return 0;
    }
    const HANDLE self = GetCurrentProcess();
    size_t done = 0;
    while (done < count && uint64_t(address) + done <= 0xFFFFFFFFu) {
        const uintptr_t at = uintptr_t(address) + done;
        // Up to the end of the page, so a failure marks where readable
        // memory ends; never past the 32-bit address space.
        size_t piece = size_t(PAGE_BYTES - at % PAGE_BYTES);
        if (piece > count - done) {
            piece = count - done;
        }
        if (uint64_t(at) + piece - 1 > 0xFFFFFFFFu) {
            piece = size_t(0x100000000ull - at);
        }
        // Only committed pages that may be read: ReadProcessMemory alone
        // would not fault, but some hosts (Wine) let it see through a
        // page's protection.
        MEMORY_BASIC_INFORMATION region;
        if (VirtualQuery(reinterpret_cast<const void *>(at), &region, sizeof region) == 0 ||
            region.State != MEM_COMMIT || (region.Protect & READABLE_PAGES) == 0 ||
            (region.Protect & PAGE_GUARD) != 0) {
            break;
        }
        SIZE_T got = 0;
        if (!ReadProcessMemory(self, reinterpret_cast<const void *>(at), dest + done, piece, &got) ||
            got != piece) {
            break;
        }
        done += piece;
    }
    return done;
}

size_t platform_read_driver_memory(uint32_t address, unsigned char *dest, size_t count) {
    if (platform_is_nt_family()) {
        return 0;
    }
    return read_mapped_memory(address, dest, count);
}
