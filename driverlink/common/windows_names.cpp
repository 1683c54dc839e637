#include "driverlink/common/windows_names.h"

#include <cstddef>

namespace {

char upper(char c) {
    return c >= 'a' && c <= 'z' ? char(c - 'a' + 'A') : c;
}

bool same_letters(const char *text, size_t length, const char *name) {
    size_t i = 0;
    for (; i < length && name[i] != '\0'; ++i) {
        if (upper(text[i]) != name[i]) {
            return false;
        }
    }
    return i == length && name[i] == '\0';
}

bool superscript_digit(unsigned char c) {
    return c == 0xB9 || c == 0xB2 || c == 0xB3;
}

// The digit of COMn and LPTn: 1 to 9, or a superscript one, two or three
// as one Windows-1252 byte or two UTF-8 bytes.
bool port_digit(const char *text, size_t length) {
    const unsigned char first = static_cast<unsigned char>(text[0]);
    if (length == 1) {
        return (first >= '1' && first <= '9') || superscript_digit(first);
    }
    return length == 2 && first == 0xC2 && superscript_digit(static_cast<unsigned char>(text[1]));
}

// One component: its base is what comes before the first '.' or ':', less
// trailing blanks (Windows drops them, as it drops trailing dots).
bool component_is_device(const char *part, size_t length) {
    size_t base = 0;
    while (base < length && part[base] != '.' && part[base] != ':') {
        ++base;
    }
    while (base > 0 && part[base - 1] == ' ') {
        --base;
    }
    static const char *const DEVICES[] = {"CON", "PRN", "AUX", "NUL", "CONIN$", "CONOUT$"};
    for (const char *device : DEVICES) {
        if (same_letters(part, base, device)) {
            return true;
        }
    }
    return base > 3 && (same_letters(part, 3, "COM") || same_letters(part, 3, "LPT")) &&
           port_digit(part + 3, base - 3);
}

}  // namespace

bool path_names_windows_device(const char *path) {
    if (path == nullptr) {
        return false;
    }
    const char *part = path;
    for (const char *p = path;; ++p) {
        if (*p == '/' || *p == '\\' || *p == '\0') {
            if (component_is_device(part, size_t(p - part))) {
                return true;
            }
            if (*p == '\0') {
                return false;
            }
            part = p + 1;
        }
    }
}
