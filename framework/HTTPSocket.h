// Synchronous HTTP client. The calling thread gives up the baton while a request
// runs. A request gives up after `timeoutSeconds` whole seconds without progress
// (no new data and no change of state; a name lookup that has not answered
// makes none), and fails fast when the host cannot be resolved or refuses.
// Giving up never waits for the name lookup. Honours http_proxy (or HTTP_PROXY)
// and no_proxy. Follows up to 5 redirects. An answer with an error status (400
// and up) is a failure: its body is not delivered. A time-out below 1 counts as
// 1 second.
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
    // arrives. True when the transfer completed; on any failure the file is left
    // empty, so a body cut short never passes for a whole one. A Nil `file`
    // raises NilObjectException before anything is sent.
    bool Get(const std::string& url, const Ref<FolderItem>& file, int timeoutSeconds);
    // Of the last Get: 0 on success, else the libcurl code (28: given up for
    // lack of progress; 22: error status; 23: the file could not be written).
    int LastErrorCode() const { return lastError_; }
    int HTTPStatusCode() const { return status_; }  // 0 when no answer came

private:
    int lastError_ = 0;
    int status_ = 0;
};

}  // namespace fw
