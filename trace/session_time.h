// The session directive's time: "YYYY-MM-DDTHH:MM:SS.mmmZ" (UTC) for ms
// since 1970, years 1970 to 9999.
#pragma once

#include <cstddef>
#include <cstdint>

// The text of a session time is this long, without its NUL.
constexpr size_t SESSION_TIME_LENGTH = 24;

// Writes the 24 characters and a NUL (size >= 25); a time outside the
// years that four digits hold is written as the nearest one they hold.
void format_session_time(int64_t time_ms, char *text, size_t size);
// Takes exactly that form, with a date that exists.
bool parse_session_time(const char *text, size_t length, int64_t *time_ms);
