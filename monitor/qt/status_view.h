// The list of one modem: the view over its model that keeps the newest line
// in view, copies with Ctrl+C and lets no other key act.
#pragma once

#include <QListView>

#include <cstddef>

class QToolButton;
class StatusFilter;
class StatusModel;
struct Monitor;

// The list of one modem. The mouse selects (extended and multiple
// selection); Ctrl+C copies the selected lines; End follows the newest line
// again; every other key is swallowed, so the keyboard never moves the
// selection. The newest line stays in view until the user scrolls up or
// picks a line away from the end; the list then stays still and counts the
// lines that arrive.
class StatusView : public QListView {
    Q_OBJECT
public:
    // The list of `model`'s lines of `monitor`, which outlives it.
    StatusView(const Monitor &monitor, StatusModel *model, QWidget *parent = nullptr);

    StatusFilter *status_filter() const { return filter_; }

    // Puts the selected lines on the clipboard as the core copies them
    // (monitor_copy_lines, with the time column the list shows), ascending,
    // within the clipboard block's bound. Nothing happens without a
    // selection.
    void copy_selection();
    // After a sync: keeps the newest line in view while following; else
    // keeps the rows in view where they are and counts the new lines.
    void show_newest();
    // Follows the newest line again (End, the "new lines" button, or a
    // scroll back to the bottom).
    void follow();
    bool following() const { return following_; }
    // Follows again, or stays still where the list is.
    void set_following(bool following);
    // A new filter rebuilt the rows: they are not lines that arrived.
    void filter_changed();
    size_t unseen_lines() const { return unseen_; }
    QToolButton *new_lines_button() const { return new_lines_; }

protected:
    void keyPressEvent(QKeyEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;

private:
    void place_button();
    void stop_following();

    const Monitor &monitor_;
    StatusModel *status_model_;
    StatusFilter *filter_;
    // Rows the view lost at its front and gained since the last look.
    size_t front_removed_ = 0;
    size_t inserted_ = 0;
    bool following_ = true;
    size_t unseen_ = 0;
    QToolButton *new_lines_ = nullptr;
};
