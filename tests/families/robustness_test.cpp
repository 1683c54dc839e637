// Every family handler over many records of awkward words: no line may run
// past its buffer and no read may ask for more than a line can show.
#include "family_test_support.h"

namespace {

struct Handler {
    uint32_t code;
    FamilyHandler handler;
};

const Handler handlers[] = {
    {65, decode_line_measurement}, {74, decode_capabilities}, {128, decode_error_statistics},
    {69, decode_lapm_event},       {70, decode_lapm_parameter}, {71, decode_v42bis},
    {80, decode_mnp_event},        {81, decode_mnp_parameter},  {89, decode_v80},
    {84, decode_fax},              {66, decode_dialing},        {67, decode_hdlc_flags},
    {68, decode_break},            {72, decode_caller_id},      {73, decode_io_status},
    {75, decode_speaker},          {76, decode_at_profile},     {78, decode_reset},
    {79, decode_v8bis},            {87, decode_overlay},        {88, decode_caller_id_circuit},
    {95, decode_a8r},              {96, decode_a8t},
};

using AwkwardRecords = DriverMemoryTest;

TEST_F(AwkwardRecords, NeverOverrunTheLineNorReadMoreThanItShows) {
    fill(0xFF);
    // Selectors near every table, counts at and past every bound, and
    // addresses inside, at the end of and outside the readable region.
    const int64_t words[] = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 19, 30, 31, 34, 35, 64, 129, 241, 242, 249, 250,
                             100000, 0x7fffffff, -1, -2, -100000, -2147483648LL,
                             FakeDriverMemory::BASE, FakeDriverMemory::BASE + FakeDriverMemory::SIZE - 4};
    const size_t n = std::size(words);
    uint32_t state = 12345;
    auto pick = [&]() {
        state = state * 1103515245u + 12345u;
        return words[(state >> 16) % n];
    };
    for (int i = 0; i < 20000; ++i) {
        const Handler &h = handlers[static_cast<size_t>(i) % std::size(handlers)];
        const StatusRecord record =
            make_record(h.code, {pick(), pick(), pick(), pick(), pick(), pick(), pick(), pick()});
        reset_counts();
        run_handler(h.handler, record);
        // No read asks for more bytes than the line can show: the shortest
        // prefix before a dump, "V8bis +A8R:0,", leaves 498 characters.
        EXPECT_LE(memory.largest_request, 249u) << "code " << h.code << " record " << i;
        if (HasFailure()) break;
    }
}

}  // namespace
