// tarvel-decode: the offline decoder. Reads Tarvel traces and prints the
// line of every status record, decoded against the driver memory that the
// trace's mem and str directives have written up to that record.
//
//   tarvel-decode [--escape] [FILE...]
//
// A session (a trace that starts with a session directive, as the monitor
// records it) prints what the monitor showed instead: "MODEM: line" for
// every record that gave a line, in fetch order, the monitor's own line
// where a shown directive gives one. Files may be gzip-compressed.
//
// Standard input is read when no FILE is given and for "-" (named "<stdin>"
// in messages). Each FILE is read and checked whole before anything of it is
// printed: a malformed file prints nothing, its error goes to standard error
// and the remaining files are still decoded. Each file starts with empty
// driver memory.
//
// Exit status: 0 when every file was decoded; 2 when a file was malformed or
// an option unknown; 1 when a file could not be opened or read, or the output
// could not be written.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <new>
#include <vector>

#include "calls/call_export.h"
#include "calls/call_findings.h"
#include "calls/call_summary.h"
#include "decoder/status.h"
#include "formatting/escape.h"
#include "formatting/formatting.h"
#include "process/standard_fds.h"
#include "session/session_lines.h"
#include "trace/trace.h"
#include "calls/trace_calls.h"

namespace {

const char PROGRAM[] = "tarvel-decode";

const char USAGE[] =
    "Usage: tarvel-decode [--escape] [FILE...]\n"
    "       tarvel-decode --calls [--json] [FILE...]\n"
    "       tarvel-decode --compare A B FILE [FILE2]\n"
    "Prints the decoded line of every status record of Tarvel traces, or the\n"
    "calls that the records make.\n"
    "Reads standard input when no FILE is given, or for FILE \"-\"; FILE may be\n"
    "gzip-compressed. A recorded session prints \"MODEM: line\" for every line\n"
    "the monitor showed.\n"
    "\n"
    "  --escape   one output line per record, with backslash, TAB, line feed,\n"
    "             carriage return and other control bytes written as \\\\, \\t,\n"
    "             \\n, \\r and \\xHH; a record without a line prints an empty line\n"
    "  --calls    the calls of each FILE: a numbered list, then each call's\n"
    "             summary (start, rates, line measurements, retrains, error\n"
    "             control, cleardown, verdict, events, findings, anomalies)\n"
    "  --json     with --calls: one JSON array of the calls per FILE, with the\n"
    "             series points and the frozen eyes\n"
    "  --compare A B FILE [FILE2]\n"
    "             the summaries of two calls side by side, \"*\" where they\n"
    "             differ: calls A and B of FILE, or call A of FILE and call B\n"
    "             of FILE2; A and B are the numbers --calls lists\n"
    "  --help     show this help and exit\n"
    "  --version  show the version and exit\n"
    "  --         end of options\n"
    "\n"
    "Exit status: 0 decoded, 1 file or output error, 2 malformed trace or bad option.\n";

// Running out of memory ends the program with status 1 and a message, like
// any read error: never an abort, and never a clean end with part of the
// input silently missing. What earlier files printed is kept.
[[noreturn]] void out_of_memory() {
    fflush(stdout);
    static const char message[] = "tarvel-decode: out of memory\n";
    fputs(message, stderr);
    _exit(1);
}

struct PrintContext {
    FILE *out;
    bool escape;
    bool session;
};

// Prints one record's line: a session's as "MODEM: line", only when the
// monitor showed one; a plain trace's as the line alone (with --escape, an
// empty line for a record without one).
bool print_line(void *context, const TraceDirective &directive, const char *line) {
    const PrintContext &print = *static_cast<const PrintContext *>(context);
    if (print.session) {
        if (line[0] == '\0') return !ferror(print.out);
        fprintf(print.out, "%u: ", static_cast<unsigned>(directive.record.modem));
    }
    if (print.escape) {
        put_escaped(line, print.out);
    } else if (line[0] != '\0') {
        fputs(line, print.out);
        putc('\n', print.out);
    }
    return !ferror(print.out);
}

void decode_trace(const std::vector<TraceDirective> &trace, bool escape, FILE *out) {
    PrintContext print{out, escape, is_session(trace)};
    trace_lines(trace, print_line, &print);
}

enum FileResult { FILE_DECODED = 0, FILE_UNREADABLE = 1, FILE_MALFORMED = 2 };

// Reads and checks a whole trace or session ("-" is standard input).
FileResult read_input(const char *path, std::vector<TraceDirective> &trace) {
    int input = -1;
    const char *name = "<stdin>";
    if (strcmp(path, "-") != 0) {
        name = path;
        input = open(path, O_RDONLY);
        if (input < 0) {
            fprintf(stderr, "%s: %s: %s\n", PROGRAM, path, strerror(errno));
            return FILE_UNREADABLE;
        }
        struct stat info;
        if (fstat(input, &info) == 0 && S_ISDIR(info.st_mode)) {
            fprintf(stderr, "%s: %s: %s\n", PROGRAM, path, strerror(EISDIR));
            close(input);
            return FILE_UNREADABLE;
        }
    } else {
        input = dup(STDIN_FILENO);
        if (input < 0) {
            fprintf(stderr, "%s: %s: %s\n", PROGRAM, name, strerror(errno));
            return FILE_UNREADABLE;
        }
    }
    switch (read_trace_descriptor(input, name, &trace)) {
    case TRACE_READ_OK: break;
    case TRACE_READ_MALFORMED: return FILE_MALFORMED;
    case TRACE_READ_FAILED: return FILE_UNREADABLE;
    }
    return FILE_DECODED;
}

FileResult decode_file(const char *path, bool escape, FILE *out) {
    std::vector<TraceDirective> trace;
    FileResult result = read_input(path, trace);
    if (result == FILE_DECODED) decode_trace(trace, escape, out);
    return result;
}


// ---- Calls -------------------------------------------------------------------------

FileResult read_calls(const char *path, std::vector<Call> &calls) {
    std::vector<TraceDirective> trace;
    FileResult result = read_input(path, trace);
    if (result == FILE_DECODED) trace_calls(trace, calls);
    return result;
}

void print_call_list(const std::vector<Call> &calls, FILE *out) {
    fprintf(out, "%3s  %5s  %10s  %10s  %-9s  %-22s  %8s  %8s  %8s  %-12s  %9s  %s\n", "#", "modem", "start s",
            "duration s", "direction", "modulation", "rx bit/s", "tx bit/s", "retrains", "cleardown", "anomalies",
            "termination");
    CallVerdict verdict;
    for (size_t i = 0; i < calls.size(); ++i) {
        const Call &c = calls[i];
        call_verdict(c, verdict);
        char start[32], duration[32], rx[16] = "-", tx[16] = "-";
        format_seconds(c.start_us, start, sizeof start);
        format_seconds(c.end_us - c.start_us, duration, sizeof duration);
        if (c.rx_rate.final) snprintf(rx, sizeof rx, "%ld", *c.rx_rate.final);
        if (c.tx_rate.final) snprintf(tx, sizeof tx, "%ld", *c.tx_rate.final);
        fprintf(out, "%3lu  %5d  %10s  %10s  %-9s  %-22s  %8s  %8s  %8u  %-12s  %9u  %s\n",
                static_cast<unsigned long>(i + 1), c.modem, start, duration, direction_name(c.direction),
                c.modulation ? modulation_name(*c.modulation) : "unknown", rx, tx, c.retrains,
                cleardown_name(c.cleardown), c.anomalies_seen, termination_name(verdict.termination));
    }
}

FileResult calls_file(const char *path, bool json, FILE *out) {
    std::vector<Call> calls;
    FileResult result = read_calls(path, calls);
    if (result != FILE_DECODED) return result;
    // Each call is written as it is formatted: the output costs one call's
    // text, not the whole file's.
    std::string text;
    if (!json) print_call_list(calls, out);
    if (json) fputc('[', out);
    for (size_t i = 0; i < calls.size() && !ferror(out); ++i) {
        text.clear();
        if (json) {
            if (i) text += ",\n";
            call_json(calls[i], true, text);
        } else {
            text += "\nCall " + std::to_string(i + 1) + "\n";
            call_summary_text(calls[i], text);
        }
        fwrite(text.data(), 1, text.size(), out);
    }
    if (json) fputs("]\n", out);
    return FILE_DECODED;
}

// A call number as --calls lists it: 1 to count.
bool parse_call_number(const char *text, size_t *number) {
    uint32_t value;
    if (!parse_count(text, &value) || value == 0) return false;
    *number = value;
    return true;
}

// Flushes the output and reports a failed write; false when it failed.
bool finish_output(FILE *out) {
    if (fflush(out) != 0 || ferror(out)) {
        fprintf(stderr, "%s: write error: %s\n", PROGRAM, strerror(errno != 0 ? errno : EIO));
        return false;
    }
    return true;
}

}  // namespace

int main(int argc, char **argv) {
    if (!ensure_standard_fds()) {
        return 1;
    }
    std::set_new_handler(out_of_memory);
    static char output_buffer[1 << 16];
    setvbuf(stdout, output_buffer, _IOFBF, sizeof output_buffer);

    bool escape = false;
    bool calls = false;
    bool json = false;
    bool compare = false;
    size_t compare_a = 0, compare_b = 0;
    bool options_done = false;
    std::vector<const char *> files;
    for (int i = 1; i < argc; ++i) {
        const char *arg = argv[i];
        if (options_done || arg[0] != '-' || strcmp(arg, "-") == 0) {
            files.push_back(arg);
        } else if (strcmp(arg, "--") == 0) {
            options_done = true;
        } else if (strcmp(arg, "--escape") == 0) {
            escape = true;
        } else if (strcmp(arg, "--calls") == 0) {
            calls = true;
        } else if (strcmp(arg, "--json") == 0) {
            json = true;
        } else if (strcmp(arg, "--compare") == 0) {
            if (i + 2 >= argc || !parse_call_number(argv[i + 1], &compare_a) ||
                !parse_call_number(argv[i + 2], &compare_b)) {
                fprintf(stderr, "%s: --compare needs two call numbers (1, 2, ...) before the files\n", PROGRAM);
                fputs(USAGE, stderr);
                return 2;
            }
            compare = true;
            i += 2;
        } else if (strcmp(arg, "--help") == 0) {
            fputs(USAGE, stdout);
            return finish_output(stdout) ? 0 : 1;
        } else if (strcmp(arg, "--version") == 0) {
            printf("%s %s\n", PROGRAM, TARVEL_VERSION);
            return finish_output(stdout) ? 0 : 1;
        } else {
            fprintf(stderr, "%s: unknown option '%s'\n", PROGRAM, arg);
            fputs(USAGE, stderr);
            return 2;
        }
    }
    const char *conflict = nullptr;
    if (calls && compare) conflict = "--calls and --compare exclude each other";
    else if (escape && (calls || compare)) conflict = "--escape applies to decoded lines only";
    else if (json && !calls) conflict = "--json needs --calls";
    else if (compare && (files.empty() || files.size() > 2)) conflict = "--compare needs one or two files";
    if (conflict != nullptr) {
        fprintf(stderr, "%s: %s\n", PROGRAM, conflict);
        fputs(USAGE, stderr);
        return 2;
    }
    if (files.empty()) files.push_back("-");

    if (compare) {
        std::vector<Call> first, second;
        FileResult result = read_calls(files[0], first);
        if (result == FILE_DECODED && files.size() == 2) result = read_calls(files[1], second);
        if (result != FILE_DECODED) return result;
        const std::vector<Call> &other = files.size() == 2 ? second : first;
        const char *other_name = files.size() == 2 ? files[1] : files[0];
        if (compare_a > first.size() || compare_b > other.size()) {
            const bool a_missing = compare_a > first.size();
            fprintf(stderr, "%s: %s has %lu calls; there is no call %lu\n", PROGRAM, a_missing ? files[0] : other_name,
                    static_cast<unsigned long>(a_missing ? first.size() : other.size()),
                    static_cast<unsigned long>(a_missing ? compare_a : compare_b));
            return 2;
        }
        // The columns carry the numbers the user gave (and the files, when two).
        std::string label_a = "call " + std::to_string(compare_a), label_b = "call " + std::to_string(compare_b);
        if (files.size() == 2) {
            label_a = std::string(files[0]) + " " + label_a;
            label_b = std::string(files[1]) + " " + label_b;
        }
        std::string text;
        calls_compare_text(first[compare_a - 1], other[compare_b - 1], text, label_a.c_str(), label_b.c_str());
        fwrite(text.data(), 1, text.size(), stdout);
        return finish_output(stdout) ? 0 : 1;
    }

    bool malformed = false;
    bool unreadable = false;
    for (const char *path : files) {
        FileResult result = calls ? calls_file(path, json, stdout) : decode_file(path, escape, stdout);
        if (result == FILE_MALFORMED) malformed = true;
        if (result == FILE_UNREADABLE) unreadable = true;
        if (ferror(stdout)) break;
    }
    if (!finish_output(stdout)) return 1;
    if (malformed) return 2;
    if (unreadable) return 1;
    return 0;
}
