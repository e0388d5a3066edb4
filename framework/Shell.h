// Runs a command line through /bin/sh (backquotes and all), synchronously on the
// calling thread, which gives up the baton while the command runs. The program's
// own tool folder comes first on PATH, so its stand-ins for system tools are found.
#pragma once
#include <string>
#include <vector>

namespace fw {

class Shell {
public:
    void Execute(const std::string& commandLine);
    // Runs a program with exactly these arguments, no shell between: nothing in
    // them is ever read as shell syntax. A name without "/" is looked up on the
    // same PATH a command line gets (the tool folder first).
    void ExecuteProgram(const std::vector<std::string>& argv);
    std::string Result() const { return result_; }  // stdout and stderr, merged
    int ErrorCode() const { return errorCode_; }    // exit status; 128+n after signal n

private:
    std::string result_;
    int errorCode_ = 0;
};

// The folder put first on PATH for every Shell (the program's tools).
void SetToolsFolder(const std::string& posixPath);
std::string ToolsFolder();

}  // namespace fw
