// soak_check: whether a capture file is exactly a prefix of the bytes that
// the simulated driver delivered for one modem.
//
//   soak_check FILLS MODEM FILE [--zero-padded]
//
// FILLS lists the modem's stream as "MODEM COUNT BYTE" lines (BYTE in hex),
// in the order the driver queued them; lines of other modems are skipped.
// With --zero-padded, zero bytes of FILE are skipped first (a driver that
// over-reports its counts pads reads with zeros; the streams hold no zero
// byte). Prints "MODEM: N of M bytes" and exits 0 for a prefix, or names the
// first differing byte and exits 1; 2 for bad arguments.
#include <cstdio>
#include <cstdlib>
#include <cstring>

int main(int argc, char **argv) {
    if (argc < 4 || (argc == 5 && strcmp(argv[4], "--zero-padded") != 0) || argc > 5) {
        fputs("usage: soak_check FILLS MODEM FILE [--zero-padded]\n", stderr);
        return 2;
    }
    const int modem = atoi(argv[2]);
    const bool zero_padded = argc == 5;
    FILE *fills = fopen(argv[1], "r");
    FILE *file = fopen(argv[3], "rb");
    if (fills == nullptr || file == nullptr) {
        fprintf(stderr, "soak_check: cannot open %s\n", fills == nullptr ? argv[1] : argv[3]);
        return 2;
    }
    unsigned long long stream_size = 0;
    unsigned long long checked = 0;
    int fill_modem = 0;
    unsigned long long count = 0;
    unsigned byte = 0;
    unsigned long long left = 0;  // bytes left in the current fill
    unsigned current = 0;
    bool mismatch = false;
    int c;
    while ((c = getc(file)) != EOF && !mismatch) {
        if (zero_padded && c == 0) {
            continue;
        }
        while (left == 0) {
            if (fscanf(fills, "%d %llu %x", &fill_modem, &count, &byte) != 3) {
                printf("%d: file longer than the stream, %llu bytes match\n", modem, checked);
                return 1;
            }
            if (fill_modem == modem) {
                left = count;
                current = byte;
                stream_size += count;
            }
        }
        if (unsigned(c) != current) {
            printf("%d: byte %llu is 0x%02x, the stream has 0x%02x\n", modem, checked, unsigned(c), current);
            return 1;
        }
        --left;
        ++checked;
    }
    while (fscanf(fills, "%d %llu %x", &fill_modem, &count, &byte) == 3) {
        stream_size += fill_modem == modem ? count : 0;
    }
    printf("%d: %llu of %llu bytes\n", modem, checked, stream_size);
    return 0;
}
