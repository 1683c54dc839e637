// Status list model, view and TAB delegate.
#include "monitor/qt/status_list.h"

#include <QApplication>
#include <QClipboard>
#include <QFontDatabase>
#include <QKeyEvent>
#include <QPainter>
#include <QTextOption>

#include <algorithm>

#include "monitor/clipboard_text.h"

StatusModel::StatusModel(LineStore *store, QObject *parent) : QAbstractListModel(parent), store_(store) {
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

QVariant StatusModel::data(const QModelIndex &index, int role) const {
    if (role != Qt::DisplayRole || !index.isValid()) {
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
        return static_cast<size_t>(shown_end_ - shown_first_);
    }
    uint64_t first = shown_first_;
    uint64_t end = shown_end_;
    const ViewChange change = line_view_catch_up(*store_, &first, &end);
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
    const QRect area = style->subElementRect(QStyle::SE_ItemViewItemText, &item, widget);
    // A line break inside a line would need a second row; it shows as a blank.
    text.replace(QLatin1Char('\n'), QLatin1Char(' '));
    text.replace(QLatin1Char('\r'), QLatin1Char(' '));
    QTextOption layout;
    layout.setTabStopDistance(tab_distance(item.fontMetrics));
    layout.setWrapMode(QTextOption::NoWrap);
    layout.setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    const bool selected = (item.state & QStyle::State_Selected) != 0;
    painter->save();
    painter->setFont(item.font);
    painter->setPen(item.palette.color(selected ? QPalette::HighlightedText : QPalette::Text));
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
    return QSize(option.fontMetrics.horizontalAdvance(QLatin1Char('0')) * 160,
                 option.fontMetrics.height() + 2 * margin);
}

StatusView::StatusView(StatusModel *model, QWidget *parent) : QListView(parent), status_model_(model) {
    setModel(model);
    setItemDelegate(new TabDelegate(this));
    setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    setUniformItemSizes(true);
    setSelectionMode(QAbstractItemView::ExtendedSelection);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    setTabKeyNavigation(false);
}

void StatusView::show_newest() {
    const int rows = status_model_->rowCount();
    if (rows > 0) {
        scrollToBottom();
    }
}

struct RowSource {
    const StatusModel *model;
};

static const char *row_text(const void *context, size_t row) {
    const char *text = static_cast<const RowSource *>(context)->model->line(static_cast<int>(row));
    return text != nullptr ? text : "";
}

void StatusView::copy_selection() {
    // Rows whose lines the store has dropped since the last tick go first.
    status_model_->sync();
    QList<int> selected;
    for (const QModelIndex &index : selectionModel()->selectedRows()) {
        if (status_model_->line(index.row()) != nullptr) {
            selected.append(index.row());
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
    }
    // Every key ends here: arrows, page keys and typing never select or scroll.
    event->accept();
}
