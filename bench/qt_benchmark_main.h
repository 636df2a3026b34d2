#pragma once
// Entry point for benchmarks that need real Qt widgets: one QApplication, on the offscreen
// platform unless a display is asked for explicitly.
#include <QApplication>
#include <benchmark/benchmark.h>

inline int runQtBenchmarks(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
