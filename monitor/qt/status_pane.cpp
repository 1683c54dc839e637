// Status list pane: filter field, count and list.
#include "monitor/qt/status_pane.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QVBoxLayout>

#include "monitor/qt/status_filter.h"
#include "monitor/qt/status_view.h"

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
