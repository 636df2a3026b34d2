// Cost of one intercepted error in a silent run: the error handler with its report built
// in memory, and with the report appended to the error log and synced to the disk, on a
// memory-backed folder (/dev/shm) and on the disk holding the system's temporary folder.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <filesystem>
#include <string>

#include "errortrap/core/runtime.h"
#include "errortrap/report/error_log.h"
#include "errortrap/startup.h"
#include "errortrap/trace/procedure.h"
#include "platform/runtime_error.h"
#include "support/scoped_runtime.h"

namespace {

namespace fs = std::filesystem;

void failInFormLoad() {
    wardline::Procedure("frmMain.frm", "Sub Form_Load").run({{10, [] { platform::raiseError(75); }}});
}

void startSilentRun(wardline::Runtime& runtime, const std::string& logPath) {
    wardline::startRuntime(runtime);
    runtime.prefs().silentRun = -1;
    runtime.prefs().writeToDisk = logPath.empty() ? 0 : -1;
    runtime.prefs().errorLogPath = logPath;
}

void BM_ReportBuiltInMemory(benchmark::State& state) {
    testsupport::ScopedRuntime runtime;
    startSilentRun(*runtime, "");
    failInFormLoad();
    for (auto _ : state) benchmark::DoNotOptimize(wardline::errorReportText(wardline::currentRuntime().errorRecord()));
}
BENCHMARK(BM_ReportBuiltInMemory);

// A whole intercepted error: trap, handler, report appended and synced.
void BM_InterceptedErrorLogged(benchmark::State& state, const fs::path& folder) {
    const fs::path log = folder / ("wardline-bench-" + std::to_string(::getpid()) + ".log");
    testsupport::ScopedRuntime runtime;
    startSilentRun(*runtime, log.string());
    for (auto _ : state) failInFormLoad();
    state.SetItemsProcessed(state.iterations());
    fs::remove(log);
}
BENCHMARK_CAPTURE(BM_InterceptedErrorLogged, memory_folder, fs::path("/dev/shm"));
BENCHMARK_CAPTURE(BM_InterceptedErrorLogged, temp_folder_disk, fs::temp_directory_path());

}  // namespace

BENCHMARK_MAIN();
