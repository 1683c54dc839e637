// Class 2 fax reports (code 84).
#include <set>

#include "family_test_support.h"

namespace {

struct Name {
    int64_t value;
    const char *name;
};

std::string fax_line(int64_t direction, int64_t source, int64_t event, int64_t frame = 0) {
    return run_handler(decode_fax, make_record(84, {direction, source, event, frame}));
}

const Name fax_source_events[] = {
    {1, "fax_CONNECT"}, {2, "fax_START_ORIGINATE"}, {3, "fax_START_ANSWER"},
    {4, "fax_INITIAL_IDENTIFICATION_RECEIVED"}, {5, "fax_COMMAND_TO_SEND_RECEIVED"},
    {6, "fax_COMMAND_TO_RECEIVE_RECEIVED"}, {7, "fax_CONFIRMATION_TO_RECEIVE_RECEIVED"},
    {8, "fax_FAILURE_TO_TRAIN_RECEIVED"}, {9, "fax_INITIAL_IDENTIFICATION_SENT"},
    {10, "fax_COMMAND_TO_SEND_SENT"}, {11, "fax_COMMAND_TO_RECEIVE_SENT"},
    {12, "fax_CONFIRMATION_TO_RECEIVE_SENT"}, {13, "fax_FAILURE_TO_TRAIN_SENT"},
    {14, "fax_TRAINING_CHECK_SENT"}, {15, "fax_TRAINING_CHECK_RECEIVED"}, {16, "fax_RTC_SIGNAL_SENT"},
    {17, "fax_POST_MESSAGE_COMMAND_SENT"}, {18, "fax_MESSAGE_CONFIRMATION_RECEIVED"},
    {19, "fax_RETRAIN_NEGATIVE_RECEIVED"}, {20, "fax_RETRAIN_POSITIVE_RECEIVED"},
    {21, "fax_DATA_RECEIVED"}, {22, "fax_END_OF_MESSAGE_RECEIVED"}, {23, "fax_MULTIPAGE_SIGNAL_RECEIVED"},
    {24, "fax_END_OF_PROCEDURE_RECEIVED"}, {25, "fax_MESSAGE_CONFIRMATION_SENT"},
    {26, "fax_RETRAIN_NEGATIVE_SENT"}, {27, "fax_RETRAIN_POSITIVE_SENT"}, {28, "fax_DISCONNECT_SENT"},
    {29, "fax_DISCONNECT_RECEIVED"}, {30, "fax_COMMAND_REPEAT_SENT"}, {31, "fax_COMMAND_REPEAT_RECEIVED"},
    {32, "fax_BAD_FRAME_RECEIVED"}, {33, "fax_TRANSMIT_DATA_CMD"}, {34, "fax_RECEIVE_DATA_CMD"},
    {35, "fax_RESET_PARMS_CMD"}, {36, "fax_TERMINATE_SESSION_CMD"}, {37, "fax_PAGE_END_CMD"},
    {38, "fax_FRAME_TRANSMITTED"}, {39, "fax_FRAME_RECEIVED"}, {40, "fax_CARRIER_LOST"},
    {41, "fax_RCV_PHASEC_READY"}, {42, "fax_XMT_PHASEC_READY"}, {43, "fax_EOL_TIMER_EXPIRED"},
    {44, "fax_RETURN_TO_CONTROL_RECEIVED"}, {45, "fax_PARTIAL_PAGE_RECEIVED"},
    {46, "fax_PARTIAL_PAGE_REQUEST_SENT"}, {47, "fax_RECEIVE_READY_RECEIVED"},
    {48, "fax_RECEIVE_NOT_READY_SENT"}, {49, "fax_END_OF_RXMT_RECEIVED"},
    {50, "fax_RSP_FOR_END_OF_RXMT_SENT"}, {51, "fax_CONTINUE_TO_CORRECT_RECEIVED"},
    {52, "fax_RSP_FOR_CONT_TO_CORRECT_SENT"}, {53, "fax_RETURN_TO_CONTROL_FOR_PP_SENT"},
    {54, "fax_PARTIAL_PAGE_REQUEST_RECEIVED"}, {55, "fax_RECEIVE_READY_SENT"},
    {56, "fax_RECEIVE_NOT_READY_RECEIVED"}, {57, "fax_CONTINUE_TO_CORRECT_SENT"},
    {58, "fax_RSP_FOR_CONT_TO_CORRECT_RECEIVED"}, {59, "fax_FRAME_ERROR"}, {60, "fax_TONE_SENT"},
    {61, "fax_V34_RCV_TRAINING_DONE"}, {62, "fax_V34_RCV_TRAINING_FAILED"},
    {63, "fax_RETRY_V34_ANSWER_TIMEOUT"},
};

const Name monitor_source_events[] = {
    {0, "monitor_NULL"}, {1, "monitor_CARRIER_LOST"}, {2, "monitor_RCV_CHAR"},
    {3, "monitor_START_CONNECTION"}, {4, "monitor_DROP_CONNECTION"}, {5, "monitor_XMT_LAST_CHAR"},
    {6, "monitor_RECEIVE_FRAME"}, {7, "monitor_TRANSMIT_FRAME"}, {8, "monitor_SEND_CHECK_TRAINING"},
    {9, "monitor_TCF_SENT"}, {10, "monitor_RECEIVE_CHECK_TRAINING"}, {11, "monitor_RECEIVE_DATA"},
    {12, "monitor_SEND_DATA"}, {13, "monitor_FAX_CONNECT"}, {14, "monitor_FAX_CMD_DONE"},
    {15, "monitor_HDLC_LAST_FRAME_SENT"}, {16, "monitor_TRAINING_SUCCESSFUL"},
    {17, "monitor_FSK_DETECTED_WHILE_NON_V21"}, {18, "monitor_ANS_TONE_DETECTED_WHILE_V34"},
    {19, "monitor_TRY_V34_ORIGINATE"}, {20, "monitor_TRY_V34_ANSWER"}, {21, "monitor_TRY_V34_CI_ORIGINATE"},
    {22, "monitor_TRY_V34_ANSWER_WAIT_CI"}, {23, "monitor_CM_TONE_DETECTED"}, {24, "monitor_CI_TONE_DETECTED"},
};

// Event 19 is tested with its frame suffix separately.
const Name t30_source_events[] = {
    {0, "t30_RECEIVE_NEW_FRAME"}, {1, "t30_XMT_INITIAL_IDENTIFICATION"}, {2, "t30_XMT_COMMAND_TO_RECEIVE"},
    {3, "t30_XMT_COMMAND_TO_SEND"}, {4, "t30_XMT_CONFIRMATION_TO_RECEIVE"}, {5, "t30_XMT_FAILURE_TO_TRAIN"},
    {6, "t30_XMT_END_OF_MESSAGE"}, {7, "t30_XMT_MULTIPAGE_SIGNAL"}, {8, "t30_XMT_END_OF_PROCEDURE"},
    {9, "t30_XMT_MESSAGE_CONFIRMATION"}, {10, "t30_XMT_RETRAIN_NEGATIVE"}, {11, "t30_XMT_RETRAIN_POSITIVE"},
    {12, "t30_XMT_DISCONNECT"}, {13, "t30_XMT_COMMAND_REPEAT"}, {14, "t30_XMT_PARTIAL_PAGE_REQUEST"},
    {15, "t30_XMT_RECEIVE_NOT_READY"}, {16, "t30_XMT_RSP_FOR_END_OF_RETRANSMITION"},
    {18, "t30_XMT_RSP_FOR_CONT_TO_CORRECT"}, {20, "t30_REPEAT_LAST_FRAME"}, {21, "t30_RCV_PARTIAL_PAGE"},
    {22, "t30_XMT_PARTIAL_PAGE"}, {23, "t30_RRCV_PARTIAL_PAGE"}, {24, "t30_RXMT_PARTIAL_PAGE"},
    {25, "t30_XMT_RETURN_TO_CONTROL_FOR_PP"}, {26, "t30_XMT_PPS_END_OF_MESSAGE"},
    {27, "t30_XMT_PPS_MULTIPAGE_SIGNAL"}, {28, "t30_XMT_PPS_END_OF_PROCEDURE"}, {29, "t30_XMT_PPS_NULL"},
    {30, "t30_XMT_RECEIVE_READY"}, {31, "t30_XMT_CONTINUE_TO_CORRECT"}, {32, "t30_INC_PAGE_COUNT"},
    {33, "t30_INC_BLOCK_COUNT"},
};

const Name t30_frame_names[] = {
    {1, "DIS"},   {33, "CFR"},  {34, "FTT"},  {35, "CTR"},      {49, "MCF"},      {50, "RTN"},      {51, "RTP"},
    {52, "PIN"},  {53, "PIP"},  {55, "RNR"},  {56, "ERR"},      {61, "PPR"},      {65, "DCS"},      {72, "CTC"},
    {88, "CRP"},  {95, "DCN"},  {97, "RCP"},  {113, "EOM"},     {114, "MPS"},     {116, "EOP"},     {118, "RR"},
    {121, "PRI_EOM"}, {122, "PRI_MPS"}, {124, "PRI_EOP"}, {125, "PPS"}, {129, "DTC"},
};

TEST(Fax, ExamplesAndDirection) {
    EXPECT_EQ(fax_line(1, 0, 1), "Class 2 got FAX message: fax_CONNECT\t");
    EXPECT_EQ(fax_line(0, 2, 19, 65), "Class 2 put T.30 message: t30_FRAME_TRANSMITTED - DCS\t");
    EXPECT_EQ(fax_line(-1, 0, 1), "Class 2 got FAX message: fax_CONNECT\t");
    EXPECT_EQ(fax_line(0, 1, 0), "Class 2 put monitor message: monitor_NULL\t");
}

TEST(Fax, EveryFaxSourceEvent) {
    for (const Name &event : fax_source_events) {
        SCOPED_TRACE(event.name);
        EXPECT_EQ(fax_line(1, 0, event.value, 65), std::string("Class 2 got FAX message: ") + event.name + "\t");
    }
}

TEST(Fax, EveryMonitorSourceEvent) {
    for (const Name &event : monitor_source_events) {
        SCOPED_TRACE(event.name);
        EXPECT_EQ(fax_line(0, 1, event.value, 65),
                  std::string("Class 2 put monitor message: ") + event.name + "\t");
    }
}

TEST(Fax, EveryT30SourceEvent) {
    for (const Name &event : t30_source_events) {
        SCOPED_TRACE(event.name);
        EXPECT_EQ(fax_line(1, 2, event.value, 65), std::string("Class 2 got T.30 message: ") + event.name + "\t");
    }
}

TEST(Fax, HolesAndValuesOutsideEachTable) {
    const struct {
        const char *description;
        int64_t source;
        int64_t event;
        const char *expected;
    } cases[] = {
        {"FAX 0, table starts at 1", 0, 0, "Class 2 put FAX message: *unknown*\t"},
        {"FAX 64", 0, 64, "Class 2 put FAX message: *unknown*\t"},
        {"FAX -1", 0, -1, "Class 2 put FAX message: *unknown*\t"},
        {"monitor 25, no closing asterisk", 1, 25, "Class 2 put monitor message: *unknown\t"},
        {"monitor -1", 1, -1, "Class 2 put monitor message: *unknown\t"},
        {"T.30 hole 17", 2, 17, "Class 2 put T.30 message: *unknown*\t"},
        {"T.30 34", 2, 34, "Class 2 put T.30 message: *unknown*\t"},
        {"T.30 -1", 2, -1, "Class 2 put T.30 message: *unknown*\t"},
        {"source 5 is T.30", 5, 0, "Class 2 put T.30 message: t30_RECEIVE_NEW_FRAME\t"},
        {"source -1 is T.30", -1, 12, "Class 2 put T.30 message: t30_XMT_DISCONNECT\t"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.description);
        // A frame code that would name a frame must not appear for these events.
        EXPECT_EQ(fax_line(0, c.source, c.event, 65), c.expected);
    }
}

TEST(Fax, EveryNamedT30Frame) {
    for (const Name &frame : t30_frame_names) {
        SCOPED_TRACE(frame.name);
        EXPECT_EQ(fax_line(0, 2, 19, frame.value),
                  std::string("Class 2 put T.30 message: t30_FRAME_TRANSMITTED - ") + frame.name + "\t");
    }
}

TEST(Fax, EveryOtherFrameCodeIsUnknown) {
    std::set<int64_t> named;
    for (const Name &frame : t30_frame_names) named.insert(frame.value);
    const std::string unknown = "Class 2 put T.30 message: t30_FRAME_TRANSMITTED - *unknown*\t";
    for (int64_t code = 0; code <= 255; ++code) {
        if (named.count(code) != 0) continue;
        SCOPED_TRACE(code);
        EXPECT_EQ(fax_line(0, 2, 19, code), unknown);
    }
    // 193 is DCS with its X bit set; 0x10041 holds DCS in its low byte only.
    for (int64_t code : {256LL, 193LL, -1LL, -65LL, 0x10041LL}) {
        SCOPED_TRACE(code);
        EXPECT_EQ(fax_line(0, 2, 19, code), unknown);
    }
}

TEST(Fax, FrameCodeIgnoredOutsideT30Event19) {
    EXPECT_EQ(fax_line(1, 0, 38, 65), "Class 2 got FAX message: fax_FRAME_TRANSMITTED\t");
    EXPECT_EQ(fax_line(1, 1, 19, 65), "Class 2 got monitor message: monitor_TRY_V34_ORIGINATE\t");
    EXPECT_EQ(fax_line(1, 0, 19, 65), "Class 2 got FAX message: fax_RETRAIN_NEGATIVE_RECEIVED\t");
}

}  // namespace
