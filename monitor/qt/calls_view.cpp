// Calls view.
#include "monitor/qt/calls_view.h"

#include <QAction>
#include <QApplication>
#include <QFileDialog>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QLabel>
#include <QMessageBox>
#include <QPainter>
#include <QPushButton>
#include <QScrollBar>
#include <QSplitter>
#include <QStyledItemDelegate>
#include <QTabWidget>
#include <QTableView>
#include <QTableWidget>
#include <QTextLayout>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include "calls/call_export.h"
#include "calls/call_findings.h"
#include "calls/call_summary.h"
#include "calls/call_watch.h"
#include "monitor/qt/call_timeline.h"
#include "monitor/qt/frozen_eye.h"
#include "monitor/qt/severity_style.h"
#include "monitor/qt/status_save.h"

namespace {

const QColor DIFFERS_BACKGROUND(255, 236, 179);

QTableWidgetItem *text_item(const QString &text) {
    QTableWidgetItem *item = new QTableWidgetItem(text);
    item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable);
    // Long values may be cut by the column: the whole text on hover.
    if (text.size() > 24) item->setToolTip(text);
    return item;
}

// The summary's cells: text wrapped at blanks and, where one word is wider
// than the column (a wall clock in a narrow comparison), anywhere, so that
// no value is ever cut; each row as tall as its wrapped text.
class WrappingDelegate : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    void paint(QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index) const override {
        QStyleOptionViewItem cell = option;
        initStyleOption(&cell, index);
        const QString text = cell.text;
        cell.text.clear();
        const QWidget *widget = cell.widget;
        QStyle *style = widget != nullptr ? widget->style() : QApplication::style();
        style->drawControl(QStyle::CE_ItemViewItem, &cell, painter, widget);
        const int margin = style->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, widget) + 1;
        const QRect rect =
            style->subElementRect(QStyle::SE_ItemViewItemText, &cell, widget).adjusted(margin, 0, -margin, 0);
        painter->save();
        painter->setFont(cell.font);
        painter->setPen(cell.palette.color(cell.state & QStyle::State_Enabled ? QPalette::Normal : QPalette::Disabled,
                                           cell.state & QStyle::State_Selected ? QPalette::HighlightedText
                                                                               : QPalette::Text));
        QTextOption wrap(Qt::AlignLeft | Qt::AlignVCenter);
        wrap.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
        painter->drawText(QRectF(rect), text, wrap);
        painter->restore();
    }

    QSize sizeHint(const QStyleOptionViewItem &option, const QModelIndex &index) const override {
        QStyleOptionViewItem cell = option;
        initStyleOption(&cell, index);
        const QWidget *widget = cell.widget;
        QStyle *style = widget != nullptr ? widget->style() : QApplication::style();
        const int margin = style->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, widget) + 1;
        const QFontMetrics metrics(cell.font);
        const int natural = metrics.horizontalAdvance(cell.text) + 2 * margin;
        // The table gives the column's width when it measures a row.
        const int width = cell.rect.width() > 2 * margin ? cell.rect.width() - 2 * margin : natural;
        QTextLayout layout(cell.text, cell.font);
        QTextOption wrap;
        wrap.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
        layout.setTextOption(wrap);
        qreal height = 0;
        layout.beginLayout();
        for (QTextLine line = layout.createLine(); line.isValid(); line = layout.createLine()) {
            line.setLineWidth(width);
            height += line.height();
        }
        layout.endLayout();
        return QSize(natural, std::max(int(std::ceil(height)), metrics.height()) + 4);
    }
};

QTableWidget *read_only_table(const QStringList &headers, QWidget *parent) {
    QTableWidget *table = new QTableWidget(0, int(headers.size()), parent);
    table->setHorizontalHeaderLabels(headers);
    table->verticalHeader()->hide();
    table->verticalHeader()->setDefaultSectionSize(table->fontMetrics().height() + 4);
    table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table->setSelectionBehavior(QAbstractItemView::SelectRows);
    table->setWordWrap(false);
    table->horizontalHeader()->setStretchLastSection(true);
    // Headers over the start of their values, which may run past the view.
    table->horizontalHeader()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    return table;
}

// A table beside the frozen eye of its selected row; `table_share` of
// five parts of the width for the table.
QWidget *table_and_eye(QTableWidget *table, FrozenEyePane *eye, int table_share, QWidget *parent) {
    QWidget *tab = new QWidget(parent);
    QHBoxLayout *layout = new QHBoxLayout(tab);
    layout->setContentsMargins(2, 2, 2, 2);
    layout->addWidget(table, table_share);
    layout->addWidget(eye, 5 - table_share);
    return tab;
}

// The findings table's columns.
enum FindingColumn {
    FINDING_COLUMN_SEVERITY,
    FINDING_COLUMN_TIME,
    FINDING_COLUMN_CALL,
    FINDING_COLUMN_TEXT,
};

QString seconds_text(int64_t us) {
    char text[32];
    format_seconds(us, text, sizeof text);
    return QString::fromLatin1(text);
}

QByteArray list_bytes(const std::vector<const Call *> &calls, CallFileFormat format) {
    std::string out;
    if (format == CALL_FILE_JSON) {
        calls_list_json(calls, out);
    } else {
        calls_list_csv(calls, out);
    }
    return QByteArray(out.data(), qsizetype(out.size()));
}

}  // namespace

CallFileFormat call_file_format(const QString &path) {
    return path.endsWith(QStringLiteral(".json"), Qt::CaseInsensitive) ? CALL_FILE_JSON : CALL_FILE_CSV;
}

CallsView::CallsView(QWidget *parent) : QWidget(parent) {
    model_ = new CallsModel(this);
    table_ = new QTableView(this);
    table_->setModel(model_);
    table_->setSelectionBehavior(QAbstractItemView::SelectRows);
    table_->setSelectionMode(QAbstractItemView::ExtendedSelection);
    table_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table_->verticalHeader()->hide();
    table_->verticalHeader()->setDefaultSectionSize(table_->fontMetrics().height() + 4);
    table_->horizontalHeader()->setStretchLastSection(true);
    table_->setWordWrap(false);
    table_->setToolTip(QStringLiteral("Select a call to see its summary and timeline; Ctrl+click a second to compare."));
    // Fixed widths from the font: measuring a thousand rows would cost a tick.
    const QFontMetrics metrics = table_->fontMetrics();
    const int widths[CallsModel::COLUMNS] = {
        metrics.horizontalAdvance(QStringLiteral("Modem")) + 16,
        metrics.horizontalAdvance(QStringLiteral("2026-12-08 17:50:00")) + 16,
        metrics.horizontalAdvance(QStringLiteral("10:00:00")) + 16,
        metrics.horizontalAdvance(QStringLiteral("v.32/v.32bis/v.32terbo")) + 16,
        metrics.horizontalAdvance(QStringLiteral("Rx bit/s")) + 16,
        metrics.horizontalAdvance(QStringLiteral("Tx bit/s")) + 16,
        metrics.horizontalAdvance(QStringLiteral("9 (9 remote)")) + 12,
        metrics.horizontalAdvance(QStringLiteral("9 (9 remote)")) + 12,
        metrics.horizontalAdvance(QStringLiteral("carrier lost")) + 16,
        // The cause, its category first: at least the icon and a short
        // category, and the rest of the row (the last column stretches);
        // whole in its tooltip.
        metrics.horizontalAdvance(QStringLiteral("Line drop")) + 40,
    };
    for (int c = 0; c < CallsModel::COLUMNS; ++c) table_->setColumnWidth(c, widths[c]);

    summary_ = read_only_table({QStringLiteral("Key"), QStringLiteral("Value")}, this);
    // Values wrap rather than being cut: the keys' column fits the keys, the
    // values take the rest, each row as tall as its wrapped value.
    summary_->setWordWrap(true);
    summary_->setItemDelegate(new WrappingDelegate(summary_));
    summary_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    summary_->verticalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
    events_ = read_only_table(
        {QStringLiteral("Time (s)"), QStringLiteral("Event"), QStringLiteral("Asked by"), QStringLiteral("Code"),
         QStringLiteral("Eye"), QStringLiteral("Call")},
        this);
    events_->setSelectionMode(QAbstractItemView::SingleSelection);
    findings_ = read_only_table(
        {QStringLiteral("Severity"), QStringLiteral("Time (s)"), QStringLiteral("Call"), QStringLiteral("Finding")}, this);
    findings_->setSelectionMode(QAbstractItemView::SingleSelection);
    // A finding's text wraps within its column, each row as tall as its text.
    findings_->setWordWrap(true);
    findings_->setItemDelegateForColumn(FINDING_COLUMN_TEXT, new WrappingDelegate(findings_));
    findings_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    findings_->verticalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
    findings_->setToolTip(QStringLiteral("Select a finding to see its status line and the eye of its moment."));
    timeline_ = new CallTimeline(this);
    eye_ = new FrozenEyePane(this);
    findings_eye_ = new FrozenEyePane(this);

    count_ = new QLabel(this);
    QPushButton *export_list_button = new QPushButton(QStringLiteral("Export List..."), this);
    export_call_button_ = new QPushButton(QStringLiteral("Export Call..."), this);
    image_button_ = new QPushButton(QStringLiteral("Save Timeline Image..."), this);
    connect(export_list_button, &QPushButton::clicked, this, &CallsView::export_list_as);
    connect(export_call_button_, &QPushButton::clicked, this, &CallsView::export_call_as);
    connect(image_button_, &QPushButton::clicked, this, &CallsView::save_image_as);

    // The findings' texts are long: their table takes more of the width.
    findings_tab_ = table_and_eye(findings_, findings_eye_, 4, this);
    tabs_ = new QTabWidget(this);
    tabs_->addTab(timeline_, QStringLiteral("Timeline"));
    tabs_->addTab(findings_tab_, QStringLiteral("Findings"));
    tabs_->addTab(table_and_eye(events_, eye_, 3, this), QStringLiteral("Events and Eye"));

    QSplitter *details = details_ = new QSplitter(Qt::Horizontal, this);
    details->addWidget(summary_);
    details->addWidget(tabs_);
    details->setStretchFactor(0, 2);
    details->setStretchFactor(1, 3);
    QSplitter *split = new QSplitter(Qt::Vertical, this);
    split->addWidget(table_);
    split->addWidget(details);
    split->setStretchFactor(0, 2);
    split->setStretchFactor(1, 3);

    QHBoxLayout *bar = new QHBoxLayout;
    bar->addWidget(count_, 1);
    bar->addWidget(export_list_button);
    bar->addWidget(export_call_button_);
    bar->addWidget(image_button_);
    QVBoxLayout *layout = new QVBoxLayout(this);
    layout->setContentsMargins(4, 4, 4, 4);
    layout->addLayout(bar);
    layout->addWidget(split, 1);

    // The selection stays on its calls over a rebuild of the rows.
    connect(model_, &QAbstractItemModel::modelAboutToBeReset, this, [this] { kept_selection_ = selected_keys(); });
    connect(model_, &QAbstractItemModel::modelReset, this, [this] {
        QList<int> rows;
        for (const CallKey &key : kept_selection_) {
            const int row = model_->row_of(key);
            if (row >= 0) rows.append(row);
        }
        const QSignalBlocker blocker(table_->selectionModel());
        table_->selectionModel()->clearSelection();
        for (int row : rows)
            table_->selectionModel()->select(model_->index(row, 0),
                                             QItemSelectionModel::Select | QItemSelectionModel::Rows);
        update_count();
    });
    connect(table_->selectionModel(), &QItemSelectionModel::selectionChanged, this, &CallsView::show_selection);
    connect(details_, &QSplitter::splitterMoved, this, [this] { split_dragged_ = true; });
    connect(events_, &QTableWidget::currentCellChanged, this, [this](int row) { show_event_eye(row); });
    connect(findings_, &QTableWidget::currentCellChanged, this, [this](int row) { show_finding_eye(row); });
    connect(timeline_, &CallTimeline::moment_chosen, this, &CallsView::moment_chosen);
    create_actions();
    show_selection();
}

CallsView::~CallsView() = default;

void CallsView::create_actions() {
    // The same commands on the list's context menu.
    table_->setContextMenuPolicy(Qt::ActionsContextMenu);
    const struct {
        const char *text;
        void (CallsView::*run)();
    } rows[] = {
        {"Export List...", &CallsView::export_list_as},
        {"Export Call...", &CallsView::export_call_as},
        {"Save Timeline Image...", &CallsView::save_image_as},
    };
    for (const auto &row : rows) {
        QAction *action = new QAction(QString::fromLatin1(row.text), table_);
        connect(action, &QAction::triggered, this, row.run);
        table_->addAction(action);
    }
}

void CallsView::set_watch(const CallWatch *watch, int64_t origin_us) {
    model_->set_watch(watch, origin_us);
    update_count();
}

void CallsView::sync() { model_->sync(); }

void CallsView::refresh() {
    model_->refresh_running(now_ ? now_() : -1);
    // A selected call that is still running has new details.
    const QList<CallKey> keys = selected_keys();
    for (const CallKey &key : keys) {
        const Call *call = model_->call(model_->row_of(key));
        if (call != nullptr && !call->ended) {
            show_selection();
            break;
        }
    }
}

void CallsView::update_count() {
    const CallWatch *watch = model_->watch();
    QString text = QStringLiteral("%1 calls").arg(model_->rowCount());
    if (watch != nullptr && watch->log.dropped > 0)
        text += QStringLiteral(" (%1 older calls gave way)").arg(watch->log.dropped);
    count_->setText(text);
}

QList<CallKey> CallsView::selected_keys() const {
    QList<int> rows;
    for (const QModelIndex &index : table_->selectionModel()->selectedRows()) rows.append(index.row());
    std::sort(rows.begin(), rows.end());
    QList<CallKey> keys;
    for (int row : rows) keys.append(model_->key(row));
    return keys;
}

void CallsView::select_rows(const QList<int> &rows) {
    QItemSelection selection;
    for (int row : rows) {
        if (row >= 0 && row < model_->rowCount())
            selection.select(model_->index(row, 0), model_->index(row, CallsModel::COLUMNS - 1));
    }
    table_->selectionModel()->select(selection, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
}

void CallsView::show_selection() {
    const QList<CallKey> keys = selected_keys();
    const Call *a = keys.size() > 0 ? model_->call(model_->row_of(keys[0])) : nullptr;
    const Call *b = keys.size() > 1 ? model_->call(model_->row_of(keys[1])) : nullptr;
    shown_[0] = a != nullptr ? std::make_unique<Call>(*a) : nullptr;
    // Two calls compare: the older as A, over the time since each start.
    shown_[1] = b != nullptr ? std::make_unique<Call>(*b) : nullptr;
    if (shown_[1] && shown_[1]->start_us < shown_[0]->start_us) std::swap(shown_[0], shown_[1]);
    CallKey now[2];
    for (int c = 0; c < 2; ++c)
        if (shown_[c]) now[c] = {shown_[c]->modem, shown_[c]->number};
    same_calls_ = now[0] == shown_keys_[0] && now[1] == shown_keys_[1];
    shown_keys_[0] = now[0];
    shown_keys_[1] = now[1];
    export_call_button_->setEnabled(shown_[0] != nullptr);
    image_button_->setEnabled(shown_[0] != nullptr);
    if (shown_[0] && shown_[1]) {
        show_comparison(*shown_[0], *shown_[1]);
        timeline_->show_pair(*shown_[0], *shown_[1]);
        show_events();
        show_findings();
    } else if (shown_[0]) {
        show_summary(*shown_[0]);
        timeline_->show_call(*shown_[0]);
        show_events();
        show_findings();
    } else {
        set_summary_columns(0, {QStringLiteral("Key"), QStringLiteral("Value")});
        summary_->setRowCount(0);
        timeline_->clear_calls();
        event_rows_.clear();
        events_->setRowCount(0);
        eye_->clear();
        show_findings();
    }
    // A comparison needs the room of two value columns.
    if ((shown_[1] ? 2 : shown_[0] ? 1 : 0) != fitted_count_) {
        split_dragged_ = false;
        fit_details();
    }
}

void CallsView::set_summary_columns(int count, const QStringList &headers) {
    summary_->setColumnCount(int(headers.size()));
    summary_->setHorizontalHeaderLabels(headers);
    // The mark and key columns fit their texts, the values share the rest.
    QHeaderView *header = summary_->horizontalHeader();
    const int keys = count == 2 ? 2 : 1;
    for (int c = 0; c < int(headers.size()); ++c)
        header->setSectionResizeMode(c, c < keys ? QHeaderView::ResizeToContents : QHeaderView::Stretch);
}

void CallsView::fit_details() {
    const int width = details_->width() - details_->handleWidth();
    if (width <= 0) return;
    const int count = shown_[1] ? 2 : shown_[0] ? 1 : 0;
    fitted_count_ = count;
    // The summary as wide as its keys and a wall clock value for each call
    // (longer values wrap), within 35% to 50% of the room; the timeline
    // the rest.
    const QFontMetrics metrics = summary_->fontMetrics();
    const int value = metrics.horizontalAdvance(QStringLiteral("00.000 s (2026-12-08T17:00:00.000Z)")) + 16;
    const int want = key_width_ + value * std::max(count, 1) + summary_->verticalScrollBar()->sizeHint().width() +
                     2 * summary_->frameWidth();
    const int summary = std::clamp(want, width * 35 / 100, width / 2);
    details_->setSizes({summary, width - summary});
}

void CallsView::resizeEvent(QResizeEvent *event) {
    QWidget::resizeEvent(event);
    if (!split_dragged_) fit_details();
}

void CallsView::show_summary(const Call &call) {
    std::vector<SummaryRow> rows;
    call_summary(call, rows);
    summary_->setUpdatesEnabled(false);
    set_summary_columns(1, {QStringLiteral("Key"), QStringLiteral("Value")});
    summary_->setRowCount(int(rows.size()));
    const QFontMetrics metrics = summary_->fontMetrics();
    key_width_ = 0;
    for (size_t i = 0; i < rows.size(); ++i) {
        const QString key = QString::fromUtf8(rows[i].key);
        key_width_ = std::max(key_width_, metrics.horizontalAdvance(key) + 16);
        summary_->setItem(int(i), 0, text_item(key));
        summary_->setItem(int(i), 1, text_item(QString::fromUtf8(rows[i].value)));
    }
    summary_->setUpdatesEnabled(true);
}

void CallsView::show_comparison(const Call &a, const Call &b) {
    std::vector<SummaryRow> rows_a, rows_b;
    call_summary(a, rows_a);
    call_summary(b, rows_b);
    std::vector<CompareRow> rows;
    compare_calls(a, b, rows_a, rows_b, rows);
    summary_->setUpdatesEnabled(false);
    set_summary_columns(2, {QString(), QStringLiteral("Key"),
                            QStringLiteral("A (modem %1 #%2)").arg(a.modem).arg(a.number),
                            QStringLiteral("B (modem %1 #%2)").arg(b.modem).arg(b.number)});
    summary_->setRowCount(int(rows.size()));
    const QFontMetrics metrics = summary_->fontMetrics();
    key_width_ = metrics.horizontalAdvance(QStringLiteral("*")) + 16;
    int keys = 0;
    for (size_t i = 0; i < rows.size(); ++i) {
        const CompareRow &row = rows[i];
        keys = std::max(keys, metrics.horizontalAdvance(QString::fromUtf8(row.key)) + 16);
        QTableWidgetItem *items[4] = {text_item(row.differs ? QStringLiteral("*") : QString()),
                                      text_item(QString::fromUtf8(row.key)), text_item(QString::fromUtf8(row.a)),
                                      text_item(QString::fromUtf8(row.b))};
        for (int c = 0; c < 4; ++c) {
            if (row.differs) items[c]->setBackground(DIFFERS_BACKGROUND);
            summary_->setItem(int(i), c, items[c]);
        }
    }
    key_width_ += keys;
    summary_->setUpdatesEnabled(true);
}

void CallsView::show_events() {
    // One call's events at their time since the session start; two calls'
    // (A's, then B's) at their time since each call's start, as the
    // timeline shows them, with the call's letter.
    const int count = shown_[1] ? 2 : 1;
    event_rows_.clear();
    for (int c = 0; c < count; ++c) {
        for (size_t i = 0; i < shown_[c]->events.size(); ++i) event_rows_.push_back({c, i});
    }
    // The event chosen stays chosen while the same calls are shown.
    const int current = same_calls_ ? events_->currentRow() : -1;
    events_->setUpdatesEnabled(false);
    {
        const QSignalBlocker blocker(events_);
        if (current < 0) events_->setCurrentItem(nullptr);
        events_->setColumnHidden(5, count == 1);
        events_->horizontalHeaderItem(0)->setText(count == 1 ? QStringLiteral("Time (s)")
                                                             : QStringLiteral("Since start (s)"));
        events_->setRowCount(int(event_rows_.size()));
        for (size_t r = 0; r < event_rows_.size(); ++r) {
            const Call &call = *shown_[event_rows_[r].call];
            const CallEvent &e = call.events[event_rows_[r].event];
            const int row = int(r);
            const QString time = count == 1 ? seconds_text(e.time_us)
                                            : QStringLiteral("+") + seconds_text(e.time_us - call.start_us);
            events_->setItem(row, 0, text_item(time));
            events_->setItem(row, 1, text_item(QString::fromLatin1(event_name(e.kind))));
            events_->setItem(row, 2, text_item(QString::fromLatin1(origin_name(e.origin))));
            events_->setItem(row, 3, text_item(QString::number(e.code)));
            int ticks = 0;
            if (e.frozen_eye >= 0 && size_t(e.frozen_eye) < call.eyes.size()) ticks = call.eyes[size_t(e.frozen_eye)].ticks;
            events_->setItem(row, 4, text_item(ticks > 0 ? QStringLiteral("%1 ticks").arg(ticks) : QStringLiteral("-")));
            events_->setItem(row, 5, text_item(event_rows_[r].call == 0 ? QStringLiteral("A") : QStringLiteral("B")));
        }
        events_->resizeColumnsToContents();
        if (current >= 0 && current < events_->rowCount()) events_->setCurrentCell(current, 0);
    }
    events_->setUpdatesEnabled(true);
    if (current < 0 || current >= events_->rowCount()) {
        eye_->clear();
        if (event_rows_.empty())
            eye_->show_eye(shown_[0]->modem, nullptr,
                           count == 1 ? QStringLiteral("This call had no events.")
                                      : QStringLiteral("These calls had no events."));
    }
}

void CallsView::show_event_eye(int row) {
    if (row < 0 || size_t(row) >= event_rows_.size() || !shown_[event_rows_[size_t(row)].call]) {
        eye_->clear();
        return;
    }
    const Call &call = *shown_[event_rows_[size_t(row)].call];
    const CallEvent &e = call.events[event_rows_[size_t(row)].event];
    const FrozenEye *eye = e.frozen_eye >= 0 && size_t(e.frozen_eye) < call.eyes.size() ? &call.eyes[size_t(e.frozen_eye)]
                                                                                        : nullptr;
    // Compared calls: which of the two, and its number.
    QString caption = shown_[1] ? QStringLiteral("%1, modem %2 call %3, ")
                                      .arg(event_rows_[size_t(row)].call == 0 ? QLatin1Char('A') : QLatin1Char('B'))
                                      .arg(call.modem)
                                      .arg(call.number)
                                : QStringLiteral("Modem %1, ").arg(call.modem);
    caption += QStringLiteral("%1 at %2 s: ").arg(QString::fromLatin1(event_name(e.kind)), seconds_text(e.time_us));
    if (eye == nullptr || eye->ticks == 0) {
        caption += QStringLiteral("no eye points came in the ticks before it.");
        eye = nullptr;
    } else {
        caption += QStringLiteral("the last %1 ticks before it.").arg(eye->ticks);
    }
    eye_->show_eye(call.modem, eye, caption);
    emit moment_chosen(call.modem, e.time_us, e.code);
}

void CallsView::show_findings() {
    // One call's findings at their time since the session start; two calls'
    // (A's, then B's) at their time since each call's start, with the
    // call's letter: the events' times, as the timeline shows them. Each
    // call's in its verdict's order: the rules' order, the errors first.
    const int count = shown_[1] ? 2 : shown_[0] ? 1 : 0;
    finding_rows_.clear();
    int worst = -1;
    for (int c = 0; c < count; ++c) {
        call_verdict(*shown_[c], verdicts_[c]);
        for (size_t i = 0; i < verdicts_[c].count; ++i) {
            finding_rows_.push_back({c, i});
            worst = std::max(worst, int(verdicts_[c].findings[i].severity));
        }
    }
    // The finding chosen stays chosen while the same calls are shown (a
    // running call's refresh); other calls start without one.
    const int current = same_calls_ ? findings_->currentRow() : -1;
    findings_->setUpdatesEnabled(false);
    {
        const QSignalBlocker blocker(findings_);
        if (current < 0) findings_->setCurrentItem(nullptr);
        findings_->setColumnHidden(FINDING_COLUMN_CALL, count < 2);
        // Two calls: "+5.300", since each one's start, in the same narrow column.
        findings_->horizontalHeaderItem(FINDING_COLUMN_TIME)
            ->setToolTip(count < 2 ? QStringLiteral("Since the session's start")
                                   : QStringLiteral("Since each call's start"));
        findings_->setRowCount(int(finding_rows_.size()));
        QFont bold = findings_->font();
        bold.setBold(true);
        for (size_t r = 0; r < finding_rows_.size(); ++r) {
            const Call &call = *shown_[finding_rows_[r].call];
            const Finding &f = verdicts_[finding_rows_[r].call].findings[finding_rows_[r].finding];
            const int row = int(r);
            QTableWidgetItem *severity = text_item(QString::fromLatin1(severity_name(f.severity)));
            severity->setIcon(severity_icon(f.severity));
            severity->setForeground(severity_colour(f.severity));
            severity->setFont(bold);
            findings_->setItem(row, FINDING_COLUMN_SEVERITY, severity);
            findings_->setItem(row, FINDING_COLUMN_TIME,
                               text_item(count == 1 ? seconds_text(f.at.time_us)
                                                    : QStringLiteral("+") + seconds_text(f.at.time_us - call.start_us)));
            findings_->setItem(row, FINDING_COLUMN_CALL,
                               text_item(finding_rows_[r].call == 0 ? QStringLiteral("A") : QStringLiteral("B")));
            char text[FINDING_TEXT_BYTES];
            finding_text(call, f, text, sizeof text);
            QTableWidgetItem *item = new QTableWidgetItem(QString::fromUtf8(text));
            item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable);
            item->setToolTip(QStringLiteral("%1 (%2)").arg(QString::fromLatin1(finding_name(f.id)),
                                                           QString::fromLatin1(severity_name(f.severity))));
            findings_->setItem(row, FINDING_COLUMN_TEXT, item);
        }
        for (int c = FINDING_COLUMN_SEVERITY; c < FINDING_COLUMN_TEXT; ++c) findings_->resizeColumnToContents(c);
        if (current >= 0 && current < findings_->rowCount()) findings_->setCurrentCell(current, 0);
    }
    findings_->setUpdatesEnabled(true);
    // The tab says how many there are, with the icon of the worst.
    const int tab = tabs_->indexOf(findings_tab_);
    tabs_->setTabText(tab, finding_rows_.empty() ? QStringLiteral("Findings")
                                                 : QStringLiteral("Findings (%1)").arg(finding_rows_.size()));
    tabs_->setTabIcon(tab, worst < 0 ? QIcon() : severity_icon(FindingSeverity(worst)));
    if (current < 0 || current >= findings_->rowCount()) {
        findings_eye_->clear();
        if (count == 0) {
            findings_eye_->show_eye(0, nullptr, QStringLiteral("Select a call to see its findings."));
        } else if (finding_rows_.empty()) {
            findings_eye_->show_eye(shown_[0]->modem, nullptr,
                                    count == 1 ? QStringLiteral("Nothing was found in this call.")
                                               : QStringLiteral("Nothing was found in these calls."));
        } else {
            findings_eye_->show_eye(shown_[0]->modem, nullptr,
                                    QStringLiteral("Select a finding to see its status line and the eye of its moment."));
        }
    }
}

void CallsView::show_finding_eye(int row) {
    if (row < 0 || size_t(row) >= finding_rows_.size() || !shown_[finding_rows_[size_t(row)].call]) {
        findings_eye_->clear();
        return;
    }
    const int c = finding_rows_[size_t(row)].call;
    const Call &call = *shown_[c];
    const Finding &f = verdicts_[c].findings[finding_rows_[size_t(row)].finding];
    const FrozenEye *eye =
        f.frozen_eye >= 0 && size_t(f.frozen_eye) < call.eyes.size() ? &call.eyes[size_t(f.frozen_eye)] : nullptr;
    QString caption = shown_[1] ? QStringLiteral("%1, modem %2 call %3, ")
                                      .arg(c == 0 ? QLatin1Char('A') : QLatin1Char('B'))
                                      .arg(call.modem)
                                      .arg(call.number)
                                : QStringLiteral("Modem %1, ").arg(call.modem);
    caption += QStringLiteral("%1 (%2) at %3: ")
                   .arg(QString::fromLatin1(finding_name(f.id)), QString::fromLatin1(severity_name(f.severity)),
                        shown_[1] ? QStringLiteral("+%1 s into the call").arg(seconds_text(f.at.time_us - call.start_us))
                                  : seconds_text(f.at.time_us) + QStringLiteral(" s"));
    if (eye != nullptr && eye->ticks > 0) {
        caption += QStringLiteral("the last %1 ticks before it.").arg(eye->ticks);
    } else {
        // Eyes are frozen at events only; a rate or a measurement has none.
        caption += f.frozen_eye >= 0 ? QStringLiteral("no eye points came in the ticks before it.")
                                     : QStringLiteral("no eye is kept at this moment (only at events).");
        eye = nullptr;
    }
    findings_eye_->show_eye(call.modem, eye, caption);
    emit moment_chosen(call.modem, f.at.time_us, f.at.code);
}

bool CallsView::export_list(const QString &path, QString *error) const {
    return save_bytes(path, list_bytes(model_->calls(), call_file_format(path)), error);
}

bool CallsView::export_call(const QString &path, QString *error) const {
    if (!shown_[0]) {
        *error = QStringLiteral("no call selected");
        return false;
    }
    std::string out;
    if (call_file_format(path) == CALL_FILE_JSON) {
        call_json(*shown_[0], true, out);
    } else {
        call_detail_csv(*shown_[0], out);
    }
    return save_bytes(path, QByteArray(out.data(), qsizetype(out.size())), error);
}

bool CallsView::save_timeline_image(const QString &path, QString *error) const {
    return timeline_->save_image(path, error);
}

namespace {

// A save dialog that asks about the file that will be written: a name
// without an extension takes the one of the chosen filter ("JSON (*.json)")
// before the dialog checks whether the file exists and asks to replace it.
class SaveDialog : public QFileDialog {
public:
    SaveDialog(QWidget *parent, const QString &title, const QString &name, const QString &filters)
        : QFileDialog(parent, title, QString(), filters) {
        setAcceptMode(QFileDialog::AcceptSave);
        selectFile(name);
    }

    void accept() override {
        const QString filter = selectedNameFilter();
        const qsizetype star = filter.indexOf(QStringLiteral("*."));
        setDefaultSuffix(star < 0 ? QString() : filter.mid(star + 2, filter.indexOf(QLatin1Char(')'), star) - star - 2));
        QFileDialog::accept();
    }
};

}  // namespace

// The dialogs: a file name, then the save; a failure says why.
static void save_with_dialog(QWidget *parent, const QString &title, const QString &name, const QString &filters,
                             const std::function<bool(const QString &, QString *)> &save) {
    SaveDialog dialog(parent, title, name, filters);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return;
    const QString path = dialog.selectedFiles().first();
    QString error;
    if (!save(path, &error))
        QMessageBox::warning(parent, title, QStringLiteral("Could not save %1:\n%2").arg(path, error));
}

void CallsView::export_list_as() {
    save_with_dialog(this, QStringLiteral("Export Calls"), QStringLiteral("calls.csv"),
                     QStringLiteral("CSV (*.csv);;JSON (*.json)"),
                     [this](const QString &path, QString *error) { return export_list(path, error); });
}

void CallsView::export_call_as() {
    if (!shown_[0]) return;
    save_with_dialog(this, QStringLiteral("Export Call"),
                     QStringLiteral("modem%1-call%2.csv").arg(shown_[0]->modem).arg(shown_[0]->number),
                     QStringLiteral("CSV (*.csv);;JSON (*.json)"),
                     [this](const QString &path, QString *error) { return export_call(path, error); });
}

void CallsView::save_image_as() {
    if (!shown_[0]) return;
    save_with_dialog(this, QStringLiteral("Save Timeline Image"),
                     QStringLiteral("modem%1-call%2.png").arg(shown_[0]->modem).arg(shown_[0]->number),
                     QStringLiteral("PNG (*.png)"),
                     [this](const QString &path, QString *error) { return save_timeline_image(path, error); });
}
