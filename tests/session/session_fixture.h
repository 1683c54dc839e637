// A monitor stand-in for session tests: it decodes records against its own
// driver memory through the logging reader, as the monitor does, keeps the
// lines it "showed", and records everything into a SessionWriter. Reading
// the session back must give the same lines.
#pragma once

#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <utility>
#include <vector>

#include "decoder/driver_memory.h"
#include "decoder/record_kind.h"
#include "session/memory_read_log.h"
#include "session/session_lines.h"
#include "session/session_writer.h"
#include "trace/sparse_memory.h"
#include "trace/trace.h"

using ShownLines = std::vector<std::pair<uint32_t, std::string>>;  // modem, line

inline std::string temp_path(const char *suffix) {
    static int counter = 0;
    std::error_code error;
    const std::filesystem::path dir = std::filesystem::temp_directory_path(error);
    const std::string name = "session_test_" + std::to_string(getpid()) + "_" + std::to_string(counter++) + suffix;
    return error ? name : (dir / name).string();
}

inline size_t read_live(void *context, uint32_t address, unsigned char *dest, size_t count) {
    if (address == 0) return 0;
    return sparse_read(*static_cast<SparseMemory *>(context), address, dest, count);
}

struct LiveMonitor {
    SparseMemory memory;
    MemoryReadLog log;
    SessionWriter writer;
    ShownLines shown;
    int64_t now_us = 1796751976123456;  // 2026-12-08T17:46:16.123456Z
    uint64_t writer_ticks = 0;          // ticks begun, for the eye points a test expects

    bool open(const std::string &path, uint32_t eye_every = 1) {
        // The log wraps the reader of the live driver memory.
        memory_read_log_init(log, DriverMemory{read_live, &memory});
        SessionOptions options;
        options.program = "LineWatch test";
        options.eye_every = eye_every;
        return writer.open(path.c_str(), now_us, options);
    }

    // One record as the monitor handles it: driver-internal errors and
    // capture requests show the monitor's own text, others the decoder's.
    void fetch(int fetching_modem, const StatusRecord &record) {
        memory_read_log_clear(log);
        StatusLine line = "";
        std::string own;
        const RecordKind kind = record_kind(record);
        if (kind == RecordKind::DRIVER_ERROR) {
            own = "Internal error " + std::to_string(record.code) + "\n(warning box)";
        } else if (kind == RecordKind::CAPTURE_REQUEST) {
            own = record.param1 % 2 ? "Created new log file " + std::to_string(record.param1) + ".log" : "";
        } else if (kind == RecordKind::DECODED_LINE) {
            decode_status(record, logging_memory(log), line);
            own = line;
        }
        if (!own.empty()) shown.emplace_back(record.modem, own);
        writer.record(fetching_modem, record, &log, line_is_intakes(kind) ? own.c_str() : nullptr);
    }

    void tick(int64_t step_us) {
        now_us += step_us;
        writer.begin_tick(now_us);
        writer.flush_if_due(now_us);
    }
};

inline bool collect_line(void *context, const TraceDirective &directive, const char *line) {
    if (line[0] != '\0') static_cast<ShownLines *>(context)->emplace_back(directive.record.modem, line);
    return true;
}

// Compares line lists and names the first difference, not the whole lists.
inline ::testing::AssertionResult same_lines(const ShownLines &actual, const ShownLines &expected) {
    for (size_t i = 0; i < actual.size() && i < expected.size(); ++i) {
        if (actual[i] != expected[i]) {
            return ::testing::AssertionFailure()
                   << "line " << i << ": got " << actual[i].first << ": \"" << actual[i].second
                   << "\", expected " << expected[i].first << ": \"" << expected[i].second << "\"";
        }
    }
    if (actual.size() != expected.size()) {
        return ::testing::AssertionFailure() << actual.size() << " lines, expected " << expected.size();
    }
    return ::testing::AssertionSuccess();
}

// The lines of a session file as tarvel-decode prints them; result receives
// how reading ended.
inline ShownLines session_file_lines(const std::string &path, TraceReadResult *result = nullptr,
                                     std::vector<TraceDirective> *trace_out = nullptr) {
    std::vector<TraceDirective> trace;
    const TraceReadResult read = read_trace_path(path.c_str(), &trace);
    if (result != nullptr) *result = read;
    ShownLines lines;
    trace_lines(trace, collect_line, &lines);
    if (trace_out != nullptr) *trace_out = std::move(trace);
    return lines;
}

inline std::string file_bytes(const std::string &path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

inline void put_file(const std::string &path, const std::string &bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
}

inline constexpr uint32_t TEXT = 0x80001000;

// Records whose lines show each one's number, four a tick; returns how many
// lines the monitor had shown when the file was last flushed.
inline size_t record_texts(LiveMonitor &live, int records) {
    size_t flushed_lines = 0;
    for (int i = 0; i < records && live.writer.recording(); ++i) {
        const std::string text = "text " + std::to_string(i);
        sparse_write(live.memory, TEXT, reinterpret_cast<const unsigned char *>(text.c_str()),
                     text.size() + 1);
        live.fetch(1 + i % 2, StatusRecord{97, TEXT, 0, 0, 0, 0, 0, 0, 0, uint32_t(1 + i % 2)});
        if (i % 4 == 3) {
            const uint64_t before = live.writer.file_bytes();
            live.tick(100000);
            if (live.writer.file_bytes() != before) flushed_lines = live.shown.size();
        }
    }
    return flushed_lines;
}
