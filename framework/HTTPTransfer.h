// Framework-private: the HTTP client's request, for callers that run it on a
// thread of their own and may have to give it up early.
#pragma once
#include <atomic>
#include <string>

namespace fw::internal {

// One GET exactly as HTTPSocket::Get(url, timeout) makes it, on the calling
// thread, which need not hold the baton. Setting `cancel` ends it within a
// poll interval (50 ms). Returns 0 with the body, else the libcurl code and "".
int GetText(const std::string& url, int timeoutSeconds, const std::atomic<bool>& cancel, std::string& body);

}  // namespace fw::internal
