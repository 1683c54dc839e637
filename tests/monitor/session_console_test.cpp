// Sessions recorded by the console: what --record writes gives, through
// --open and through tarvel-decode, exactly the lines the live console
// printed; a session file that cannot be written stops the recording only.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "console_fixture.h"
#include "process_support.h"
#include "session/session_source.h"
#include "trace/trace.h"

namespace {

std::string source_path(const std::string &relative) {
    const char *dir = std::getenv("TARVEL_SOURCE_DIR");
    return std::string(dir != nullptr ? dir : ".") + "/" + relative;
}

// Each line of a text with the given prefix ("0: ") or, with keep false,
// every other line, each with its line feed.
std::string lines_with(const std::string &text, bool keep) {
    std::istringstream in(text);
    std::string line, kept;
    while (std::getline(in, line)) {
        if ((line.rfind("0: ", 0) == 0) == keep) kept += line + "\n";
    }
    return kept;
}

class SessionConsoleTest : public ConsoleTest {
protected:

    // The eye points of a trace's eye directives, modem by modem, in order.
    static std::vector<std::vector<std::pair<int, int>>> eye_points(const std::string &path) {
        std::vector<TraceDirective> trace;
        EXPECT_EQ(read_trace_path(path.c_str(), &trace), TRACE_READ_OK);
        std::vector<std::vector<std::pair<int, int>>> points(2);
        for (const TraceDirective &d : trace) {
            if (d.op != TRACE_EYE || (d.modem != 1 && d.modem != 2)) continue;
            for (const EyePoint &p : d.points) points[d.modem - 1].emplace_back(p.x, p.y);
        }
        return points;
    }
};

class RoundTripTest : public SessionConsoleTest,
                      public testing::WithParamInterface<std::tuple<const char *, bool>> {};

TEST_P(RoundTripTest, OpenAndDecodeGiveTheLinesTheLiveConsolePrinted) {
    const std::string scenario = std::get<0>(GetParam());
    const bool compressed = std::get<1>(GetParam());
    const std::string session = compressed ? "recorded.trace.gz" : "recorded.trace";
    const uint64_t ticks = sim_play_file(source_path("scenarios/" + scenario + ".trace"));
    ASSERT_EQ(run({"--console", "--escape", "--record", session}, ticks), 0);
    const std::string live_out = text_of(out_);
    const std::string live_err = text_of(err_);
    ASSERT_FALSE(live_out.empty() && live_err.empty());
    const std::vector<unsigned char> bytes = file_bytes(session);
    ASSERT_GE(bytes.size(), 2u);
    EXPECT_EQ(bytes[0] == 0x1f && bytes[1] == 0x8b, compressed) << "compressed exactly when named .gz";
    EXPECT_EQ(eye_points(session), eye_points(source_path("scenarios/" + scenario + ".trace")))
        << "every eye point the driver delivered";

    EXPECT_EQ(run({"--console", "--escape", "--open", session}, 0), 0);
    EXPECT_EQ(text_of(out_), live_out);
    EXPECT_EQ(text_of(err_), live_err);

    const pid_t decoder = spawn({binary_path("tools/tarvel-decode"), "--escape", session}, ".", "decoded.out",
                                "decoded.err");
    ASSERT_EQ(wait_for(decoder, 30), 0) << ::text_of("decoded.err");
    const std::string decoded = ::text_of("decoded.out");
    EXPECT_EQ(lines_with(decoded, false), live_out);
    EXPECT_EQ(lines_with(decoded, true), live_err);

    // The session played as a driver, through the monitor's own path.
    const std::vector<std::string> files = directory_names();
    SessionDriverSource player;
    ASSERT_EQ(player.open(session.c_str()), TRACE_READ_OK);
    EXPECT_EQ(run({"--console", "--escape"}, ticks, &player), 0);
    EXPECT_TRUE(player.finished());
    EXPECT_EQ(text_of(out_), live_out);
    EXPECT_EQ(text_of(err_), live_err);
    EXPECT_EQ(directory_names(), files) << "a played session writes no capture file";
    EXPECT_EQ(file_bytes(session), bytes) << "opening never changes the session";
}

INSTANTIATE_TEST_SUITE_P(Scenarios, RoundTripTest,
                         testing::Combine(testing::Values("caller-id-ring", "capture-session",
                                                          "error-control-call", "fax-session",
                                                          "internal-errors", "v34-call", "v90-call"),
                                          testing::Bool()));

TEST_F(SessionConsoleTest, AnUnwritableSessionStopsTheRecordingNotTheMonitoring) {
    const struct {
        const char *path;
    } cases[] = {{"/dev/full"}, {"no-such-folder/session.trace"}};
    for (const auto &c : cases) {
        SCOPED_TRACE(c.path);
        play("active 2\nrec 1 13\nwait 100\nrec 2 14\n");
        EXPECT_EQ(run({"--console", "--record", c.path}, 4), 1);
        EXPECT_EQ(text_of(out_), "1: Rx Data Mode Active! \n2: Tx Data Mode Active! \n");
        const std::string err = text_of(err_);
        EXPECT_EQ(err.rfind(std::string("LineWatch: ") + c.path + ": ", 0), 0u) << err;
        EXPECT_NE(err.find("monitoring goes on"), std::string::npos) << err;
    }
}

TEST_F(SessionConsoleTest, OpeningWhatIsNotATraceNamesTheLineAndFails) {
    {
        std::ofstream bad("notes.txt");
        bad << "rec 1 13\nthis is no directive\n";
    }
    testing::internal::CaptureStderr();
    EXPECT_EQ(run({"--console", "--open", "notes.txt"}, 0), 2);
    const std::string reader = testing::internal::GetCapturedStderr();
    EXPECT_NE(reader.find("notes.txt:2:"), std::string::npos) << reader;
    EXPECT_EQ(text_of(out_), "");
    EXPECT_EQ(text_of(err_), "LineWatch: notes.txt cannot be opened as a session\n");
}

TEST_F(SessionConsoleTest, SessionOptionsThatCannotGoTogetherAreRefused) {
    const std::vector<std::vector<std::string>> cases = {
        {"--console", "--open", "a.trace", "--record", "b.trace"},
        {"--console", "--open", "a.trace", "device"},
        {"--console", "--eye-every", "5"},
        {"--console", "--record", "b.trace", "--eye-every", "five"},
        {"--console", "--record"},
    };
    for (const std::vector<std::string> &arguments : cases) {
        SCOPED_TRACE(arguments.back());
        EXPECT_EQ(run(arguments, 1), 2);
        EXPECT_FALSE(file_exists("b.trace"));
        text_of(out_);
        text_of(err_);
    }
}

// A session and the call summaries in one file would write over each
// other: refused, by the same name or by another name of the same file.
TEST_F(SessionConsoleTest, RecordAndCallsIntoOneFileAreRefused) {
    std::ofstream("calls.jsonl") << "{}\n";
    const std::vector<std::vector<std::string>> cases = {
        {"--console", "--record", "one", "--calls", "one"},
        {"--console", "--record", "./calls.jsonl", "--calls", "calls.jsonl"},
    };
    for (const std::vector<std::string> &arguments : cases) {
        SCOPED_TRACE(arguments[2]);
        EXPECT_EQ(run(arguments, 1), 2);
        EXPECT_NE(text_of(err_).find("the same file"), std::string::npos);
        EXPECT_FALSE(file_exists("one"));
        EXPECT_EQ(::text_of(std::string("calls.jsonl")), "{}\n");
        text_of(out_);
    }
}

}  // namespace
