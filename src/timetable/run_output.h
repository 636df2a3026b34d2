#pragma once
// Each run's standard output and standard error, kept in one file per run in the folder
// "runs" of the application folder. Morrowset opens the file and hands it to the program,
// so the program never depends on Morrowset staying up to take its output.
//
// The folder is made 0700 (an existing one of the user's is set to 0700); a folder that is
// a link or another user's is not used. Files are made 0600, never through a link, and
// named "row<N>-<run id>.log", so that a row's files sort in the order of their runs.
#include <cstdint>
#include <string>

namespace morrowset::runs {

// How many output files a row keeps: the newest ones.
constexpr int kKeptPerRow = 10;
// An output file larger than this when its run ends is cut to its last kMaxBytes.
constexpr int64_t kMaxBytes = 1 << 20;

std::string folderOf(const std::string& appFolder);
// "row3-<runId>.log" for row index 2.
std::string fileName(int row, const std::string& runId);

// A new output file for a run, open for appending; -1 when none can be had.
int create(const std::string& appFolder, const std::string& name);
// Removes an output file (of a run that could not start).
void remove(const std::string& appFolder, const std::string& name);
// Removes the oldest files of `row` beyond the newest kKeptPerRow.
void keepNewest(const std::string& appFolder, int row);
// Cuts a file over kMaxBytes to its last kMaxBytes, after a first line that says how many
// bytes were cut. The cut file replaces the old one whole.
void cutToLast(const std::string& appFolder, const std::string& name);

}  // namespace morrowset::runs
