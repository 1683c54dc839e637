// A file name's ending, compared without regard to ASCII case.
#include "formatting/formatting.h"

#include <cstring>

bool ends_with_folded(const char *text, size_t length, const char *suffix) {
    const size_t n = std::strlen(suffix);
    if (length < n) {
        return false;
    }
    for (size_t i = 0; i < n; ++i) {
        char c = text[length - n + i];
        if (c >= 'A' && c <= 'Z') {
            c = static_cast<char>(c - 'A' + 'a');
        }
        if (c != suffix[i]) {
            return false;
        }
    }
    return true;
}
