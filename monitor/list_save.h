// Saving a status list to a file, as every window front end offers it: the
// lines of modem 1's or 2's store (all of them, or those a filter lets
// through), with the time column shown, as text or CSV. The file is written
// under a temporary name beside it and renamed over the name asked for only
// once it is complete, so a failed save leaves whatever file was there as
// it was.
#pragma once

#include <cstddef>
#include <string>

#include "monitor/line_time.h"
#include "monitor/status_export.h"

struct Monitor;
struct TextFilter;

// CSV for a name that ends in ".csv" (any case), else text.
ExportFormat export_format_for_name(const char *path);

// Saves the list. `shown_only`, when not null, keeps the lines it lets
// through. False with `error` holding the system's reason.
bool save_list(const Monitor &monitor, int modem, const char *path, ExportFormat format, LineTimeFormat time,
               const TextFilter *shown_only, std::string &error);

// The message of a save that failed: "Could not save PATH:\nREASON".
std::string save_list_message(const char *path, const std::string &reason);
// The title of the save's dialog and message: "Save Modem N List".
std::string save_list_title(int modem);
