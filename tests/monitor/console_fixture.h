// The console mode run in this process over the simulated driver: a trace
// played into the driver, the console run for a number of ticks with its
// standard output and standard error in temporary files.
#pragma once

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "capture/sim_fixture.h"
#include "driverlink/driver_source.h"
#include "monitor/console.h"
#include "trace/trace.h"

class ConsoleTest : public SimTest {
protected:
    void play(const char *trace) {
        std::vector<TraceDirective> script;
        const char *line = trace;
        while (*line != '\0') {
            const char *end = std::strchr(line, '\n');
            TraceDirective directive;
            char error[128];
            ASSERT_GE(parse_trace_line(line, static_cast<size_t>(end - line), &directive, error, sizeof error), 0)
                << error;
            if (parse_trace_line(line, static_cast<size_t>(end - line), &directive, error, sizeof error) == 1) {
                script.push_back(directive);
            }
            line = end + 1;
        }
        sim_play(script.data(), script.size());
    }

    // Over the platform's driver (the simulated one), or over source.
    int run(std::vector<std::string> arguments, uint64_t ticks, DriverSource *source = nullptr) {
        out_ = std::tmpfile();
        err_ = std::tmpfile();
        console_out = out_;
        console_err = err_;
        console_tick_limit = ticks;
        arguments.insert(arguments.begin(), "LineWatch");
        std::vector<char *> argv;
        for (std::string &argument : arguments) argv.push_back(argument.data());
        argv.push_back(nullptr);
        int status = source != nullptr ? run_console(*source, static_cast<int>(arguments.size()), argv.data())
                                       : run_console(static_cast<int>(arguments.size()), argv.data());
        console_out = console_err = nullptr;
        console_tick_limit = 0;
        return status;
    }

    static std::string text_of(FILE *file) {
        std::string text;
        std::rewind(file);
        int c;
        while ((c = std::fgetc(file)) != EOF) text.push_back(static_cast<char>(c));
        std::fclose(file);
        return text;
    }

    FILE *out_ = nullptr;
    FILE *err_ = nullptr;
};
