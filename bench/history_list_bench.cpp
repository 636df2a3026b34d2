// Opening the run history as the History window does: the list made and its first page of
// runs read, with an empty history, a thousand lines and a million lines. The list reads from the end,
// so both should cost about the same; "bytes_read" says how much of the file was read.
#include <benchmark/benchmark.h>

#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

#include "timetable/history_list.h"

namespace {

constexpr std::size_t kPage = 100;  // the History window's first fetch

// A folder with a history of `lines` lines (half of them starts, half ends), kept for the
// whole run and removed at its end.
class HistoryFolder {
public:
    explicit HistoryFolder(int lines) {
        path_ = (std::filesystem::temp_directory_path() / "morrowset-history-bench-XXXXXX").string();
        ::mkdtemp(path_.data());
        std::ofstream file(path_ + "/history.jsonl", std::ios::binary);
        char line[320];
        for (int i = 0; i < lines; ++i) {
            const int run = i / 2;
            const int length = std::snprintf(
                line, sizeof line,
                R"({"event":"%s","run":"20251211T013000.012Z-4821-%06d","row":%d,"command":"/usr/local/bin/backup-home --quiet",)"
                R"("trigger":"clock","due":"2025-12-11T02:30:00+01:00","time":"2025-12-11T02:30:00.012+01:00","pid":4821%s})"
                "\n",
                i % 2 ? "end" : "start", run, run % 6 + 1,
                i % 2 ? R"(,"duration_ms":64012,"exit_status":0,"signal":null,"output":"row2-x.log")" : "");
            file.write(line, length);
        }
        file.close();
        std::filesystem::permissions(path_ + "/history.jsonl",
                                     std::filesystem::perms::owner_read | std::filesystem::perms::owner_write);
        bytes_ = static_cast<int64_t>(std::filesystem::file_size(path_ + "/history.jsonl"));
    }
    ~HistoryFolder() { std::filesystem::remove_all(path_); }
    const std::string& path() const { return path_; }
    int64_t bytes() const { return bytes_; }

private:
    std::string path_;
    int64_t bytes_ = 0;
};

void openHistory(benchmark::State& state) {
    static const HistoryFolder empty(0);
    static const HistoryFolder shortHistory(1'000);
    static const HistoryFolder full(1'000'000);
    const HistoryFolder& folder = state.range(0) == 0 ? empty : state.range(0) == 1'000 ? shortHistory : full;
    int64_t bytesRead = 0;
    for (auto _ : state) {
        morrowset::HistoryList list(folder.path());
        list.readMore(kPage);
        benchmark::DoNotOptimize(list.size());
        bytesRead = list.bytesRead();
    }
    state.counters["bytes_read"] = static_cast<double>(bytesRead);
    state.counters["history_bytes"] = static_cast<double>(folder.bytes());
}
BENCHMARK(openHistory)->Arg(0)->Arg(1'000)->Arg(1'000'000)->ArgName("lines")->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
