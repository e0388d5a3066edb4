#include "engine/SyncFaults.h"

#include <map>

namespace SyncFaults {
namespace {
// Touched only while holding the baton.
std::map<std::string, int> gFaults;
std::function<void()> gWatcher;
}  // namespace

void Inject(const std::string& posixPath, int errorNumber) { gFaults[posixPath] = errorNumber; }

void Clear() {
    gFaults.clear();
    gWatcher = nullptr;
}

int For(const std::string& posixPath) {
    if (gFaults.empty()) return 0;
    auto it = gFaults.find(posixPath);
    return it == gFaults.end() ? 0 : it->second;
}

void WatchEntries(std::function<void()> watcher) { gWatcher = std::move(watcher); }

void EntryDone() {
    if (gWatcher) gWatcher();
}

}  // namespace SyncFaults
