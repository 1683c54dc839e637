// What a window's lists showed, and what tarvel-decode prints of a session,
// in one form for comparing them.
#pragma once

#include <cstring>
#include <sstream>
#include <string>
#include <vector>

#include "formatting/escape.h"
#include "monitor/qt/status_model.h"
#include "process_support.h"

// Each line of a list, escaped as tarvel-decode --escape writes it, with "N: ".
inline std::string escaped_rows(StatusModel *model) {
    std::string text;
    std::vector<char> escaped;
    for (int row = 0; row < model->rowCount(); ++row) {
        const char *line = model->line(row);
        escaped.resize(4 * std::strlen(line) + 2);
        escape_line(line, escaped.data(), escaped.size());
        text += std::to_string(model->modem()) + ": " + escaped.data();
    }
    return text;
}

// The lines of a decoder's output that start with "N: ".
inline std::string lines_of_modem(const std::string &text, int modem) {
    std::istringstream in(text);
    std::string line, kept;
    const std::string prefix = std::to_string(modem) + ": ";
    while (std::getline(in, line)) {
        if (line.rfind(prefix, 0) == 0) kept += line + "\n";
    }
    return kept;
}

// tarvel-decode --escape FILE, as its standard output.
inline std::string decoded(const std::string &path) {
    const pid_t decoder = spawn({std::string(TARVEL_BINARY_DIR) + "/tools/tarvel-decode", "--escape", path}, ".",
                                "decoded.out", "decoded.err");
    EXPECT_EQ(wait_for(decoder, 30), 0) << text_of("decoded.err");
    return text_of("decoded.out");
}

