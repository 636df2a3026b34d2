#include "timetable/output_bounds.h"

#include <algorithm>

namespace morrowset::runs {

void BoundedOutputs::bound(OutputFile& file) {
    if (file.bound() != OutputFile::Bound::Unsupported || toldUnsupported_) return;
    toldUnsupported_ = true;
    if (onProblem_)
        onProblem_(folder_ + ": its file system cannot free part of a file; a run's output grows while its program "
                   "runs and is cut to its last " + std::to_string(kMaxBytes) + " bytes when it ends");
}

void BoundedOutputs::follow(const std::string& name, OutputFile file) { going_[name] = std::move(file); }

int64_t BoundedOutputs::ended(const std::string& name, int64_t nowMs) {
    const auto going = going_.find(name);
    if (going == going_.end()) return 0;
    OutputFile file = std::move(going->second);
    going_.erase(going);
    const int64_t cut = file.cut();
    if (ended_.size() >= kMaxEnded)
        giveUp(std::min_element(ended_.begin(), ended_.end(),
                                [](const auto& a, const auto& b) { return a.second.grewMs < b.second.grewMs; }));
    const int64_t length = file.length();
    ended_[name] = {std::move(file), length, nowMs};
    return cut;
}

void BoundedOutputs::check(int64_t nowMs) {
    for (auto& [name, file] : going_) bound(file);
    for (auto ended = ended_.begin(); ended != ended_.end();) {
        const auto next = std::next(ended);
        Ended& watched = ended->second;
        const int64_t length = watched.file.length();
        if (length > watched.length) {
            bound(watched.file);
            watched.grewMs = nowMs;
        }
        watched.length = length;
        if (nowMs - watched.grewMs >= kQuietMs) giveUp(ended);
        ended = next;
    }
}

void BoundedOutputs::giveUp(std::map<std::string, Ended>::iterator ended) {
    ended->second.file.emptyIfRemoved();
    ended_.erase(ended);
}

}  // namespace morrowset::runs
