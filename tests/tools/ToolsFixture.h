// A clean /volumes and /dev/shm for every test, inside the private mount namespace
// that the test runner gives RAM-disk tests.
#pragma once
#include <gtest/gtest.h>
#include <string>

#include "ToolRunner.h"

namespace tooltest {

constexpr const char* kVolume = "/volumes/Tavelmorinth";

// The command line the program runs to make its RAM disk.
// "/dev/tvram<digits>\n", the one line that attach prints.
bool IsDeviceLine(const std::string& text);

std::string CreationCommand(unsigned long sectors);
std::string DetachCommand();

// Every entry below `path` (links not followed), one line each: "name/", "name 4 'data'",
// "name -> target"; owners and modes are left out.
std::string Listing(const std::string& path);

// The listing without the folders of device records (and an ordinary user's private
// folder that holds them), which an attach makes as bookkeeping of its own.
std::string WithoutRecords(const std::string& listing);

void WriteFile(const std::string& path, const std::string& content);
std::string ReadFile(const std::string& path);

// True when `path` is the root of a tmpfs mounted on top of its parent.
bool IsMountedTmpfs(const std::string& path);

// "a file, held open" -> "a_file_held_open"
std::string Identifier(const std::string& sentence);

// Test names made from the sentence in a table row's `name`.
struct SentenceName {
    template <typename Info>
    std::string operator()(const Info& info) const {
        return Identifier(info.param.name);
    }
};

// A copy of the built tools in the test's scratch folder: without the mount helper
// (so an ordinary user gets the fallback whatever the build tree holds), or with it,
// owned by root and set-user-ID. Empty when the copy cannot be made.
std::string CopyTools(bool withHelper);

class ToolsTest : public testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

private:
    bool inPrivateNamespace_ = false;
};

}  // namespace tooltest
