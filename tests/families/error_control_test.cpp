// LAPM (69, 70), V.42bis (71), MNP (80, 81) and V.80 (89) reports.
#include "family_test_support.h"

namespace {

struct Case {
    const char *description;
    int64_t param1;
    int64_t param2;
    int64_t param3;
    const char *expected;
};

void check_cases(FamilyHandler handler, uint32_t code, const Case *cases, size_t count) {
    for (size_t i = 0; i < count; ++i) {
        SCOPED_TRACE(cases[i].description);
        const StatusRecord record = make_record(code, {cases[i].param1, cases[i].param2, cases[i].param3});
        EXPECT_EQ(run_handler(handler, record), cases[i].expected);
    }
}

TEST(LapmEvents, EveryRow) {
    const Case cases[] = {
        {"disconnect 0", 0, 0, 0, "LAPM disconnected (remote requested disconnect)\t"},
        {"disconnect 1", 0, 1, 0, "LAPM disconnected (local requested disconnect)\t"},
        {"disconnect 2", 0, 2, 0, "LAPM disconnected (connection failed)\t"},
        {"disconnect 3", 0, 3, 0, "LAPM disconnected (protocol error)\t"},
        {"disconnect 4", 0, 4, 0, "LAPM disconnected (compression error)\t"},
        {"disconnect 5", 0, 5, 0, "LAPM disconnected (inactivity timer expired)\t"},
        {"disconnect 6", 0, 6, 0, "LAPM disconnected (retry failed)\t"},
        {"disconnect 7: no line", 0, 7, 0, ""},
        {"disconnect -1: no line", 0, -1, 0, ""},
        {"1", 1, 0, 0, "LAPM established connection\t"},
        {"2", 2, 0, 0, "LAPM V.42 ODP detected\t"},
        {"3", 3, 0, 0, "LAPM V.42 ADP detected\t"},
        {"4", 4, 0, 0, "LAPM Unknown ADP detected\t"},
        {"5 as unknown", 5, 9, 9, "LAPM status 5\t"},
        {"6", 6, 0, 0, "LAPM MNP frame detected\t"},
        {"7", 7, 0, 0, "LAPM pattern detection failed\t"},
        {"error 0", 8, 0, 0, "LAPM Error: unknown\t"},
        {"error 1", 8, 1, 0, "LAPM Error: buffer overflow\t"},
        {"error 2", 8, 2, 0, "LAPM Error: frame too long\t"},
        {"error 3", 8, 3, 0, "LAPM Error: bad frame\t"},
        {"error 4", 8, 4, 0, "LAPM Error: unknown\t"},
        {"error 5", 8, 5, 0, "LAPM Error: unknown\t"},
        {"error 6", 8, 6, 0, "LAPM Error: N400 retries exceeded; retrain forced\t"},
        {"error 7", 8, 7, 0, "LAPM Error: unknown\t"},
        {"error -1", 8, -1, 0, "LAPM Error: unknown\t"},
        {"test 0", 9, 0, 0, "LAPM test passed\t"},
        {"test 1", 9, 1, 0, "LAPM test request ignored\t"},
        {"test 2", 9, 2, 0, "LAPM test already in progress\t"},
        {"test 3", 9, 3, 0, "LAPM test not supported\t"},
        {"test 4", 9, 4, 0, "LAPM test failed\t"},
        {"test 5 raw", 9, 5, 0, "LAPM test result: 5\t"},
        {"test -1 raw", 9, -1, 0, "LAPM test result: -1\t"},
        {"tx frame, three places, ends in blank", 10, 7, 0, "LAPM TxFRAME l=  7 "},
        {"rx frame wider than three", 11, 1234, 0, "LAPM RxFRAME l=1234 "},
        {"tx statistics", 12, 10, 2, "LAPM Tx: 10 frames sent;     2 frames retransmitted\t"},
        {"rx statistics", 13, 20, -1, "LAPM Rx: 20 frames received; -1 frames rejected     \t"},
        {"14 unknown", 14, 0, 0, "LAPM status 14\t"},
        {"-1 unknown, signed", -1, 0, 0, "LAPM status -1\t"},
    };
    check_cases(decode_lapm_event, 69, cases, std::size(cases));
}

TEST(LapmParameters, EveryRow) {
    const Case cases[] = {
        {"0", 0, 7, 0, "LAPM xmt  sliding window size:   7\t"},
        {"1", 1, 15, 0, "LAPM rcv  sliding window size:  15\t"},
        {"2", 2, 128, 0, "LAPM xmt max info field  size: 128\t"},
        {"3 negative", 3, -1, 0, "LAPM rcv max info field  size:  -1\t"},
        {"4 set", 4, 1, 0, "LAPM test functions supported    \t"},
        {"4 clear", 4, 0, 0, "LAPM test functions not supported\t"},
        {"5 set", 5, -1, 0, "LAPM selective reject supported    \t"},
        {"5 clear", 5, 0, 0, "LAPM selective reject not supported\t"},
        {"6 low bits 0", 6, 0, 0, "LAPM compression disabled      \t"},
        {"6 low bits 1", 6, 1, 0, "LAPM compression xmt only      \t"},
        {"6 low bits 2", 6, 2, 0, "LAPM compression rcv only      \t"},
        {"6 low bits 3", 6, 3, 0, "LAPM compression enabled       \t"},
        {"6 value 7 has low bits 3", 6, 7, 0, "LAPM compression enabled       \t"},
        {"6 value 4 has low bits 0", 6, 4, 0, "LAPM compression disabled      \t"},
        {"6 value -2 has low bits 2", 6, -2, 0, "LAPM compression rcv only      \t"},
        {"7", 7, 2048, 0, "LAPM compression dict. size: 2048\t"},
        {"8", 8, 32, 0, "LAPM comp.  max string size:  32\t"},
        {"9 no line", 9, 1, 0, ""},
        {"-1 no line", -1, 1, 0, ""},
    };
    check_cases(decode_lapm_parameter, 70, cases, std::size(cases));
}

TEST(V42bis, EveryRow) {
    const Case cases[] = {
        {"0", 0, 0, 0, "V42bis Encoder: Transparent mode active\t"},
        {"1", 1, 0, 0, "V42bis Encoder: Compressed mode active\t"},
        {"2", 2, 0, 0, "V42bis Decoder: Transparent mode active\t"},
        {"3", 3, 0, 0, "V42bis Decoder: Compressed mode active\t"},
        {"error 0", 4, 0, 0, "V42bis Error: undefined escape sequence\t"},
        {"error 1", 4, 1, 0, "V42bis Error: codeword size overflow\t"},
        {"error 2", 4, 2, 0, "V42bis Error: undefined codeword\t"},
        {"error 3", 4, 3, 0, "V42bis Error: unknown\t"},
        {"error -1", 4, -1, 0, "V42bis Error: unknown\t"},
        {"encoder statistic", 5, 100, 50, "V42bis Encoder statistic: 100 bytes in / 50 bytes out\t"},
        {"decoder statistic", 6, 50, -100, "V42bis Decoder statistic: 50 bytes in / -100 bytes out\t"},
        {"7 no line", 7, 0, 0, ""},
        {"-1 no line", -1, 0, 0, ""},
    };
    check_cases(decode_v42bis, 71, cases, std::size(cases));
}

TEST(MnpEvents, EveryRow) {
    const Case cases[] = {
        {"disconnect 0", 0, 0, 0, "MNP disconnected (remote requested disconnect)\t"},
        {"disconnect 1", 0, 1, 0, "MNP disconnected (local requested disconnect)\t"},
        {"disconnect 2", 0, 2, 0, "MNP disconnected (connection failed)\t"},
        {"disconnect 3", 0, 3, 0, "MNP disconnected (protocol error)\t"},
        {"disconnect 4", 0, 4, 0, "MNP disconnected (compression error)\t"},
        {"disconnect 5", 0, 5, 0, "MNP disconnected (inactivity timer expired)\t"},
        {"disconnect 6", 0, 6, 0, "MNP disconnected (retry failed)\t"},
        {"disconnect 7: no line", 0, 7, 0, ""},
        {"disconnect -1: no line", 0, -1, 0, ""},
        {"1", 1, 0, 0, "MNP esablished connection\t"},
        {"2", 2, 0, 0, "MNP negotiation failed. Fallback\t"},
        {"error 0", 3, 0, 0, "MNP Error: unknown\t"},
        {"error 1", 3, 1, 0, "MNP Error: buffer overflow\t"},
        {"error 2", 3, 2, 0, "MNP Error: frame too long\t"},
        {"error 3", 3, 3, 0, "MNP Error: bad frame\t"},
        {"error 4", 3, 4, 0, "MNP Error: unknown\t"},
        {"error -1", 3, -1, 0, "MNP Error: unknown\t"},
        {"timeout: last sent 10+3-1", 4, 3, 10,
         "MNP Timeout. Last Sent=12,!Ack=3. Retransmitting from frame 10\t"},
        {"timeout: nothing unacknowledged", 4, 0, 0,
         "MNP Timeout. Last Sent=-1,!Ack=0. Retransmitting from frame 0\t"},
        {"timeout: sum wraps at 32 bits", 4, 0x7fffffff, 2,
         "MNP Timeout. Last Sent=-2147483648,!Ack=2147483647. Retransmitting from frame 2\t"},
        {"5", 5, 0, 0, "MNP LT frame has invalid sequence number\t"},
        {"6", 6, 4, 2, "MNP Retransmit from frame 4. 2 frames pending\t"},
        {"7", 7, 0, 0, "MNP NACK. Send LA twice\t"},
        {"8 as unknown", 8, 0, 0, "MNP status 8\t"},
        {"9 as unknown", 9, 0, 0, "MNP status 9\t"},
        {"tx statistics", 10, 10, 2, "MNP Tx: 10 frames sent;     2 frames retransmitted\t"},
        {"rx statistics", 11, 20, 1, "MNP Rx: 20 frames received; 1 frames rejected     \t"},
        {"12 unknown", 12, 0, 0, "MNP status 12\t"},
        {"-1 unknown", -1, 0, 0, "MNP status -1\t"},
    };
    check_cases(decode_mnp_event, 80, cases, std::size(cases));
}

TEST(MnpParameters, EveryRow) {
    const Case cases[] = {
        {"0", 0, 2, 0, "MNP protocol level: 2\t"},
        {"0 wider than one place", 0, 12, 0, "MNP protocol level: 12\t"},
        {"1", 1, 4, 0, "MNP service class: 4\t"},
        {"2 set", 2, 1, 0, "MNP data optimization enabled \t"},
        {"2 clear", 2, 0, 0, "MNP data optimization disabled \t"},
        {"3 set", 3, -1, 0, "MNP compression enabled \t"},
        {"3 clear", 3, 0, 0, "MNP compression disabled \t"},
        {"4", 4, 256, 0, "MNP max info field  size: 256\t"},
        {"5", 5, 8, 0, "MNP sliding window size:   8\t"},
        {"6 no line", 6, 1, 0, ""},
        {"-1 no line", -1, 1, 0, ""},
    };
    check_cases(decode_mnp_parameter, 81, cases, std::size(cases));
}

TEST(V80, EveryRow) {
    const Case cases[] = {
        {"disconnect 0", 0, 0, 0, "V80 disconnected (remote requested disconnect)\t"},
        {"disconnect 1", 0, 1, 0, "V80 disconnected (local requested disconnect)\t"},
        {"disconnect 2: no line", 0, 2, 0, ""},
        {"disconnect -1: no line", 0, -1, 0, ""},
        {"1", 1, 0, 0, "V80 esablished connection\t"},
        {"error 1", 2, 1, 0, "V80 Error: bad frame\t"},
        {"error 0", 2, 0, 0, "V80 Error: unknown\t"},
        {"error 2", 2, 2, 0, "V80 Error: unknown\t"},
        {"error 3", 2, 3, 0, "V80 Error: unknown\t"},
        {"3", 3, 0, 0, "V80 status 3\t"},
        {"4", 4, 0, 0, "V80 status 4\t"},
        {"5", 5, 0, 0, "V80 status 5\t"},
        {"6", 6, 0, 0, "V80 status 6\t"},
        {"7", 7, 0, 0, "V80 status 7\t"},
        {"8", 8, 0, 0, "V80 status 8\t"},
        {"9", 9, 0, 0, "V80 status 9\t"},
        {"10", 10, 0, 0, "V80 status 10\t"},
        {"11", 11, 0, 0, "V80 status 11\t"},
        {"12 no line", 12, 5, 5, ""},
        {"13 no line", 13, 0, 0, ""},
        {"tx statistics", 14, 5, 0, "V80 Tx: 5 frames sent;     0 frames retransmitted\t"},
        {"rx statistics", 15, 7, 3, "V80 Rx: 7 frames received; 3 frames rejected     \t"},
        {"16 unknown", 16, 0, 0, "V80 status 16\t"},
        {"-1 unknown", -1, 0, 0, "V80 status -1\t"},
    };
    check_cases(decode_v80, 89, cases, std::size(cases));
}

}  // namespace
