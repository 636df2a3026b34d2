// Each run's output file: the private folder, the files kept per row, and the cut of an
// output that grew too large.
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

mode_t modeOf(const std::string& path) {
    struct stat info {};
    ::lstat(path.c_str(), &info);
    return info.st_mode & 07777;
}

std::vector<std::string> namesIn(const std::string& folder) {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder)) names.push_back(entry.path().filename());
    std::sort(names.begin(), names.end());
    return names;
}

TEST(RunOutput, FilesArePrivateAndNeverReachedThroughALink) {
    testsupport::TempFolder app;
    const int fd = runs::create(app.path(), runs::fileName(2, "A"));
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::write(fd, "x", 1), 1);
    ::close(fd);
    EXPECT_EQ(modeOf(app / "runs"), 0700u);
    EXPECT_EQ(modeOf(app / "runs/row3-A.log"), 0600u);
    EXPECT_LT(runs::create(app.path(), "row3-A.log"), 0) << "never an existing file";

    fs::create_symlink(app / "elsewhere", app / "runs/row3-B.log");
    EXPECT_LT(runs::create(app.path(), "row3-B.log"), 0);
    EXPECT_FALSE(fs::exists(app / "elsewhere"));

    // A folder of the user's with looser rights is made private; a link in its place is not used.
    fs::permissions(app / "runs", fs::perms::all);
    ::close(runs::create(app.path(), "row3-C.log"));
    EXPECT_EQ(modeOf(app / "runs"), 0700u);
    testsupport::TempFolder other;
    fs::create_directory(other / "target");
    fs::create_directory_symlink(other / "target", other / "runs");
    EXPECT_LT(runs::create(other.path(), "row1-A.log"), 0);
    EXPECT_TRUE(fs::is_empty(other / "target"));
}

TEST(RunOutput, EachRowKeepsItsNewestTenFiles) {
    testsupport::TempFolder app;
    for (int run = 10; run < 25; ++run) ::close(runs::create(app.path(), runs::fileName(0, std::to_string(run))));
    ::close(runs::create(app.path(), runs::fileName(1, "10")));
    runs::keepNewest(app.path(), 0);
    std::vector<std::string> expected;
    for (int run = 15; run < 25; ++run) expected.push_back("row1-" + std::to_string(run) + ".log");
    expected.push_back("row2-10.log");
    EXPECT_EQ(namesIn(app / "runs"), expected);
}

// An output over 1 MiB keeps its last 1 MiB after a line that says how much was cut.
TEST(RunOutput, ALargeOutputIsCutToItsLastMebibyte) {
    testsupport::TempFolder app;
    const int fd = runs::create(app.path(), "row1-A.log");
    std::string output(runs::kMaxBytes + 1000, 'a');
    output.replace(output.size() - 6, 6, "\nlast\n");
    ASSERT_EQ(::write(fd, output.data(), output.size()), static_cast<ssize_t>(output.size()));
    ::close(fd);
    runs::cutToLast(app.path(), "row1-A.log");
    const std::string cut = readFile(app / "runs/row1-A.log");
    const std::string firstLine = cut.substr(0, cut.find('\n') + 1);
    EXPECT_EQ(firstLine, "[Morrowset cut the first 1000 bytes of this output; the last 1048576 bytes follow]\n");
    EXPECT_EQ(cut.substr(firstLine.size()), output.substr(1000));
    EXPECT_EQ(modeOf(app / "runs/row1-A.log"), 0600u);
    EXPECT_THAT(namesIn(app / "runs"), ElementsAre("row1-A.log")) << "no temporary file left";


    const int small = runs::create(app.path(), "row1-B.log");
    ASSERT_EQ(::write(small, output.data(), runs::kMaxBytes), runs::kMaxBytes);
    ::close(small);
    runs::cutToLast(app.path(), "row1-B.log");
    EXPECT_EQ(readFile(app / "runs/row1-B.log"), output.substr(0, runs::kMaxBytes)) << "1 MiB is not cut";
}

}  // namespace
}  // namespace morrowset
