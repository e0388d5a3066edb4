// Flushing the file system of a path: a folder that is there, one that is not,
// and the seam through which tests see and fail every flush.
#include <gtest/gtest.h>

#include <cerrno>
#include <string>
#include <vector>

#include "Scratch.h"
#include "framework/FileSystem.h"

namespace tvmtest {
namespace {

TEST(FileSystemFlush, AFolderThatIsThereIsFlushed) {
    Scratch s;
    WriteFile(s / "f", "bytes");
    fw::FileSystemFlush flush(s.path());
    WriteFile(s / "g", "written after the opening");
    const fw::FlushResult result = flush.Flush();
    EXPECT_TRUE(result.Succeeded()) << result.message;
    EXPECT_EQ(result.message, "");
    EXPECT_TRUE(fw::FileSystemFlush(s / "f").Flush().Succeeded());
}

TEST(FileSystemFlush, AMissingPathIsAFailureThatNamesIt) {
    Scratch s;
    const fw::FlushResult result = fw::FileSystemFlush(s / "gone").Flush();
    EXPECT_EQ(result.errorNumber, ENOENT);
    EXPECT_NE(result.message.find(s / "gone"), std::string::npos) << result.message;
}

TEST(FileSystemFlush, TheSeamSeesEveryFlushAndItsAnswerIsTheResult) {
    Scratch s;
    std::vector<std::string> seen;
    int answer = EIO;
    fw::SetFlushHook([&](const std::string& path) {
        seen.push_back(path);
        return answer;
    });
    const fw::FlushResult failed = fw::FileSystemFlush(s.path()).Flush();
    answer = 0;
    const fw::FlushResult passed = fw::FileSystemFlush(s.path()).Flush();
    fw::SetFlushHook(nullptr);
    EXPECT_EQ(failed.errorNumber, EIO);
    EXPECT_FALSE(failed.message.empty());
    EXPECT_TRUE(passed.Succeeded()) << passed.message;
    EXPECT_EQ(seen, (std::vector<std::string>{s.path(), s.path()}));
}

}  // namespace
}  // namespace tvmtest
