// Stand-in until the shell lands.
#include "Shell.h"

namespace fw {
namespace {
std::string gTools;
}
void Shell::Execute(const std::string&) { errorCode_ = 127; }
void SetToolsFolder(const std::string& p) { gTools = p; }
std::string ToolsFolder() { return gTools; }
}  // namespace fw
