// Write errors stop a recording with a message the monitor can show, and
// nothing else: a full disk, the file removed under it, a reader gone.
#include <gtest/gtest.h>

#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <string>

#include "session_fixture.h"

namespace {

TEST(SessionWriteError, StopsTheRecordingWithAMessage) {
    signal(SIGPIPE, SIG_IGN);  // a closed pipe must come back as EPIPE
    const std::string full_gz = temp_path(".gz");
    ASSERT_EQ(symlink("/dev/full", full_gz.c_str()), 0);
    struct WriteError {
        const char *description;
        std::string path;
        bool opens;                 // the header still reaches the file
        void (*break_it)(const std::string &path, int pipe_read);
        const char *message;
    } cases[] = {
        {"full disk", "/dev/full", false, nullptr, "No space left on device"},
        {"full disk, compressed", full_gz, false, nullptr, "No space left on device"},
        {"file removed", temp_path(".trace"), true,
         [](const std::string &path, int) { remove(path.c_str()); }, "the file was removed"},
        {"reader gone", "pipe", true, [](const std::string &, int pipe_read) { close(pipe_read); },
         "Broken pipe"},
    };
    for (WriteError &c : cases) {
        SCOPED_TRACE(c.description);
        int pipe_ends[2] = {-1, -1};
        if (c.path == "pipe") {
            ASSERT_EQ(pipe(pipe_ends), 0);
            c.path = "/proc/self/fd/" + std::to_string(pipe_ends[1]);
        }
        LiveMonitor live;
        ASSERT_EQ(live.open(c.path), c.opens) << live.writer.error();
        if (c.break_it != nullptr) c.break_it(c.path, pipe_ends[0]);
        record_texts(live, 400);  // 10 seconds of ticks: flushed and checked
        EXPECT_FALSE(live.writer.recording());
        EXPECT_NE(std::string(live.writer.error()).find(c.message), std::string::npos)
            << live.writer.error();
        live.fetch(1, StatusRecord{97, TEXT, 0, 0, 0, 0, 0, 0, 0, 1});  // ignored, no harm
        EXPECT_FALSE(live.writer.close());
        if (pipe_ends[1] >= 0) close(pipe_ends[1]);
    }
    remove(full_gz.c_str());
    signal(SIGPIPE, SIG_DFL);
}

// A write that fails in the last buffers, with no flush after it: the
// close reports it.
TEST(SessionWriteError, CloseReportsAFailureOfTheLastWrites) {
    signal(SIGPIPE, SIG_IGN);
    for (const char *suffix : {"", ".gz"}) {
        SCOPED_TRACE(*suffix != '\0' ? "compressed" : "plain");
        int pipe_ends[2] = {-1, -1};
        ASSERT_EQ(pipe(pipe_ends), 0);
        // A compressed file is named by its .gz: a link to the pipe.
        std::string path = "/proc/self/fd/" + std::to_string(pipe_ends[1]);
        if (*suffix != '\0') {
            const std::string link = temp_path(suffix);
            ASSERT_EQ(symlink(path.c_str(), link.c_str()), 0);
            path = link;
        }
        LiveMonitor live;
        // The header and its flush fit the pipe; then the reader goes.
        ASSERT_TRUE(live.open(path)) << live.writer.error();
        close(pipe_ends[0]);
        for (int i = 0; i < 20000; ++i) live.fetch(1, StatusRecord{1, uint32_t(i), 0, 0, 0, 0, 0, 0, 0, 1});
        EXPECT_FALSE(live.writer.close());
        EXPECT_NE(std::string(live.writer.error()).find("Broken pipe"), std::string::npos) << live.writer.error();
        close(pipe_ends[1]);
        if (*suffix != '\0') remove(path.c_str());
    }
    signal(SIGPIPE, SIG_DFL);
}

}  // namespace
