// A status child's content: the filter field above the list.
#pragma once

#include <QString>
#include <QWidget>

class QLabel;
class QLineEdit;
class StatusView;

// A status child's content: the filter field with its "shown / total" count
// above the list.
class StatusPane : public QWidget {
    Q_OBJECT
public:
    explicit StatusPane(StatusView *view, QWidget *parent = nullptr);
    StatusView *view() const { return view_; }
    QLineEdit *filter_field() const { return field_; }
    QString count_text() const;
    // After a sync or a new filter.
    void update_count();

private:
    void apply_filter(const QString &text);

    StatusView *view_;
    QLineEdit *field_;
    QLabel *count_;
};
