// Frozen eye pane.
#include "monitor/qt/frozen_eye.h"

#include <QEvent>
#include <QLabel>
#include <QVBoxLayout>

#include "driverlink/ioctl.h"
#include "monitor/qt/eye_view.h"

static_assert(sizeof(EyeXY) == sizeof(EyePoint), "a call's eye points are the driver's");

FrozenEyePane::FrozenEyePane(QWidget *parent) : QWidget(parent) {
    caption_ = new QLabel(this);
    caption_->setWordWrap(true);
    view_ = new EyeView(0, this);
    view_->setMinimumSize(160, 160);
    view_->installEventFilter(this);
    QVBoxLayout *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(caption_);
    layout->addWidget(view_, 1);
    clear();
}

FrozenEyePane::~FrozenEyePane() = default;

void FrozenEyePane::clear() {
    eye_.reset();
    caption_->setText(QStringLiteral("Select an event to see the eye of its moment."));
    draw();
}

void FrozenEyePane::show_eye(int, const FrozenEye *eye, const QString &caption) {
    if (eye != nullptr) {
        eye_ = std::make_unique<FrozenEye>(*eye);
    } else {
        eye_.reset();
    }
    caption_->setText(caption);
    draw();
}

int FrozenEyePane::points() const {
    if (!eye_) return 0;
    int count = 0;
    for (uint8_t t = 0; t < eye_->ticks && t < EYE_TICKS_KEPT; ++t) count += eye_->tick[t].count;
    return count;
}

void FrozenEyePane::draw() {
    // The ticks in order, fading over as many ticks as were kept: the last
    // tick before the event is the brightest.
    view_->set_frozen(false);
    const int ticks = eye_ ? std::min<int>(eye_->ticks, EYE_TICKS_KEPT) : 0;
    view_->set_mode(EYE_FADE, std::max(EYE_FADE_MIN, ticks));
    view_->clear();
    view_->show_points(nullptr, 0);
    for (int t = 0; t < ticks; ++t) {
        const EyeTick &tick = eye_->tick[t];
        view_->show_points(reinterpret_cast<const EyePoint *>(tick.points), std::min<int>(tick.count, EYE_POINTS_MAX));
    }
    // No live tick may draw over it.
    view_->set_frozen(true);
}

bool FrozenEyePane::eventFilter(QObject *watched, QEvent *event) {
    // The picture is drawn at the display's size: a new size draws again.
    if (watched == view_ && event->type() == QEvent::Resize) draw();
    return QWidget::eventFilter(watched, event);
}
