// The timeline of a call: SNR and receive level (dB and dBm, left axis) and
// the Rx and Tx rates (bit/s, right axis) over the call's time, with a mark
// and a dashed vertical line at each retrain, renegotiation, carrier loss
// and cleardown, and a triangle of its severity's colour at each finding of
// the call's verdict. Two calls share one axis of time since each call's start:
// B's lines dashed, its marks hollow at the bottom with dotted lines. Which
// marks there are, and what a click picks, is timeline_marks' and
// timeline_pick's; this class draws them and asks them.
// Series are thinned to two points per pixel column for drawing, so that a
// repaint costs the same for a hundred points or a hundred thousand.
#pragma once

#include <QChartView>

#include <cstdint>
#include <memory>
#include <vector>

#include "calls/call.h"
#include "calls/timeline_marks.h"

class QLineSeries;
class QScatterSeries;
class QValueAxis;
class QXYSeries;

// The lines drawn per call.
enum TimelineLine : uint8_t { LINE_SNR, LINE_RX_LEVEL, LINE_RX_RATE, LINE_TX_RATE, TIMELINE_LINES };

class CallTimeline : public QChartView {
    Q_OBJECT
public:
    explicit CallTimeline(QWidget *parent = nullptr);
    ~CallTimeline() override;

    // One call over its own time (seconds since the session start).
    void show_call(const Call &call);
    // Two calls over the time since each one's start; the second dashed.
    void show_pair(const Call &a, const Call &b);
    void clear_calls();

    // Thinning on (the default) or off, for measuring what it saves.
    void set_thinning(bool on) { thinning_ = on; redraw_lines(); }
    // The points of line `line` of call 0 or 1 as drawn now (after thinning).
    int drawn_points(int call, TimelineLine line) const;
    // Where a moment of call 0 (or 1) is drawn, at the plot's top, in viewport pixels.
    QPointF position_of(int64_t time_us, int call = 0) const;
    // Where the mark of event `event` of call 0 or 1 is drawn, in viewport
    // pixels; (-1, -1) for an event without a mark.
    QPointF mark_position(int call, size_t event) const;
    // Where the mark of finding `finding` of call 0 or 1's verdict is drawn,
    // in viewport pixels; (-1, -1) for none.
    QPointF finding_position(int call, size_t finding) const;
    // The description of the mark under a viewport point (its tooltip);
    // empty where there is none.
    QString mark_text_at(const QPointF &point) const;
    // The timeline as PNG at its size on screen; empty when it cannot be drawn.
    QByteArray png_bytes() const;
    // Writes png_bytes to path, atomically. False with the reason.
    bool save_image(const QString &path, QString *error) const;

signals:
    // A click on the plot: the modem of the call picked, the moment (the
    // finding or event mark within a few pixels, else the time under the
    // pointer) since the session start, and the record code of the mark's
    // finding or event (0 for a plain moment).
    void moment_chosen(int modem, int64_t time_us, int code);

protected:
    void resizeEvent(QResizeEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void drawForeground(QPainter *painter, const QRectF &rect) override;
    bool viewportEvent(QEvent *event) override;

private:
    void rebuild();
    void redraw_lines();
    // The legend below the plot, in as many rows as its entries need.
    void fit_legend();
    void draw_legend(QPainter *painter);
    int plot_columns() const;
    TimelineCalls shown() const;
    // The plot in the chart's coordinates, with the time axis's range.
    TimelineFrame frame() const;
    // The pick at a viewport point.
    TimelinePick pick_at(const QPointF &point) const;
    // The finding mark at a viewport point, -1 for none (an index into finding_places_).
    int finding_at(const QPointF &point) const;
    const CallVerdict *const *verdicts() const { return verdict_of_; }

    std::unique_ptr<Call> calls_[2];
    int count_ = 0;
    bool relative_ = false;  // time since each call's start
    bool thinning_ = true;
    QValueAxis *time_axis_ = nullptr;
    QValueAxis *level_axis_ = nullptr;
    QValueAxis *rate_axis_ = nullptr;
    QLineSeries *lines_[2][TIMELINE_LINES] = {};
    QScatterSeries *marks_[2][TIMELINE_MARKS] = {};
    QScatterSeries *finding_marks_[2][SEVERITY_ERROR + 1] = {};
    std::vector<MarkPlace> placed_;  // the marks drawn now
    std::vector<QXYSeries *> legend_;  // the series listed in the legend, in its order
    CallVerdict verdicts_[2];
    const CallVerdict *verdict_of_[2] = {};  // the verdicts of the calls shown, null past them
    std::vector<FindingPlace> finding_places_;  // the finding marks drawn now
    std::vector<SeriesPoint> scratch_;
};
