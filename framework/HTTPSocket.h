// Synchronous HTTP client. The calling thread gives up the baton while a request
// runs. A request gives up after `timeoutSeconds` whole seconds without progress
// (no new data and no change of state), and fails fast when the host cannot be
// resolved or refuses. Honours http_proxy / no_proxy.
#pragma once
#include <string>

#include "FolderItem.h"
#include "Ref.h"

namespace fw {

class HTTPSocket {
public:
    // The body as text ("" on any failure).
    std::string Get(const std::string& url, int timeoutSeconds);
    // Creates `file` empty when the request starts and writes the body as it
    // arrives. True when the transfer completed.
    bool Get(const std::string& url, const Ref<FolderItem>& file, int timeoutSeconds);
    int LastErrorCode() const { return lastError_; }
    int HTTPStatusCode() const { return status_; }

private:
    int lastError_ = 0;
    int status_ = 0;
};

}  // namespace fw
