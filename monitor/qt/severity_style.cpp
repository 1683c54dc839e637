// Severity icons, colours and counts.
#include "monitor/qt/severity_style.h"

#include <QApplication>
#include <QStringList>
#include <QStyle>

namespace {

// One row per severity: its icon, its colour (dark enough for text on white).
struct SeverityRow {
    FindingSeverity severity;
    QStyle::StandardPixmap icon;
    QRgb colour;
};
constexpr SeverityRow SEVERITY_ROWS[] = {
    {SEVERITY_NOTE,    QStyle::SP_MessageBoxInformation, 0x2a6fb0},
    {SEVERITY_WARNING, QStyle::SP_MessageBoxWarning,     0xb36b00},
    {SEVERITY_ERROR,   QStyle::SP_MessageBoxCritical,    0xc0101a},
};
static_assert(sizeof SEVERITY_ROWS / sizeof SEVERITY_ROWS[0] == SEVERITY_ERROR + 1, "one row per severity");

const SeverityRow &row_of(FindingSeverity severity) {
    return SEVERITY_ROWS[severity <= SEVERITY_ERROR ? severity : SEVERITY_ERROR];
}

}  // namespace

QIcon severity_icon(FindingSeverity severity) { return QApplication::style()->standardIcon(row_of(severity).icon); }

QColor severity_colour(FindingSeverity severity) { return QColor::fromRgb(row_of(severity).colour); }

QString findings_count_text(const CallVerdict &verdict) {
    size_t counts[SEVERITY_ERROR + 1] = {};
    for (size_t i = 0; i < verdict.count; ++i) ++counts[row_of(verdict.findings[i].severity).severity];
    QStringList parts;
    for (int s = SEVERITY_ERROR; s >= SEVERITY_NOTE; --s) {
        if (counts[s] == 0) continue;
        const char *name = severity_name(static_cast<FindingSeverity>(s));
        parts.append(QStringLiteral("%1 %2%3").arg(counts[s]).arg(QString::fromLatin1(name)).arg(counts[s] == 1 ? QString() : QStringLiteral("s")));
    }
    return parts.isEmpty() ? QStringLiteral("no findings") : parts.join(QStringLiteral(", "));
}
