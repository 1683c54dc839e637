// tarvel-sim end to end: the built daemon in a temporary runtime directory,
// reached through the POSIX platform backend as the programs reach it.
#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <string>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>
#include <vector>

#include "decoder/driver_memory.h"
#include "decoder/status.h"
#include "driverlink/device.h"
#include "driverlink/driver_source.h"
#include "driverlink/ioctl.h"
#include "driverlink/platform.h"
#include "session/session_lines.h"
#include "simulator/sim.h"
#include "simwire/sim_wire.h"
#include "trace/trace.h"

namespace {

void sleep_ms(int ms) {
    timespec pause = {ms / 1000, long(ms % 1000) * 1000000L};
    nanosleep(&pause, nullptr);
}

std::string read_file(const std::string &path) {
    std::string text;
    FILE *file = fopen(path.c_str(), "rb");
    if (file != nullptr) {
        char buffer[4096];
        size_t n;
        while ((n = fread(buffer, 1, sizeof buffer, file)) > 0) {
            text.append(buffer, n);
        }
        fclose(file);
    }
    return text;
}

void write_file(const std::string &path, const std::string &text) {
    FILE *file = fopen(path.c_str(), "wb");
    ASSERT_NE(file, nullptr);
    fwrite(text.data(), 1, text.size(), file);
    fclose(file);
}

int raw_connect(const std::string &path) {
    const int fd = socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address = {};
    address.sun_family = AF_UNIX;
    snprintf(address.sun_path, sizeof address.sun_path, "%s", path.c_str());
    const timeval timeout = {5, 0};
    setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
    if (connect(fd, reinterpret_cast<sockaddr *>(&address), sizeof address) != 0) {
        close(fd);
        return -1;
    }
    return fd;
}

// Runs one daemon per test in its own runtime directory; kills it whatever
// happens to the test.
struct DaemonTest : testing::Test {
    std::string dir;
    pid_t pid = -1;
    PlatformDriverSource source_;
    DriverLink link_ = {&source_, "", NO_HANDLE, MONITOR_KEY, NO_HANDLE, nullptr, nullptr};

    void SetUp() override {
        char pattern[] = "/tmp/tarvel-e2e-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        dir = pattern;
        setenv("TARVEL_SIM_DIR", (dir + "/world").c_str(), 1);
        driver_link_close(link_);
        driver_link_init(link_, &source_, MONITOR_KEY);
        choose_device_name(link_, platform_is_nt_family(), nullptr);
    }

    void TearDown() override {
        driver_link_close(link_);
        if (pid > 0) {
            kill(pid, SIGKILL);
            waitpid(pid, nullptr, 0);
        }
        const std::string remove = "rm -rf '" + dir + "'";
        if (system(remove.c_str()) != 0) {
            ADD_FAILURE() << "could not remove " << dir;
        }
    }

    std::string socket_path(const char *name = "trvlmd") const { return dir + "/world/" + name; }

    // Starts tarvel-sim with the arguments and the trace text, and waits
    // (at most 5 s) until it accepts connections.
    void start(std::vector<std::string> args, const std::string &trace, const char *name = "trvlmd") {
        const char *binaries = getenv("TARVEL_BINARY_DIR");
        ASSERT_NE(binaries, nullptr) << "TARVEL_BINARY_DIR is set by ctest";
        const std::string program = std::string(binaries) + "/simulator/tarvel-sim";
        write_file(dir + "/trace.txt", trace);
        args.insert(args.begin(), program);
        args.push_back(dir + "/trace.txt");
        pid = fork();
        ASSERT_GE(pid, 0);
        if (pid == 0) {
            std::vector<char *> argv;
            for (std::string &arg : args) {
                argv.push_back(arg.data());
            }
            argv.push_back(nullptr);
            const int err = open((dir + "/stderr.txt").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
            dup2(err, 2);
            execv(program.c_str(), argv.data());
            _exit(127);
        }
        for (int i = 0; i < 500; ++i) {
            const int fd = raw_connect(socket_path(name));
            if (fd >= 0) {
                close(fd);
                return;
            }
            sleep_ms(10);
        }
        FAIL() << "tarvel-sim did not start: " << read_file(dir + "/stderr.txt");
    }

    // Waits at most ms for the daemon to end by itself; its exit status, or
    // -1 when it is still running.
    int wait_exit(int ms) {
        for (int waited = 0; waited <= ms; waited += 10) {
            int status = 0;
            if (waitpid(pid, &status, WNOHANG) == pid) {
                pid = -1;
                return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
            }
            sleep_ms(10);
        }
        return -1;
    }

    int stop() {
        if (pid <= 0) {
            return -1;  // kill(-1, ...) would signal every process of the user
        }
        kill(pid, SIGTERM);
        return wait_exit(5000);
    }
};

uint32_t status_call(const DriverLink &link, unsigned char *record, uint32_t size = 40) {
    uint32_t returned = 0;
    platform_device_control(link.device, IOCTL_TARVEL_GET_STATUS, nullptr, 0, record, size, &returned);
    return returned;
}

uint32_t word_at(const unsigned char *bytes) {
    return bytes[0] | (bytes[1] << 8) | (bytes[2] << 16) | (uint32_t(bytes[3]) << 24);
}

mode_t mode_of(const std::string &path) {
    struct stat info;
    return lstat(path.c_str(), &info) == 0 ? (info.st_mode & 0777) : 01000;
}

TEST_F(DaemonTest, ServesATraceToTheEnd) {
    start({"--log", dir + "/calls.log"},
          "active 1\n"
          "str 0x80002000 \"Answering call\"\n"
          "rec 1 97 0x80002000\n"
          "rec 2 64 26\n"
          "rec 0 5\n"
          "eye 1 1000 -1000 -1000 1000\n"
          "cap 1 e0 c1 05\n"
          "wait 3000\n"
          "active 0\n");
    const std::string key = dir + "/world/registry/SOFTWARE/Velmora/Tarvel";
    EXPECT_EQ(read_file(key + "/ActiveModems"), std::string("\x01\0\0\0", 4));
    EXPECT_EQ(read_file(dir + "/world/registry/SOFTWARE/Ostrand/Tarvel/ActiveModems"), std::string("\x01\0\0\0", 4));
    EXPECT_EQ(mode_of(dir + "/world"), 0700u);
    EXPECT_EQ(mode_of(key), 0700u);
    EXPECT_EQ(mode_of(key + "/ActiveModems"), 0600u);
    EXPECT_EQ(mode_of(socket_path()), 0600u);

    ASSERT_EQ(modem_presence(link_), 1);
    ASSERT_NE(link_.device, NO_HANDLE);

    // Records in queue order: code and modem of each.
    const uint32_t expected[3][2] = {{97, 1}, {64, 2}, {5, 0}};
    for (const auto &row : expected) {
        unsigned char record[40];
        ASSERT_EQ(status_call(link_, record), 40u);
        EXPECT_EQ(word_at(record), row[0]);
        EXPECT_EQ(word_at(record + 36), row[1]);
    }
    unsigned char record[40];
    EXPECT_EQ(status_call(link_, record), 0u);

    PlatformDriverSource platform;
    const DriverMemory memory = driver_source_memory(platform);
    char text[64];
    EXPECT_EQ(read_driver_block(memory, 0x80002000, text, sizeof text), 14);
    EXPECT_STREQ(text, "Answering call");
    unsigned char unmapped[4];
    EXPECT_FALSE(read_driver_block(memory, 0x80003000, 4, unmapped));

    unsigned char points[EYE_BUFFER_SIZE];
    const uint32_t wanted = EYE_POINTS_WANTED;
    uint32_t returned = 0;
    platform_device_control(link_.device, IOCTL_TARVEL_GET_EYE_1, &wanted, 4, points, sizeof points, &returned);
    EXPECT_EQ(returned, 2u);
    // 1000 = e8 03, -1000 = 18 fc
    const unsigned char eye_bytes[8] = {0xE8, 0x03, 0x18, 0xFC, 0x18, 0xFC, 0xE8, 0x03};
    EXPECT_EQ(memcmp(points, eye_bytes, 8), 0);

    std::vector<unsigned char> capture(CAPTURE_BUFFER_SIZE);
    const uint32_t index0 = 0;
    platform_device_control(link_.device, IOCTL_TARVEL_READ_CAPTURE, &index0, 4, capture.data(), CAPTURE_BUFFER_SIZE, &returned);
    ASSERT_EQ(returned, 3u);
    EXPECT_EQ(capture[0], 0xE0);
    EXPECT_EQ(capture[2], 0x05);
    const uint32_t modem1 = 1;
    platform_device_control(link_.device, IOCTL_TARVEL_CAPTURE_BEGIN_1, &modem1, 4, nullptr, 0, &returned);
    platform_device_control(link_.device, IOCTL_TARVEL_CAPTURE_BEGIN_2, &modem1, 4, nullptr, 0, &returned);

    // The trace sets ActiveModems to 0 after 3 s: presence closes the link_.device,
    // and the daemon ends by itself.
    int presence = 1;
    for (int i = 0; i < 600 && presence != 0; ++i) {
        presence = modem_presence(link_);
        sleep_ms(10);
    }
    EXPECT_EQ(presence, 0);
    EXPECT_EQ(link_.device, NO_HANDLE);
    EXPECT_EQ(wait_exit(5000), 0) << read_file(dir + "/stderr.txt");
    EXPECT_NE(access(socket_path().c_str(), F_OK), 0) << "socket removed at exit";
    EXPECT_EQ(read_file(key + "/ActiveModems"), std::string("\0\0\0\0", 4));
    EXPECT_EQ(read_file(dir + "/calls.log"),
              "IOCTL_TARVEL_GET_STATUS - 40\n"
              "IOCTL_TARVEL_GET_STATUS - 40\n"
              "IOCTL_TARVEL_GET_STATUS - 40\n"
              "IOCTL_TARVEL_GET_STATUS - 0\n"
              "IOCTL_TARVEL_GET_EYE_1 512 2\n"
              "IOCTL_TARVEL_READ_CAPTURE 0 3\n"
              "IOCTL_TARVEL_CAPTURE_BEGIN_1 1 0\n"
              "IOCTL_TARVEL_CAPTURE_BEGIN_2 1 0\n");
}

TEST_F(DaemonTest, LargeCaptureReadsArriveWhole) {
    // Replies larger than the socket buffer go out in pieces over several
    // rounds of the daemon's loop, for both modems in turn.
    start({"--stay"}, "active 2\ncap 1 fill 100000 11\ncap 2 fill 700000 21\ncap 2 5a\n");
    ASSERT_EQ(modem_presence(link_), 2);
    struct Read {
        uint32_t index;
        uint32_t expected;
        unsigned char first;
        unsigned char last;
    } reads[] = {
        {0, 100000, 0x11, 0x11},
        {1, 524288, 0x21, 0x21},
        {0, 0, 0, 0},
        {1, 175713, 0x21, 0x5A},  // 700001 - 524288
        {1, 0, 0, 0},
    };
    std::vector<unsigned char> buffer(CAPTURE_BUFFER_SIZE);
    for (const Read &r : reads) {
        SCOPED_TRACE("index " + std::to_string(r.index) + ", " + std::to_string(r.expected) + " bytes");
        std::fill(buffer.begin(), buffer.end(), 0xCD);
        uint32_t returned = 12345;
        EXPECT_TRUE(platform_device_control(link_.device, IOCTL_TARVEL_READ_CAPTURE, &r.index, 4, buffer.data(),
                                            CAPTURE_BUFFER_SIZE, &returned));
        ASSERT_EQ(returned, r.expected);
        if (r.expected != 0) {
            EXPECT_EQ(buffer[0], r.first);
            EXPECT_EQ(buffer[r.expected - 2], r.first);
            EXPECT_EQ(buffer[r.expected - 1], r.last);
        }
        if (r.expected < CAPTURE_BUFFER_SIZE) {
            EXPECT_EQ(buffer[r.expected], 0xCD);
        }
    }
    EXPECT_EQ(stop(), 0);
}

TEST_F(DaemonTest, ReplyLargerThanTheSocketBufferIsSentToTheEnd) {
    // A client that reads its reply only after a while: the daemon cannot
    // send it at once and must finish it in later rounds, nothing lost.
    start({"--stay"}, "active 1\ncap 1 fill 524288 3c\n");
    const int fd = raw_connect(socket_path());
    ASSERT_GE(fd, 0);
    unsigned char request[sizeof(WireRequest) + 6];
    const WireRequest open_request = {WIRE_MAGIC, WIRE_OPEN, 0, 6, 0};
    memcpy(request, &open_request, sizeof open_request);
    memcpy(request + sizeof open_request, "trvlmd", 6);
    ASSERT_EQ(send(fd, request, sizeof request, MSG_NOSIGNAL), ssize_t(sizeof request));
    WireReply reply = {};
    ASSERT_EQ(recv(fd, &reply, sizeof reply, MSG_WAITALL), ssize_t(sizeof reply));
    ASSERT_EQ(reply.result, 1u);
    const WireRequest read_request = {WIRE_MAGIC, WIRE_CONTROL, IOCTL_TARVEL_READ_CAPTURE, 4, CAPTURE_BUFFER_SIZE};
    const uint32_t index0 = 0;
    memcpy(request, &read_request, sizeof read_request);
    memcpy(request + sizeof read_request, &index0, 4);
    ASSERT_EQ(send(fd, request, sizeof read_request + 4, MSG_NOSIGNAL), ssize_t(sizeof read_request + 4));
    sleep_ms(300);
    ASSERT_EQ(recv(fd, &reply, sizeof reply, MSG_WAITALL), ssize_t(sizeof reply));
    EXPECT_EQ(reply.returned, CAPTURE_BUFFER_SIZE);
    ASSERT_EQ(reply.data_size, CAPTURE_BUFFER_SIZE);
    std::vector<unsigned char> data(CAPTURE_BUFFER_SIZE);
    EXPECT_EQ(recv(fd, data.data(), data.size(), MSG_WAITALL), ssize_t(data.size())) << "the whole reply arrives";
    EXPECT_EQ(std::count(data.begin(), data.end(), 0x3C), ptrdiff_t(data.size()));
    close(fd);
    EXPECT_EQ(stop(), 0);
}

TEST_F(DaemonTest, MalformedRequestsDropOnlyThatClient) {
    start({"--stay"}, "active 1\nrec 1 97\n");
    struct Case {
        const char *description;
        WireRequest header;
        bool open_first;
    } cases[] = {
        {"wrong magic", {0x12345678, WIRE_CONTROL, IOCTL_TARVEL_GET_STATUS, 0, 40}, true},
        {"unknown operation", {WIRE_MAGIC, 99, 0, 0, 0}, true},
        {"control before open", {WIRE_MAGIC, WIRE_CONTROL, IOCTL_TARVEL_GET_STATUS, 0, 40}, false},
        {"absurd output size", {WIRE_MAGIC, WIRE_CONTROL, IOCTL_TARVEL_READ_CAPTURE, 4, 0xFFFFFFFF}, true},
        {"absurd input size", {WIRE_MAGIC, WIRE_CONTROL, IOCTL_TARVEL_READ_CAPTURE, 0x7FFFFFFF, 4}, true},
        {"memory read too large", {WIRE_MAGIC, WIRE_READ_MEMORY, 0x80000000, 0, 0x10000000}, true},
        {"second open", {WIRE_MAGIC, WIRE_OPEN, 0, 6, 0}, true},
        {"batch of no records", {WIRE_MAGIC, WIRE_STATUS_BATCH, 0, 0, 65536}, true},
        {"batch buffer below one entry", {WIRE_MAGIC, WIRE_STATUS_BATCH, 16, 0, 100}, true},
        {"batch before open", {WIRE_MAGIC, WIRE_STATUS_BATCH, 16, 0, 65536}, false},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.description);
        const int fd = raw_connect(socket_path());
        ASSERT_GE(fd, 0);
        if (c.open_first) {
            unsigned char open[sizeof(WireRequest) + 6];
            const WireRequest request = {WIRE_MAGIC, WIRE_OPEN, 0, 6, 0};
            memcpy(open, &request, sizeof request);
            memcpy(open + sizeof request, "trvlmd", 6);
            ASSERT_EQ(send(fd, open, sizeof open, MSG_NOSIGNAL), ssize_t(sizeof open));
            WireReply reply = {};
            ASSERT_EQ(recv(fd, &reply, sizeof reply, MSG_WAITALL), ssize_t(sizeof reply));
            EXPECT_EQ(reply.result, 1u);
        }
        send(fd, &c.header, sizeof c.header, MSG_NOSIGNAL);
        char byte;
        EXPECT_EQ(recv(fd, &byte, 1, 0), 0) << "the daemon closes the connection";
        close(fd);
    }
    // Garbage after a good open: whatever the bytes, only this client suffers.
    unsigned seed = 12345;
    for (int round = 0; round < 50; ++round) {
        const int fd = raw_connect(socket_path());
        ASSERT_GE(fd, 0);
        unsigned char garbage[300];
        const WireRequest open_request = {WIRE_MAGIC, WIRE_OPEN, 0, 6, 0};
        memcpy(garbage, &open_request, sizeof open_request);
        memcpy(garbage + sizeof open_request, "trvlmd", 6);
        const size_t length = 26 + round * 5;
        for (size_t i = 26; i < length; ++i) {
            seed = seed * 1103515245u + 12345u;
            garbage[i] = (unsigned char)(seed >> 16);
        }
        send(fd, garbage, length, MSG_NOSIGNAL);
        close(fd);
    }
    // A client that leaves in the middle of a request.
    const int half = raw_connect(socket_path());
    ASSERT_GE(half, 0);
    ASSERT_EQ(send(half, "TRL", 3, MSG_NOSIGNAL), 3);
    close(half);

    // The daemon is still serving: the queued record comes through.
    ASSERT_EQ(modem_presence(link_), 1);
    unsigned char record[40];
    EXPECT_EQ(status_call(link_, record), 40u);
    EXPECT_EQ(word_at(record), 97u);
    EXPECT_EQ(stop(), 0);
}

TEST_F(DaemonTest, FaultOptions) {
    struct Case {
        const char *description;
        std::vector<std::string> args;
        uint32_t code;
        uint32_t input;
        uint32_t out_size;
        uint32_t expected_count;
        uint32_t expected_bytes;  // checked against a sentinel after them
    } cases[] = {
        {"status count 39", {"--fault-status-count", "39"}, IOCTL_TARVEL_GET_STATUS, 0, 40, 39, 40},
        {"eye count 600", {"--fault-eye-count", "600"}, IOCTL_TARVEL_GET_EYE_1, 512, 2048, 600, 2048},
        {"capture count above the buffer", {"--fault-capture-count", "1048576"}, IOCTL_TARVEL_READ_CAPTURE, 0, 16, 0x100000, 16},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.description);
        TearDown();
        SetUp();
        std::vector<std::string> args = c.args;
        args.push_back("--stay");
        start(args, "active 1\nrec 1 97\neye 1 1 2 3 4\ncap 1 fill 100 5a\n");
        ASSERT_EQ(modem_presence(link_), 1);
        std::vector<unsigned char> out(4096, 0xCD);
        uint32_t returned = 0;
        platform_device_control(link_.device, c.code, &c.input, 4, out.data(), c.out_size, &returned);
        EXPECT_EQ(returned, c.expected_count);
        for (size_t i = c.expected_bytes; i < out.size(); ++i) {
            ASSERT_EQ(out[i], 0xCD) << "byte " << i << " written past the data";
        }
        EXPECT_EQ(stop(), 0);
    }
}

TEST_F(DaemonTest, RefusedOpenIsRetried) {
    start({"--stay", "--fault-refuse-open", "--log", dir + "/calls.log"}, "active 2\nrec 1 97\n");
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(modem_presence(link_), 0);
        EXPECT_EQ(link_.device, NO_HANDLE);
    }
    EXPECT_EQ(stop(), 0);
    EXPECT_EQ(read_file(dir + "/calls.log"), "");
}

TEST_F(DaemonTest, DeviceNames) {
    start({"--stay", "--device", "abc"}, "active 1\n", "abc");
    struct Case {
        const char *description;
        const char *argument;
        int expected;
    } cases[] = {
        {"default name is not served", nullptr, 0},
        {"abc is served", "abc", 1},
        {"a name with '/' never leaves the directory", "../world/abc", 0},
        {"leading dot refused", ".abc", 0},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.description);
        choose_device_name(link_, true, c.argument);
        EXPECT_EQ(modem_presence(link_), c.expected);
        if (link_.device != NO_HANDLE) {
            platform_close_device(link_.device);
            link_.device = NO_HANDLE;
        }
    }
    EXPECT_EQ(stop(), 0);
}

TEST_F(DaemonTest, DeviceOnlyInAPrivateDirectory) {
    start({"--stay"}, "active 1\n");
    struct Case {
        const char *description;
        mode_t mode;
        int expected;
    } cases[] = {
        {"private", 0700, 1},
        {"writable by the group", 0770, 0},
        {"writable by anyone", 0777, 0},
        {"readable by others only", 0755, 1},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.description);
        ASSERT_EQ(chmod((dir + "/world").c_str(), c.mode), 0);
        EXPECT_EQ(modem_presence(link_), c.expected);
        if (link_.device != NO_HANDLE) {
            platform_close_device(link_.device);
            link_.device = NO_HANDLE;
        }
    }
    EXPECT_EQ(stop(), 0);
}

// The daemon never takes over a runtime directory that others can write or
// that is not the user's: it refuses it and leaves its mode alone.
TEST_F(DaemonTest, RuntimeDirectoryOpenToOthersIsRefused) {
    const mode_t modes[] = {01777, 0777, 0770, 0730};
    const std::string world = dir + "/world";
    for (mode_t mode : modes) {
        SCOPED_TRACE(mode);
        ASSERT_TRUE(mkdir(world.c_str(), 0700) == 0 || errno == EEXIST);
        ASSERT_EQ(chmod(world.c_str(), mode), 0);
        const char *binaries = getenv("TARVEL_BINARY_DIR");
        ASSERT_NE(binaries, nullptr);
        // A daemon that took the directory would serve until the timeout (124).
        const std::string command = std::string("timeout 2 ") + binaries +
                                    "/simulator/tarvel-sim --stay 2>/dev/null";
        EXPECT_EQ(WEXITSTATUS(system(command.c_str())), 1);
        EXPECT_EQ(mode_of(world) | (mode & 01000), mode);
        EXPECT_NE(access((world + "/trvlmd").c_str(), F_OK), 0);
    }
}

// The programs check the runtime directory before they touch the registry,
// and walk the registry without following a symbolic link anywhere: a key
// directory that someone replaced by a link is missing, not followed.
TEST_F(DaemonTest, RegistryIsNeverReachedThroughLinksOrAnOpenDirectory) {
    start({"--stay"}, "active 1\n");
    const std::string world = dir + "/world";
    const std::string key = world + "/registry/SOFTWARE/Ostrand";
    const unsigned char on[4] = {1, 0, 0, 0};

    ASSERT_EQ(chmod(world.c_str(), 0777), 0);
    EXPECT_EQ(platform_open_key(RECORDER_KEY, REGISTRY_QUERY | REGISTRY_SET), NO_HANDLE);
    EXPECT_EQ(modem_presence(link_), 0);
    ASSERT_EQ(chmod(world.c_str(), 0700), 0);

    // A key directory replaced by a link to a copy elsewhere.
    ASSERT_EQ(mkdir((dir + "/elsewhere").c_str(), 0700), 0);
    ASSERT_EQ(rename(key.c_str(), (dir + "/elsewhere/Ostrand").c_str()), 0);
    ASSERT_EQ(symlink((dir + "/elsewhere/Ostrand").c_str(), key.c_str()), 0);
    EXPECT_EQ(platform_open_key(RECORDER_KEY, REGISTRY_QUERY | REGISTRY_SET), NO_HANDLE);
    ASSERT_EQ(unlink(key.c_str()), 0);
    ASSERT_EQ(rename((dir + "/elsewhere/Ostrand").c_str(), key.c_str()), 0);

    // A key opened while it was sound, then swapped for a link: the write
    // does not land behind the link, and reads stay with the directory the
    // handle opened (as a registry key handle stays with its key): a link
    // planted later is never followed.
    PlatformHandle handle = platform_open_key(RECORDER_KEY, REGISTRY_QUERY | REGISTRY_SET);
    ASSERT_NE(handle, NO_HANDLE);
    ASSERT_EQ(rename((key + "/Tarvel").c_str(), (dir + "/elsewhere/Tarvel").c_str()), 0);
    ASSERT_EQ(mkdir((dir + "/decoy").c_str(), 0700), 0);
    const unsigned char decoy[4] = {2, 0, 0, 0};
    write_file(dir + "/decoy/ActiveModems", std::string(reinterpret_cast<const char *>(decoy), 4));
    ASSERT_EQ(symlink((dir + "/decoy").c_str(), (key + "/Tarvel").c_str()), 0);
    EXPECT_FALSE(platform_write_value(handle, TARVEL_SETUP_VALUE, on, 4));
    uint32_t size = 4;
    unsigned char value[4] = {};
    EXPECT_EQ(platform_read_value(handle, ACTIVE_MODEMS_VALUE, value, &size), VALUE_READ);
    EXPECT_EQ(value[0], 1) << "read from the key the handle opened, not from behind the link";
    platform_close_key(handle);
    EXPECT_NE(access((dir + "/elsewhere/Tarvel/TarvelSetup").c_str(), F_OK), 0);

    // The registry directory itself as a link.
    ASSERT_EQ(rename((world + "/registry").c_str(), (dir + "/elsewhere/registry").c_str()), 0);
    ASSERT_EQ(symlink((dir + "/elsewhere/registry").c_str(), (world + "/registry").c_str()), 0);
    EXPECT_EQ(platform_open_key(MONITOR_KEY, REGISTRY_QUERY), NO_HANDLE);
    EXPECT_EQ(stop(), 0);
}

// Processor time (user and system) that a process has used, in seconds.
double cpu_seconds(pid_t process) {
    std::string stat = read_file("/proc/" + std::to_string(process) + "/stat");
    size_t close_paren = stat.rfind(')');
    if (close_paren == std::string::npos) {
        return -1;
    }
    unsigned long utime = 0;
    unsigned long stime = 0;
    // Fields after the name: state ppid pgrp session tty tpgid flags minflt
    // cminflt majflt cmajflt utime stime.
    if (sscanf(stat.c_str() + close_paren + 1, " %*c %*d %*d %*d %*d %*d %*u %*u %*u %*u %*u %lu %lu",
               &utime, &stime) != 2) {
        return -1;
    }
    return double(utime + stime) / double(sysconf(_SC_CLK_TCK));
}

// How many sockets a process holds open.
size_t sockets_of(pid_t process) {
    const std::string dir = "/proc/" + std::to_string(process) + "/fd";
    size_t sockets = 0;
    if (DIR *listing = opendir(dir.c_str())) {
        while (dirent *entry = readdir(listing)) {
            char target[64] = "";
            const std::string link = dir + "/" + entry->d_name;
            if (readlink(link.c_str(), target, sizeof target - 1) > 0 && strncmp(target, "socket:", 7) == 0) {
                ++sockets;
            }
        }
        closedir(listing);
    }
    return sockets;
}

// Clients that connect and say nothing, or stop in the middle of a request,
// cannot shut a program out: with the table of clients full, the one idle
// longest makes room, and the program is served at once.
TEST_F(DaemonTest, IdleAndStalledClientsMakeRoomForAProgram) {
    start({"--stay"}, "active 1\n");
    std::vector<int> idle;
    for (int i = 0; i < 70; ++i) {
        const int fd = raw_connect(socket_path());
        if (fd >= 0) {
            idle.push_back(fd);
        }
        if (i % 2 == 0 && fd >= 0) {
            // Half a request header; beyond 64 clients the daemon has
            // already closed the connection, and the send may fail.
            const uint32_t partial[2] = {WIRE_MAGIC, WIRE_OPEN};
            send(fd, partial, sizeof partial, MSG_NOSIGNAL);
        }
    }
    // The daemon holds 64 clients (and its listening socket) before the
    // program tries to get in.
    size_t held = 0;
    for (int waited = 0; waited < 1000 && held < 65; waited += 50) {
        sleep_ms(50);
        held = sockets_of(pid);
    }
    ASSERT_GE(held, 65u) << "sockets the daemon holds";
    timespec before;
    timespec after;
    clock_gettime(CLOCK_MONOTONIC, &before);
    EXPECT_EQ(modem_presence(link_), 1) << "served although the table of clients was full";
    clock_gettime(CLOCK_MONOTONIC, &after);
    const double seconds = double(after.tv_sec - before.tv_sec) + double(after.tv_nsec - before.tv_nsec) / 1e9;
    EXPECT_LT(seconds, 0.5);
    for (int fd : idle) {
        close(fd);
    }
    EXPECT_EQ(stop(), 0);
}

// A descriptor limit that makes accept fail must not make the daemon spin.
TEST_F(DaemonTest, DescriptorLimitDoesNotSpin) {
    rlimit previous;
    ASSERT_EQ(getrlimit(RLIMIT_NOFILE, &previous), 0);
    rlimit low = previous;
    low.rlim_cur = 16;
    ASSERT_EQ(setrlimit(RLIMIT_NOFILE, &low), 0);
    start({"--stay"}, "active 1\n");
    ASSERT_EQ(setrlimit(RLIMIT_NOFILE, &previous), 0);
    ASSERT_GT(pid, 0);
    // Non-blocking connects: once the daemon stops accepting, the backlog
    // fills and further connects fail at once instead of waiting.
    std::vector<int> clients;
    sockaddr_un address = {};
    address.sun_family = AF_UNIX;
    snprintf(address.sun_path, sizeof address.sun_path, "%s", socket_path().c_str());
    for (int i = 0; i < 40; ++i) {
        const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK, 0);
        if (connect(fd, reinterpret_cast<sockaddr *>(&address), sizeof address) == 0) {
            clients.push_back(fd);
        } else {
            close(fd);
        }
    }
    sleep_ms(100);
    const double before = cpu_seconds(pid);
    sleep_ms(1000);
    const double used = cpu_seconds(pid) - before;
    EXPECT_GE(before, 0);
    EXPECT_LT(used, 0.2) << "seconds of processor time in one second";
    for (int fd : clients) {
        close(fd);
    }
    EXPECT_EQ(stop(), 0);
}

// A daemon that went away and came back: the broken connection is opened
// anew, so the next session's data is not lost.
TEST_F(DaemonTest, RestartedDaemonIsReachedAgain) {
    start({"--stay"}, "active 1\n");
    ASSERT_GT(pid, 0);  // never kill(-1, ...)
    ASSERT_EQ(modem_presence(link_), 1);
    kill(pid, SIGKILL);
    waitpid(pid, nullptr, 0);
    pid = -1;
    start({"--stay"}, "active 1\ncap 1 fill 100 5a\n");
    uint32_t total = 0;
    for (int call = 0; call < 3 && total == 0; ++call) {
        ASSERT_EQ(modem_presence(link_), 1);
        unsigned char out[4096];
        uint32_t index = 0;
        uint32_t returned = 0;
        platform_device_control(link_.device, IOCTL_TARVEL_READ_CAPTURE, &index, 4, out, sizeof out, &returned);
        total += returned;
    }
    EXPECT_EQ(total, 100u);
    EXPECT_EQ(stop(), 0);
}

TEST_F(DaemonTest, RegistryValuesAsFiles) {
    start({"--stay", "--fault-setup-size", "10"}, "active 1\n");
    const std::string key = dir + "/world/registry/SOFTWARE/Ostrand/Tarvel";
    EXPECT_EQ(read_file(key + "/TarvelSetup"), "@ABCDEFGHI");

    PlatformHandle handle = platform_open_key(RECORDER_KEY, REGISTRY_QUERY | REGISTRY_SET);
    ASSERT_NE(handle, NO_HANDLE);
    unsigned char small[4];
    uint32_t size = sizeof small;
    EXPECT_EQ(platform_read_value(handle, TARVEL_SETUP_VALUE, small, &size), VALUE_TOO_LARGE);
    EXPECT_EQ(size, 10u);
    unsigned char value[16];
    size = sizeof value;
    ASSERT_EQ(platform_read_value(handle, TARVEL_SETUP_VALUE, value, &size), VALUE_READ);
    value[0] |= 1;
    ASSERT_TRUE(platform_write_value(handle, TARVEL_SETUP_VALUE, value, size));
    size = sizeof value;
    EXPECT_EQ(platform_read_value(handle, "Missing", value, &size), VALUE_MISSING);
    EXPECT_EQ(platform_read_value(handle, "../Tarvel", value, &size), VALUE_FAILED);
    platform_close_key(handle);
    EXPECT_EQ(read_file(key + "/TarvelSetup"), "AABCDEFGHI");
    EXPECT_EQ(mode_of(key + "/TarvelSetup"), 0600u);
    EXPECT_EQ(platform_open_key("SOFTWARE\\Nobody", REGISTRY_QUERY), NO_HANDLE);
    EXPECT_EQ(platform_open_key("SOFTWARE\\..\\Velmora", REGISTRY_QUERY), NO_HANDLE);
    EXPECT_EQ(stop(), 0);
}

TEST_F(DaemonTest, LoopReplaysAndSignalsEndIt) {
    struct Case {
        const char *description;
        int signal_number;
    } cases[] = {{"SIGTERM", SIGTERM}, {"SIGINT", SIGINT}};
    for (const Case &c : cases) {
        SCOPED_TRACE(c.description);
        TearDown();
        SetUp();
        // One record every 50 ms of real time, for as long as the daemon runs.
        start({"--loop"}, "active 1\nrec 1 7\nwait 50\n");
        ASSERT_EQ(modem_presence(link_), 1);
        sleep_ms(400);
        unsigned char record[40];
        int records = 0;
        while (records < 100 && status_call(link_, record) == 40) {
            EXPECT_EQ(word_at(record), 7u);
            ++records;
        }
        EXPECT_GE(records, 6) << "replayed about every 50 ms";
        EXPECT_LE(records, 12);
        if (pid > 0) {
            kill(pid, c.signal_number);
        }
        EXPECT_EQ(wait_exit(5000), 0);
        EXPECT_NE(access(socket_path().c_str(), F_OK), 0) << "socket removed";
        EXPECT_EQ(status_call(link_, record), 0u) << "the connection is gone";
    }
}

TEST_F(DaemonTest, SocketPathTooLongIsAClearError) {
    const std::string deep = dir + "/" + std::string(110, 'd');
    setenv("TARVEL_SIM_DIR", deep.c_str(), 1);
    EXPECT_EQ(platform_open_device("\\\\.\\trvlmd"), NO_HANDLE);
    EXPECT_EQ(platform_last_error(), ENAMETOOLONG);

    const char *binaries = getenv("TARVEL_BINARY_DIR");
    ASSERT_NE(binaries, nullptr);
    write_file(dir + "/trace.txt", "active 1\n");
    const std::string command = std::string(binaries) + "/simulator/tarvel-sim " + dir + "/trace.txt 2>" + dir + "/err.txt";
    const int status = system(command.c_str());
    EXPECT_EQ(WEXITSTATUS(status), 1);
    EXPECT_NE(read_file(dir + "/err.txt").find("socket"), std::string::npos) << read_file(dir + "/err.txt");
}

TEST_F(DaemonTest, CommandLine) {
    const char *binaries = getenv("TARVEL_BINARY_DIR");
    ASSERT_NE(binaries, nullptr);
    write_file(dir + "/trace.txt", "active 0\n");
    struct Case {
        const char *description;
        std::string args;
        int status;
        const char *output_start;  // of standard output and error together
    } cases[] = {
        {"help", "--help", 0, "usage: tarvel-sim [options] TRACE..."},
        {"version", "--version", 0, "tarvel-sim "},
        {"unknown option", "--bogus " + dir + "/trace.txt", 2, "tarvel-sim: unknown option --bogus"},
        {"count not a number", "--fault-eye-count many " + dir + "/trace.txt", 2, "tarvel-sim: --fault-eye-count needs a number"},
        {"count too large", "--fault-eye-count 4294967296 " + dir + "/trace.txt", 2, "tarvel-sim: --fault-eye-count needs a number"},
        {"count missing", "--fault-status-count", 2, "tarvel-sim: --fault-status-count needs a number"},
        {"no trace", "", 2, "tarvel-sim: no trace given"},
        {"missing device name", "--device", 2, "tarvel-sim: --device needs a value"},
        {"device name with a slash", "--device a/b " + dir + "/trace.txt", 1, "tarvel-sim: device name \"a/b\""},
        {"a trace that ends at once", dir + "/trace.txt", 0, ""},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.description);
        const std::string command = std::string(binaries) + "/simulator/tarvel-sim " + c.args + " >" + dir + "/out.txt 2>&1";
        EXPECT_EQ(WEXITSTATUS(system(command.c_str())), c.status);
        EXPECT_EQ(read_file(dir + "/out.txt").rfind(c.output_start, 0), 0u) << read_file(dir + "/out.txt");
    }
}

TEST_F(DaemonTest, BadTraceExitsWithStatusTwo) {
    const char *binaries = getenv("TARVEL_BINARY_DIR");
    ASSERT_NE(binaries, nullptr);
    write_file(dir + "/bad.txt", "active 1\nbogus 3\n");
    const std::string command = std::string(binaries) + "/simulator/tarvel-sim " + dir + "/bad.txt 2>" + dir + "/err.txt";
    EXPECT_EQ(WEXITSTATUS(system(command.c_str())), 2);
    EXPECT_EQ(read_file(dir + "/err.txt").rfind(dir + "/bad.txt:2:", 0), 0u) << read_file(dir + "/err.txt");
}

// A second daemon for a device that is served already is refused (status 1)
// and leaves the world alone: a recorder of the first keeps recording.
TEST_F(DaemonTest, SecondDaemonOnAServedDeviceTouchesNothing) {
    start({"--log", dir + "/calls.log"}, "active 2\nrec 1 97\nwait 5000\nactive 0\n");
    ASSERT_EQ(modem_presence(link_), 2);
    unsigned char record[40];
    ASSERT_EQ(status_call(link_, record), 40u);
    const std::string log_before = read_file(dir + "/calls.log");
    const std::string keys[] = {"/world/registry/SOFTWARE/Velmora/Tarvel", "/world/registry/SOFTWARE/Ostrand/Tarvel"};
    const char *binaries = getenv("TARVEL_BINARY_DIR");
    ASSERT_NE(binaries, nullptr);
    write_file(dir + "/second.trace", "active 1\nfault setup-size 8\nrec 1 5\n");
    const std::string command = std::string(binaries) + "/simulator/tarvel-sim --log " + dir + "/calls.log " + dir +
                                "/second.trace 2>" + dir + "/second.err";
    EXPECT_EQ(WEXITSTATUS(system(command.c_str())), 1);
    EXPECT_NE(read_file(dir + "/second.err").find("already served"), std::string::npos) << read_file(dir + "/second.err");
    for (const std::string &key : keys) {
        EXPECT_EQ(read_file(dir + key + "/ActiveModems"), std::string("\x02\0\0\0", 4)) << key;
        EXPECT_NE(access((dir + key + "/TarvelSetup").c_str(), F_OK), 0) << key;
    }
    EXPECT_EQ(read_file(dir + "/calls.log"), log_before);
    EXPECT_EQ(modem_presence(link_), 2);
    EXPECT_EQ(status_call(link_, record), 0u) << "the second daemon's record never reached the first";
    EXPECT_EQ(stop(), 0);
}

// Status calls through a daemon that serves batches: the records in queue
// order across both modems, each with the memory as it was when its batch
// was fetched, and the records of a batch left over when the device closes
// back in the queue for the next open, as if never taken (a capture
// request's name then read anew).
TEST_F(DaemonTest, StatusBatchesKeepOrderMemoryAndLeftovers) {
    start({"--stay"},
          "active 2\n"
          "str 0x80002000 \"First\"\n"
          "str 0x80003000 \"name.log\"\n"
          "rec 1 97 0x80002000\n"
          "rec 2 64 26\n"
          "rec 1 131 0 0x80003000\n"
          "rec 0 5\n"
          "wait 300\n"
          "str 0x80002000 \"Later\"\n"
          "str 0x80003000 \"other.log\"\n"
          "rec 2 97 0x80002000\n");
    PlatformDriverSource platform;
    const DriverMemory memory = driver_source_memory(platform);
    ASSERT_EQ(modem_presence(link_), 2);
    unsigned char record[40];
    ASSERT_EQ(status_call(link_, record), 40u);
    EXPECT_EQ(word_at(record), 97u);
    sleep_ms(500);  // the memory changes meanwhile
    char text[128];
    EXPECT_EQ(read_driver_block(memory, 0x80002000, text, sizeof text), 5);
    EXPECT_STREQ(text, "First");
    ASSERT_EQ(status_call(link_, record), 40u);
    EXPECT_EQ(word_at(record), 64u);
    platform_close_device(link_.device);  // two records of the batch left
    link_.device = NO_HANDLE;

    struct Expected {
        uint32_t code;
        uint32_t modem;
        uint32_t address;  // of the text read for the record, 0: none
        const char *text;
    } expected[] = {
        {131, 1, 0x80003000, "other.log"},
        {5, 0, 0, ""},
        {97, 2, 0x80002000, "Later"},
    };
    ASSERT_EQ(modem_presence(link_), 2);
    for (const Expected &e : expected) {
        SCOPED_TRACE(e.code);
        ASSERT_EQ(status_call(link_, record), 40u);
        EXPECT_EQ(word_at(record), e.code);
        EXPECT_EQ(word_at(record + 36), e.modem);
        if (e.address != 0) {
            EXPECT_GE(read_driver_block(memory, e.address, text, sizeof text), 0);
            EXPECT_STREQ(text, e.text);
        }
    }
    EXPECT_EQ(status_call(link_, record), 0u);
    EXPECT_EQ(stop(), 0);
}

// A session in which driver memory at one address changes between two
// records of one tick, and goes unreadable before a third: replayed, each
// record is decoded against the memory recorded just before it.
const char CHANGING_MEMORY_SESSION[] =
    "session 2026-12-09T05:00:00.000Z \"LineWatch 0.1.0\"\n"
    "active 1\n"
    "fetch 1\n"
    "str 0x80002000 \"First text\"\n"
    "rec 1 97 0x80002000\n"
    "str 0x80002000 \"Second\"\n"
    "rec 1 97 0x80002000\n"
    "fetch 2\n"
    "unreadable 0x80002000 16\n"
    "rec 1 97 0x80002000\n"
    "wait 100\n"
    "fetch 1\n"
    "str 0x80002000 \"Third\"\n"
    "rec 1 97 0x80002000\n"
    "wait 100\n";

bool collect_line(void *context, const TraceDirective &, const char *line) {
    static_cast<std::vector<std::string> *>(context)->push_back(line);
    return true;
}

size_t read_core_record_memory(void *, uint32_t address, unsigned char *dest, size_t count) {
    return sim_read_record_memory(address, dest, count);
}

TEST_F(DaemonTest, ReplayedSessionGivesTheRecordedLines) {
    write_file(dir + "/session.trace", CHANGING_MEMORY_SESSION);
    std::vector<TraceDirective> session;
    ASSERT_TRUE(read_trace_file((dir + "/session.trace").c_str(), &session));
    std::vector<std::string> recorded;
    trace_lines(session, collect_line, &recorded);
    ASSERT_EQ(recorded.size(), 4u);
    EXPECT_NE(recorded[0], recorded[1]);

    // One status call of each transport: the driver in this process, or the
    // daemon through the POSIX backend.
    struct Transport {
        const char *name;
        bool daemon;
    } transports[] = {{"in-process", false}, {"daemon", true}};
    PlatformDriverSource platform;
    for (const Transport &t : transports) {
        SCOPED_TRACE(t.name);
        DriverMemory memory{read_core_record_memory, nullptr};
        if (t.daemon) {
            start({"--stay"}, CHANGING_MEMORY_SESSION);
            ASSERT_EQ(modem_presence(link_), 1);
            sleep_ms(400);  // the whole session is queued
            memory = driver_source_memory(platform);
        } else {
            sim_reset();
            sim_play(session.data(), session.size());
            sim_advance(1000);
        }
        std::vector<std::string> replayed;
        for (;;) {
            unsigned char bytes[40];
            uint32_t returned = 0;
            if (t.daemon) {
                returned = status_call(link_, bytes);
            } else {
                sim_device_control(IOCTL_TARVEL_GET_STATUS, nullptr, 0, bytes, sizeof bytes, &returned);
            }
            if (returned != 40) {
                break;
            }
            StatusLine line;
            decode_status(status_record_from_bytes(bytes), memory, line);
            replayed.push_back(line);
        }
        EXPECT_EQ(replayed, recorded);
    }
    EXPECT_EQ(stop(), 0);
}

}  // namespace
