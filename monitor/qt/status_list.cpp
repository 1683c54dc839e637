// Status list model, view and TAB delegate.
#include "monitor/qt/status_list.h"

#include <QApplication>
#include <QClipboard>
#include <QFontDatabase>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QVBoxLayout>
#include <QPainter>
#include <QScrollBar>
#include <QToolButton>
#include <QTextOption>

#include <algorithm>

#include "monitor/clipboard_text.h"
#include "monitor/status_export.h"

StatusModel::StatusModel(LineStore *store, int modem, const LineTimeFormat *format, QObject *parent)
    : QAbstractListModel(parent), store_(store), modem_(modem), format_(format) {
    shown_first_ = store_->first_number;
    shown_end_ = store_->first_number;
}

int StatusModel::rowCount(const QModelIndex &parent) const {
    return parent.isValid() ? 0 : static_cast<int>(shown_end_ - shown_first_);
}

const char *StatusModel::line(int row) const {
    if (row < 0) {
        return nullptr;
    }
    const uint64_t number = shown_first_ + static_cast<uint64_t>(row);
    if (number >= shown_end_ || number < store_->first_number ||
        number >= line_store_end_number(*store_)) {
        return nullptr;
    }
    return line_store_text(*store_, static_cast<size_t>(number - store_->first_number));
}

void StatusModel::time_text(int row, char text[LINE_TIME_TEXT_BYTES]) const {
    text[0] = '\0';
    if (line(row) != nullptr) {
        const uint64_t number = shown_first_ + static_cast<uint64_t>(row);
        store_line_time(*store_, static_cast<size_t>(number - store_->first_number), modem_, *format_, text);
    }
}

void StatusModel::copy_text(int row, char *out, size_t size) const {
    const char *text = line(row);
    if (text == nullptr) {
        if (size > 0) {
            out[0] = '\0';
        }
        return;
    }
    char time[LINE_TIME_TEXT_BYTES];
    time_text(row, time);
    line_with_time(*format_ != LINE_TIME_OFF ? time : nullptr, text, out, size);
}

void StatusModel::recheck(int first, int last) { emit dataChanged(index(first), index(last)); }

void StatusModel::times_changed() {
    if (rowCount() > 0) {
        emit dataChanged(index(0), index(rowCount() - 1), {TIME_ROLE});
    }
}

QVariant StatusModel::data(const QModelIndex &index, int role) const {
    if (!index.isValid()) {
        return QVariant();
    }
    if (role == TIME_ROLE) {
        char time[LINE_TIME_TEXT_BYTES];
        time_text(index.row(), time);
        return QVariant(QString::fromLatin1(time));
    }
    if (role != Qt::DisplayRole) {
        return QVariant();
    }
    const char *text = line(index.row());
    // One character per byte: a driver's text in any 8-bit code shows as
    // something, never as a decoding error.
    return text != nullptr ? QVariant(QString::fromLatin1(text)) : QVariant();
}

void StatusModel::reset() {
    beginResetModel();
    shown_first_ = store_->first_number;
    shown_end_ = line_store_end_number(*store_);
    endResetModel();
}

size_t StatusModel::sync() {
    if (store_->first_number < shown_first_ || line_store_end_number(*store_) < shown_end_) {
        // The store was set up anew under the view.
        reset();
        last_change_ = {0, static_cast<size_t>(shown_end_ - shown_first_)};
        return last_change_.inserted;
    }
    uint64_t first = shown_first_;
    uint64_t end = shown_end_;
    const ViewChange change = line_view_catch_up(*store_, &first, &end);
    last_change_ = change;
    if (change.removed > 0) {
        beginRemoveRows(QModelIndex(), 0, static_cast<int>(change.removed) - 1);
        shown_first_ += change.removed;
        endRemoveRows();
    }
    if (change.inserted > 0) {
        const int rows = rowCount();
        beginInsertRows(QModelIndex(), rows, rows + static_cast<int>(change.inserted) - 1);
        shown_first_ = first;
        shown_end_ = end;
        endInsertRows();
    }
    shown_first_ = first;
    shown_end_ = end;
    return change.inserted;
}

StatusFilter::StatusFilter(StatusModel *source, QObject *parent) : QSortFilterProxyModel(parent), source_(source) {
    setSourceModel(source);
    setDynamicSortFilter(true);
    // Each batch that arrives has a slice of its own; lines that leave, or a
    // list that starts over, take their verdicts with them.
    connect(source, &QAbstractItemModel::rowsAboutToBeInserted, this,
            [this] { slice_end_.setRemainingTime(SLICE_MS); });
    connect(source, &QAbstractItemModel::rowsRemoved, this,
            [this] { lines_.forget_before(source_->first_number()); });
    connect(source, &QAbstractItemModel::modelAboutToBeReset, this, [this] {
        lines_.forget_all();
        slice_end_.setRemainingTime(SLICE_MS);
    });
    slicer_.setInterval(0);
    slicer_.setSingleShot(true);
    connect(&slicer_, &QTimer::timeout, this, &StatusFilter::decide_slice);
}

void StatusFilter::set_filter(const QString &text) {
    text_ = text;
    const QByteArray utf8 = text.toUtf8();
    valid_ = lines_.set(utf8.constData(), static_cast<size_t>(utf8.size()));
    error_ = valid_ ? QString() : QString::fromUtf8(lines_.error());
    slicer_.stop();
    unshown_from_ = UINT64_MAX;
    unshown_end_ = 0;
    show_next_.setRemainingTime(SHOW_MS);
    slice_end_.setRemainingTime(SLICE_MS);
    invalidateFilter();
    emit verdicts_changed();
}

bool StatusFilter::filterAcceptsRow(int source_row, const QModelIndex &) const {
    if (!lines_.active()) {
        return true;
    }
    const char *text = source_->line(source_row);
    if (text == nullptr) {
        return false;
    }
    const uint64_t number = source_->first_number() + static_cast<uint64_t>(source_row);
    const LineVerdict verdict = lines_.verdict(number, text, !slice_end_.hasExpired());
    if (verdict == LINE_PENDING && !slicer_.isActive()) {
        slicer_.start();
    }
    return verdict == LINE_SHOWN || verdict == LINE_UNDECIDED;
}

void StatusFilter::decide_slice() {
    // The pending lines in order, oldest first, for one slice.
    slice_end_.setRemainingTime(SLICE_MS);
    const uint64_t first = source_->first_number();
    const uint64_t end = first + static_cast<uint64_t>(source_->rowCount());
    lines_.forget_before(first);
    for (uint64_t number = lines_.first_pending(); number < end && !slice_end_.hasExpired();
         number = lines_.first_pending()) {
        lines_.verdict(number, source_->line(static_cast<int>(number - first)), true);
        unshown_from_ = std::min(unshown_from_, number);
        unshown_end_ = std::max(unshown_end_, number + 1);
    }
    const bool more = lines_.first_pending() < end;
    if (more) {
        slicer_.start();
    }
    // What the slices decided comes into view every SHOW_MS (each showing
    // costs the view a repaint), and when the last line is decided.
    if (more && !show_next_.hasExpired()) {
        return;
    }
    show_next_.setRemainingTime(SHOW_MS);
    // Rows may have left at the front since, or the list started over.
    unshown_from_ = std::max(unshown_from_, first);
    unshown_end_ = std::min(unshown_end_, end);
    if (unshown_end_ > unshown_from_) {
        // The proxy asks for these rows again and shows those that pass.
        source_->recheck(static_cast<int>(unshown_from_ - first), static_cast<int>(unshown_end_ - 1 - first));
    }
    unshown_from_ = UINT64_MAX;
    unshown_end_ = 0;
    emit verdicts_changed();
}

TabDelegate::TabDelegate(const StatusModel *model, QObject *parent) : QStyledItemDelegate(parent), model_(model) {}

// Tab stops every eight character cells of the list's fixed-pitch font.
static qreal tab_distance(const QFontMetrics &metrics) { return 8.0 * metrics.horizontalAdvance(QLatin1Char('0')); }

void TabDelegate::paint(QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index) const {
    QStyleOptionViewItem item = option;
    initStyleOption(&item, index);
    // The stored text (the style's copy has its line breaks changed).
    QString text = index.data(Qt::DisplayRole).toString();
    item.text.clear();
    const QWidget *widget = item.widget;
    QStyle *style = widget != nullptr ? widget->style() : QApplication::style();
    // Background, selection and focus as the style draws them; then the text.
    style->drawControl(QStyle::CE_ItemViewItem, &item, painter, widget);
    QRect area = style->subElementRect(QStyle::SE_ItemViewItemText, &item, widget);
    const bool selected = (item.state & QStyle::State_Selected) != 0;
    painter->save();
    painter->setFont(item.font);
    painter->setPen(item.palette.color(selected ? QPalette::HighlightedText : QPalette::Text));
    if (model_->time_format() != LINE_TIME_OFF) {
        // The time column, right-aligned, then the line after a gap.
        // Measured on whole strings: a cell's advance can be fractional, and
        // twelve rounded-down cells would clip the first character.
        const int column_width = item.fontMetrics.horizontalAdvance(QString(TIME_CELLS, QLatin1Char('0')));
        const int gap_width = item.fontMetrics.horizontalAdvance(QString(TIME_GAP_CELLS, QLatin1Char(' ')));
        QRect column = area;
        column.setWidth(column_width);
        painter->drawText(column, Qt::AlignRight | Qt::AlignVCenter, index.data(StatusModel::TIME_ROLE).toString());
        area.setLeft(area.left() + column_width + gap_width);
    }
    // A line break inside a line would need a second row; it shows as a blank.
    text.replace(QLatin1Char('\n'), QLatin1Char(' '));
    text.replace(QLatin1Char('\r'), QLatin1Char(' '));
    QTextOption layout;
    layout.setTabStopDistance(tab_distance(item.fontMetrics));
    layout.setWrapMode(QTextOption::NoWrap);
    layout.setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    painter->drawText(QRectF(area), text, layout);
    painter->restore();
}

QSize TabDelegate::sizeHint(const QStyleOptionViewItem &option, const QModelIndex &index) const {
    // Every row has the same size (the view asks once): one line of text,
    // as wide as the longest status line (511 characters) could need.
    // The height comes from the font alone, never from a row's own text
    // (a line break must not make every row two lines high).
    (void)index;
    const QWidget *widget = option.widget;
    QStyle *style = widget != nullptr ? widget->style() : QApplication::style();
    const int margin = style->pixelMetric(QStyle::PM_FocusFrameVMargin, &option, widget);
    return QSize(option.fontMetrics.horizontalAdvance(QLatin1Char('0')) * (160 + TIME_CELLS + TIME_GAP_CELLS),
                 option.fontMetrics.height() + 2 * margin);
}

StatusView::StatusView(StatusModel *model, QWidget *parent)
    : QListView(parent), status_model_(model), filter_(new StatusFilter(model, this)) {
    setModel(filter_);
    setItemDelegate(new TabDelegate(model, this));
    // What the view gained and lost since it last kept its place.
    connect(filter_, &QAbstractItemModel::rowsRemoved, this, [this](const QModelIndex &, int first, int last) {
        if (first == 0) {
            front_removed_ += static_cast<size_t>(last - first + 1);
        }
    });
    connect(filter_, &QAbstractItemModel::rowsInserted, this, [this](const QModelIndex &, int first, int last) {
        inserted_ += static_cast<size_t>(last - first + 1);
    });
    setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    setUniformItemSizes(true);
    setSelectionMode(QAbstractItemView::ExtendedSelection);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    setTabKeyNavigation(false);
    setVerticalScrollMode(QAbstractItemView::ScrollPerItem);

    new_lines_ = new QToolButton(this);
    new_lines_->setToolTip(QStringLiteral("Follow the newest line (End)"));
    new_lines_->hide();
    connect(new_lines_, &QToolButton::clicked, this, &StatusView::follow);
    // At the bottom the list follows; anywhere else it stays where it is.
    connect(verticalScrollBar(), &QScrollBar::valueChanged, this, [this](int value) {
        if (value >= verticalScrollBar()->maximum()) {
            if (!following_) {
                follow();
            }
        } else {
            stop_following();
        }
    });
    connect(selectionModel(), &QItemSelectionModel::currentChanged, this, [this](const QModelIndex &current) {
        if (current.isValid() && current.row() < filter_->rowCount() - 1) {
            stop_following();
        }
    });
}

void StatusView::stop_following() {
    following_ = false;
}

void StatusView::filter_changed() {
    front_removed_ = 0;
    inserted_ = 0;
    if (following_) {
        scrollToBottom();
    }
}

void StatusView::set_following(bool following) {
    if (following) {
        follow();
    } else {
        stop_following();
    }
}

void StatusView::follow() {
    following_ = true;
    unseen_ = 0;
    new_lines_->hide();
    scrollToBottom();
}

void StatusView::show_newest() {
    const size_t removed = front_removed_;
    const size_t inserted = inserted_;
    front_removed_ = 0;
    inserted_ = 0;
    if (following_) {
        scrollToBottom();
        return;
    }
    if (removed == 0 && inserted == 0) {
        return;
    }
    // Rows left at the front: the same lines stay at the top.
    if (removed > 0) {
        QScrollBar *bar = verticalScrollBar();
        bar->setValue(bar->value() - static_cast<int>(removed));
    }
    unseen_ += inserted;
    new_lines_->setText(QStringLiteral("%1 new line%2").arg(static_cast<qulonglong>(unseen_)).arg(unseen_ == 1 ? "" : "s"));
    new_lines_->adjustSize();
    place_button();
    new_lines_->show();
    new_lines_->raise();
}

void StatusView::place_button() {
    const QRect area = viewport()->geometry();
    new_lines_->move(area.right() - new_lines_->width() - 4, area.bottom() - new_lines_->height() - 4);
}

void StatusView::resizeEvent(QResizeEvent *event) {
    QListView::resizeEvent(event);
    place_button();
}

struct RowSource {
    const StatusModel *model;
};

static const char *row_text(const void *context, size_t row) {
    // One row at a time: the block takes each text before asking for the next.
    static char text[STATUS_LINE_BYTES + LINE_TIME_TEXT_BYTES];
    static_cast<const RowSource *>(context)->model->copy_text(static_cast<int>(row), text, sizeof text);
    return text;
}

void StatusView::copy_selection() {
    // Rows whose lines the store has dropped since the last tick go first.
    status_model_->sync();
    QList<int> selected;
    for (const QModelIndex &index : selectionModel()->selectedRows()) {
        const int row = filter_->mapToSource(index).row();
        if (status_model_->line(row) != nullptr) {
            selected.append(row);
        }
    }
    if (selected.isEmpty()) {
        return;
    }
    // The lowest SELECTION_MAX selected rows, ascending.
    std::sort(selected.begin(), selected.end());
    static size_t rows[SELECTION_MAX];
    size_t count = 0;
    for (int row : selected) {
        if (count == SELECTION_MAX) {
            break;
        }
        rows[count++] = static_cast<size_t>(row);
    }
    static char block[CLIPBOARD_BLOCK_BYTES];
    const RowSource source{status_model_};
    const size_t bytes = clipboard_text(row_text, &source, rows, count, block, sizeof block);
    QApplication::clipboard()->setText(QString::fromLatin1(block, static_cast<qsizetype>(bytes)));
}

void StatusView::keyPressEvent(QKeyEvent *event) {
    const bool copy = event->matches(QKeySequence::Copy) ||
                      (event->key() == Qt::Key_C && (event->modifiers() & Qt::ControlModifier) != 0);
    if (copy) {
        copy_selection();
    } else if (event->key() == Qt::Key_End && event->modifiers() == Qt::NoModifier) {
        follow();
    }
    // Every key ends here: arrows, page keys and typing never select or scroll.
    event->accept();
}

StatusPane::StatusPane(StatusView *view, QWidget *parent)
    : QWidget(parent), view_(view), field_(new QLineEdit(this)), count_(new QLabel(this)) {
    field_->setPlaceholderText(QStringLiteral("Filter (text, or /regular expression)"));
    field_->setClearButtonEnabled(true);
    QHBoxLayout *bar = new QHBoxLayout;
    bar->setContentsMargins(2, 2, 2, 0);
    bar->addWidget(field_, 1);
    bar->addWidget(count_);
    QVBoxLayout *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(2);
    layout->addLayout(bar);
    layout->addWidget(view_, 1);
    connect(field_, &QLineEdit::textChanged, this, &StatusPane::apply_filter);
    // A new filter, or lines decided between events: new rows, not new lines.
    connect(view_->status_filter(), &StatusFilter::verdicts_changed, this, [this] {
        update_count();
        view_->filter_changed();
    });
    update_count();
}

void StatusPane::apply_filter(const QString &text) {
    StatusFilter *filter = view_->status_filter();
    filter->set_filter(text);
    // An invalid expression is marked and filters nothing.
    field_->setStyleSheet(filter->valid() ? QString() : QStringLiteral("QLineEdit { background: #ffd6d6; }"));
    field_->setToolTip(filter->valid() ? QString() : QStringLiteral("Invalid expression: %1").arg(filter->error()));
}

QString StatusPane::count_text() const {
    return QStringLiteral("%1 / %2").arg(view_->model()->rowCount()).arg(view_->status_filter()->sourceModel()->rowCount());
}

void StatusPane::update_count() { count_->setText(count_text()); }
