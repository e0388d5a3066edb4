// Failures injected by path into the mirror's file steps. Tests use them to make
// an entry unreadable or a copy fail where real permissions cannot (root ignores
// them). Empty in the program; one size test per step then.
#pragma once
#include <string>

namespace SyncFaults {

// errorNumber: an errno value reported for `posixPath` (the entry read or the
// file written).
void Inject(const std::string& posixPath, int errorNumber);
void Clear();
int For(const std::string& posixPath);  // 0 when nothing is injected

}  // namespace SyncFaults
