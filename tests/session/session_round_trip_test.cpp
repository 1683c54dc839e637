// Sessions written and read back: decoding the file gives exactly the lines
// the monitor showed, for every scenario and for generated sessions with
// changing and unreadable driver memory, both modems interleaved,
// driver-internal errors and capture requests; plain and compressed.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>

#include "session_fixture.h"

namespace {

std::string source_dir() {
    const char *dir = getenv("TARVEL_SOURCE_DIR");
    return dir != nullptr ? dir : TARVEL_SOURCE_DIR;
}

// Plays a trace into the monitor stand-in as a driver would deliver it.
void play(LiveMonitor &live, const std::vector<TraceDirective> &trace) {
    for (const TraceDirective &d : trace) {
        switch (d.op) {
        case TRACE_MEM:
        case TRACE_STR: sparse_write(live.memory, d.address, d.bytes.data(), d.bytes.size()); break;
        case TRACE_UNREADABLE: sparse_unmap(live.memory, d.address, d.value); break;
        case TRACE_ACTIVE: live.writer.active(d.value); break;
        case TRACE_EYE: live.writer.eye(d.modem, d.points.data(), d.points.size()); break;
        case TRACE_WAIT: live.tick(int64_t(d.value) * 1000); break;
        case TRACE_REC: live.fetch(int(d.record.modem == 2 ? 2 : 1), d.record); break;
        default: break;
        }
    }
}

TEST(SessionRoundTrip, EveryScenarioDecodesToTheLinesShown) {
    const char *scenarios[] = {"caller-id-ring", "capture-session", "error-control-call", "fax-session",
                               "internal-errors", "v34-call", "v90-call"};
    for (const char *name : scenarios) {
        for (const char *suffix : {".trace", ".trace.gz"}) {
            SCOPED_TRACE(std::string(name) + suffix);
            std::vector<TraceDirective> scenario;
            ASSERT_TRUE(read_trace_file((source_dir() + "/scenarios/" + name + ".trace").c_str(), &scenario));
            const std::string path = temp_path(suffix);
            LiveMonitor live;
            ASSERT_TRUE(live.open(path)) << live.writer.error();
            play(live, scenario);
            ASSERT_TRUE(live.writer.close()) << live.writer.error();
            ASSERT_FALSE(live.shown.empty());
            TraceReadResult result;
            EXPECT_TRUE(same_lines(session_file_lines(path, &result), live.shown));
            EXPECT_EQ(result, TRACE_READ_OK);
            remove(path.c_str());
        }
    }
}

// A generated session: texts in four slots of driver memory rewritten (the
// decoder reads 511 bytes, old tails included), slots partly unmapped and
// mapped again, a V.34 parameter block changing, records of both modems
// fetched on either modem's tick, driver-internal errors, capture requests,
// records of modem 3, records of the scenarios pointing at memory never
// defined, eye points and ticks with jitter.
struct GeneratedSession {
    const char *description;
    unsigned seed;
    int records;
    const char *suffix;
    uint32_t eye_every;
};

constexpr uint32_t SLOTS = 0x80010000, SLOT_BYTES = 0x200, BLOCK = 0x80020000;

std::vector<StatusRecord> scenario_records() {
    std::vector<StatusRecord> records;
    for (const char *name : {"v34-call", "fax-session", "caller-id-ring"}) {
        std::vector<TraceDirective> trace;
        if (!read_trace_file((source_dir() + "/scenarios/" + name + ".trace").c_str(), &trace)) continue;
        for (const TraceDirective &d : trace) {
            if (d.op == TRACE_REC) records.push_back(d.record);
        }
    }
    return records;
}

// Returns the eye points given to the writer, in order, per tick written.
std::vector<std::vector<EyePoint>> generate(LiveMonitor &live, const GeneratedSession &g) {
    std::mt19937 random(g.seed);
    auto below = [&random](uint32_t n) { return uint32_t(random() % n); };
    const std::vector<StatusRecord> templates = scenario_records();
    std::vector<std::vector<EyePoint>> eyes;
    unsigned char fill[SLOT_BYTES];
    for (uint32_t slot = 0; slot < 4; ++slot) {
        for (unsigned char &b : fill) b = static_cast<unsigned char>(' ' + below(90));
        sparse_write(live.memory, SLOTS + slot * SLOT_BYTES, fill, SLOT_BYTES);
    }
    for (int i = 0; i < g.records; ++i) {
        const uint32_t slot_address = SLOTS + below(4) * SLOT_BYTES;
        const uint32_t event = below(100);
        if (event < 30) {  // a new text, shorter or longer than the last
            std::string text;
            for (uint32_t n = below(60); n > 0; --n) text += "abc \tXYZ019"[below(11)];
            sparse_write(live.memory, slot_address, reinterpret_cast<const unsigned char *>(text.c_str()),
                         text.size() + 1);
        } else if (event < 36) {
            sparse_unmap(live.memory, slot_address + below(40), 1 + below(600));
        } else if (event < 41) {
            for (unsigned char &b : fill) b = static_cast<unsigned char>(' ' + below(90));
            sparse_write(live.memory, slot_address, fill, SLOT_BYTES);
        } else if (event < 50) {
            unsigned char block[37];
            for (unsigned char &b : block) b = static_cast<unsigned char>(below(256));
            sparse_write(live.memory, BLOCK + below(4), block, sizeof block);
        }
        StatusRecord record{};
        record.modem = 1 + below(2);
        const uint32_t kind = below(100);
        if (kind < 40) {
            record.code = 97;
            record.param1 = slot_address + below(8);
        } else if (kind < 55) {
            record.code = 64;
            record.param1 = 36;
            record.param2 = BLOCK + below(4);
        } else if (kind < 60) {
            record.modem = 0;
            record.code = 1 + below(3);
        } else if (kind < 63) {
            record.modem = 3;
            record.code = 97;
            record.param1 = slot_address;
        } else if (kind < 68) {
            record.code = below(2) ? 77 : 131;
            record.param1 = below(20);
        } else if (!templates.empty()) {
            const uint32_t modem = record.modem;
            record = templates[below(uint32_t(templates.size()))];
            record.modem = modem;
        }
        live.fetch(int(1 + below(2)), record);
        if (below(5) == 0) {
            live.tick(100000 + int64_t(below(3000)) - 1500);
            if (below(10) == 0) live.writer.active(below(3));
            const bool kept = g.eye_every != 0 && (live.writer_ticks++ % g.eye_every) == 0;
            for (int modem = 1; modem <= 2; ++modem) {
                std::vector<EyePoint> points(1 + below(512));
                for (EyePoint &p : points) p = EyePoint{int16_t(random()), int16_t(random())};
                live.writer.eye(modem, points.data(), points.size());
                if (kept) eyes.push_back(points);
            }
        }
    }
    return eyes;
}

TEST(SessionRoundTrip, GeneratedSessionsDecodeToTheLinesShown) {
    const GeneratedSession cases[] = {
        {"plain, eye points every tick", 1, 3000, ".trace", 1},
        {"compressed, eye points every tick", 2, 3000, ".trace.gz", 1},
        {"compressed, eye points one tick in 10", 3, 3000, ".gz", 10},
        {"plain, no eye points", 4, 2000, ".session", 0},
    };
    for (const GeneratedSession &g : cases) {
        SCOPED_TRACE(g.description);
        const std::string path = temp_path(g.suffix);
        LiveMonitor live;
        const int64_t start_us = live.now_us;
        ASSERT_TRUE(live.open(path, g.eye_every)) << live.writer.error();
        const std::vector<std::vector<EyePoint>> eyes = generate(live, g);
        ASSERT_TRUE(live.writer.close()) << live.writer.error();
        EXPECT_EQ(live.writer.records(), uint64_t(g.records));

        TraceReadResult result;
        std::vector<TraceDirective> trace;
        EXPECT_TRUE(same_lines(session_file_lines(path, &result, &trace), live.shown));
        EXPECT_EQ(result, TRACE_READ_OK);
        // Eye points of the ticks kept, in order; the waits add up to the
        // last tick's time in whole milliseconds.
        std::vector<std::vector<EyePoint>> read_eyes;
        int64_t waited_ms = 0;
        size_t unreadable = 0;
        for (const TraceDirective &d : trace) {
            if (d.op == TRACE_EYE) read_eyes.push_back(d.points);
            if (d.op == TRACE_WAIT) waited_ms += d.value;
            if (d.op == TRACE_UNREADABLE) ++unreadable;
        }
        ASSERT_EQ(read_eyes.size(), eyes.size());
        for (size_t i = 0; i < eyes.size(); ++i) {
            ASSERT_EQ(read_eyes[i].size(), eyes[i].size()) << "eye " << i;
            for (size_t j = 0; j < eyes[i].size(); ++j) {
                ASSERT_TRUE(read_eyes[i][j].x == eyes[i][j].x && read_eyes[i][j].y == eyes[i][j].y)
                    << "eye " << i << " point " << j;
            }
        }
        EXPECT_EQ(waited_ms, live.now_us / 1000 - start_us / 1000);
        EXPECT_GT(unreadable, 0u);
        remove(path.c_str());
    }
}

}  // namespace

// Records travel to the file's thread marked by a control byte: shown texts
// holding every control byte (the mark among them), between records, still
// read back as the texts and records they were.
TEST(SessionRoundTrip, ControlBytesInShownTextsStayText) {
    std::string controls;
    for (char c = 1; c < 0x20; ++c) controls += c;
    for (const char *suffix : {".trace", ".trace.gz"}) {
        SCOPED_TRACE(suffix);
        const std::string path = temp_path(suffix);
        LiveMonitor live;
        ASSERT_TRUE(live.open(path)) << live.writer.error();
        ShownLines expected;
        for (int i = 0; i < 3000; ++i) {  // more than one buffer's worth
            const std::string text = controls + std::to_string(i);
            live.writer.record(1, StatusRecord{uint32_t(200 + i % 7), 0, 0, 0, 0, 0, 0, 0, 0, 0}, nullptr,
                               text.c_str());
            expected.emplace_back(0, text);
            live.fetch(2, StatusRecord{1, 9600, 0, 0, 0, 0, 0, 0, 0, 2});
            expected.push_back(live.shown.back());
        }
        ASSERT_TRUE(live.writer.close()) << live.writer.error();
        EXPECT_TRUE(same_lines(session_file_lines(path), expected));
        remove(path.c_str());
    }
}
