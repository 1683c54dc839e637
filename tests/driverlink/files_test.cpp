// The POSIX file operations that both POSIX-hosted backends use.
#include <gtest/gtest.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <fcntl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include "driverlink/platform.h"

namespace {

std::string read_file(const std::string &path) {
    std::string text;
    FILE *file = fopen(path.c_str(), "rb");
    if (file != nullptr) {
        char buffer[256];
        size_t n;
        while ((n = fread(buffer, 1, sizeof buffer, file)) > 0) {
            text.append(buffer, n);
        }
        fclose(file);
    }
    return text;
}

bool write_whole(const std::string &path, const std::string &text) {
    const PlatformHandle file = platform_create_file(path.c_str());
    if (file == NO_HANDLE) {
        return false;
    }
    const bool written = platform_write_file(file, text.data(), uint32_t(text.size()));
    platform_close_file(file);
    return written;
}

struct FilesTest : testing::Test {
    std::string dir;
    void SetUp() override {
        char pattern[] = "/tmp/tarvel-files-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        dir = pattern;
    }
    void TearDown() override {
        const std::string remove = "rm -rf '" + dir + "'";
        if (system(remove.c_str()) != 0) {
            ADD_FAILURE() << "could not remove " << dir;
        }
    }
};

TEST_F(FilesTest, CreateReplacesAndWritesEverything) {
    const std::string path = dir + "/session.rec.1";
    ASSERT_TRUE(write_whole(path, "old contents that are longer"));
    std::string big(1 << 20, '\0');
    for (size_t i = 0; i < big.size(); ++i) {
        big[i] = char(i * 13 + 1);
    }
    ASSERT_TRUE(write_whole(path, big));
    EXPECT_EQ(read_file(path), big) << "created anew, every byte written";
}

TEST_F(FilesTest, Failures) {
    struct Case {
        const char *description;
        std::string name;
        int expected_error;
    } cases[] = {
        {"missing directory", dir + "/none/session.rec.1", ENOENT},
        {"name too long", dir + "/" + std::string(300, 'n'), ENAMETOOLONG},
        {"empty name", "", ENOENT},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.description);
        EXPECT_EQ(platform_create_file(c.name.c_str()), NO_HANDLE);
        EXPECT_EQ(platform_last_error(), c.expected_error);
    }
    EXPECT_EQ(platform_name_too_long_error(), ENAMETOOLONG);
    EXPECT_FALSE(platform_write_file(NO_HANDLE, "x", 1));
    EXPECT_FALSE(platform_delete_file((dir + "/missing").c_str()));
    EXPECT_EQ(platform_last_error(), ENOENT);
}

// Only a regular file is made or replaced, and the create never blocks: a
// FIFO planted under a capture name, with or without a reader, a socket, a
// device or a directory fails at once and is left as it was.
TEST_F(FilesTest, AnythingButARegularFileIsRefusedWithoutBlocking) {
    const std::string fifo = dir + "/session.rec.1";
    const std::string read_fifo = dir + "/session.rec.2";
    const std::string socket_name = dir + "/1.log";
    const std::string directory = dir + "/2.log";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    ASSERT_EQ(mkfifo(read_fifo.c_str(), 0600), 0);
    ASSERT_EQ(mkdir(directory.c_str(), 0700), 0);
    const int reader = open(read_fifo.c_str(), O_RDONLY | O_NONBLOCK);
    ASSERT_GE(reader, 0);
    const int listener = socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address = {};
    address.sun_family = AF_UNIX;
    snprintf(address.sun_path, sizeof address.sun_path, "%s", socket_name.c_str());
    ASSERT_EQ(bind(listener, reinterpret_cast<sockaddr *>(&address), sizeof address), 0);
    struct Case {
        const char *description;
        std::string name;
        int expected_error;
    } cases[] = {
        {"FIFO without a reader", fifo, EINVAL},
        {"FIFO with a reader", read_fifo, EINVAL},
        {"socket", socket_name, EINVAL},
        {"device", "/dev/null", EINVAL},
        {"directory", directory, EISDIR},
    };
    alarm(10);  // a create that blocks ends the test program
    for (const Case &c : cases) {
        SCOPED_TRACE(c.description);
        const PlatformHandle file = platform_create_file(c.name.c_str());
        EXPECT_EQ(file, NO_HANDLE);
        EXPECT_EQ(platform_last_error(), c.expected_error);
        platform_close_file(file);
    }
    alarm(0);
    EXPECT_EQ(platform_not_regular_file_error(), EINVAL);
    char byte;
    EXPECT_EQ(read(reader, &byte, 1), 0) << "nothing was written into the FIFO";
    close(reader);
    close(listener);
}

TEST_F(FilesTest, OpenFileIsNotShared) {
    const std::string path = dir + "/1.log";
    const std::string other = dir + "/2.log";
    const PlatformHandle file = platform_create_file(path.c_str());
    ASSERT_NE(file, NO_HANDLE);
    ASSERT_TRUE(platform_write_file(file, "recorded", 8));
    ASSERT_TRUE(write_whole(other, "other"));

    // Neither created anew, deleted nor moved away while it is open.
    EXPECT_EQ(platform_create_file(path.c_str()), NO_HANDLE);
    EXPECT_EQ(platform_last_error(), EBUSY);
    EXPECT_EQ(platform_create_file((dir + "/./1.log").c_str()), NO_HANDLE);
    EXPECT_FALSE(platform_delete_file(path.c_str()));
    EXPECT_EQ(platform_last_error(), EBUSY);
    EXPECT_FALSE(platform_rename_file(path.c_str(), (dir + "/3.log").c_str()));
    EXPECT_EQ(platform_last_error(), EBUSY);
    ASSERT_TRUE(platform_write_file(file, " more", 5));
    platform_close_file(file);
    EXPECT_EQ(read_file(path), "recorded more");

    // Once closed it is an ordinary file again.
    EXPECT_TRUE(platform_rename_file(path.c_str(), (dir + "/3.log").c_str()));
    EXPECT_TRUE(platform_delete_file((dir + "/3.log").c_str()));
    EXPECT_TRUE(write_whole(path, "anew"));
    EXPECT_EQ(read_file(path), "anew");
}

// Another process (a second recorder in the same directory) is refused the
// same way: it can neither empty, delete nor move the open file.
TEST_F(FilesTest, OpenFileIsNotSharedWithOtherProcesses) {
    const std::string path = dir + "/session.rec.1";
    int ready[2];
    int go_on[2];
    ASSERT_EQ(pipe(ready), 0);
    ASSERT_EQ(pipe(go_on), 0);
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        const PlatformHandle file = platform_create_file(path.c_str());
        bool ok = file != NO_HANDLE && platform_write_file(file, "first", 5);
        char byte = ok ? 'y' : 'n';
        ok = write(ready[1], &byte, 1) == 1 && read(go_on[0], &byte, 1) == 1 &&
             platform_write_file(file, " writer", 7);
        platform_close_file(file);
        _exit(ok ? 0 : 1);
    }
    char byte = 0;
    ASSERT_EQ(read(ready[0], &byte, 1), 1);
    ASSERT_EQ(byte, 'y');
    EXPECT_EQ(platform_create_file(path.c_str()), NO_HANDLE);
    EXPECT_EQ(platform_last_error(), EBUSY);
    EXPECT_FALSE(platform_delete_file(path.c_str()));
    EXPECT_EQ(platform_last_error(), EBUSY);
    EXPECT_FALSE(platform_rename_file(path.c_str(), (dir + "/moved").c_str()));
    EXPECT_EQ(platform_last_error(), EBUSY);
    ASSERT_EQ(write(go_on[1], "x", 1), 1);
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    EXPECT_EQ(read_file(path), "first writer");
    for (int fd : {ready[0], ready[1], go_on[0], go_on[1]}) {
        close(fd);
    }
    // Once the other process has closed it, it can be created anew.
    EXPECT_TRUE(write_whole(path, "anew"));
    EXPECT_EQ(read_file(path), "anew");
}

// A capture file is never reached through a symbolic link: one planted
// under its name (dangling or not), or in place of a directory on its path,
// fails the create, the delete and the rename, and what it points to is
// left as it was.
TEST_F(FilesTest, LinkAnywhereOnThePathIsRefused) {
    const std::string target = dir + "/target";
    const std::string elsewhere = dir + "/elsewhere";
    ASSERT_TRUE(write_whole(target, "keep"));
    ASSERT_EQ(mkdir(elsewhere.c_str(), 0700), 0);
    ASSERT_TRUE(write_whole(elsewhere + "/victim", "victim"));
    ASSERT_EQ(mkdir((dir + "/real").c_str(), 0700), 0);
    const std::string names[] = {dir + "/link", dir + "/dangling", dir + "/sub/victim",
                                 dir + "/sub/new", dir + "/real/../sub/victim"};
    ASSERT_EQ(symlink(target.c_str(), names[0].c_str()), 0);
    ASSERT_EQ(symlink((dir + "/nowhere").c_str(), names[1].c_str()), 0);
    ASSERT_EQ(symlink(elsewhere.c_str(), (dir + "/sub").c_str()), 0);
    ASSERT_EQ(chdir(dir.c_str()), 0);  // relative names take the same walk
    for (const std::string &name : {names[0], names[1], names[2], names[3], names[4],
                                    std::string("sub/victim"), std::string("./sub//victim")}) {
        SCOPED_TRACE(name);
        EXPECT_EQ(platform_create_file(name.c_str()), NO_HANDLE);
        EXPECT_EQ(platform_last_error(), ELOOP);
    }
    EXPECT_FALSE(platform_delete_file("sub/victim"));
    EXPECT_EQ(platform_last_error(), ELOOP);
    EXPECT_FALSE(platform_rename_file("sub/victim", "moved"));
    EXPECT_EQ(platform_last_error(), ELOOP);
    EXPECT_FALSE(platform_rename_file("target", "sub/moved"));
    EXPECT_EQ(platform_last_error(), ELOOP);
    ASSERT_EQ(chdir("/"), 0);
    EXPECT_EQ(read_file(target), "keep");
    EXPECT_EQ(read_file(elsewhere + "/victim"), "victim");
    EXPECT_NE(access((elsewhere + "/new").c_str(), F_OK), 0);
    EXPECT_NE(access((elsewhere + "/moved").c_str(), F_OK), 0);
    EXPECT_NE(access((dir + "/nowhere").c_str(), F_OK), 0);
    // A real directory on the way is fine.
    EXPECT_TRUE(write_whole(dir + "/real/file", "fine"));
    EXPECT_EQ(read_file(dir + "/real/file"), "fine");
}

TEST_F(FilesTest, RenameNeverReplaces) {
    struct Case {
        const char *description;
        bool target_exists;
        bool source_exists;
        bool expected;
        int expected_error;
    } cases[] = {
        {"plain rename", false, true, true, 0},
        {"existing target is kept", true, true, false, EEXIST},
        {"missing source", false, false, false, ENOENT},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.description);
        const std::string from = dir + "/session.rec.2";
        const std::string to = dir + "/3.log";
        unlink(from.c_str());
        unlink(to.c_str());
        if (c.source_exists) {
            ASSERT_TRUE(write_whole(from, "capture"));
        }
        if (c.target_exists) {
            ASSERT_TRUE(write_whole(to, "older log"));
        }
        EXPECT_EQ(platform_rename_file(from.c_str(), to.c_str()), c.expected);
        if (c.expected) {
            EXPECT_EQ(read_file(to), "capture");
            EXPECT_NE(access(from.c_str(), F_OK), 0);
        } else {
            EXPECT_EQ(platform_last_error(), c.expected_error);
            EXPECT_EQ(read_file(to), c.target_exists ? "older log" : "");
            EXPECT_EQ(read_file(from), c.source_exists ? "capture" : "");
        }
    }
}

TEST_F(FilesTest, SameFileByAnySpelling) {
    const std::string path = dir + "/3.log";
    ASSERT_TRUE(write_whole(path, "capture"));
    ASSERT_TRUE(write_whole(dir + "/4.log", "other"));
    EXPECT_TRUE(platform_same_file(path.c_str(), path.c_str()));
    EXPECT_TRUE(platform_same_file(path.c_str(), (dir + "/./3.log").c_str()));
    EXPECT_FALSE(platform_same_file(path.c_str(), (dir + "/4.log").c_str()));
    EXPECT_FALSE(platform_same_file(path.c_str(), (dir + "/missing").c_str()));
    EXPECT_FALSE(platform_same_file((dir + "/missing").c_str(), (dir + "/missing").c_str()));
}

}  // namespace
