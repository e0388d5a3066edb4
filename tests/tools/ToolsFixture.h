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

class ToolsTest : public testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

private:
    bool inPrivateNamespace_ = false;
};

}  // namespace tooltest
