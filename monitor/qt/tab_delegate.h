// The painter of a status list's rows.
#pragma once

#include <QStyledItemDelegate>

class StatusModel;

// Draws a row with its TABs expanded to stops eight character cells apart,
// the columns the status texts are written for. The text itself keeps them.
class TabDelegate : public QStyledItemDelegate {
    Q_OBJECT
public:
    TabDelegate(const StatusModel *model, QObject *parent);
    // Width of the time column in character cells (and the gap after it).
    static constexpr int TIME_CELLS = 12;
    static constexpr int TIME_GAP_CELLS = 2;
    void paint(QPainter *painter, const QStyleOptionViewItem &option,
               const QModelIndex &index) const override;
    QSize sizeHint(const QStyleOptionViewItem &option, const QModelIndex &index) const override;

private:
    const StatusModel *model_;
};
