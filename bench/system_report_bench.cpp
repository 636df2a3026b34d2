// How long the error dialog's system state report takes to gather on this machine: the
// whole report (profile files, /proc, /sys, mount table, statvfs per drive), and the
// drive list alone.
#include <benchmark/benchmark.h>

#include "errortrap/dialog/system_report.h"
#include "platform/drives.h"

namespace {

void BM_SystemReportLines(benchmark::State& state) {
    const wardline::SystemSources sources = wardline::realSystemSources();
    for (auto _ : state) benchmark::DoNotOptimize(wardline::systemReportLines(sources));
}
BENCHMARK(BM_SystemReportLines)->Unit(benchmark::kMicrosecond);

void BM_LogicalDrives(benchmark::State& state) {
    for (auto _ : state) benchmark::DoNotOptimize(platform::logicalDrives());
}
BENCHMARK(BM_LogicalDrives)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
