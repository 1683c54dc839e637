// Call timeline.
#include "monitor/qt/call_timeline.h"

#include <QBuffer>
#include <QChart>
#include <QLegendMarker>
#include <QLineSeries>
#include <QMouseEvent>
#include <QPainter>
#include <QScatterSeries>
#include <QValueAxis>

#include <algorithm>
#include <cmath>

#include "calls/series_decimate.h"
#include "monitor/qt/status_save.h"

namespace {

// One row per mark: its legend text, colour and marker shape.
struct MarkRow {
    TimelineMark mark;
    const char *label;
    QRgb colour;
    bool square;  // remote-asked marks are squares, local ones circles
};
constexpr MarkRow MARK_ROWS[TIMELINE_MARKS] = {
    {MARK_RETRAIN,              "Retrain",                0xd62728, false},
    {MARK_RETRAIN_REMOTE,       "Retrain (remote)",       0xd62728, true},
    {MARK_RENEGOTIATION,        "Renegotiation",          0x9467bd, false},
    {MARK_RENEGOTIATION_REMOTE, "Renegotiation (remote)", 0x9467bd, true},
    {MARK_CARRIER_LOST,         "Carrier lost",           0xff7f0e, false},
    {MARK_CLEARDOWN,            "Cleardown",              0x404040, true},
};

// One row per line: the series it draws, its legend text, colour, axis.
struct LineRow {
    TimelineLine line;
    SeriesKind series;
    const char *label;
    QRgb colour;
    bool rate;  // right axis
};
constexpr LineRow LINE_ROWS[TIMELINE_LINES] = {
    {LINE_SNR,      SERIES_SNR,      "SNR",      0x1f77b4, false},
    {LINE_RX_LEVEL, SERIES_RX_LEVEL, "Rx level", 0x2ca02c, false},
    {LINE_RX_RATE,  SERIES_RX_RATE,  "Rx rate",  0x17becf, true},
    {LINE_TX_RATE,  SERIES_TX_RATE,  "Tx rate",  0xbcbd22, true},
};

constexpr double SECOND = 1e6;
constexpr int SNAP_PIXELS = 6;

double point_value(SeriesKind kind, int32_t value) {
    return SERIES_INFO[kind].sixteenths ? value / 16.0 : double(value);
}

// The end of a call's time: its end, or its last point or event when running.
int64_t call_end_us(const Call &call) {
    int64_t end = std::max(call.end_us, call.start_us);
    for (const std::vector<SeriesPoint> &points : call.series_points) {
        if (!points.empty()) end = std::max(end, points.back().time_us);
    }
    if (!call.events.empty()) end = std::max(end, call.events.back().time_us);
    return end;
}

// A round step at least `raw`: 1, 2 or 5 times a power of ten.
double nice_step(double raw) {
    if (!(raw > 0)) return 1;
    const double power = std::pow(10.0, std::floor(std::log10(raw)));
    const double f = raw / power;
    return (f <= 1 ? 1 : f <= 2 ? 2 : f <= 5 ? 5 : 10) * power;
}
double nice_floor(double value, double step) { return std::floor(value / step + 1e-9) * step; }

// Grid lines of the value axes: few enough that every label fits.
constexpr int VALUE_INTERVALS = 5;
constexpr int TIME_INTERVALS = 8;

}  // namespace

TimelineMark timeline_mark(const CallEvent &event) {
    const bool remote = event.origin == ORIGIN_REMOTE;
    switch (event.kind) {
    case EVENT_RETRAIN:
        return remote ? MARK_RETRAIN_REMOTE : MARK_RETRAIN;
    case EVENT_RENEGOTIATION:
        return remote ? MARK_RENEGOTIATION_REMOTE : MARK_RENEGOTIATION;
    case EVENT_CARRIER_LOST:
        return MARK_CARRIER_LOST;
    case EVENT_CLEARDOWN:
        return MARK_CLEARDOWN;
    default:
        return TIMELINE_MARKS;
    }
}

// The chart goes to the base at once: a view made without one makes its own,
// which a later setChart would hand back to be deleted.
CallTimeline::CallTimeline(QWidget *parent) : QChartView(new QChart, parent) {
    QChart *chart = this->chart();
    chart->setMargins(QMargins(4, 4, 4, 4));
    chart->legend()->setAlignment(Qt::AlignBottom);
    chart->legend()->setFont(QFont(font().family(), font().pointSize() - 1));
    time_axis_ = new QValueAxis;
    time_axis_->setTitleText(QStringLiteral("Time (s)"));
    time_axis_->setLabelFormat(QStringLiteral("%.1f"));
    level_axis_ = new QValueAxis;
    level_axis_->setTitleText(QStringLiteral("dB / dBm"));
    level_axis_->setLabelFormat(QStringLiteral("%.0f"));
    rate_axis_ = new QValueAxis;
    rate_axis_->setTitleText(QStringLiteral("bit/s"));
    rate_axis_->setLabelFormat(QStringLiteral("%.0f"));
    chart->addAxis(time_axis_, Qt::AlignBottom);
    chart->addAxis(level_axis_, Qt::AlignLeft);
    chart->addAxis(rate_axis_, Qt::AlignRight);
    for (int c = 0; c < 2; ++c) {
        for (const LineRow &row : LINE_ROWS) {
            QLineSeries *series = new QLineSeries;
            QPen pen(QColor::fromRgb(row.colour));
            pen.setWidthF(1.5);
            if (c == 1) pen.setStyle(Qt::DashLine);
            series->setPen(pen);
            chart->addSeries(series);
            series->attachAxis(time_axis_);
            series->attachAxis(row.rate ? rate_axis_ : level_axis_);
            lines_[c][row.line] = series;
        }
    }
    for (const MarkRow &row : MARK_ROWS) {
        QScatterSeries *series = new QScatterSeries;
        series->setName(QString::fromLatin1(row.label));
        series->setMarkerShape(row.square ? QScatterSeries::MarkerShapeRectangle : QScatterSeries::MarkerShapeCircle);
        series->setMarkerSize(9);
        series->setColor(QColor::fromRgb(row.colour));
        series->setBorderColor(QColor::fromRgb(row.colour).darker());
        chart->addSeries(series);
        series->attachAxis(time_axis_);
        series->attachAxis(level_axis_);
        marks_[row.mark] = series;
    }
    setRenderHint(QPainter::Antialiasing, false);
    setMinimumSize(320, 200);
    clear_calls();
}

CallTimeline::~CallTimeline() = default;

void CallTimeline::show_call(const Call &call) {
    calls_[0] = std::make_unique<Call>(call);
    calls_[1].reset();
    count_ = 1;
    relative_ = false;
    rebuild();
}

void CallTimeline::show_pair(const Call &a, const Call &b) {
    calls_[0] = std::make_unique<Call>(a);
    calls_[1] = std::make_unique<Call>(b);
    count_ = 2;
    relative_ = true;
    rebuild();
}

void CallTimeline::clear_calls() {
    calls_[0].reset();
    calls_[1].reset();
    count_ = 0;
    rebuild();
}

int CallTimeline::plot_columns() const {
    const int width = static_cast<int>(chart()->plotArea().width());
    return width > 1 ? width : std::max(1, viewport()->width());
}

void CallTimeline::rebuild() {
    QChart *chart = this->chart();
    chart->setTitle(QString());
    for (int c = 0; c < 2; ++c) {
        for (const LineRow &row : LINE_ROWS) {
            QLineSeries *series = lines_[c][row.line];
            const bool used = c < count_ && !calls_[c]->series_points[row.series].empty();
            series->setVisible(used);
            series->setName(QString::fromLatin1(row.label));
            // Legend entries only for the lines that have points; the second
            // call's lines are the first's colours, dashed (the title says so).
            for (QLegendMarker *marker : chart->legend()->markers(series)) marker->setVisible(used && c == 0);
        }
    }
    // Axes: the time of the call(s), the levels and the rates they reached.
    double t_end = 1, level_low = 0, level_high = 0, rate_high = 0;
    bool levels = false;
    double t_start = 0;
    if (count_ > 0) {
        t_start = relative_ ? 0 : double(calls_[0]->start_us) / SECOND;
        t_end = t_start;
        for (int c = 0; c < count_; ++c) {
            const Call &call = *calls_[c];
            const double base = relative_ ? double(call.start_us) : 0;
            t_end = std::max(t_end, (double(call_end_us(call)) - base) / SECOND);
            for (const LineRow &row : LINE_ROWS) {
                const Series &s = call.series[row.series];
                if (s.samples == 0) continue;
                const double low = point_value(row.series, s.lowest), high = point_value(row.series, s.highest);
                if (row.rate) {
                    rate_high = std::max(rate_high, high);
                } else if (!levels) {
                    level_low = low;
                    level_high = high;
                    levels = true;
                } else {
                    level_low = std::min(level_low, low);
                    level_high = std::max(level_high, high);
                }
            }
        }
        if (t_end <= t_start) t_end = t_start + 1;
    }
    if (!levels) {
        level_low = -40;
        level_high = 40;
    }
    // The levels from 0 dB down to the lowest level, up to the highest SNR,
    // in VALUE_INTERVALS round steps; the rates share the same grid lines.
    level_low = std::min(level_low, 0.0);
    level_high = std::max(level_high, level_low + 10);
    double level_step = nice_step((level_high - level_low) / VALUE_INTERVALS);
    while (nice_floor(level_low, level_step) + level_step * VALUE_INTERVALS < level_high)
        level_step = nice_step(level_step * 1.01);
    level_low = nice_floor(level_low, level_step);
    level_high = level_low + level_step * VALUE_INTERVALS;
    const double rate_step = nice_step((rate_high > 0 ? rate_high * 1.05 : 40000) / VALUE_INTERVALS);
    // Time: a little room on both sides for the marks at the ends.
    const double pad = (t_end - t_start) * 0.02;
    const double time_step = nice_step((t_end - t_start) / TIME_INTERVALS);
    // Fixed ticks while range, anchor and step change: dynamic ticks of the
    // old step over the new range could number in the millions.
    time_axis_->setTickType(QValueAxis::TicksFixed);
    time_axis_->setRange(t_start - pad, t_end + pad);
    time_axis_->setTickAnchor(nice_floor(t_start, time_step));
    time_axis_->setTickInterval(time_step);
    time_axis_->setTickType(QValueAxis::TicksDynamic);
    time_axis_->setLabelFormat(time_step >= 1 ? QStringLiteral("%.0f") : time_step >= 0.1 ? QStringLiteral("%.1f")
                                                                                            : QStringLiteral("%.2f"));
    level_axis_->setRange(level_low, level_high);
    level_axis_->setTickCount(int(std::lround((level_high - level_low) / level_step)) + 1);
    rate_axis_->setRange(0, rate_step * (level_axis_->tickCount() - 1));
    rate_axis_->setTickCount(level_axis_->tickCount());
    // Marks just under the top of the level axis, one legend entry per kind shown.
    const double mark_y = level_high - level_step * 0.15;
    QList<QPointF> marks[TIMELINE_MARKS];
    if (count_ > 0) {
        for (const CallEvent &event : calls_[0]->events) {
            const TimelineMark mark = timeline_mark(event);
            if (mark == TIMELINE_MARKS) continue;
            const double base = relative_ ? double(calls_[0]->start_us) : 0;
            // Each kind a little lower than the one before: events of one
            // moment (carrier lost, then cleardown) stay apart.
            marks[mark].append(QPointF((double(event.time_us) - base) / SECOND, mark_y - level_step * 0.25 * int(mark)));
        }
    }
    for (int m = 0; m < TIMELINE_MARKS; ++m) {
        marks_[m]->replace(marks[m]);
        for (QLegendMarker *marker : chart->legend()->markers(marks_[m])) marker->setVisible(!marks[m].isEmpty());
    }
    if (count_ == 0) chart->setTitle(QStringLiteral("No call selected"));
    if (count_ == 2) chart->setTitle(QStringLiteral("A solid, B dashed; time since each call's start"));
    redraw_lines();
}

void CallTimeline::redraw_lines() {
    const int columns = thinning_ ? plot_columns() : 0;
    const double t_from = time_axis_->min(), t_to = time_axis_->max();
    for (int c = 0; c < count_; ++c) {
        const Call &call = *calls_[c];
        const int64_t base = relative_ ? call.start_us : 0;
        for (const LineRow &row : LINE_ROWS) {
            const std::vector<SeriesPoint> &points = call.series_points[row.series];
            if (points.empty()) continue;
            scratch_.clear();
            series_decimate(points, base + int64_t(t_from * SECOND), base + int64_t(t_to * SECOND), columns,
                            scratch_);
            QList<QPointF> drawn;
            drawn.reserve(qsizetype(scratch_.size()) * (row.rate ? 2 : 1) + 1);
            double previous = 0;
            for (size_t i = 0; i < scratch_.size(); ++i) {
                const double t = double(scratch_[i].time_us - base) / SECOND;
                const double v = point_value(row.series, scratch_[i].value);
                // A rate holds until the next report: drawn as steps.
                if (row.rate && i > 0) drawn.append(QPointF(t, previous));
                drawn.append(QPointF(t, v));
                previous = v;
            }
            if (row.rate && !drawn.isEmpty()) drawn.append(QPointF(double(call_end_us(call) - base) / SECOND, previous));
            lines_[c][row.line]->replace(drawn);
            // A few samples show as dots too: one alone draws no line.
            lines_[c][row.line]->setPointsVisible(points.size() <= 64);
        }
    }
    for (int c = count_; c < 2; ++c) {
        for (QLineSeries *series : lines_[c]) series->clear();
    }
    viewport()->update();
}

int CallTimeline::drawn_points(int call, TimelineLine line) const {
    if (call < 0 || call > 1 || line >= TIMELINE_LINES) return 0;
    return static_cast<int>(lines_[call][line]->count());
}

QPointF CallTimeline::position_of(int64_t time_us) const {
    const double base = relative_ && count_ > 0 ? double(calls_[0]->start_us) : 0;
    const QPointF scene = chart()->mapToPosition(QPointF((double(time_us) - base) / SECOND, level_axis_->max()),
                                                 marks_[0]);
    return mapFromScene(chart()->mapToScene(scene));
}

void CallTimeline::mousePressEvent(QMouseEvent *event) {
    QChartView::mousePressEvent(event);
    if (count_ == 0 || event->button() != Qt::LeftButton) return;
    const QPointF scene = mapToScene(event->position().toPoint());
    const QPointF item = chart()->mapFromScene(scene);
    if (!chart()->plotArea().adjusted(-SNAP_PIXELS, -SNAP_PIXELS, SNAP_PIXELS, SNAP_PIXELS).contains(item)) return;
    const Call &call = *calls_[0];
    const double base = relative_ ? double(call.start_us) : 0;
    // The nearest mark within a few pixels wins over the time under the pointer.
    int64_t chosen = int64_t(chart()->mapToValue(item, marks_[0]).x() * SECOND + base);
    int code = 0;
    double nearest = SNAP_PIXELS + 1;
    for (const CallEvent &e : call.events) {
        if (timeline_mark(e) == TIMELINE_MARKS) continue;
        const double x = position_of(e.time_us).x();
        const double distance = std::abs(x - event->position().x());
        if (distance < nearest) {
            nearest = distance;
            chosen = e.time_us;
            code = e.code;
        }
    }
    emit moment_chosen(std::max<int64_t>(chosen, 0), code);
}

void CallTimeline::resizeEvent(QResizeEvent *event) {
    QChartView::resizeEvent(event);
    // A new width needs other columns.
    redraw_lines();
}

void CallTimeline::drawForeground(QPainter *painter, const QRectF &rect) {
    QChartView::drawForeground(painter, rect);
    if (count_ == 0) return;
    // A dashed line down the plot at each mark, in the mark's colour.
    const QRectF plot = chart()->plotArea();
    painter->save();
    for (int m = 0; m < TIMELINE_MARKS; ++m) {
        QPen pen(QColor::fromRgb(MARK_ROWS[m].colour));
        pen.setStyle(Qt::DashLine);
        pen.setWidth(1);
        painter->setPen(pen);
        const QList<QPointF> points = marks_[m]->points();
        for (const QPointF &p : points) {
            const QPointF at = chart()->mapToScene(chart()->mapToPosition(p, marks_[m]));
            if (at.x() < plot.left() - 1 || at.x() > plot.right() + 1) continue;
            painter->drawLine(QPointF(at.x(), plot.top()), QPointF(at.x(), plot.bottom()));
        }
    }
    painter->restore();
}

QByteArray CallTimeline::png_bytes() const {
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    const QPixmap picture = const_cast<CallTimeline *>(this)->grab();
    if (picture.isNull() || !picture.save(&buffer, "PNG")) {
        return QByteArray();
    }
    return bytes;
}

bool CallTimeline::save_image(const QString &path, QString *error) const {
    const QByteArray png = png_bytes();
    if (png.isEmpty()) {
        *error = QStringLiteral("the timeline could not be drawn as PNG");
        return false;
    }
    return save_bytes(path, png, error);
}
