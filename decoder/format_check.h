// Compile-time checks of printf formats held in decoder tables: the
// conversions a format asks for, so a static_assert can hold each table row
// to the values its handler passes.
#pragma once

// The conversions of a printf format, each as its length modifier and
// conversion character, joined into one string: "%4x %4lx %s" gives "xlxs".
// Flags and field widths are skipped. A format that ends inside a conversion,
// or has more conversions than text holds, is not valid.
struct Conversions {
    char text[40] = {};
    int count = 0;
    bool valid = true;
};

constexpr Conversions conversions_of(const char *format)
{
    constexpr int capacity = sizeof(Conversions{}.text);
    Conversions c;
    int used = 0;
    for (const char *p = format; *p != '\0'; ++p) {
        if (*p != '%')
            continue;
        ++p;
        while (*p == '-' || *p == '+' || *p == ' ' || *p == '0' || *p == '#')
            ++p;
        while (*p >= '0' && *p <= '9')
            ++p;
        if (*p == 'l' && used < capacity - 2)
            c.text[used++] = *p++;
        if (*p == '\0' || used >= capacity - 1) {
            c.valid = false;
            return c;
        }
        c.text[used++] = *p;
        ++c.count;
    }
    return c;
}

// Whether two NUL-terminated strings hold the same characters.
constexpr bool same_text(const char *a, const char *b)
{
    while (*a != '\0' && *a == *b) {
        ++a;
        ++b;
    }
    return *a == *b;
}
