// A monitor window over the in-process simulated driver, in a fresh
// temporary directory, with a freshly started monitor core.
#pragma once

#include <QApplication>
#include <QMessageBox>
#include <QTest>

#include <ctime>
#include <functional>
#include <memory>
#include <string>

#include "capture/sim_fixture.h"
#include "monitor/monitor.h"
#include "monitor/qt/child_area.h"
#include "monitor/qt/child_window.h"
#include "monitor/qt/eye_view.h"
#include "monitor/qt/main_window.h"
#include "monitor/qt/monitor_view.h"
#include "monitor/qt/status_filter.h"
#include "monitor/qt/status_model.h"
#include "monitor/qt/status_pane.h"
#include "monitor/qt/status_view.h"
#include "monitor/window_tables.h"

inline StatusRecord status_record(uint32_t modem, uint32_t code, uint32_t param1 = 0) {
    StatusRecord record{};
    record.modem = modem;
    record.code = code;
    record.param1 = param1;
    return record;
}

// "Sampling rate:" lines, one per value, with the TABs the decoder writes.
inline std::string sampling_line(int hz) {
    char text[64];
    std::snprintf(text, sizeof text, "Sampling rate:\t\t\t%6d Hz\t", hz);
    return text;
}

inline std::string row_text(StatusModel *model, int row) {
    return model->data(model->index(row), Qt::DisplayRole).toString().toStdString();
}

// The CPU time of the calling thread, the window's, in milliseconds: what it
// spends between two turns of its event loop, without the waits a busy
// machine adds.
inline double thread_ms() {
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) * 1e3 + static_cast<double>(now.tv_nsec) / 1e6;
}

// Runs `inspect` on the next message box that opens (from inside its own
// event loop), then closes that box with OK. The box may come after other
// event loops (a file read off the window's thread): it is looked for until
// it opens, for at most 10 s.
inline void on_next_message_box(QObject *context, std::function<void(QMessageBox *)> inspect) {
    QTimer *poll = new QTimer(context);
    auto tries = std::make_shared<int>(0);
    QObject::connect(poll, &QTimer::timeout, poll, [poll, tries, inspect] {
        QMessageBox *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
        if (box == nullptr) {
            if (++*tries == 1000) {
                ADD_FAILURE() << "no message box open";
                poll->deleteLater();
                poll->stop();
            }
            return;
        }
        poll->stop();
        poll->deleteLater();
        inspect(box);
        box->done(QMessageBox::Ok);
    });
    poll->start(10);
}

class WindowTest : public SimTest {
protected:
    void SetUp() override {
        SimTest::SetUp();
        monitor_ = monitor_new(source_);
        ASSERT_TRUE(monitor_start(*monitor_, nullptr));
    }
    void TearDown() override {
        window_.reset();
        monitor_delete(monitor_);
        SimTest::TearDown();
    }

    // One eye tick of the monitor for modem 1 or 2, drawn by `view`.
    void eye_tick(EyeView &view, int modem) {
        EyePoint points[EYE_POINTS_WANTED];
        view.show_points(points, monitor_eye_tick(*monitor_, modem, points));
    }

    MainWindow *open_window(bool timers = false) {
        window_ = std::make_unique<MainWindow>(*monitor_, timers);
        window_->show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(window_.get()));
        return window_.get();
    }

    Monitor *monitor_ = nullptr;
    std::unique_ptr<MainWindow> window_;
};
