// Each run's output file: the private folder, the files kept per row, the bound that keeps
// a growing output's disk use near its last mebibyte, and the cut in place at its end.
#include "timetable/run_output.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <gmock/gmock.h>
#include <string>
#include <vector>

#include "support/temp_folder.h"

namespace morrowset {
namespace {

namespace fs = std::filesystem;
using ::testing::ElementsAre;
using testsupport::readFile;

using runs::kMaxBytes;
using runs::OutputFile;

mode_t modeOf(const std::string& path) {
    struct stat info {};
    ::lstat(path.c_str(), &info);
    return info.st_mode & 07777;
}

// The disk a file takes, from its allocated blocks.
int64_t diskUse(int fd) {
    struct stat info {};
    ::fstat(fd, &info);
    return int64_t{info.st_blocks} * 512;
}

void append(int fd, const std::string& bytes) {
    ASSERT_EQ(::write(fd, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
}

// `length` bytes of numbered lines, so that a byte out of place shows.
std::string numberedLines(std::size_t length) {
    std::string text;
    for (int line = 0; text.size() < length; ++line) text += std::to_string(line) + "\n";
    text.resize(length);
    return text;
}

// Large texts compared without a diff of them: where they differ first.
::testing::AssertionResult sameBytes(const std::string& actual, const std::string& expected) {
    if (actual == expected) return ::testing::AssertionSuccess();
    const auto differ = std::mismatch(actual.begin(), actual.end(), expected.begin(), expected.end());
    return ::testing::AssertionFailure() << actual.size() << " bytes, " << expected.size()
                                         << " expected, first apart at " << (differ.first - actual.begin());
}

std::vector<std::string> namesIn(const std::string& folder) {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder)) names.push_back(entry.path().filename());
    std::sort(names.begin(), names.end());
    return names;
}

TEST(RunOutput, FilesArePrivateAndNeverReachedThroughALink) {
    testsupport::TempFolder app;
    OutputFile file = OutputFile::create(app.path(), runs::fileName(2, "A"));
    ASSERT_TRUE(file.isOpen());
    append(file.programEnd(), "x");
    EXPECT_EQ(modeOf(app / "runs"), 0700u);
    EXPECT_EQ(modeOf(app / "runs/row3-A.log"), 0600u);
    EXPECT_FALSE(OutputFile::create(app.path(), "row3-A.log").isOpen()) << "never an existing file";

    fs::create_symlink(app / "elsewhere", app / "runs/row3-B.log");
    EXPECT_FALSE(OutputFile::create(app.path(), "row3-B.log").isOpen());
    EXPECT_FALSE(fs::exists(app / "elsewhere"));

    // A folder of the user's with looser rights is made private; a link in its place is not used.
    fs::permissions(app / "runs", fs::perms::all);
    EXPECT_TRUE(OutputFile::create(app.path(), "row3-C.log").isOpen());
    EXPECT_EQ(modeOf(app / "runs"), 0700u);
    testsupport::TempFolder other;
    fs::create_directory(other / "target");
    fs::create_directory_symlink(other / "target", other / "runs");
    EXPECT_FALSE(OutputFile::create(other.path(), "row1-A.log").isOpen());
    EXPECT_TRUE(fs::is_empty(other / "target"));
}

// The newest ten stay, and so does an older one whose run is still going.
TEST(RunOutput, EachRowKeepsItsNewestTenFilesAndThoseInUse) {
    testsupport::TempFolder app;
    for (int run = 10; run < 25; ++run) OutputFile::create(app.path(), runs::fileName(0, std::to_string(run)));
    OutputFile::create(app.path(), runs::fileName(1, "10"));
    runs::keepNewest(app.path(), 0, {"row1-12.log"});
    std::vector<std::string> expected{"row1-12.log"};
    for (int run = 15; run < 25; ++run) expected.push_back("row1-" + std::to_string(run) + ".log");
    expected.push_back("row2-10.log");
    EXPECT_EQ(namesIn(app / "runs"), expected);
}

// While the program appends, the blocks before the last mebibyte go back to the file
// system; the length and the last mebibyte stay.
TEST(RunOutput, ABoundOutputTakesNoMoreDiskThanItsLastMebibyte) {
    testsupport::TempFolder app;
    OutputFile file = OutputFile::create(app.path(), "row1-A.log");
    const std::string written = numberedLines(5 * kMaxBytes + 12345);
    for (std::size_t at = 0; at < written.size(); at += 1 << 18) append(file.programEnd(), written.substr(at, 1 << 18));
    ASSERT_GT(diskUse(file.programEnd()), 5 * kMaxBytes) << "the file system allocates what is written";
    ASSERT_EQ(file.bound(), OutputFile::Bound::Done);
    EXPECT_LE(diskUse(file.programEnd()), kMaxBytes + 8192);
    const std::string read = readFile(app / "runs/row1-A.log");
    ASSERT_EQ(read.size(), written.size());
    EXPECT_TRUE(sameBytes(read.substr(read.size() - kMaxBytes), written.substr(written.size() - kMaxBytes)));
    EXPECT_EQ(read.find_first_not_of('\0'), 4 * kMaxBytes + 12288) << "whole blocks before it read as zeros";
    append(file.programEnd(), "more\n");
    EXPECT_EQ(readFile(app / "runs/row1-A.log").substr(written.size()), "more\n") << "the program still appends";
}

// The cut keeps the last mebibyte after a line saying how much was cut, in place: moved
// forward over a bound file, moved back when the cut is shorter than its line, not at all
// when nothing is over.
TEST(RunOutput, AnOutputIsCutInPlaceToItsLastMebibyte) {
    const struct {
        int64_t length;
        bool boundFirst;
        std::string line;
    } cases[] = {
        {kMaxBytes + 3 * 4096 + 17, false,
         "[Morrowset cut the first 12305 bytes of this output; the last 1048576 bytes follow]\n"},
        {3 * kMaxBytes + 5, true,
         "[Morrowset cut the first 2097157 bytes of this output; the last 1048576 bytes follow]\n"},
        {kMaxBytes + 10, false,
         "[Morrowset cut the first 10 bytes of this output; the last 1048576 bytes follow]\n"},
        {kMaxBytes, false, ""},
    };
    for (const auto& [length, boundFirst, line] : cases) {
        testsupport::TempFolder app;
        OutputFile file = OutputFile::create(app.path(), "row1-A.log");
        const std::string written = numberedLines(static_cast<std::size_t>(length));
        append(file.programEnd(), written);
        if (boundFirst) file.bound();
        EXPECT_EQ(file.cut(), line.empty() ? 0 : length - kMaxBytes) << length;
        const std::string expected = line.empty() ? written : line + written.substr(written.size() - kMaxBytes);
        EXPECT_TRUE(sameBytes(readFile(app / "runs/row1-A.log"), expected)) << length;
        EXPECT_LE(diskUse(file.programEnd()), static_cast<int64_t>(expected.size()) + 8192) << length;
        EXPECT_THAT(namesIn(app / "runs"), ElementsAre("row1-A.log")) << "no other file";
        append(file.programEnd(), "after\n");
        EXPECT_TRUE(sameBytes(readFile(app / "runs/row1-A.log"), expected + "after\n"))
            << "appends go on at the new end";
    }
}

}  // namespace
}  // namespace morrowset
