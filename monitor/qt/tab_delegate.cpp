// Status list rows drawn with TAB stops.
#include "monitor/qt/tab_delegate.h"

#include <QApplication>
#include <QPainter>
#include <QTextOption>

#include "monitor/qt/status_model.h"

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
