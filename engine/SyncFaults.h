// Test probes of the mirror: failures injected by path into its file steps (to
// make an entry unreadable or a copy fail where real permissions cannot: root
// ignores them), and a watcher called after every entry walked. Unused in the
// program, where each costs one test per step.
#pragma once
#include <functional>
#include <string>

namespace SyncFaults {

// errorNumber: an errno value reported for `posixPath` (the entry read or the
// file written).
void Inject(const std::string& posixPath, int errorNumber);
void Clear();
int For(const std::string& posixPath);  // 0 when nothing is injected

// Called on the mirror's thread after each entry, where the thread yields.
void WatchEntries(std::function<void()> watcher);
void EntryDone();

}  // namespace SyncFaults
