#pragma once
// Every run in the run history ("history.jsonl" and the older "history.jsonl.1"), newest
// first, one entry per run: a start joined to its end by the run's id, a refused start, a
// start skipped while the clock was paused, a run whose end was never written (the
// Morrowset that started it ended first), and an end whose start is no longer in the
// history.
//
// A history can be long (another program may have written to it), so the list never reads
// it whole: it reads from the end backwards, a block at a time, only as far as asked
// (readMore). Opening it costs the same with a million lines as with none. Lines appended
// while it is open are taken in by takeNewLines, also when the file has meanwhile become
// "history.jsonl.1" and a new one was begun. Damaged lines are skipped.
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "timetable/history_event.h"
#include "timetable/own_file.h"

namespace morrowset {

struct HistoryEntry {
    // A run, or a start skipped (`run.skipped` says why; its row, when it was due, and
    // `started` when it was skipped). A run with no end seen has `endUnseen` set, unless it
    // is still running.
    RunRecord run;
    bool startSeen = true;  // false: only the end is in the history, `started` is worked out
};

class HistoryList {
public:
    // Whether the run with this id is still running (the launcher knows). Runs whose start
    // was appended while the list was open are running until their end comes.
    using RunningCheck = std::function<bool(const std::string& runId)>;

    static constexpr std::size_t kBlockBytes = 64 * 1024;
    // A "line" longer than this is garbage and skipped (a command line is at most 64 KiB).
    static constexpr std::size_t kMaxLineBytes = 4 * 1024 * 1024;

    // The history of the application folder `appFolder`. Reads no more than the end of
    // the current file's last line.
    explicit HistoryList(const std::string& appFolder, RunningCheck running = {});
    ~HistoryList();
    HistoryList(const HistoryList&) = delete;
    HistoryList& operator=(const HistoryList&) = delete;

    // The entries read so far; 0 is the newest.
    std::size_t size() const { return newer_.size() + older_.size(); }
    const HistoryEntry& at(std::size_t index) const;

    // Whether older entries may remain to be read.
    bool hasMore() const { return !done_; }
    // Reads further back, a block at a time, until at least `entries` more entries were
    // found, `byteBudget` bytes were read, or the history's beginning was reached; the
    // number of entries added at the end.
    std::size_t readMore(std::size_t entries, int64_t byteBudget = 1 << 20);

    struct Changes {
        std::size_t added = 0;              // new entries, now at 0 .. added - 1
        std::vector<std::size_t> changed;   // entries that got their end, as now numbered
    };
    // Takes in the lines appended to the history since it was opened or last asked.
    Changes takeNewLines();

    // Bytes read from the history files so far.
    int64_t bytesRead() const { return bytesRead_; }

private:
    // Where an entry is kept: `newer_` grows with the entries appended while open (the last
    // is the newest), `older_` with those read backwards (the last is the oldest).
    struct Place {
        bool newer;
        std::size_t index;
    };
    // A file read backwards, from `end` (the end of its last whole line) to its beginning.
    struct Backwards {
        std::shared_ptr<OwnFile> file;
        int64_t end = 0;
    };

    HistoryEntry& entryAt(Place place) { return place.newer ? newer_[place.index] : older_[place.index]; }
    std::size_t indexOf(Place place) const {
        return place.newer ? newer_.size() - 1 - place.index : newer_.size() + place.index;
    }
    std::string read(const OwnFile& file, int64_t offset, std::size_t count);
    int64_t lastLineEnd(const OwnFile& file);
    void readBlockBackwards();
    void nextOlderFile();
    void takeOlderLine(std::string_view line);
    void readForwards(std::vector<Place>& ended);
    void takeNewerLine(std::string_view line, std::vector<Place>& ended);
    Place add(HistoryEntry entry, bool newer);

    std::string folder_;
    RunningCheck running_;
    // Backwards: the files still to read (the current one first), the part of a line
    // already read at the front of what was read, and whether the bytes up to the next line
    // end back are to be dropped (a cut line at a file's end, an overlong line).
    std::vector<Backwards> olderFiles_;
    std::string olderCarry_;
    bool dropToLineEnd_ = false;
    bool done_ = false;
    // Forwards: the current file as of the last look, how far it was read, and a line not
    // yet ended.
    std::shared_ptr<OwnFile> tail_;
    int64_t tailOffset_ = 0;
    std::string newerCarry_;

    std::vector<HistoryEntry> newer_;
    std::vector<HistoryEntry> older_;
    // Runs without an end yet, by id, and ends read before their start.
    std::unordered_map<std::string, Place> awaitingEnd_;
    std::unordered_map<std::string, RunRecord> endsWithoutStart_;
    int64_t bytesRead_ = 0;
};

}  // namespace morrowset
