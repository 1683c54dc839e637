// Sessions that did not end well: a writer killed between flushes, files
// cut or damaged afterwards, and more driver memory reads than the log holds.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "session_fixture.h"

namespace {

TEST(SessionDamage, KilledWriterLeavesWhatItFlushed) {
    for (const char *suffix : {".trace", ".trace.gz"}) {
        SCOPED_TRACE(suffix);
        const std::string path = temp_path(suffix), copy = temp_path(suffix);
        LiveMonitor live;
        ASSERT_TRUE(live.open(path));
        const size_t flushed = record_texts(live, 250);
        ASSERT_GT(flushed, 100u);
        ASSERT_LT(flushed, live.shown.size());
        put_file(copy, file_bytes(path));  // the file as a killed monitor leaves it
        live.shown.resize(flushed);
        testing::internal::CaptureStderr();
        TraceReadResult result;
        const ShownLines lines = session_file_lines(copy, &result);
        testing::internal::GetCapturedStderr();
        EXPECT_EQ(result, TRACE_READ_OK);
        EXPECT_TRUE(same_lines(lines, live.shown));
        remove(path.c_str());
        remove(copy.c_str());
    }
}

// A cut file reads up to its last complete line with a warning; a damaged
// one never reads as something else without saying so.
TEST(SessionDamage, CutAndDamagedFiles) {
    struct Damage {
        const char *description;
        const char *suffix;
        double at;       // where, as a share of the file
        bool cut;        // cut there, else overwrite bytes there
        TraceReadResult expected;
        const char *message;  // in what the reader says
    } cases[] = {
        {"plain, cut in a line", ".trace", 0.5, true, TRACE_READ_OK, "warning: file cut short"},
        {"plain, cut near the end", ".trace", 0.95, true, TRACE_READ_OK, "warning: file cut short"},
        {"plain, a line of garbage", ".trace", 0.5, false, TRACE_READ_MALFORMED,
         ": unknown directive 'garbage!'"},
        {"compressed, cut early", ".gz", 0.2, true, TRACE_READ_OK, "warning:"},
        {"compressed, cut near the end", ".gz", 0.95, true, TRACE_READ_OK, "warning:"},
        {"compressed, bytes overwritten", ".gz", 0.5, false, TRACE_READ_OK, "warning:"},
    };
    for (const Damage &c : cases) {
        SCOPED_TRACE(c.description);
        const std::string path = temp_path(c.suffix);
        LiveMonitor live;
        ASSERT_TRUE(live.open(path));
        record_texts(live, 2000);
        ASSERT_TRUE(live.writer.close());
        std::string bytes = file_bytes(path);
        const size_t at = size_t(double(bytes.size()) * c.at);
        if (c.cut) {
            bytes.resize(at);
        } else if (c.suffix == std::string(".gz")) {
            bytes.replace(at, 8, "garbage!");
        } else {
            bytes.insert(bytes.find('\n', at) + 1, "garbage!\n");
        }
        put_file(path, bytes);
        testing::internal::CaptureStderr();
        TraceReadResult result;
        const ShownLines lines = session_file_lines(path, &result);
        const std::string said = testing::internal::GetCapturedStderr();
        if (result == TRACE_READ_MALFORMED && !c.cut && c.expected == TRACE_READ_OK) {
            // Damaged compressed data may also inflate to a malformed line.
            EXPECT_EQ(said.rfind(path + ":", 0), 0u) << said;
            remove(path.c_str());
            continue;
        }
        EXPECT_NE(said.find(c.message), std::string::npos) << said;
        ASSERT_EQ(result, c.expected) << said;
        if (result == TRACE_READ_OK) {
            ASSERT_GT(lines.size(), 0u);
            ASSERT_LT(lines.size(), live.shown.size());
            live.shown.resize(lines.size());
            EXPECT_TRUE(same_lines(lines, live.shown));
        }
        remove(path.c_str());
    }
}

size_t generous_reader(void *, uint32_t, unsigned char *dest, size_t count) {
    for (size_t i = 0; i < count; ++i) dest[i] = static_cast<unsigned char>(i);
    return count + 100;  // claims more than it was asked for
}

TEST(SessionDamage, MemoryReadLogKeepsWithinItsBuffers) {
    MemoryReadLog log;
    memory_read_log_init(log, DriverMemory{generous_reader, nullptr});
    unsigned char dest[600];
    struct Read {
        uint32_t count;
        size_t reads_after;
        bool overflowed_after;
    } reads[] = {{16, 1, false}, {511, 2, false}, {3000, 3, false}, {600, 3, true}};
    for (const Read &r : reads) {
        SCOPED_TRACE(r.count);
        unsigned char *target = r.count <= sizeof dest ? dest : new unsigned char[r.count];
        EXPECT_EQ(logging_memory_reader(&log, 0x1000, target, r.count), r.count);
        if (target != dest) delete[] target;
        EXPECT_EQ(log.read_count, r.reads_after);
        EXPECT_EQ(log.overflowed, r.overflowed_after);
        EXPECT_LE(log.data_used, MEMORY_LOG_BYTES);
    }
    memory_read_log_clear(log);
    std::vector<unsigned char> huge(MEMORY_LOG_BYTES + 1);
    logging_memory_reader(&log, 0x1000, huge.data(), huge.size());
    EXPECT_EQ(log.read_count, 0u);
    EXPECT_TRUE(log.overflowed);
    memory_read_log_clear(log);
    for (size_t i = 0; i <= MEMORY_LOG_READS; ++i) logging_memory_reader(&log, 0x1000, dest, 1);
    EXPECT_EQ(log.read_count, MEMORY_LOG_READS);
    EXPECT_TRUE(log.overflowed);
}

}  // namespace
