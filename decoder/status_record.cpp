// The driver's 40-byte status record: ten little-endian 32-bit words. Bytes
// are assembled one by one so the result is the same on any host.
#include "decoder/status.h"

namespace {

constexpr int RECORD_WORDS = 10;
static_assert(STATUS_RECORD_BYTES == RECORD_WORDS * 4);

uint32_t load_le32(const unsigned char *p)
{
    return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
           static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[3]) << 24;
}

void store_le32(uint32_t word, unsigned char *p)
{
    p[0] = static_cast<unsigned char>(word);
    p[1] = static_cast<unsigned char>(word >> 8);
    p[2] = static_cast<unsigned char>(word >> 16);
    p[3] = static_cast<unsigned char>(word >> 24);
}

// The record's words in their wire order.
uint32_t StatusRecord::*const WORDS[RECORD_WORDS] = {
    &StatusRecord::code,   &StatusRecord::param1, &StatusRecord::param2, &StatusRecord::param3,
    &StatusRecord::param4, &StatusRecord::param5, &StatusRecord::param6, &StatusRecord::param7,
    &StatusRecord::param8, &StatusRecord::modem,
};

}  // namespace

StatusRecord status_record_from_bytes(const unsigned char *bytes)
{
    StatusRecord record{};
    for (int i = 0; i < RECORD_WORDS; ++i)
        record.*WORDS[i] = load_le32(bytes + 4 * i);
    return record;
}

void status_record_to_bytes(const StatusRecord &record, unsigned char *bytes)
{
    for (int i = 0; i < RECORD_WORDS; ++i)
        store_le32(record.*WORDS[i], bytes + 4 * i);
}
