// Bounded text copy that, unlike strncpy, never pads with NULs.
#include "formatting/formatting.h"

void copy_text(const char *source, char *dest, size_t n)
{
    for (size_t i = 0; i < n; ++i) {
        dest[i] = source[i];
        if (source[i] == '\0')
            return;
    }
}
