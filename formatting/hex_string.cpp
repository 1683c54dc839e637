// Bytes as pairs of lower-case hexadecimal digits.
#include "formatting/formatting.h"

int hex_string(char *dest, const unsigned char *bytes, size_t length)
{
    static const char DIGITS[] = "0123456789abcdef";
    for (size_t i = 0; i < length; ++i) {
        dest[2 * i] = DIGITS[bytes[i] >> 4];
        dest[2 * i + 1] = DIGITS[bytes[i] & 15];
    }
    dest[2 * length] = '\0';
    return static_cast<int>(2 * length);
}
