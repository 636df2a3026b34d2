// Cost of one traced enter/leave pair (two trace lines) with the circular log on, and with
// disk capture on, beside what users would pick instead: spdlog writing the same two lines
// to a file with a flush after each. Runs in a scratch folder under /tmp; the [include]
// switches are at their defaults (all on), so each line also samples the memory figures,
// and a second pair of runs switches the memory figures off to show their share.
#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "errortrap/core/runtime.h"
#include "errortrap/core/trace_stack.h"
#include "errortrap/startup.h"
#include "errortrap/trace/trace_sinks.h"
#include "errortrap/wardline.h"
#include "platform/app_object.h"
#include "support/scoped_runtime.h"

#ifdef HAVE_SPDLOG
#include <spdlog/sinks/basic_file_sink.h>
#include <spdlog/spdlog.h>
#endif

namespace {

const std::string kModule = "frmMain.frm";
const std::string kProcedure = "Sub tmrMain_Timer";
const std::string kArguments;

// A scratch application folder with the given preferences, and a private monitor folder
// so that no monitor of the user takes part.
class Scratch {
public:
    explicit Scratch(const std::string& preferences) {
        std::string pattern = "/tmp/morrowset-bench-XXXXXX";
        folder_ = ::mkdtemp(pattern.data());
        ::setenv("XDG_RUNTIME_DIR", folder_.c_str(), 1);
        std::ofstream(folder_ + "/WLCLIENT.INI") << preferences;
        runtime_->platform().app = platform::AppObject(folder_, "Morrowset");
        wardline::startRuntime(wardline::currentRuntime());
    }
    ~Scratch() { std::filesystem::remove_all(folder_); }
    const std::string& folder() const { return folder_; }

private:
    testsupport::ScopedRuntime runtime_;
    std::string folder_;
};

void tracedPairs(benchmark::State& state, const std::string& preferences) {
    Scratch scratch(preferences);
    if (!wardline::tracingOn(wardline::runtime())) state.SkipWithError("tracing did not come on");
    for (auto _ : state) {
        wardline::wlPUSH(kModule, kProcedure, kArguments);
        wardline::wlPOP(kModule, kProcedure, kArguments);
    }
    state.SetItemsProcessed(state.iterations() * 2);
}

constexpr const char* kNoMemory = "[include]\nResources=0\nMemory=0\n";

void BM_TracedPair_CircularLog(benchmark::State& state) { tracedPairs(state, "[preferences]\nCircularLog=1\n"); }
BENCHMARK(BM_TracedPair_CircularLog);

void BM_TracedPair_DiskCapture(benchmark::State& state) {
    tracedPairs(state, "[log file]\nWrite To Disk=1\nCapture To Disk=1\n");
}
BENCHMARK(BM_TracedPair_DiskCapture);

void BM_TracedPair_CircularLog_NoMemoryFigures(benchmark::State& state) {
    tracedPairs(state, std::string("[preferences]\nCircularLog=1\n") + kNoMemory);
}
BENCHMARK(BM_TracedPair_CircularLog_NoMemoryFigures);

void BM_TracedPair_DiskCapture_NoMemoryFigures(benchmark::State& state) {
    tracedPairs(state, std::string("[log file]\nWrite To Disk=1\nCapture To Disk=1\n") + kNoMemory);
}
BENCHMARK(BM_TracedPair_DiskCapture_NoMemoryFigures);

#ifdef HAVE_SPDLOG
// The peer: the same two lines a traced pair makes, each written and flushed.
void BM_Spdlog_TwoFlushedLines(benchmark::State& state) {
    Scratch scratch("");
    auto logger = spdlog::basic_logger_st("bench", scratch.folder() + "/spdlog.log", true);
    logger->set_pattern("%v");
    const std::string enterLine =
        "[Morrowset] [00001] [00000.031] ->frmMain.frm : Sub tmrMain_Timer :  : [res =38%, mem = 42949672960] : ";
    const std::string leaveLine =
        "[Morrowset] [00002] [00000.031] <-frmMain.frm : Sub tmrMain_Timer :  : [res =38%, mem = 42949672960] : ";
    for (auto _ : state) {
        logger->info(enterLine);
        logger->flush();
        logger->info(leaveLine);
        logger->flush();
    }
    state.SetItemsProcessed(state.iterations() * 2);
    spdlog::drop("bench");
}
BENCHMARK(BM_Spdlog_TwoFlushedLines);
#endif

}  // namespace

BENCHMARK_MAIN();
