// Runs the built tarvel-decode program: the golden output of a fixture
// trace, the plain output mode, options, exit statuses and error messages,
// and every scenario trace of the project.
#include <gtest/gtest.h>

#include <dirent.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

std::string env_or_empty(const char *name) {
    const char *value = getenv(name);
    return value != nullptr ? value : "";
}

// The build directory: TARVEL_BINARY_DIR when set, else the directory above
// this test program's own (the program is built in BUILD/tests).
std::string binary_dir() {
    std::string dir = env_or_empty("TARVEL_BINARY_DIR");
    if (!dir.empty()) return dir;
    char self[4096];
    ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
    if (n <= 0) return "";
    dir.assign(self, static_cast<size_t>(n));
    for (int up = 0; up < 2; ++up) {
        size_t slash = dir.rfind('/');
        if (slash == std::string::npos) return "";
        dir.erase(slash);
    }
    return dir;
}

std::string tool_path() { return binary_dir() + "/tools/tarvel-decode"; }
std::string data_dir() { return env_or_empty("TARVEL_SOURCE_DIR") + "/tests/tools/data"; }

std::string read_file(const std::string &path) {
    std::string text;
    FILE *file = fopen(path.c_str(), "rb");
    if (file == nullptr) return "<cannot open " + path + ">";
    char buffer[4096];
    size_t n;
    while ((n = fread(buffer, 1, sizeof buffer, file)) > 0) text.append(buffer, n);
    fclose(file);
    return text;
}

struct RunResult {
    int status;
    std::string out;
    std::string err;
};

// Runs "tarvel-decode ARGS" through the shell (so ARGS may redirect stdin
// or stdout) and collects its output.
RunResult run_tool(const std::string &args) {
    // ctest runs tests in parallel processes: name the files by process.
    std::string stem = testing::TempDir() + "tarvel_decode_" + std::to_string(getpid());
    std::string out_path = stem + "_out.txt";
    std::string err_path = stem + "_err.txt";
    std::string command =
        "'" + tool_path() + "' " + args + " >'" + out_path + "' 2>'" + err_path + "'";
    int raw = system(command.c_str());
    RunResult result;
    result.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    result.out = read_file(out_path);
    result.err = read_file(err_path);
    remove(out_path.c_str());
    remove(err_path.c_str());
    return result;
}

class DecodeTool : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_FALSE(env_or_empty("TARVEL_SOURCE_DIR").empty())
            << "TARVEL_SOURCE_DIR must name the source tree (ctest sets it)";
        FILE *tool = fopen(tool_path().c_str(), "rb");
        ASSERT_NE(tool, nullptr) << "tarvel-decode not built at " << tool_path();
        fclose(tool);
    }
};

TEST_F(DecodeTool, GoldenTraceEscaped) {
    RunResult r = run_tool("--escape '" + data_dir() + "/golden.trace'");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, "");
    std::string expected = read_file(data_dir() + "/golden.expected");
    // Compare line by line first, so that a failure names the line.
    size_t out_pos = 0, exp_pos = 0;
    for (int line = 1; out_pos < r.out.size() && exp_pos < expected.size(); ++line) {
        size_t out_end = r.out.find('\n', out_pos);
        size_t exp_end = expected.find('\n', exp_pos);
        EXPECT_EQ(r.out.substr(out_pos, out_end - out_pos), expected.substr(exp_pos, exp_end - exp_pos))
            << "output line " << line;
        if (out_end == std::string::npos || exp_end == std::string::npos) break;
        out_pos = out_end + 1;
        exp_pos = exp_end + 1;
    }
    EXPECT_EQ(r.out, expected);
}

struct RunCase {
    const char *description;
    std::string args;
    int status;
    std::string out;
    std::string err;
};

TEST_F(DecodeTool, OutputModesOptionsAndStatuses) {
    const std::string d = data_dir();
    const std::string plain_out =
        "Carrier Present! \n"
        "Connection established! \n\n"
        "two\twords\t\n"
        "Hook switch  ON \n";
    const std::string escaped_out =
        "Carrier Present! \n"
        "\n"
        "Connection established! \\n\n"
        "two\\twords\\t\n"
        "Hook switch  ON \n";
    const std::string version = std::string("tarvel-decode ") + TARVEL_VERSION + "\n";
    const RunCase cases[] = {
        {"plain mode prints only lines", "'" + d + "/plain.trace'", 0, plain_out, ""},
        {"escape mode prints one line per record", "--escape '" + d + "/plain.trace'", 0,
         escaped_out, ""},
        {"option after the file", "'" + d + "/plain.trace' --escape", 0, escaped_out, ""},
        {"standard input without FILE", "< '" + d + "/plain.trace'", 0, plain_out, ""},
        {"standard input as -", "- < '" + d + "/plain.trace'", 0, plain_out, ""},
        {"two files in order", "'" + d + "/plain.trace' '" + d + "/plain.trace'", 0,
         plain_out + plain_out, ""},
        {"malformed file prints nothing of itself", "'" + d + "/malformed.trace'", 2, "",
         d + "/malformed.trace:3: rec parameter: bad number '0x1G'\n"},
        {"malformed file among good ones", "'" + d + "/plain.trace' '" + d + "/malformed.trace' '" +
         d + "/plain.trace'", 2, plain_out + plain_out,
         d + "/malformed.trace:3: rec parameter: bad number '0x1G'\n"},
        {"malformed standard input", "< '" + d + "/malformed.trace'", 2, "",
         "<stdin>:3: rec parameter: bad number '0x1G'\n"},
        {"missing file", "'" + d + "/no-such.trace'", 1, "",
         "tarvel-decode: " + d + "/no-such.trace: No such file or directory\n"},
        {"missing file does not stop the others", "'" + d + "/no-such.trace' '" + d + "/plain.trace'",
         1, plain_out, "tarvel-decode: " + d + "/no-such.trace: No such file or directory\n"},
        {"a directory", "'" + d + "'", 1, "", "tarvel-decode: " + d + ": Is a directory\n"},
        {"-- ends the options", "-- --escape", 1, "",
         "tarvel-decode: --escape: No such file or directory\n"},
        {"version", "--version", 0, version, ""},
    };
    for (const RunCase &c : cases) {
        SCOPED_TRACE(c.description);
        RunResult r = run_tool(c.args);
        EXPECT_EQ(r.status, c.status);
        EXPECT_EQ(r.out, c.out);
        EXPECT_EQ(r.err, c.err);
    }
}

TEST_F(DecodeTool, HelpAndUnknownOptions) {
    RunResult help = run_tool("--help");
    EXPECT_EQ(help.status, 0);
    EXPECT_EQ(help.out.rfind("Usage: tarvel-decode [--escape] [FILE...]\n", 0), 0u) << help.out;
    EXPECT_EQ(help.err, "");

    const char *bad_options[] = {"--bogus", "-e", "--escape=1", "--ESCAPE"};
    for (const char *option : bad_options) {
        SCOPED_TRACE(option);
        RunResult r = run_tool(std::string(option) + " < /dev/null");
        EXPECT_EQ(r.status, 2);
        EXPECT_EQ(r.out, "");
        EXPECT_EQ(r.err, "tarvel-decode: unknown option '" + std::string(option) + "'\n" + help.out);
    }
}

TEST_F(DecodeTool, WriteErrorIsReported) {
    FILE *full = fopen("/dev/full", "w");
    if (full == nullptr) GTEST_SKIP() << "no /dev/full";
    fclose(full);
    std::string command = "'" + tool_path() + "' --escape '" + data_dir() +
                          "/golden.trace' >/dev/full 2>'" + testing::TempDir() + "full_err.txt'";
    int raw = system(command.c_str());
    ASSERT_TRUE(WIFEXITED(raw));
    EXPECT_EQ(WEXITSTATUS(raw), 1);
    EXPECT_EQ(read_file(testing::TempDir() + "full_err.txt"),
              "tarvel-decode: write error: No space left on device\n");
    remove((testing::TempDir() + "full_err.txt").c_str());
}

// Writes a generated trace: count lines made by line(i).
template <typename LineOf>
std::string generated_trace(const char *name, size_t count, LineOf line) {
    std::string path = testing::TempDir() + name + std::to_string(getpid()) + ".trace";
    FILE *file = fopen(path.c_str(), "w");
    for (size_t i = 0; i < count; ++i) fputs(line(i).c_str(), file);
    fclose(file);
    return path;
}

// Input that is endless, too large for the memory allowed, or scattered
// over the address space: never a crash, never a clean end that hides a
// failure, and driver memory that costs the bytes defined, not pages.
TEST_F(DecodeTool, BoundedUnderMemoryLimits) {
#if defined(__SANITIZE_ADDRESS__)
    GTEST_SKIP() << "a virtual-memory limit and AddressSanitizer's shadow memory do not mix";
#else
    std::string records = generated_trace("records", 600000, [](size_t) { return std::string("rec 1 97\n"); });
    std::string scattered = generated_trace("scattered", 100000, [](size_t i) {
        char line[40];
        snprintf(line, sizeof line, "mem 0x%08zx ab\n", 0x10000000 + i * 8192);
        return std::string(line);
    });
    struct Case {
        const char *description;
        std::string args;
        int status;
        const char *message;  // part of standard error
    } cases[] = {
        {"endless line", "</dev/zero", 2, "<stdin>:1: line longer than"},
        {"more records than memory allows", "'" + records + "'", 1, "tarvel-decode: out of memory"},
        {"one byte on each of 100000 pages", "--escape '" + scattered + "'", 0, ""},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.description);
        std::string command = "ulimit -v 150000; '" + tool_path() + "' " + c.args;
        std::string out_path = testing::TempDir() + "bounded_out_" + std::to_string(getpid());
        std::string err_path = testing::TempDir() + "bounded_err_" + std::to_string(getpid());
        int raw = system(("(" + command + ") >'" + out_path + "' 2>'" + err_path + "'").c_str());
        ASSERT_TRUE(WIFEXITED(raw)) << "ended by a signal";
        EXPECT_EQ(WEXITSTATUS(raw), c.status);
        std::string err = read_file(err_path);
        EXPECT_NE(err.find(c.message), std::string::npos) << err;
        if (c.status == 0) EXPECT_EQ(err, "");
        remove(out_path.c_str());
        remove(err_path.c_str());
    }
    remove(records.c_str());
    remove(scattered.c_str());
#endif
}

TEST_F(DecodeTool, EveryScenarioIsAccepted) {
    std::string dir = env_or_empty("TARVEL_SOURCE_DIR") + "/scenarios";
    std::vector<std::string> traces;
    if (DIR *listing = opendir(dir.c_str())) {
        while (dirent *entry = readdir(listing)) {
            std::string name = entry->d_name;
            if (name.size() > 6 && name.compare(name.size() - 6, 6, ".trace") == 0) {
                traces.push_back(name);
            }
        }
        closedir(listing);
    }
    ASSERT_FALSE(traces.empty()) << "no traces in " << dir;
    for (const std::string &name : traces) {
        SCOPED_TRACE(name);
        RunResult r = run_tool("'" + dir + "/" + name + "'");
        EXPECT_EQ(r.status, 0);
        EXPECT_EQ(r.err, "");
        EXPECT_FALSE(r.out.empty());
    }
}

}  // namespace

namespace {

struct CallsCase {
    const char *description;
    std::string args;
    int status;
    std::vector<std::string> out_has;  // lines the output must hold, runs of blanks as one
    std::string err_has;
};

// The output's lines with every run of blanks made one blank.
std::vector<std::string> squeezed_lines(const std::string &text) {
    std::vector<std::string> lines(1);
    for (char c : text) {
        if (c == '\n') {
            lines.emplace_back();
        } else if (c != ' ' || lines.back().empty() || lines.back().back() != ' ') {
            lines.back() += c;
        }
    }
    return lines;
}

TEST_F(DecodeTool, CallsAndComparisons) {
    const std::string s = "'" + env_or_empty("TARVEL_SOURCE_DIR") + "/scenarios/";
    const CallsCase cases[] = {
        {"calls: the list, then each summary", "--calls " + s + "error-control-call.trace'", 0,
         {" 1 1 0.000 1.500 originate v.32/v.32bis/v.32terbo 14400 14400 1 local 0 local hang-up",
          " 2 2 0.000 1.000 originate v.32/v.32bis/v.32terbo 12000 12000 0 local 0 link failure", "Call 2",
          "Link disconnect retry failed (MNP)", "Termination link failure"},
         ""},
        {"two calls of one file side by side",
         "--compare 1 2 " + s + "error-control-call.trace'", 0,
         {" call 1 | call 2", "* Modem 1 | 2", " Direction originate | originate",
          "* Link disconnect local requested disconnect (LAPM) | retry failed (MNP)",
          "* Termination local hang-up | link failure"},
         ""},
        {"calls of two files", "--compare 1 1 " + s + "v34-call.trace' " + s + "v90-call.trace'", 0,
         {"* Modulation v.34 | v.90", " Direction originate | originate",
          " " + env_or_empty("TARVEL_SOURCE_DIR") + "/scenarios/v34-call.trace call 1 | " +
              env_or_empty("TARVEL_SOURCE_DIR") + "/scenarios/v90-call.trace call 1"},
         ""},
        {"no such call", "--compare 1 3 " + s + "v34-call.trace'", 2, {}, "has 1 calls; there is no call 3"},
        {"a call number that is no number", "--compare 1 x " + s + "v34-call.trace'", 2, {},
         "--compare needs two call numbers"},
        {"call 0", "--compare 0 1 " + s + "v34-call.trace'", 2, {}, "--compare needs two call numbers"},
        {"three files", "--compare 1 1 " + s + "v34-call.trace' " + s + "v34-call.trace' " + s + "v34-call.trace'",
         2, {}, "--compare needs one or two files"},
        {"json without calls", "--json " + s + "v34-call.trace'", 2, {}, "--json needs --calls"},
        {"escape with calls", "--calls --escape " + s + "v34-call.trace'", 2, {}, "--escape applies"},
    };
    for (const CallsCase &c : cases) {
        SCOPED_TRACE(c.description);
        RunResult r = run_tool(c.args);
        EXPECT_EQ(r.status, c.status) << r.err;
        const std::vector<std::string> lines = squeezed_lines(r.out);
        for (const std::string &line : c.out_has) {
            bool found = false;
            for (const std::string &l : lines) found = found || l == line;
            EXPECT_TRUE(found) << "missing: " << line << "\n" << r.out;
        }
        if (!c.err_has.empty()) {
            EXPECT_NE(r.err.find(c.err_has), std::string::npos) << r.err;
        }
    }
}

}  // namespace
