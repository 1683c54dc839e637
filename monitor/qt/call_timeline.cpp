// Call timeline.
#include "monitor/qt/call_timeline.h"

#include <QBuffer>
#include <QChart>
#include <QHelpEvent>
#include <QLegend>
#include <QLineSeries>
#include <QMouseEvent>
#include <QPainter>
#include <QScatterSeries>
#include <QToolTip>
#include <QValueAxis>

#include <algorithm>
#include <cmath>

#include "calls/series_decimate.h"
#include "calls/timeline_scale.h"
#include "monitor/qt/severity_style.h"
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

// The finding marks' legend texts, by severity.
constexpr const char *FINDING_LABELS[SEVERITY_ERROR + 1] = {"Note", "Warning", "Error"};

constexpr double SECOND = 1e6;
constexpr int SNAP_PIXELS = 6;

double point_value(SeriesKind kind, int32_t value) {
    return SERIES_INFO[kind].sixteenths ? value / 16.0 : double(value);
}

}  // namespace

// The chart goes to the base at once: a view made without one makes its own,
// which a later setChart would hand back to be deleted.
CallTimeline::CallTimeline(QWidget *parent) : QChartView(new QChart, parent) {
    QChart *chart = this->chart();
    chart->setMargins(QMargins(4, 4, 4, 4));
    // The view draws the legend (draw_legend) of the series rebuild lists;
    // the chart's own legend stays hidden and lends its font and colour.
    chart->legend()->setFont(QFont(font().family(), font().pointSize() - 1));
    chart->legend()->hide();
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
    // A's marks filled, B's hollow (a white middle in a thick border of the
    // colour); one legend entry per kind, A's.
    for (int c = 0; c < 2; ++c) {
        for (const MarkRow &row : MARK_ROWS) {
            QScatterSeries *series = new QScatterSeries;
            series->setName(QString::fromLatin1(row.label));
            series->setMarkerShape(row.square ? QScatterSeries::MarkerShapeRectangle
                                              : QScatterSeries::MarkerShapeCircle);
            series->setMarkerSize(c == 0 ? 9 : 10);
            series->setColor(c == 0 ? QColor::fromRgb(row.colour) : QColor(Qt::white));
            QPen border(c == 0 ? QColor::fromRgb(row.colour).darker() : QColor::fromRgb(row.colour));
            border.setWidthF(c == 0 ? 1 : 2.5);
            series->setPen(border);
            chart->addSeries(series);
            series->attachAxis(time_axis_);
            series->attachAxis(level_axis_);
            marks_[c][row.mark] = series;
        }
    }
    // Findings: triangles of their severity's colour, A's filled, B's hollow.
    for (int c = 0; c < 2; ++c) {
        for (int v = SEVERITY_NOTE; v <= SEVERITY_ERROR; ++v) {
            const QColor colour = severity_colour(FindingSeverity(v));
            QScatterSeries *series = new QScatterSeries;
            series->setName(QString::fromLatin1(FINDING_LABELS[v]));
            series->setMarkerShape(QScatterSeries::MarkerShapeTriangle);
            series->setMarkerSize(c == 0 ? 11 : 12);
            series->setColor(c == 0 ? colour : QColor(Qt::white));
            QPen border(c == 0 ? colour.darker() : colour);
            border.setWidthF(c == 0 ? 1 : 2.5);
            series->setPen(border);
            chart->addSeries(series);
            series->attachAxis(time_axis_);
            series->attachAxis(level_axis_);
            finding_marks_[c][v] = series;
        }
    }
    setRenderHint(QPainter::Antialiasing, false);
    setMinimumSize(320, 200);
    viewport()->setMouseTracking(true);
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
    legend_.clear();
    for (int c = 0; c < 2; ++c) {
        for (const LineRow &row : LINE_ROWS) {
            QLineSeries *series = lines_[c][row.line];
            const bool used = c < count_ && !calls_[c]->series_points[row.series].empty();
            series->setVisible(used);
            series->setName(QString::fromLatin1(row.label));
            // Legend entries only for the lines that have points; the second
            // call's lines are the first's colours, dashed (the title says so).
            if (used && c == 0) legend_.push_back(series);
        }
    }
    // Axes: the time of the call(s), the levels and the rates they reached,
    // as the core scales them (the Win32 timeline draws the same).
    TimelineScale scale;
    timeline_scale(shown(), scale);
    const double level_low = scale.level_low, level_high = scale.level_high;
    // Fixed ticks while range, anchor and step change: dynamic ticks of the
    // old step over the new range could number in the millions.
    time_axis_->setTickType(QValueAxis::TicksFixed);
    time_axis_->setRange(scale.time_min, scale.time_max);
    time_axis_->setTickAnchor(scale.time_first_tick);
    time_axis_->setTickInterval(scale.time_step);
    time_axis_->setTickType(QValueAxis::TicksDynamic);
    time_axis_->setLabelFormat(scale.time_step >= 1     ? QStringLiteral("%.0f")
                               : scale.time_step >= 0.1 ? QStringLiteral("%.1f")
                                                        : QStringLiteral("%.2f"));
    level_axis_->setRange(level_low, level_high);
    level_axis_->setTickCount(TIMELINE_VALUE_INTERVALS + 1);
    rate_axis_->setRange(0, scale.rate_high);
    rate_axis_->setTickCount(TIMELINE_VALUE_INTERVALS + 1);
    // The marks where timeline_marks places them: A's from the top down,
    // B's from the bottom up; a legend entry for each kind either call has.
    timeline_marks(shown(), placed_);
    QList<QPointF> marks[2][TIMELINE_MARKS];
    for (const MarkPlace &place : placed_)
        marks[place.call][place.mark].append(QPointF(place.time, level_high - place.height * (level_high - level_low)));
    for (int m = 0; m < TIMELINE_MARKS; ++m) {
        for (int c = 0; c < 2; ++c) marks_[c][m]->replace(marks[c][m]);
        if (!marks[0][m].isEmpty() || !marks[1][m].isEmpty()) legend_.push_back(marks_[0][m]);
    }
    // The findings of each call's verdict, in the row past the events'.
    for (int c = 0; c < 2; ++c) {
        verdict_of_[c] = nullptr;
        if (c < count_) {
            call_verdict(*calls_[c], verdicts_[c]);
            verdict_of_[c] = &verdicts_[c];
        }
    }
    timeline_finding_marks(shown(), verdict_of_, finding_places_);
    QList<QPointF> findings[2][SEVERITY_ERROR + 1];
    for (const FindingPlace &place : finding_places_)
        findings[place.call][place.severity].append(
            QPointF(place.time, level_high - place.height * (level_high - level_low)));
    for (int v = SEVERITY_NOTE; v <= SEVERITY_ERROR; ++v) {
        for (int c = 0; c < 2; ++c) finding_marks_[c][v]->replace(findings[c][v]);
        if (!findings[0][v].isEmpty() || !findings[1][v].isEmpty()) legend_.push_back(finding_marks_[0][v]);
    }
    time_axis_->setTitleText(count_ == 2 ? QStringLiteral("Time since each call's start (s)")
                                         : QStringLiteral("Time (s)"));
    if (count_ == 0) chart->setTitle(QStringLiteral("No call selected"));
    if (count_ == 2)
        chart->setTitle(QStringLiteral("A solid, marks on top; B dashed, hollow marks below"));
    fit_legend();
    redraw_lines();
}

// The chart's own legend keeps its entries in one row and squeezes their
// labels to nothing when they do not fit: this one wraps them into as many
// centred rows as the width needs, below the plot, each entry its series'
// sample (a line, or the mark's shape) and its label.
static const int LEGEND_SAMPLE = 18;  // pixels of a line's sample, and room for a mark's

// The entries' places in the view's width, rows of `line` pixels from 0 down; returns the rows.
static int legend_layout(const std::vector<QXYSeries *> &entries, const QFontMetrics &metrics, int width,
                         std::vector<QRectF> &places) {
    places.clear();
    const int line = metrics.height() + 4, gap = metrics.averageCharWidth() * 2;
    std::vector<double> widths;
    for (QXYSeries *series : entries) widths.push_back(LEGEND_SAMPLE + 4 + metrics.horizontalAdvance(series->name()));
    int rows = 0;
    for (size_t first = 0; first < entries.size(); ++rows) {
        // As many as fit (one at least), centred.
        size_t end = first;
        double used = 0;
        while (end < entries.size() && (end == first || used + gap + widths[end] <= width - 16)) {
            used += (end == first ? 0 : gap) + widths[end];
            ++end;
        }
        double x = (width - used) / 2;
        for (size_t i = first; i < end; ++i) {
            places.push_back(QRectF(x, rows * line, widths[i], line));
            x += widths[i] + gap;
        }
        first = end;
    }
    return rows;
}

void CallTimeline::fit_legend() {
    const QFontMetrics metrics(chart()->legend()->font());
    std::vector<QRectF> places;
    const int rows = legend_layout(legend_, metrics, width(), places);
    const int bottom = 4 + rows * (metrics.height() + 4);
    if (chart()->margins().bottom() != bottom) chart()->setMargins(QMargins(4, 4, 4, bottom));
}

void CallTimeline::draw_legend(QPainter *painter) {
    const QFont font = chart()->legend()->font();
    const QFontMetrics metrics(font);
    const std::vector<QXYSeries *> &entries = legend_;
    std::vector<QRectF> places;
    legend_layout(entries, metrics, width(), places);
    // The rows in the chart's bottom margin, in the view's pixels.
    const QRectF frame = chart()->geometry();
    const double top = frame.bottom() - chart()->margins().bottom() + 2;
    painter->save();
    painter->setRenderHint(QPainter::Antialiasing, true);
    painter->setFont(font);
    for (size_t i = 0; i < entries.size() && i < places.size(); ++i) {
        const QRectF at = places[i].translated(frame.left(), top);
        const QPointF middle(at.left() + LEGEND_SAMPLE / 2.0, at.center().y());
        QXYSeries *series = entries[i];
        if (QScatterSeries *marks = qobject_cast<QScatterSeries *>(series)) {
            painter->setPen(marks->pen());
            painter->setBrush(marks->brush());
            const double r = 5;
            switch (marks->markerShape()) {
            case QScatterSeries::MarkerShapeRectangle:
                painter->drawRect(QRectF(middle.x() - r, middle.y() - r, 2 * r, 2 * r));
                break;
            case QScatterSeries::MarkerShapeTriangle: {
                const QPointF corners[3] = {{middle.x(), middle.y() - r - 1},
                                            {middle.x() + r + 1, middle.y() + r},
                                            {middle.x() - r - 1, middle.y() + r}};
                painter->drawPolygon(corners, 3);
                break;
            }
            default:
                painter->drawEllipse(middle, r, r);
                break;
            }
        } else if (QLineSeries *line = qobject_cast<QLineSeries *>(series)) {
            QPen pen = line->pen();
            pen.setWidthF(2);
            painter->setPen(pen);
            painter->drawLine(QPointF(at.left(), middle.y()), QPointF(at.left() + LEGEND_SAMPLE, middle.y()));
        }
        painter->setPen(chart()->legend()->labelColor());
        painter->drawText(QRectF(at.left() + LEGEND_SAMPLE + 4, at.top(), at.width() - LEGEND_SAMPLE - 4, at.height()),
                          Qt::AlignLeft | Qt::AlignVCenter, series->name());
    }
    painter->restore();
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
            if (row.rate && !drawn.isEmpty())
                drawn.append(QPointF(double(timeline_call_end_us(call) - base) / SECOND, previous));
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

TimelineCalls CallTimeline::shown() const {
    TimelineCalls shown;
    shown.count = count_;
    for (int c = 0; c < count_; ++c) shown.calls[c] = calls_[c].get();
    return shown;
}

TimelineFrame CallTimeline::frame() const {
    const QRectF plot = chart()->plotArea();
    return {plot.left(), plot.top(), plot.width(), plot.height(), time_axis_->min(), time_axis_->max()};
}

// Chart coordinates to viewport pixels and back.
static QPointF chart_to_viewport(const QChartView &view, const QPointF &point) {
    return QPointF(view.mapFromScene(view.chart()->mapToScene(point)));
}
static QPointF viewport_to_chart(const QChartView &view, const QPointF &point) {
    return view.chart()->mapFromScene(view.mapToScene(point.toPoint()));
}

QPointF CallTimeline::position_of(int64_t time_us, int call) const {
    const TimelineFrame f = frame();
    return chart_to_viewport(*this, QPointF(timeline_x(f, timeline_time(shown(), call, time_us)), f.top));
}

QPointF CallTimeline::mark_position(int call, size_t event) const {
    const TimelineFrame f = frame();
    for (const MarkPlace &place : placed_) {
        if (place.call == call && place.event == event)
            return chart_to_viewport(*this, QPointF(timeline_x(f, place.time), timeline_y(f, place.height)));
    }
    return QPointF(-1, -1);
}

QPointF CallTimeline::finding_position(int call, size_t finding) const {
    const TimelineFrame f = frame();
    for (const FindingPlace &place : finding_places_) {
        if (place.call == call && place.finding == finding)
            return chart_to_viewport(*this, QPointF(timeline_x(f, place.time), timeline_y(f, place.height)));
    }
    return QPointF(-1, -1);
}

int CallTimeline::finding_at(const QPointF &point) const {
    const QPointF at = viewport_to_chart(*this, point);
    return timeline_pick_finding(finding_places_, frame(), at.x(), at.y(), SNAP_PIXELS);
}

// A finding's mark, where the pointer is on one, picks the finding's
// moment; else the event's mark or the moment under the pointer.
TimelinePick CallTimeline::pick_at(const QPointF &point) const {
    const int finding = finding_at(point);
    if (finding >= 0) {
        const FindingPlace &place = finding_places_[size_t(finding)];
        const Finding &f = verdicts_[place.call].findings[place.finding];
        TimelinePick pick;
        pick.call = place.call;
        pick.modem = calls_[place.call]->modem;
        pick.time_us = std::max<int64_t>(f.at.time_us, 0);
        pick.code = f.at.code;
        return pick;
    }
    const QPointF at = viewport_to_chart(*this, point);
    return timeline_pick(shown(), placed_, frame(), at.x(), at.y(), SNAP_PIXELS);
}

QString CallTimeline::mark_text_at(const QPointF &point) const {
    const int finding = finding_at(point);
    if (finding >= 0) {
        char text[VERDICT_CAUSE_BYTES + 64];
        timeline_finding_text(shown(), verdict_of_, finding_places_[size_t(finding)], text, sizeof text);
        return QString::fromUtf8(text);
    }
    const TimelinePick pick = pick_at(point);
    if (pick.event < 0) return QString();
    for (const MarkPlace &place : placed_) {
        if (place.call == pick.call && place.event == pick.event) {
            char text[160];
            timeline_mark_text(shown(), place, text, sizeof text);
            return QString::fromUtf8(text);
        }
    }
    return QString();
}

void CallTimeline::mousePressEvent(QMouseEvent *event) {
    QChartView::mousePressEvent(event);
    if (count_ == 0 || event->button() != Qt::LeftButton) return;
    const TimelinePick pick = pick_at(event->position());
    if (pick.call >= 0) emit moment_chosen(pick.modem, pick.time_us, pick.code);
}

bool CallTimeline::viewportEvent(QEvent *event) {
    if (event->type() == QEvent::ToolTip) {
        const QHelpEvent *help = static_cast<QHelpEvent *>(event);
        const QString text = mark_text_at(help->pos());
        if (text.isEmpty()) {
            QToolTip::hideText();
            event->ignore();
        } else {
            // A finding's long text wraps as rich text does.
            QToolTip::showText(help->globalPos(),
                               text.size() > 80 ? QStringLiteral("<p>%1</p>").arg(text.toHtmlEscaped()) : text,
                               viewport());
        }
        return true;
    }
    return QChartView::viewportEvent(event);
}

void CallTimeline::resizeEvent(QResizeEvent *event) {
    QChartView::resizeEvent(event);
    fit_legend();
    // A new width needs other columns.
    redraw_lines();
}

void CallTimeline::drawForeground(QPainter *painter, const QRectF &rect) {
    QChartView::drawForeground(painter, rect);
    draw_legend(painter);
    if (count_ == 0) return;
    // A line down the plot at each mark, in the mark's colour: dashed for
    // A's marks, dotted for B's.
    const QRectF plot = chart()->plotArea();
    const TimelineFrame f = frame();
    painter->save();
    for (const MarkPlace &place : placed_) {
        QPen pen(QColor::fromRgb(MARK_ROWS[place.mark].colour));
        pen.setStyle(place.call == 0 ? Qt::DashLine : Qt::DotLine);
        pen.setWidth(1);
        painter->setPen(pen);
        const double x = timeline_x(f, place.time);
        if (x < plot.left() - 1 || x > plot.right() + 1) continue;
        painter->drawLine(chart()->mapToScene(QPointF(x, plot.top())), chart()->mapToScene(QPointF(x, plot.bottom())));
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
