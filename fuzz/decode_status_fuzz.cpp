// decode_status over one record and an image of driver memory.
//
// Input: 40 bytes of record, a 32-bit base address, then the bytes of
// driver memory from that address on. The line must always be a terminated
// text within its 512 bytes.
#include <cstring>

#include "decoder/driver_memory.h"
#include "decoder/status.h"
#include "fuzz/fuzz_input.h"

namespace {

struct Image {
    uint32_t base;
    const uint8_t *bytes;
    size_t size;
};

size_t read_image(void *context, uint32_t address, unsigned char *dest, size_t count) {
    const Image &image = *static_cast<const Image *>(context);
    if (address < image.base || address - image.base >= image.size) {
        return 0;
    }
    const size_t offset = address - image.base;
    const size_t part = count < image.size - offset ? count : image.size - offset;
    memcpy(dest, image.bytes + offset, part);
    return part;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    FuzzInput in = {data, size, 0};
    unsigned char record_bytes[STATUS_RECORD_BYTES];
    fuzz_take(in, record_bytes, sizeof record_bytes);
    Image image = {fuzz_word(in), nullptr, 0};
    if (!fuzz_done(in)) {
        image.bytes = data + in.at;
        image.size = size - in.at;
    }
    StatusLine line;
    memset(line, 0xA5, sizeof line);
    decode_status(status_record_from_bytes(record_bytes), DriverMemory{read_image, &image}, line);
    if (memchr(line, 0, sizeof line) == nullptr) {
        __builtin_trap();  // the line is not terminated within its buffer
    }
    return 0;
}
