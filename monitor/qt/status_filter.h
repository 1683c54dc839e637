// The filter of a status list.
#pragma once

#include <QRegularExpression>
#include <QSortFilterProxyModel>
#include <QString>

class StatusModel;

// The lines of a list that a filter lets through: plain text, matched
// without regard to case, or a regular expression when the filter starts
// with "/". An invalid expression filters nothing. The store, copies of the
// selection and captures are never changed by it.
class StatusFilter : public QSortFilterProxyModel {
    Q_OBJECT
public:
    explicit StatusFilter(StatusModel *source, QObject *parent = nullptr);
    void set_filter(const QString &text);
    QString filter() const { return text_; }
    bool active() const { return mode_ != NONE; }
    // False for an expression that does not compile; error() says why.
    bool valid() const { return valid_; }
    QString error() const { return error_; }

protected:
    bool filterAcceptsRow(int source_row, const QModelIndex &source_parent) const override;

private:
    enum Mode { NONE, PLAIN, EXPRESSION };
    StatusModel *source_;
    QString text_;
    Mode mode_ = NONE;
    bool valid_ = true;
    QString error_;
    QRegularExpression expression_;
};
