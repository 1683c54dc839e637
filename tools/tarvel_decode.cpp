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

#include "decoder/status.h"
#include "formatting/escape.h"
#include "process/standard_fds.h"
#include "session/session_lines.h"
#include "simulator/trace.h"

namespace {

const char PROGRAM[] = "tarvel-decode";

const char USAGE[] =
    "Usage: tarvel-decode [--escape] [FILE...]\n"
    "Prints the decoded line of every status record of Tarvel traces.\n"
    "Reads standard input when no FILE is given, or for FILE \"-\"; FILE may be\n"
    "gzip-compressed. A recorded session prints \"MODEM: line\" for every line\n"
    "the monitor showed.\n"
    "\n"
    "  --escape   one output line per record, with backslash, TAB, line feed,\n"
    "             carriage return and other control bytes written as \\\\, \\t,\n"
    "             \\n, \\r and \\xHH; a record without a line prints an empty line\n"
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

FileResult decode_file(const char *path, bool escape, FILE *out) {
    std::vector<TraceDirective> trace;
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
    decode_trace(trace, escape, out);
    return FILE_DECODED;
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
    if (files.empty()) files.push_back("-");

    bool malformed = false;
    bool unreadable = false;
    for (const char *path : files) {
        FileResult result = decode_file(path, escape, stdout);
        if (result == FILE_MALFORMED) malformed = true;
        if (result == FILE_UNREADABLE) unreadable = true;
        if (ferror(stdout)) break;
    }
    if (!finish_output(stdout)) return 1;
    if (malformed) return 2;
    if (unreadable) return 1;
    return 0;
}
