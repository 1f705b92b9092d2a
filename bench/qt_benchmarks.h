#pragma once
// Runs the registered benchmarks inside a QApplication, offscreen unless QT_QPA_PLATFORM names
// another platform; the caller prints its summary afterwards.
#include <benchmark/benchmark.h>

#include <QApplication>

namespace darvelon::bench {

inline void runQtBenchmarks(int argc, char** argv) {
    if (qgetenv("QT_QPA_PLATFORM").isEmpty()) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
}

}  // namespace darvelon::bench
