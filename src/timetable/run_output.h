#pragma once
// Each run's standard output and standard error, kept in one file per run in the folder
// "runs" of the application folder. Morrowset opens the file and hands it to the program,
// so the program never depends on Morrowset staying up to take its output.
//
// The folder is made 0700 (an existing one of the user's is set to 0700); a folder that is
// a link or another user's is not used. Files are made 0600, never through a link, and
// named "row<N>-<run id>.log", so that a row's files sort in the order of their runs.
//
// An output takes at most kMaxBytes of disk, plus what its program writes between two
// checks, also while it is written: Morrowset keeps a descriptor of its own to the file and
// gives the blocks before the last kMaxBytes back to the file system (a hole: the file's
// length stays, the bytes before read as zeros). When the run ends the file is cut in
// place to a first line that says how many bytes were cut and its last kMaxBytes.
#include <cstdint>
#include <set>
#include <string>

namespace morrowset::runs {

// How many output files a row keeps: the newest ones.
constexpr int kKeptPerRow = 10;
// An output file holds no more than its last kMaxBytes once it is bound or cut.
constexpr int64_t kMaxBytes = 1 << 20;

std::string folderOf(const std::string& appFolder);
// "row3-<runId>.log" for row index 2.
std::string fileName(int row, const std::string& runId);

// Removes an output file (of a run that could not start).
void remove(const std::string& appFolder, const std::string& name);
// Removes the oldest files of `row` beyond the newest kKeptPerRow, except those named in
// `inUse` (the outputs of runs still going).
void keepNewest(const std::string& appFolder, int row, const std::set<std::string>& inUse = {});

// A run's output file, held open by Morrowset: the program appends to it through a
// descriptor of its own, Morrowset bounds and cuts it through this one.
class OutputFile {
public:
    // How a bound went.
    enum class Bound { Done, Unsupported, Failed };

    OutputFile() = default;
    ~OutputFile();
    OutputFile(OutputFile&& other) noexcept;
    OutputFile& operator=(OutputFile&& other) noexcept;

    // A new file `name` in the runs folder of `appFolder`; not open when none can be had
    // (a link or a file in its place, the folder refused, no descriptor left; errno says).
    static OutputFile create(const std::string& appFolder, const std::string& name);

    bool isOpen() const { return fd_ >= 0; }
    // The program's descriptor: blocking, appending. Closed once the program has its copy.
    int programEnd() const { return programFd_; }
    void closeProgramEnd();

    // The file's length (all that was written to it), -1 when it cannot be known.
    int64_t length() const;
    // Empties the file when it has no name any more (nobody can read it then).
    void emptyIfRemoved();

    // Gives the whole blocks before the last kMaxBytes back to the file system; the length
    // stays. Unsupported on a file system that cannot punch holes.
    Bound bound();
    // Cuts the file in place to a first line that says how many bytes were cut, then its
    // last kMaxBytes, and returns the bytes cut: 0 when it holds no more than kMaxBytes, -1
    // when it could not be cut (no byte of the last kMaxBytes is lost then). The bytes are
    // moved forward a piece at a time, and each piece's old blocks are given back once it
    // is moved, so the cut takes no room beside the file's last kMaxBytes. Bytes appended
    // meanwhile (a program that outlived its run) are kept after them.
    int64_t cut();

private:
    int fd_ = -1;
    int programFd_ = -1;
    int64_t freedTo_ = 0;  // the blocks before this offset were given back
};

}  // namespace morrowset::runs
