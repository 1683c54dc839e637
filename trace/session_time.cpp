// The session header's UTC time in the proleptic Gregorian calendar.
#include "trace/session_time.h"

#include <cstdio>

namespace {

// Days since 1970-01-01 of a date in the proleptic Gregorian calendar, and
// back (Howard Hinnant's civil-date algorithms).
int64_t days_from_civil(int64_t year, int month, int day) {
    year -= month <= 2;
    const int64_t era = (year >= 0 ? year : year - 399) / 400;
    const int64_t year_of_era = year - era * 400;
    const int64_t day_of_year = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
    const int64_t day_of_era = year_of_era * 365 + year_of_era / 4 - year_of_era / 100 + day_of_year;
    return era * 146097 + day_of_era - 719468;
}

void civil_from_days(int64_t days, int64_t *year, int *month, int *day) {
    days += 719468;
    const int64_t era = (days >= 0 ? days : days - 146096) / 146097;
    const int64_t day_of_era = days - era * 146097;
    const int64_t year_of_era =
        (day_of_era - day_of_era / 1460 + day_of_era / 36524 - day_of_era / 146096) / 365;
    const int64_t day_of_year = day_of_era - (365 * year_of_era + year_of_era / 4 - year_of_era / 100);
    const int64_t mp = (5 * day_of_year + 2) / 153;
    *day = static_cast<int>(day_of_year - (153 * mp + 2) / 5 + 1);
    *month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
    *year = year_of_era + era * 400 + (*month <= 2);
}

}  // namespace

void format_session_time(int64_t time_ms, char *text, size_t size) {
    if (size == 0) return;
    // Years 1970 to 9999: what four digits hold.
    const int64_t last_ms = days_from_civil(10000, 1, 1) * 86400000 - 1;
    if (time_ms < 0) time_ms = 0;
    if (time_ms > last_ms) time_ms = last_ms;
    const int64_t days = time_ms / 86400000;
    const int64_t in_day = time_ms % 86400000;
    int64_t year = 0;
    int month = 0, day = 0;
    civil_from_days(days, &year, &month, &day);
    snprintf(text, size, "%04d-%02d-%02dT%02d:%02d:%02d.%03dZ", static_cast<int>(year), month, day,
             static_cast<int>(in_day / 3600000), static_cast<int>(in_day / 60000 % 60),
             static_cast<int>(in_day / 1000 % 60), static_cast<int>(in_day % 1000));
}

bool parse_session_time(const char *text, size_t length, int64_t *time_ms) {
    // Positions of the digits and separators of "YYYY-MM-DDTHH:MM:SS.mmmZ".
    static const char pattern[] = "dddd-dd-ddTdd:dd:dd.dddZ";
    static_assert(sizeof pattern - 1 == SESSION_TIME_LENGTH);
    if (length != SESSION_TIME_LENGTH) return false;
    for (size_t i = 0; i < length; ++i) {
        const bool digit = text[i] >= '0' && text[i] <= '9';
        if (pattern[i] == 'd' ? !digit : text[i] != pattern[i]) return false;
    }
    auto number = [text](size_t at, size_t digits) {
        int value = 0;
        for (size_t i = 0; i < digits; ++i) value = value * 10 + (text[at + i] - '0');
        return value;
    };
    const int year = number(0, 4), month = number(5, 2), day = number(8, 2);
    const int hour = number(11, 2), minute = number(14, 2), second = number(17, 2);
    const int ms = number(20, 3);
    if (year < 1970 || month < 1 || month > 12 || day < 1 || hour > 23 || minute > 59 || second > 59) {
        return false;
    }
    static const int month_days[] = {31, 29, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    if (day > month_days[month - 1] || (month == 2 && day == 29 && !leap)) return false;
    *time_ms = ((days_from_civil(year, month, day) * 24 + hour) * 60 + minute) * 60000 +
               second * 1000 + ms;
    return true;
}
