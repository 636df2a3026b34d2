// Launch latency.
//  - BM_StartProcess: one start of a tiny program, from the call to the program running
//    (the call returns once the program has been executed).
//  - BM_DueSecondToRunning: the whole path with the real clock and the real timer. A row is
//    set to run `touch <marker>` two seconds ahead; the time measured runs from the moment
//    its second begins to the marker's modification time, written by the started program.
//    Counters give the mean and the worst case in milliseconds.
#include <benchmark/benchmark.h>

#include "qt_benchmark_main.h"
#include <sys/stat.h>
#include <sys/time.h>
#include <unistd.h>

#include <QApplication>
#include <QEventLoop>
#include <QLineEdit>
#include <QTimer>
#include <algorithm>
#include <filesystem>
#include <fstream>
#include <string>

#include "app/command_box.h"
#include "app/frm_main.h"
#include "app/time_box.h"
#include "errortrap/core/runtime.h"
#include "platform/app_object.h"
#include "platform/process_start.h"
#include "support/scoped_runtime.h"

namespace {

using morrowset::frmMain;

namespace fs = std::filesystem;

void BM_StartProcess(benchmark::State& state) {
    for (auto _ : state) benchmark::DoNotOptimize(platform::startProcess("/bin/true"));
}
BENCHMARK(BM_StartProcess)->Unit(benchmark::kMicrosecond);

std::string emptyTimetableFolder() {
    std::string folder = (fs::temp_directory_path() / "morrowset-launch-bench-XXXXXX").string();
    ::mkdtemp(folder.data());
    std::ofstream file(folder + "/Morrowset.ini", std::ios::binary);
    for (int row = 0; row < 6; ++row) file << " 0 \r\n\r\n##:##\r\n";
    file.close();
    fs::permissions(folder + "/Morrowset.ini", fs::perms::owner_read | fs::perms::owner_write);
    return folder;
}

// Runs the window's events until `path` exists (or 5 s have passed); true when it does.
bool runUntilExists(const std::string& path) {
    QEventLoop loop;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, &loop, [&] {
        if (fs::exists(path)) loop.quit();
    });
    poll.start(2);
    QTimer::singleShot(5000, &loop, &QEventLoop::quit);
    loop.exec();
    return fs::exists(path);
}

double modifiedAtSeconds(const std::string& path) {
    struct stat info {};
    ::stat(path.c_str(), &info);
    return static_cast<double>(info.st_mtim.tv_sec) + info.st_mtim.tv_nsec / 1e9;
}

void BM_DueSecondToRunning(benchmark::State& state) {
    testsupport::ScopedRuntime runtime;
    const std::string folder = emptyTimetableFolder();
    runtime->platform().app = platform::AppObject(folder, platform::AppObject().exeName());
    frmMain window;
    window.mskTime[0]->setTimeText("00:00");  // any time, so that the row is not grayed
    double total = 0, worst = 0;
    int launches = 0;
    for (auto _ : state) {
        const std::string marker = folder + "/marker-" + std::to_string(launches);
        window.txtPath[0]->setText(QString::fromStdString("touch " + marker));  // checks the row
        timeval now{};
        ::gettimeofday(&now, nullptr);
        std::tm local{};
        ::localtime_r(&now.tv_sec, &local);
        const int dueSecondOfDay = (local.tm_hour * 3600 + local.tm_min * 60 + local.tm_sec + 2) % 86400;
        const double dueAt = static_cast<double>(now.tv_sec + 2);
        window.timetable().setSeconds(0, dueSecondOfDay);
        if (!runUntilExists(marker)) {
            state.SkipWithError("the row did not start");
            break;
        }
        const double latency = modifiedAtSeconds(marker) - dueAt;
        state.SetIterationTime(std::max(latency, 0.0));
        total += latency;
        worst = std::max(worst, latency);
        ++launches;
    }
    if (launches) {
        state.counters["mean_ms"] = 1000 * total / launches;
        state.counters["worst_ms"] = 1000 * worst;
    }
    fs::remove_all(folder);
}
BENCHMARK(BM_DueSecondToRunning)->UseManualTime()->Iterations(12)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) { return runQtBenchmarks(argc, argv); }
