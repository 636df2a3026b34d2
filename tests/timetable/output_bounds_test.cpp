// The outputs of ended runs: watched while they grow, given up when they fall quiet or
// when too many are watched, and emptied when given up with no name left.
#include "timetable/output_bounds.h"

#include <sys/stat.h>
#include <unistd.h>

#include <gmock/gmock.h>
#include <string>
#include <vector>

#include "support/temp_folder.h"

namespace morrowset::runs {
namespace {

struct stat statOf(int fd) {
    struct stat info {};
    ::fstat(fd, &info);
    return info;
}

TEST(BoundedOutputs, AnEndedRunsFileIsWatchedWhileItGrowsAndThenGivenUp) {
    testsupport::TempFolder app;
    BoundedOutputs outputs(folderOf(app.path()));
    std::string problem;
    outputs.setOnProblem([&](const std::string& message) { problem = message; });
    // One more ended run than are watched, each a millisecond after the last; the test
    // keeps each program's descriptor, as a writer left behind would.
    std::vector<int> writers;
    for (int run = 0; run <= static_cast<int>(BoundedOutputs::kMaxEnded); ++run) {
        const std::string name = fileName(0, std::to_string(run));
        OutputFile file = OutputFile::create(app.path(), name);
        writers.push_back(::dup(file.programEnd()));
        ASSERT_EQ(::write(writers.back(), "kept\n", 5), 5);
        file.closeProgramEnd();
        outputs.follow(name, std::move(file));
        EXPECT_EQ(outputs.ended(name, run), 0);
    }
    EXPECT_EQ(outputs.endedWatched(), BoundedOutputs::kMaxEnded) << "the one quiet longest was given up";

    // The second run's writer writes on after the file lost its name.
    const std::string more(3 * kMaxBytes, 'x');
    ASSERT_EQ(::write(writers[1], more.data(), more.size()), static_cast<ssize_t>(more.size()));
    ::unlink((folderOf(app.path()) + "/" + fileName(0, "1")).c_str());
    outputs.check(1000);
    EXPECT_LE(int64_t{statOf(writers[1]).st_blocks} * 512, kMaxBytes + 8192) << "bound without its name";
    EXPECT_EQ(statOf(writers[1]).st_size, 5 + 3 * kMaxBytes);

    outputs.check(BoundedOutputs::kQuietMs + 500);
    EXPECT_EQ(outputs.endedWatched(), 1u) << "only the one that grew";
    outputs.check(BoundedOutputs::kQuietMs + 1000);
    EXPECT_EQ(outputs.endedWatched(), 0u);
    EXPECT_EQ(statOf(writers[1]).st_size, 0) << "nobody can read it: emptied when given up";
    EXPECT_EQ(statOf(writers[2]).st_size, 5) << "a file with its name is left as it is";
    EXPECT_TRUE(outputs.empty());
    EXPECT_EQ(problem, "") << "this file system punches holes";
    for (const int fd : writers) ::close(fd);
}

}  // namespace
}  // namespace morrowset::runs
