// The Win32 file operations: Windows semantics that the capture files rely on.
#include <gtest/gtest.h>

#include <windows.h>

#include <cstdio>
#include <string>

#include "driverlink/platform.h"
#include "portable_fs.h"

namespace {

std::string read_file(const std::string &path) {
    std::string text;
    FILE *file = std::fopen(path.c_str(), "rb");
    if (file != nullptr) {
        char buffer[4096];
        size_t n;
        while ((n = std::fread(buffer, 1, sizeof buffer, file)) > 0) {
            text.append(buffer, n);
        }
        std::fclose(file);
    }
    return text;
}

struct Win32FilesTest : testing::Test {
    std::string dir;
    void SetUp() override {
        dir = make_temp_directory("tarvel-win32-files");
        ASSERT_FALSE(dir.empty());
    }
    void TearDown() override { EXPECT_TRUE(remove_tree(dir)); }
    std::string at(const char *name) const { return dir + "\\" + name; }
};

TEST_F(Win32FilesTest, CreateReplacesAndWritesEveryByte) {
    const std::string path = at("session.rec.1");
    for (size_t size : {size_t(100000), size_t(17)}) {
        SCOPED_TRACE(size);
        std::string data(size, '\0');
        for (size_t i = 0; i < size; ++i) {
            data[i] = char(i * 13 + size);
        }
        const PlatformHandle file = platform_create_file(path.c_str());
        ASSERT_NE(file, NO_HANDLE);
        EXPECT_TRUE(platform_write_file(file, data.data(), uint32_t(data.size())));
        platform_close_file(file);
        EXPECT_EQ(read_file(path), data) << "replaced whole, nothing kept of the longer file";
    }
}

// A file being written is not shared: no one can open it again, and it can
// be neither deleted nor renamed until it is closed.
TEST_F(Win32FilesTest, OpenFileIsNotShared) {
    const std::string path = at("session.rec.2");
    const PlatformHandle file = platform_create_file(path.c_str());
    ASSERT_NE(file, NO_HANDLE);
    EXPECT_EQ(platform_create_file(path.c_str()), NO_HANDLE);
    EXPECT_EQ(platform_last_error(), ERROR_SHARING_VIOLATION);
    EXPECT_FALSE(platform_delete_file(path.c_str()));
    EXPECT_EQ(platform_last_error(), ERROR_SHARING_VIOLATION);
    EXPECT_FALSE(platform_rename_file(path.c_str(), at("1.log").c_str()));
    EXPECT_EQ(read_file(path), "") << "not even readable";
    EXPECT_TRUE(platform_write_file(file, "abc", 3));
    platform_close_file(file);
    EXPECT_EQ(read_file(path), "abc");
    EXPECT_TRUE(platform_rename_file(path.c_str(), at("1.log").c_str()));
    EXPECT_TRUE(platform_delete_file(at("1.log").c_str()));
    EXPECT_FALSE(platform_delete_file(at("1.log").c_str()));
    EXPECT_EQ(platform_last_error(), ERROR_FILE_NOT_FOUND);
}

TEST_F(Win32FilesTest, RenameNeverReplacesAnExistingFile) {
    for (const char *name : {"a", "b"}) {
        const PlatformHandle file = platform_create_file(at(name).c_str());
        ASSERT_NE(file, NO_HANDLE);
        EXPECT_TRUE(platform_write_file(file, name, 1));
        platform_close_file(file);
    }
    EXPECT_FALSE(platform_rename_file(at("a").c_str(), at("b").c_str()));
    EXPECT_EQ(platform_last_error(), ERROR_ALREADY_EXISTS);
    EXPECT_EQ(read_file(at("a")), "a");
    EXPECT_EQ(read_file(at("b")), "b");
}

// Names compare as Windows compares them: without regard to case, and one
// file reached by two spellings of its name is one file.
TEST_F(Win32FilesTest, SameFileByAnySpelling) {
    for (const char *name : {"3.log", "4.log"}) {
        const PlatformHandle file = platform_create_file(at(name).c_str());
        ASSERT_NE(file, NO_HANDLE);
        platform_close_file(file);
    }
    const PlatformHandle open = platform_create_file(at("session.rec.1").c_str());
    ASSERT_NE(open, NO_HANDLE);
    struct Case {
        std::string first;
        std::string second;
        bool same;
    };
    const Case cases[] = {
        {at("3.log"), at("3.log"), true},
        {at("3.log"), at("3.LOG"), true},
        {at("3.log"), dir + "\\.\\3.Log", true},
        {at("3.log"), dir + "/3.log", true},
        {at("session.rec.1"), at("SESSION.REC.1"), true},  // even while it is written, unshared
        {at("3.log"), at("4.log"), false},
        {at("3.log"), at("missing"), false},
        {at("missing"), at("missing"), false},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.first + " | " + c.second);
        EXPECT_EQ(platform_same_file(c.first.c_str(), c.second.c_str()), c.same);
    }
    platform_close_file(open);
}

TEST_F(Win32FilesTest, NameTooLongIsTheWindowsCode) {
    EXPECT_EQ(platform_name_too_long_error(), ERROR_FILENAME_EXCED_RANGE);
    const std::string name = at(std::string(300, 'x').c_str());
    EXPECT_EQ(platform_create_file(name.c_str()), NO_HANDLE);
    EXPECT_EQ(platform_last_error(), ERROR_FILENAME_EXCED_RANGE);
}

// A device name in any part of the name is refused before anything is
// opened (ERROR_INVALID_NAME): the data would go to the device, never into
// a file. Longer names that merely start like one are files.
TEST_F(Win32FilesTest, DeviceNamesAreRefused) {
    const std::string sub = at("sub");
    ASSERT_TRUE(CreateDirectoryA(sub.c_str(), nullptr));
    for (const char *name : {"NUL.log", "nul", "aux.txt", "COM1", "sub\\..\\NUL", "lpt9. .", "con\\x.log",
                             "CONOUT$"}) {
        SCOPED_TRACE(name);
        EXPECT_EQ(platform_create_file(at(name).c_str()), NO_HANDLE);
        EXPECT_EQ(platform_last_error(), ERROR_INVALID_NAME);
        EXPECT_EQ(platform_create_file(name), NO_HANDLE);
        EXPECT_EQ(platform_last_error(), ERROR_INVALID_NAME);
    }
    for (const char *name : {"console.log", "COM10", "nullish"}) {
        SCOPED_TRACE(name);
        const PlatformHandle file = platform_create_file(at(name).c_str());
        EXPECT_NE(file, NO_HANDLE);
        platform_close_file(file);
        EXPECT_EQ(GetFileAttributesA(at(name).c_str()) & FILE_ATTRIBUTE_DIRECTORY, 0u);
    }
}

TEST_F(Win32FilesTest, BadHandlesAndNamesFailCleanly) {
    EXPECT_EQ(platform_create_file(""), NO_HANDLE);
    EXPECT_EQ(platform_create_file(nullptr), NO_HANDLE);
    EXPECT_FALSE(platform_write_file(NO_HANDLE, "x", 1));
    EXPECT_FALSE(platform_delete_file(nullptr));
    EXPECT_FALSE(platform_rename_file(nullptr, "x"));
    EXPECT_FALSE(platform_same_file(nullptr, "x"));
    platform_close_file(NO_HANDLE);
}

}  // namespace
