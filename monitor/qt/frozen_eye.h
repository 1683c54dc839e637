// The eye of the moment an event happened: the ticks of eye points the call
// kept before it, drawn in an eye display with the ticks fading into each
// other, and a caption that says what it shows.
#pragma once

#include <QWidget>

#include <memory>

#include "calls/call.h"

class EyeView;
class QLabel;

class FrozenEyePane : public QWidget {
    Q_OBJECT
public:
    explicit FrozenEyePane(QWidget *parent = nullptr);
    ~FrozenEyePane() override;

    // The frozen eye of an event of modem 1 or 2; null: the event kept none.
    void show_eye(int modem, const FrozenEye *eye, const QString &caption);
    void clear();
    EyeView *eye_view() const { return view_; }
    QLabel *caption() const { return caption_; }
    // Points drawn from the frozen ticks.
    int points() const;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void draw();

    QLabel *caption_;
    EyeView *view_;
    std::unique_ptr<FrozenEye> eye_;
};
