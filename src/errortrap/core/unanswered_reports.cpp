#include "errortrap/core/unanswered_reports.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <memory>
#include <utility>

#include "platform/file_io.h"
#include "platform/log_open.h"

namespace wardline {
namespace {

// A person away for weeks leaves at most a few dialogs a day; beyond this many unanswered
// ones a report is written at once, without the comment its dialog will get.
constexpr int kSlots = 1024;

// A slot's life: Empty -> Owned (being filled by its keeper) -> Kept; then, when the dialog
// is answered, -> Answering (its answered report being written) -> Owned -> Empty; when its
// runtime ends first, -> Owned (written) -> Empty; or, from Kept or Answering, -> Taken by
// the program's end, for good.
enum SlotState : int { kEmpty, kOwned, kKept, kAnswering, kTaken };

struct Slot {
    std::atomic<int> state{kEmpty};
    uint64_t order = 0;
    char* memory = nullptr;  // the path, the folder and the text, one after the other
    const char* path = nullptr;
    const char* folder = nullptr;
    const char* text = nullptr;
    std::size_t size = 0;
};

// Process-wide, because the signal handlers that end the program must reach it: the kept
// reports of every runtime, in slots that are claimed and given back with atomic steps.
constinit Slot slots[kSlots];
constinit std::atomic<uint64_t> nextOrder{1};

// "<path>\0<folder>\0<text>" in memory of its own.
struct PreparedReport {
    std::unique_ptr<char[]> memory;
    std::size_t pathSize = 0;
    std::size_t folderSize = 0;
    std::size_t textSize = 0;
};

PreparedReport prepare(const std::string& path, std::string_view text) {
    const std::string absolute = std::filesystem::absolute(path).lexically_normal().string();
    const std::string folder = platform::folderOf(absolute);
    PreparedReport prepared;
    prepared.pathSize = absolute.size() + 1;
    prepared.folderSize = folder.size() + 1;
    prepared.textSize = text.size();
    prepared.memory = std::make_unique<char[]>(prepared.pathSize + prepared.folderSize + text.size());
    char* at = prepared.memory.get();
    std::memcpy(at, absolute.c_str(), prepared.pathSize);
    std::memcpy(at + prepared.pathSize, folder.c_str(), prepared.folderSize);
    if (!text.empty()) std::memcpy(at + prepared.pathSize + prepared.folderSize, text.data(), text.size());
    return prepared;
}

// The slot now keeping `prepared`, or -1 when every slot is in use.
int keep(PreparedReport& prepared) {
    for (int i = 0; i < kSlots; ++i) {
        Slot& slot = slots[i];
        int expected = kEmpty;
        if (!slot.state.compare_exchange_strong(expected, kOwned, std::memory_order_acquire)) continue;
        slot.memory = prepared.memory.release();
        slot.path = slot.memory;
        slot.folder = slot.memory + prepared.pathSize;
        slot.text = slot.folder + prepared.folderSize;
        slot.size = prepared.textSize;
        slot.order = nextOrder.fetch_add(1, std::memory_order_relaxed);
        slot.state.store(kKept, std::memory_order_release);
        return i;
    }
    return -1;
}

void write(const Slot& slot) { appendToLogAtTheEnd(slot.path, slot.folder, {slot.text, slot.size}); }

// Gives a slot its owner claimed (Owned) back, empty.
void empty(Slot& slot) {
    delete[] slot.memory;
    slot.memory = nullptr;
    slot.state.store(kEmpty, std::memory_order_release);
}

// Moves a slot from `from` to `to`; false when it is elsewhere (the end has taken it).
bool changeState(int index, int from, int to) {
    return slots[index].state.compare_exchange_strong(from, to, std::memory_order_acq_rel);
}

// Whether the program's end may take the slot's report to write it.
bool takeAtTheEnd(Slot& slot) {
    for (const int from : {kKept, kAnswering}) {
        int expected = from;
        if (slot.state.compare_exchange_strong(expected, kTaken, std::memory_order_acquire)) return true;
    }
    return false;
}

}  // namespace

UnansweredReport::UnansweredReport(const std::string& path, std::string_view text) {
    PreparedReport prepared = prepare(path, text);
    slot_ = keep(prepared);
    if (slot_ >= 0) return;
    const char* memory = prepared.memory.get();
    appendToLogAtTheEnd(memory, memory + prepared.pathSize, text);
    written_ = true;
}

UnansweredReport::UnansweredReport(UnansweredReport&& other) noexcept
    : slot_(std::exchange(other.slot_, -1)), written_(other.written_) {}

UnansweredReport& UnansweredReport::operator=(UnansweredReport&& other) noexcept {
    if (this != &other) {
        writeIfKept();
        slot_ = std::exchange(other.slot_, -1);
        written_ = other.written_;
    }
    return *this;
}

UnansweredReport::~UnansweredReport() { writeIfKept(); }

void UnansweredReport::answeredWith(const std::function<void()>& writeAnswered) {
    const int index = std::exchange(slot_, -1);
    if (index < 0) {
        if (!written_) writeAnswered();
        return;
    }
    if (!changeState(index, kKept, kAnswering)) return;  // the program's end has written it
    writeAnswered();
    if (changeState(index, kAnswering, kOwned)) empty(slots[index]);
}

void UnansweredReport::writeIfKept() {
    const int index = std::exchange(slot_, -1);
    if (index < 0 || !changeState(index, kKept, kOwned)) return;
    write(slots[index]);
    empty(slots[index]);
}

void writeUnansweredReports() noexcept {
    const int savedErrno = errno;
    int taken[kSlots];
    int count = 0;
    for (int i = 0; i < kSlots; ++i)
        if (takeAtTheEnd(slots[i])) taken[count++] = i;
    std::sort(taken, taken + count, [](int a, int b) { return slots[a].order < slots[b].order; });
    for (int i = 0; i < count; ++i) write(slots[taken[i]]);
    errno = savedErrno;
}

void appendToLogAtTheEnd(const char* path, const char* folder, std::string_view text) noexcept {
    // Read as well as write where the log allows it, to see how the file ends.
    bool madeNew = false;
    int fd = platform::openLogFile(path, platform::LogAccess::AppendReadable, &madeNew);
    if (fd < 0 && (errno == EACCES || errno == EPERM)) fd = platform::openLogFile(path, platform::LogAccess::Append, &madeNew);
    if (fd < 0) return;
    const platform::BrokenPipeQuiet quiet;
    struct stat status {};
    if (::fstat(fd, &status) == 0 && S_ISREG(status.st_mode)) {
        char last = '\n';
        if (status.st_size > 0 && ::pread(fd, &last, 1, status.st_size - 1) != 1) last = '\n';
        if (last != '\n') platform::writeAll(fd, "\r\n");  // a log cut mid-line
        platform::writeAll(fd, text);
        ::fdatasync(fd);
    } else {
        platform::writeToStream(fd, {text});
    }
    ::close(fd);
    if (madeNew) platform::syncFolder(folder);
}

}  // namespace wardline
