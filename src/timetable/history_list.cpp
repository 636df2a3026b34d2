#include "timetable/history_list.h"

#include <algorithm>
#include <utility>

#include "timetable/run_history.h"
#include "timetable/run_output.h"

namespace morrowset {

namespace {

// Lines appended while the list is open are read in pieces of this size.
constexpr std::size_t kForwardBytes = 1 << 20;
// How far back the end of the current file's last line is looked for.
constexpr std::size_t kLineEndStep = 4096;

HistoryEntry entryOf(HistoryEvent&& event) { return {std::move(event.run), true}; }

// A started run with no end yet: its output file is named so from its start on.
void awaitEnd(RunRecord& run, bool unseen) {
    run.endUnseen = unseen;
    if (run.output.empty()) run.output = runs::fileName(run.row, run.id);
}

}  // namespace

HistoryList::HistoryList(const std::string& appFolder, RunningCheck running)
    : folder_(RunHistory::filePath(appFolder)), running_(std::move(running)) {
    auto current = std::make_shared<OwnFile>(OwnFile::open(folder_));
    auto previous = std::make_shared<OwnFile>(OwnFile::open(folder_ + ".1"));
    if (current->isOpen()) {
        tail_ = current;
        tailOffset_ = lastLineEnd(*current);
        olderFiles_.push_back({current, tailOffset_});
    }
    // Opened after the current file: when it was renamed in between, both are the same file.
    if (previous->isOpen() && !(current->isOpen() && current->isAt(folder_ + ".1")))
        olderFiles_.push_back({previous, previous->size()});
    dropToLineEnd_ = true;
    if (olderFiles_.empty()) nextOlderFile();
}

HistoryList::~HistoryList() = default;

const HistoryEntry& HistoryList::at(std::size_t index) const {
    return index < newer_.size() ? newer_[newer_.size() - 1 - index] : older_[index - newer_.size()];
}

std::string HistoryList::read(const OwnFile& file, int64_t offset, std::size_t count) {
    std::string bytes = file.read(offset, count);
    bytesRead_ += static_cast<int64_t>(bytes.size());
    return bytes;
}

// The end of the last whole line: a line still being written, or cut, is not yet one.
int64_t HistoryList::lastLineEnd(const OwnFile& file) {
    const int64_t size = file.size();
    for (int64_t end = size; end > 0 && size - end < static_cast<int64_t>(kMaxLineBytes);) {
        const int64_t start = std::max<int64_t>(0, end - static_cast<int64_t>(kLineEndStep));
        const std::string bytes = read(file, start, static_cast<std::size_t>(end - start));
        if (const std::size_t newline = bytes.rfind('\n'); newline != std::string::npos)
            return start + static_cast<int64_t>(newline) + 1;
        end = start;
    }
    return size == 0 || size >= static_cast<int64_t>(kMaxLineBytes) ? size : 0;
}

std::size_t HistoryList::readMore(std::size_t entries, int64_t byteBudget) {
    const std::size_t before = older_.size();
    const int64_t readBefore = bytesRead_;
    while (!done_ && older_.size() - before < entries && bytesRead_ - readBefore < byteBudget) readBlockBackwards();
    return older_.size() - before;
}

// Reads the block before what was read of the file, and takes its lines from the last to
// the first. A line that began further back waits at the front for the next block.
void HistoryList::readBlockBackwards() {
    Backwards& file = olderFiles_.front();
    const int64_t start = std::max<int64_t>(0, file.end - static_cast<int64_t>(kBlockBytes));
    std::string text = read(*file.file, start, static_cast<std::size_t>(file.end - start));
    if (static_cast<int64_t>(text.size()) != file.end - start) return nextOlderFile();  // cut short under us
    file.end = start;
    text += olderCarry_;
    std::size_t end = text.size();
    if (dropToLineEnd_) {
        const std::size_t newline = text.rfind('\n');
        if (newline == std::string::npos) {
            olderCarry_.clear();
            if (start == 0) nextOlderFile();
            return;
        }
        end = newline + 1;
        dropToLineEnd_ = false;
    }
    const std::string_view lines(text);
    while (end > 1) {
        const std::size_t previous = lines.rfind('\n', end - 2);
        if (previous == std::string_view::npos) break;
        takeOlderLine(lines.substr(previous + 1, end - previous - 2));
        end = previous + 1;
    }
    if (start == 0) {
        if (end > 0) takeOlderLine(lines.substr(0, end - 1));
        return nextOlderFile();
    }
    if (end > kMaxLineBytes) {
        olderCarry_.clear();
        dropToLineEnd_ = true;
        return;
    }
    olderCarry_.assign(text, 0, end);
}

// Goes on with the older file; after the last one, the ends whose start was never found
// are the oldest entries.
void HistoryList::nextOlderFile() {
    if (!olderFiles_.empty()) olderFiles_.erase(olderFiles_.begin());
    olderCarry_.clear();
    dropToLineEnd_ = true;
    if (!olderFiles_.empty()) return;
    std::vector<RunRecord> ends;
    for (auto& [id, end] : endsWithoutStart_) ends.push_back(std::move(end));
    endsWithoutStart_.clear();
    std::sort(ends.begin(), ends.end(), [](const RunRecord& a, const RunRecord& b) {
        return a.started.local.position() > b.started.local.position();
    });
    for (RunRecord& end : ends) add({std::move(end), false}, false);
    done_ = true;
}

void HistoryList::takeOlderLine(std::string_view line) {
    std::optional<HistoryEvent> event = readHistoryEvent(line);
    if (!event) return;
    const std::string id = event->run.id;
    switch (event->kind) {
        case HistoryEvent::Kind::End:
            // Read before its start, unless the start is there twice.
            if (const auto awaiting = awaitingEnd_.find(id); awaiting != awaitingEnd_.end()) {
                takeEnd(entryAt(awaiting->second).run, event->run);
                awaitingEnd_.erase(awaiting);
            } else {
                endsWithoutStart_.emplace(id, std::move(event->run));
            }
            return;
        case HistoryEvent::Kind::Start: {
            HistoryEntry entry = entryOf(std::move(*event));
            if (const auto end = endsWithoutStart_.find(id); end != endsWithoutStart_.end()) {
                takeEnd(entry.run, end->second);
                endsWithoutStart_.erase(end);
                add(std::move(entry), false);
                return;
            }
            awaitEnd(entry.run, !(running_ && running_(id)));
            awaitingEnd_[id] = add(std::move(entry), false);
            return;
        }
        case HistoryEvent::Kind::Refused:
        case HistoryEvent::Kind::Skipped:
            add(entryOf(std::move(*event)), false);
            return;
    }
}

HistoryList::Changes HistoryList::takeNewLines() {
    const std::size_t before = newer_.size();
    std::vector<Place> ended;
    if (!tail_) {
        auto file = std::make_shared<OwnFile>(OwnFile::open(folder_));
        if (file->isOpen()) {
            tail_ = std::move(file);
            tailOffset_ = 0;
            newerCarry_.clear();
        }
    }
    if (tail_) {
        // Asked first: every line written before the file was renamed away is then in it.
        const bool moved = !tail_->isAt(folder_);
        readForwards(ended);
        if (moved) {
            auto file = std::make_shared<OwnFile>(OwnFile::open(folder_));
            if (file->isOpen()) {
                tail_ = std::move(file);
                tailOffset_ = 0;
                newerCarry_.clear();
                readForwards(ended);
            }
        }
    }
    Changes changes;
    changes.added = newer_.size() - before;
    for (const Place& place : ended)
        if (!place.newer || place.index < before) changes.changed.push_back(indexOf(place));
    return changes;
}

void HistoryList::readForwards(std::vector<Place>& ended) {
    const int64_t size = tail_->size();
    if (size < tailOffset_) {  // made shorter in place
        tailOffset_ = 0;
        newerCarry_.clear();
    }
    while (tailOffset_ < size) {
        const std::string bytes =
            read(*tail_, tailOffset_, static_cast<std::size_t>(std::min<int64_t>(size - tailOffset_, kForwardBytes)));
        if (bytes.empty()) return;
        tailOffset_ += static_cast<int64_t>(bytes.size());
        newerCarry_ += bytes;
        std::size_t start = 0;
        for (std::size_t end = newerCarry_.find('\n'); end != std::string::npos; end = newerCarry_.find('\n', start)) {
            takeNewerLine(std::string_view(newerCarry_).substr(start, end - start), ended);
            start = end + 1;
        }
        newerCarry_.erase(0, start);
        if (newerCarry_.size() > kMaxLineBytes) newerCarry_.clear();
    }
}

void HistoryList::takeNewerLine(std::string_view line, std::vector<Place>& ended) {
    std::optional<HistoryEvent> event = readHistoryEvent(line);
    if (!event) return;
    const std::string id = event->run.id;
    switch (event->kind) {
        case HistoryEvent::Kind::Start: {
            HistoryEntry entry = entryOf(std::move(*event));
            awaitEnd(entry.run, false);
            awaitingEnd_[id] = add(std::move(entry), true);
            return;
        }
        case HistoryEvent::Kind::End:
            if (const auto awaiting = awaitingEnd_.find(id); awaiting != awaitingEnd_.end()) {
                takeEnd(entryAt(awaiting->second).run, event->run);
                ended.push_back(awaiting->second);
                awaitingEnd_.erase(awaiting);
            } else if (!done_) {
                endsWithoutStart_.emplace(id, std::move(event->run));  // its start is further back
            } else {
                add({std::move(event->run), false}, true);
            }
            return;
        case HistoryEvent::Kind::Refused:
        case HistoryEvent::Kind::Skipped:
            add(entryOf(std::move(*event)), true);
            return;
    }
}

HistoryList::Place HistoryList::add(HistoryEntry entry, bool newer) {
    std::vector<HistoryEntry>& entries = newer ? newer_ : older_;
    entries.push_back(std::move(entry));
    return {newer, entries.size() - 1};
}

}  // namespace morrowset
