#pragma once
// The output files Morrowset keeps within runs::kMaxBytes on disk: those of the runs going,
// and those of ended runs that still grow (a program that left a writer behind in a
// session of its own). check() bounds them all; the launcher calls it about once a second
// from the event loop, so a file takes at most kMaxBytes plus what is written to it in
// about a second.
//
// An ended run's file is watched on while it grows, and given up once it has not grown for
// kQuietMs; beyond kMaxEnded files the one quiet longest goes first. A writer left behind
// writes on at once or hardly at all, and so the descriptors held stay few however many
// runs end. A file given up that has no name any more (a row's older outputs are removed)
// is emptied then: nobody can read it.
//
// On a file system that cannot punch holes a file grows while it is written and is cut
// when its run ends; onProblem hears so the first time.
#include <cstdint>
#include <functional>
#include <map>
#include <string>

#include "timetable/run_output.h"

namespace morrowset::runs {

class BoundedOutputs {
public:
    static constexpr std::size_t kMaxEnded = 12;
    static constexpr int64_t kQuietMs = 120'000;
    using OnProblem = std::function<void(const std::string& message)>;

    // Files in the runs folder `folder` (for messages).
    explicit BoundedOutputs(std::string folder) : folder_(std::move(folder)) {}

    void setOnProblem(OnProblem onProblem) { onProblem_ = std::move(onProblem); }

    // Bounds `file`, the output `name` of a run going.
    void follow(const std::string& name, OutputFile file);
    // The run that wrote `name` ended at `nowMs` (monotonic): its file is cut in place and
    // watched on while it grows. The bytes cut (OutputFile::cut); 0 for a file not followed.
    int64_t ended(const std::string& name, int64_t nowMs);
    // Bounds every file followed; gives up the ended ones quiet for kQuietMs.
    void check(int64_t nowMs);

    bool empty() const { return going_.empty() && ended_.empty(); }
    // The ended runs' files still watched.
    std::size_t endedWatched() const { return ended_.size(); }

private:
    struct Ended {
        OutputFile file;
        int64_t length = 0;  // when last seen
        int64_t grewMs = 0;  // when it was last seen to grow
    };
    void bound(OutputFile& file);
    void giveUp(std::map<std::string, Ended>::iterator ended);

    const std::string folder_;
    OnProblem onProblem_;
    bool toldUnsupported_ = false;
    std::map<std::string, OutputFile> going_;  // by file name
    std::map<std::string, Ended> ended_;
};

}  // namespace morrowset::runs
