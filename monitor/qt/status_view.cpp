// Status list view.
#include "monitor/qt/status_view.h"

#include <QApplication>
#include <QClipboard>
#include <QFontDatabase>
#include <QKeyEvent>
#include <QScrollBar>
#include <QToolButton>

#include <algorithm>
#include <cstdint>
#include <vector>

#include "monitor/clipboard_text.h"
#include "monitor/monitor.h"
#include "monitor/qt/status_filter.h"
#include "monitor/qt/status_model.h"
#include "monitor/qt/tab_delegate.h"

StatusView::StatusView(const Monitor &monitor, StatusModel *model, QWidget *parent)
    : QListView(parent), monitor_(monitor), status_model_(model), filter_(new StatusFilter(model, this)) {
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

void StatusView::copy_selection() {
    // Rows whose lines the store has dropped since the last tick go first.
    status_model_->sync();
    std::vector<size_t> lines;
    for (const QModelIndex &index : selectionModel()->selectedRows()) {
        const size_t line = status_model_->store_index(filter_->mapToSource(index).row());
        if (line != SIZE_MAX) {
            lines.push_back(line);
        }
    }
    if (lines.empty()) {
        return;
    }
    // The lowest SELECTION_MAX selected lines, ascending.
    std::sort(lines.begin(), lines.end());
    lines.resize(std::min(lines.size(), SELECTION_MAX));
    std::vector<char> block(CLIPBOARD_BLOCK_BYTES);
    const size_t bytes = monitor_copy_lines(monitor_, status_model_->modem(), lines.data(), lines.size(), block.data(),
                                            block.size(), status_model_->time_format());
    QApplication::clipboard()->setText(QString::fromLatin1(block.data(), static_cast<qsizetype>(bytes)));
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
