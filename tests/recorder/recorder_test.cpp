// The recorder program run in-process against the simulated driver: console
// texts, the recording flag, the files and their contents, the device name,
// write failures and interrupts.
#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include <pthread.h>
#if !defined(_WIN32)
#include <sys/resource.h>
#endif
#include <unistd.h>

#include "capture/sim_fixture.h"
#include "recorder/interrupter.h"
#include "driverlink/recording_flag.h"
#include "recorder/recorder.h"
#include "simulator/sim_internal.h"
#include "trace/trace.h"

namespace {

// Every TarvelSetup value written under the recorder's key, in order.
std::vector<std::vector<unsigned char>> setup_writes;
// When set, the first write of the flag also asks the recorder to finish.
bool interrupt_on_flag = false;

void observe_registry(const char *key_path, const char *value_name, const unsigned char *data,
                      uint32_t size) {
    if (std::string(key_path) == RECORDER_KEY && std::string(value_name) == TARVEL_SETUP_VALUE &&
        data != nullptr) {
        setup_writes.emplace_back(data, data + size);
        if (interrupt_on_flag) {
            interrupt_on_flag = false;
            recorder_interrupt();
        }
    }
}

std::string file_text(FILE *file) {
    std::string text;
    std::rewind(file);
    int c;
    while ((c = std::fgetc(file)) != EOF) {
        text.push_back(static_cast<char>(c));
    }
    return text;
}

TraceDirective wait_directive(uint32_t milliseconds) {
    TraceDirective directive{};
    directive.op = TRACE_WAIT;
    directive.value = milliseconds;
    return directive;
}

TraceDirective active_directive(uint32_t count) {
    TraceDirective directive{};
    directive.op = TRACE_ACTIVE;
    directive.value = count;
    return directive;
}

class RecorderTest : public SimTest {
protected:
    void SetUp() override {
        SimTest::SetUp();
        console_ = std::tmpfile();
        errors_ = std::tmpfile();
        ASSERT_NE(console_, nullptr);
        ASSERT_NE(errors_, nullptr);
        recorder_console = console_;
        recorder_errors = errors_;
        setup_writes.clear();
        // Signals that reach the test outside run_recorder must not end it.
        ignore_interrupts();
    }
    void TearDown() override {
        sim_set_registry_observer(nullptr);
        restore_interrupts();
        recorder_console = nullptr;
        recorder_errors = nullptr;
        std::fclose(console_);
        std::fclose(errors_);
        SimTest::TearDown();
    }

    int run(std::vector<std::string> arguments = {}) {
        arguments.insert(arguments.begin(), "recorder");
        std::vector<char *> argv;
        for (std::string &argument : arguments) {
            argv.push_back(argument.data());
        }
        argv.push_back(nullptr);
        sim_set_registry_observer(observe_registry);
        return run_recorder(static_cast<int>(arguments.size()), argv.data());
    }

    // Lets the modems go idle once the recorder has drained everything and
    // rested once.
    void end_after_idle() {
        const TraceDirective script[] = {wait_directive(1), active_directive(0)};
        sim_play(script, 2);
    }

    std::vector<unsigned char> recorder_setup() {
        std::vector<unsigned char> bytes;
        setup_value(RECORDER_KEY, &bytes);
        return bytes;
    }

    size_t reads_of(const char *index) {
        size_t reads = 0;
        std::string prefix = std::string("READ_CAPTURE ") + index + " ";
        for (const std::string &call : served_calls()) {
            reads += call.rfind(prefix, 0) == 0;
        }
        return reads;
    }

    FILE *console_ = nullptr;
    FILE *errors_ = nullptr;
};

const std::vector<unsigned char> WORD_ON = {1, 0, 0, 0};
const std::vector<unsigned char> WORD_OFF = {0, 0, 0, 0};

TEST_F(RecorderTest, MissingKeyReportsDriverNotInstalled) {
    sim_set_active_modems(1);
    sim_remove_key(RECORDER_KEY);
    end_after_idle();  // ends the run should the key be ignored
    sim_clear_call_log();
    EXPECT_EQ(run(), 0);
    EXPECT_EQ(file_text(console_), "Tarvel driver not installed\n");
    EXPECT_EQ(file_text(errors_), "");
    EXPECT_TRUE(directory_names().empty());
    EXPECT_TRUE(served_calls().empty());
    EXPECT_TRUE(setup_writes.empty());
}

TEST_F(RecorderTest, OneActiveModemCopiesModemOneOnly) {
    std::vector<unsigned char> one = patterned_bytes(3 * 524288 + 12345, 21);
    sim_queue_capture(1, one.data(), one.size());
    sim_queue_capture_fill(2, 5000, 0x77);
    sim_set_active_modems(1);
    end_after_idle();
    sim_clear_call_log();
    EXPECT_EQ(run(), 0);
    EXPECT_EQ(file_text(console_), "Port(s) opened\nPort(s) closed\n");
    EXPECT_EQ(file_text(errors_), "");
    EXPECT_EQ(file_bytes("session.rec.1"), one);
    EXPECT_TRUE(file_exists("session.rec.2"));
    EXPECT_TRUE(file_bytes("session.rec.2").empty());
    EXPECT_EQ(reads_of("1"), 0u);
    EXPECT_GE(reads_of("0"), 5u);  // four with data, at least one empty
    EXPECT_EQ(sim_pending_capture(2), 5000u);
    // A missing flag value is created with only bit 0 set and left as 0.
    EXPECT_EQ(setup_writes, (std::vector<std::vector<unsigned char>>{WORD_ON, WORD_OFF}));
    EXPECT_EQ(recorder_setup(), WORD_OFF);
    EXPECT_FALSE(sim_device_open());
}

TEST_F(RecorderTest, TwoModemsUntilNoneIsActive) {
    std::vector<unsigned char> one = patterned_bytes(1300000, 31);
    std::vector<unsigned char> two = patterned_bytes(700001, 32);
    sim_queue_capture(1, one.data(), one.size());
    sim_queue_capture(2, two.data(), two.size());
    sim_set_active_modems(2);
    end_after_idle();
    EXPECT_EQ(run(), 0);
    EXPECT_EQ(file_text(console_), "Port(s) opened\nPort(s) closed\n");
    EXPECT_EQ(file_bytes("session.rec.1"), one);
    EXPECT_EQ(file_bytes("session.rec.2"), two);
    EXPECT_EQ(recorder_setup(), WORD_OFF);
    EXPECT_FALSE(sim_device_open());
    EXPECT_EQ(directory_names(), (std::vector<std::string>{"session.rec.1", "session.rec.2"}));
}

TEST_F(RecorderTest, ExistingFilesAreReplaced) {
    std::FILE *old = std::fopen("session.rec.2", "wb");
    ASSERT_NE(old, nullptr);
    std::fputs("stale data", old);
    std::fclose(old);
    sim_queue_capture_fill(1, 10, 0x01);
    sim_set_active_modems(1);
    end_after_idle();
    run();
    EXPECT_TRUE(file_bytes("session.rec.2").empty());
}

TEST_F(RecorderTest, WaitsRestingUntilAModemBecomesActive) {
    const TraceDirective script[] = {wait_directive(500), active_directive(1), wait_directive(300),
                                     active_directive(0)};
    sim_play(script, 4);
    EXPECT_EQ(run(), 0);
    EXPECT_EQ(file_text(console_), "Port(s) opened\nPort(s) closed\n");
    // The clock runs only while the recorder rests: 5 ms steps while waiting,
    // 100 ms after a pass without data.
    EXPECT_GE(sim_clock(), 800u);
    EXPECT_LE(sim_clock(), 910u);
}

TEST_F(RecorderTest, DeviceNameFromTheArgument) {
    struct Case {
        const char *description;
        bool nt_family;
        const char *simulated_name;
        std::vector<std::string> arguments;
        bool opens;
    };
    const Case cases[] = {
        {"abc on NT", true, "abc", {"abc"}, true},
        {"abc on 9x", false, "abc", {"abc"}, true},
        {"abc with further arguments", true, "abc", {"abc", "ignored"}, true},
        {"NT default", true, "trvlmd", {}, true},
        {"9x default", false, "TRVLM", {}, true},
        {"empty argument keeps the default", true, "trvlmd", {""}, true},
        {"other name does not open abc", true, "abc", {"xyz"}, false},
        {"default does not open abc", true, "abc", {}, false},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.description);
        fresh_world();
        std::remove("session.rec.1");
        std::remove("session.rec.2");
        std::rewind(console_);
        ASSERT_EQ(ftruncate(fileno(console_), 0), 0);
        setup_writes.clear();
        inproc_set_nt_family(c.nt_family);
        sim_set_device_name(c.simulated_name);
        sim_set_active_modems(1);
        if (c.opens) {
            end_after_idle();
            EXPECT_EQ(run(c.arguments), 0);
            EXPECT_EQ(file_text(console_), "Port(s) opened\nPort(s) closed\n");
        } else {
            // The device never opens: the recorder waits until interrupted.
            Interrupter interrupter(FIRST_INTERRUPT);
            EXPECT_EQ(run(c.arguments), 0);
            EXPECT_EQ(file_text(console_), "");
            EXPECT_GT(sim_open_count(), 0u);
            EXPECT_FALSE(file_exists("session.rec.1"));
        }
        EXPECT_EQ(setup_writes, (std::vector<std::vector<unsigned char>>{WORD_ON, WORD_OFF}));
    }
}

TEST_F(RecorderTest, DeviceArgumentTooLongIsRefused) {
    sim_set_active_modems(1);
    EXPECT_EQ(run({std::string(76, 'd')}), 0);
    EXPECT_EQ(file_text(console_), "");
    EXPECT_EQ(file_text(errors_), "Device name too long: at most 75 characters\n");
    EXPECT_TRUE(setup_writes.empty());
    EXPECT_TRUE(directory_names().empty());
}

TEST_F(RecorderTest, SetupValueIsPreservedOutsideBitZero) {
    struct Case {
        const char *description;
        std::vector<unsigned char> before;
    };
    const Case cases[] = {
        {"four bytes, other bits set", {0xFE, 0xFF, 0x00, 0x81}},
        {"ten bytes", {0x10, 1, 2, 3, 4, 5, 6, 7, 8, 9}},
        {"largest value kept whole", patterned_bytes(SETUP_VALUE_MAX, 40)},
        {"three bytes keep their size", {0x20, 0x21, 0x22}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.description);
        fresh_world();
        std::vector<unsigned char> before = c.before;
        before[0] &= 0xFE;
        sim_set_value(RECORDER_KEY, TARVEL_SETUP_VALUE, before.data(),
                      static_cast<uint32_t>(before.size()));
        setup_writes.clear();
        sim_set_active_modems(1);
        end_after_idle();
        EXPECT_EQ(run(), 0);
        std::vector<unsigned char> on = before;
        on[0] |= 1;
        EXPECT_EQ(setup_writes, (std::vector<std::vector<unsigned char>>{on, before}));
        EXPECT_EQ(recorder_setup(), before);
    }
}

TEST_F(RecorderTest, SetupValueFromTheDriverFaultIsPreserved) {
    SimFaults faults{};
    faults.setup_value_size = 64;
    sim_set_faults(faults);
    sim_set_active_modems(1);
    end_after_idle();
    EXPECT_EQ(run(), 0);
    std::vector<unsigned char> expected;
    for (size_t i = 0; i < 64; ++i) {
        expected.push_back(sim_setup_pattern_byte(i));
    }
    ASSERT_EQ(setup_writes.size(), 2u);
    EXPECT_EQ(setup_writes[0][0], expected[0] | 1);
    EXPECT_EQ(std::vector<unsigned char>(setup_writes[0].begin() + 1, setup_writes[0].end()),
              std::vector<unsigned char>(expected.begin() + 1, expected.end()));
    EXPECT_EQ(recorder_setup(), expected);
}

TEST_F(RecorderTest, SetupValueTooLongToKeepStopsTheRecorderUntouched) {
    std::vector<unsigned char> value = patterned_bytes(SETUP_VALUE_MAX + 1, 41);
    sim_set_value(RECORDER_KEY, TARVEL_SETUP_VALUE, value.data(),
                  static_cast<uint32_t>(value.size()));
    sim_set_active_modems(1);
    EXPECT_EQ(run(), 0);
    EXPECT_EQ(file_text(console_), "");
    EXPECT_NE(file_text(errors_).find("TarvelSetup"), std::string::npos);
    EXPECT_TRUE(setup_writes.empty());
    EXPECT_EQ(recorder_setup(), value);
    EXPECT_TRUE(directory_names().empty());
}

#if !defined(_WIN32)
// A file-size limit fails a write the way a full disk does. The failed
// file is never written again (it stays an exact prefix of the stream even
// though the last, small chunk would fit), the message says where it
// stopped, and the other modem goes on being copied.
TEST_F(RecorderTest, FailedWriteIsReportedOnceAndTheOtherModemIsStillCopied) {
    std::vector<unsigned char> one = patterned_bytes(2 * 524288 + 1000, 50);
    std::vector<unsigned char> two = patterned_bytes(524288 + 99, 51);
    sim_queue_capture(1, one.data(), one.size());
    sim_queue_capture(2, two.data(), two.size());
    sim_set_active_modems(2);
    end_after_idle();
    rlimit previous;
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &previous), 0);
    rlimit limited = previous;
    limited.rlim_cur = 524288 + 524288 / 3;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &limited), 0);
    const int result = run();  // SIGXFSZ would end the test program here
    setrlimit(RLIMIT_FSIZE, &previous);
    EXPECT_EQ(result, 0);
    EXPECT_EQ(file_text(console_), "Port(s) opened\nPort(s) closed\n");
    EXPECT_EQ(file_text(errors_), "Write to session.rec.1 failed, error = " + std::to_string(EFBIG) +
                                      "; it holds the first 524288 bytes, the rest is not written\n");
    EXPECT_EQ(file_bytes("session.rec.1"), std::vector<unsigned char>(one.begin(), one.begin() + 524288));
    EXPECT_EQ(file_bytes("session.rec.2"), std::vector<unsigned char>(two.begin(), two.begin() + 524288 + 99));
    EXPECT_EQ(sim_pending_capture(1), 0u);
    EXPECT_EQ(setup_writes, (std::vector<std::vector<unsigned char>>{WORD_ON, WORD_OFF}));
}

// Standard output closed (recorder | head -1): the console message is an
// output error, not the end of the program: the session is still recorded
// and the flag cleared, and the error is reported at the end (status 1).
TEST_F(RecorderTest, ClosedStandardOutputStillClearsTheFlag) {
    int ends[2];
    ASSERT_EQ(pipe(ends), 0);
    close(ends[0]);
    FILE *closed = fdopen(ends[1], "w");
    ASSERT_NE(closed, nullptr);
    recorder_console = closed;
    sim_queue_capture_fill(1, 1000, 0x31);
    sim_set_active_modems(1);
    end_after_idle();
    EXPECT_EQ(run(), 1);
    recorder_console = console_;
    std::fclose(closed);
    EXPECT_EQ(file_text(errors_), "Standard output could not be written\n");
    EXPECT_EQ(setup_writes, (std::vector<std::vector<unsigned char>>{WORD_ON, WORD_OFF}));
    EXPECT_EQ(file_bytes("session.rec.1"), std::vector<unsigned char>(1000, 0x31));
}

#endif  // !_WIN32

// Data that the driver queues in the same moment as ActiveModems falls to
// 0 still reaches the files: each modem gets a last read before the device
// closes.
TEST_F(RecorderTest, LastDataOfASessionIsRead) {
    std::vector<unsigned char> early = patterned_bytes(7000, 70);
    std::vector<unsigned char> late_one = patterned_bytes(3000, 71);
    std::vector<unsigned char> late_two = patterned_bytes(2000, 72);
    TraceDirective cap_one{};
    cap_one.op = TRACE_CAP;
    cap_one.modem = 1;
    cap_one.bytes = late_one;
    TraceDirective cap_two = cap_one;
    cap_two.modem = 2;
    cap_two.bytes = late_two;
    sim_queue_capture(1, early.data(), early.size());
    sim_set_active_modems(2);
    const TraceDirective script[] = {wait_directive(50), cap_one, cap_two, active_directive(0)};
    sim_play(script, 4);
    EXPECT_EQ(run(), 0);
    std::vector<unsigned char> one = early;
    one.insert(one.end(), late_one.begin(), late_one.end());
    EXPECT_EQ(file_bytes("session.rec.1"), one);
    EXPECT_EQ(file_bytes("session.rec.2"), late_two);
}

// The driver reports a full buffer for a few bytes: what the read did not
// fill is never the other modem's data from the read before.
TEST_F(RecorderTest, OverReportedCountNeverMixesTheModems) {
    sim_queue_capture_fill(1, 4000, 0xAA);
    sim_queue_capture_fill(2, 100, 0xBB);
    SimFaults faults{};
    faults.capture_count = 524288;
    sim_set_faults(faults);
    sim_set_active_modems(2);
    end_after_idle();
    EXPECT_EQ(run(), 0);
    std::vector<unsigned char> two = file_bytes("session.rec.2");
    EXPECT_EQ(std::count(two.begin(), two.end(), 0xAA), 0) << "modem 1's bytes in modem 2's file";
    EXPECT_EQ(std::count(two.begin(), two.end(), 0xBB), 100);
}

TEST_F(RecorderTest, InterruptWhileRecordingEndsLikeTheEndOfRecording) {
    const int signals[] = {
        FIRST_INTERRUPT, SECOND_INTERRUPT,
#ifdef SIGHUP
        SIGHUP,
#endif
    };
    for (int signal_number : signals) {
        SCOPED_TRACE(signal_number);
        fresh_world();
        std::rewind(console_);
        ASSERT_EQ(ftruncate(fileno(console_), 0), 0);
        setup_writes.clear();
        std::vector<unsigned char> one = patterned_bytes(2 * 524288 + 5, 61);
        std::vector<unsigned char> two = patterned_bytes(4321, 62);
        sim_queue_capture(1, one.data(), one.size());
        sim_queue_capture(2, two.data(), two.size());
        sim_set_active_modems(2);  // and they stay active
        {
            Interrupter interrupter(signal_number);
            EXPECT_EQ(run(), 0);
        }
        EXPECT_EQ(file_text(console_), "Port(s) opened\nPort(s) closed\n");
        EXPECT_EQ(setup_writes, (std::vector<std::vector<unsigned char>>{WORD_ON, WORD_OFF}));
        EXPECT_EQ(file_bytes("session.rec.1"), one);
        EXPECT_EQ(file_bytes("session.rec.2"), two);
    }
}

// An interrupt that comes before the first read still leaves the files
// with everything the driver already held.
TEST_F(RecorderTest, InterruptBeforeTheFirstReadKeepsWhatIsPending) {
    std::vector<unsigned char> one = patterned_bytes(524288 + 77, 63);
    std::vector<unsigned char> two = patterned_bytes(999, 64);
    sim_queue_capture(1, one.data(), one.size());
    sim_queue_capture(2, two.data(), two.size());
    sim_set_active_modems(2);
    interrupt_on_flag = true;
    EXPECT_EQ(run(), 0);
    EXPECT_EQ(file_text(console_), "Port(s) opened\nPort(s) closed\n");
    EXPECT_EQ(setup_writes, (std::vector<std::vector<unsigned char>>{WORD_ON, WORD_OFF}));
    EXPECT_EQ(file_bytes("session.rec.1"), one);
    EXPECT_EQ(file_bytes("session.rec.2"), two);
}

TEST_F(RecorderTest, InterruptWhileWaitingClearsTheFlag) {
    {
        Interrupter interrupter(FIRST_INTERRUPT);
        EXPECT_EQ(run(), 0);
    }
    EXPECT_EQ(file_text(console_), "");
    EXPECT_EQ(setup_writes, (std::vector<std::vector<unsigned char>>{WORD_ON, WORD_OFF}));
    EXPECT_TRUE(directory_names().empty());
}

TEST_F(RecorderTest, CountAboveTheBufferIsCutToTheBuffer) {
    sim_queue_capture_fill(1, 524288 + 10, 0x3C);
    SimFaults faults{};
    faults.capture_count = 3 * 524288;
    sim_set_faults(faults);
    sim_set_active_modems(1);
    end_after_idle();
    EXPECT_EQ(run(), 0);
    // Two reads found data pending; each wrote no more than the buffer
    // holds, and what the second did not fill is zeros, not stale bytes.
    std::vector<unsigned char> expected(2 * 524288, 0);
    std::fill(expected.begin(), expected.begin() + 524288 + 10, 0x3C);
    EXPECT_EQ(file_bytes("session.rec.1"), expected);
}

}  // namespace
