// Saving a status list: text and CSV byte for byte, and a failed save that
// leaves the old file as it was and says why.
#include <QFile>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <cstdlib>
#include <ctime>

#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/stat.h>

#include "monitor/qt/status_save.h"
#include "window_fixture.h"

namespace {

constexpr int64_t SECOND = 1000000;
constexpr int64_t NOON = 1796733296LL * SECOND + 789000;  // 2026-12-08 12:34:56.789 UTC

std::string read_file(const QString &path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        return "<missing>";
    }
    return file.readAll().toStdString();
}

void write_file(const QString &path, const std::string &bytes) {
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(bytes.data(), static_cast<qint64>(bytes.size()));
}

}  // namespace

TEST_F(WindowTest, SavedStatusTextAndCsvByteForByte) {
    setenv("TZ", "UTC", 1);
    tzset();
    activity_reset(monitor_->activity);
    activity_note(monitor_->activity, 2, NOON);
    line_store_add(&monitor_->stores[1], "Sampling rate:\t\t\t  9600 Hz\t", NOON + SECOND);
    line_store_add(&monitor_->stores[1], "Connection established! \n", NOON + SECOND + 250000);
    line_store_add(&monitor_->stores[1], "AT \"quoted\"", NOON + 2 * SECOND);
    struct Row {
        const char *name;
        ExportFormat format;
        LineTimeFormat time;
        const char *bytes;
    } rows[] = {
        {"m2.txt", EXPORT_TEXT, LINE_TIME_OFF,
         "Sampling rate:\t\t\t  9600 Hz\t\nConnection established! \n\nAT \"quoted\"\n"},
        {"m2-wall.txt", EXPORT_TEXT, LINE_TIME_WALL,
         "12:34:57.789\tSampling rate:\t\t\t  9600 Hz\t\n12:34:58.039\tConnection established! \n\n"
         "12:34:58.789\tAT \"quoted\"\n"},
        {"m2.csv", EXPORT_CSV, LINE_TIME_DELTA,
         "time,modem,text\r\n,2,\"Sampling rate:\t\t\t  9600 Hz\t\"\r\n+0.250,2,\"Connection established! \n\"\r\n"
         "+0.750,2,\"AT \"\"quoted\"\"\"\r\n"},
        {"m2-since.csv", EXPORT_CSV, LINE_TIME_SINCE_ACTIVE,
         "time,modem,text\r\n1.000,2,\"Sampling rate:\t\t\t  9600 Hz\t\"\r\n1.250,2,\"Connection established! \n\"\r\n"
         "2.000,2,\"AT \"\"quoted\"\"\"\r\n"},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.name);
        const QString path = QString::fromStdString(directory_ + "/" + row.name);
        EXPECT_EQ(export_format_for(path), row.format);
        QString error;
        ASSERT_TRUE(save_status(*monitor_, 2, path, row.format, row.time, &error)) << error.toStdString();
        EXPECT_EQ(read_file(path), row.bytes);
    }
    // An empty list saves a file with nothing but the header.
    QString error;
    const QString empty = QString::fromStdString(directory_ + "/m1.csv");
    ASSERT_TRUE(save_status(*monitor_, 1, empty, EXPORT_CSV, LINE_TIME_OFF, &error));
    EXPECT_EQ(read_file(empty), "time,modem,text\r\n");
}

// A failed save names the system's reason, keeps the old file as it was and
// leaves no temporary file: files limited to 4 KiB (EFBIG), a file system
// that is full (ENOSPC, a small tmpfs mounted when the tests may mount), and
// a directory that does not exist (ENOENT).
TEST_F(WindowTest, FailedSaveLeavesTheOldFileIntactAndSaysWhy) {
    for (int i = 0; i < 2000; ++i) {
        line_store_add(&monitor_->stores[0], "Sampling rate:\t\t\t  9600 Hz\t", NOON + i);
    }
    ASSERT_EQ(mkdir("limited", 0700), 0);
    ASSERT_EQ(mkdir("full", 0700), 0);
    struct Row {
        const char *where;
        const char *directory;
        int reason;
    } rows[] = {
        {"files limited to 4 KiB", "limited", EFBIG},
        {"a full file system", "full", ENOSPC},
        {"no such directory", "no/such", ENOENT},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.where);
        // Unmounted at the end of the row, whatever fails in it.
        struct Mounted {
            bool on;
            ~Mounted() { EXPECT_TRUE(!on || umount("full") == 0); }
        } mounted{false};
        if (row.reason == ENOSPC) {
            mounted.on = mount("tmpfs", "full", "tmpfs", 0, "size=16k") == 0;
            if (!mounted.on) {
                std::printf("not run: mounting a small file system: %s\n", std::strerror(errno));
                continue;
            }
        }
        const std::string directory = directory_ + "/" + row.directory;
        const QString path = QString::fromStdString(directory + "/old.txt");
        const bool old_file = row.reason != ENOENT;
        if (old_file) {
            write_file(path, "the old file\n");
        }
        struct rlimit saved {};
        ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
        struct rlimit small = saved;
        small.rlim_cur = 4096;
        void (*previous)(int) = std::signal(SIGXFSZ, SIG_IGN);
        if (row.reason == EFBIG) {
            ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
        }
        QString error;
        const bool saved_ok = save_status(*monitor_, 1, path, EXPORT_TEXT, LINE_TIME_OFF, &error);
        setrlimit(RLIMIT_FSIZE, &saved);
        std::signal(SIGXFSZ, previous);
        EXPECT_FALSE(saved_ok);
        EXPECT_TRUE(error.contains(QString::fromLocal8Bit(std::strerror(row.reason)))) << error.toStdString();
        if (old_file) {
            EXPECT_EQ(read_file(path), "the old file\n");
            // Nothing but the old file is left behind.
            EXPECT_EQ(std::distance(std::filesystem::directory_iterator(directory), {}), 1);
        }
    }
}
