// A live window over the in-process simulated driver that plays traces,
// runs its rounds by hand and compares what its lists show with what
// tarvel-decode prints of a session.
#pragma once

#include <sstream>
#include <string>
#include <vector>

#include "monitor/session_recording.h"
#include "process_support.h"
#include "session_lines.h"
#include "trace/trace.h"
#include "window_fixture.h"

inline std::string source_file(const std::string &relative) { return std::string(TARVEL_SOURCE_DIR) + "/" + relative; }

// Every file of the current directory with its content.
inline std::vector<std::pair<std::string, std::vector<unsigned char>>> directory_files() {
    std::vector<std::pair<std::string, std::vector<unsigned char>>> files;
    for (const std::string &name : directory_names()) files.emplace_back(name, file_bytes(name));
    return files;
}

class SessionWindowTest : public WindowTest {
protected:
    void SetUp() override {
        WindowTest::SetUp();
        // The monitor's clock runs with the simulated driver's, so that a
        // recording holds the time between ticks as the driver played it.
        monitor_set_clock(*monitor_, [] { return int64_t(1700000000000000) + int64_t(sim_clock()) * 1000; });
    }


    // Records a scenario played live into `path` through File > Record
    // Session's path, and returns what the window's lists showed.
    std::string record_scenario(const std::string &scenario, const std::string &path) {
        MainWindow *window = window_ != nullptr ? window_.get() : open_window();
        const uint64_t ticks = sim_play_file(source_file("scenarios/" + scenario + ".trace"));
        QString error;
        EXPECT_TRUE(window->start_recording(QString::fromStdString(path), 1, &error))
            << error.toStdString();
        rounds(ticks);
        window->stop_recording();
        return escaped_rows(window->view()->status_model(1)) + escaped_rows(window->view()->status_model(2));
    }

    // Rounds of the window's five ticks in their order, each followed by a
    // timer period of the simulated driver's time. The warning boxes of
    // driver-internal errors are closed as they open.
    void rounds(uint64_t count) {
        QTimer closer;
        QObject::connect(&closer, &QTimer::timeout, [] {
            if (QMessageBox *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget())) {
                box->done(QMessageBox::Ok);
            }
        });
        closer.start(0);
        for (uint64_t i = 0; i < count; ++i) {
            window_->main_tick();
            window_->status_tick();
            window_->status_tick();
            window_->eye_tick(1);
            window_->eye_tick(2);
            source_.sleep(TIMER_PERIOD_MS);
        }
    }
};
