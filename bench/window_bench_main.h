// The main of a benchmark program that opens the monitor's windows.
#pragma once

#include <QApplication>
#include <benchmark/benchmark.h>

// Runs the benchmarks of a program that opens the monitor's window: a
// QApplication on the offscreen platform unless another one is asked for.
inline int run_window_benchmarks(int argc, char **argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
