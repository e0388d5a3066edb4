#include "HTTPSocket.h"

#include <curl/curl.h>
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <mutex>

#include "Baton.h"
#include "HTTPTransfer.h"

namespace fw {
namespace {

using SteadyClock = std::chrono::steady_clock;

void GlobalInit() {
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

// Where the body goes; false from Accept stops the transfer.
class Sink {
public:
    virtual ~Sink() = default;
    virtual bool Accept(const char* data, size_t size) = 0;
};

class TextSink : public Sink {
public:
    bool Accept(const char* data, size_t size) override {
        text.append(data, size);
        return true;
    }
    std::string text;
};

class FileSink : public Sink {
public:
    explicit FileSink(int fd) : fd_(fd) {}
    bool Accept(const char* data, size_t size) override {
        while (size > 0) {
            const ssize_t n = ::write(fd_, data, size);
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) return false;
            data += n;
            size -= static_cast<size_t>(n);
        }
        return true;
    }

private:
    int fd_;
};

// Everything that counts as progress: byte counts and the transfer's phase.
struct Progress {
    curl_off_t down = 0, up = 0, connectUs = 0, requestSentUs = 0;
    long headerBytes = 0, status = 0, redirects = 0;
    bool operator==(const Progress&) const = default;

    static Progress Of(CURL* curl) {
        Progress p;
        curl_easy_getinfo(curl, CURLINFO_SIZE_DOWNLOAD_T, &p.down);
        curl_easy_getinfo(curl, CURLINFO_SIZE_UPLOAD_T, &p.up);
        curl_easy_getinfo(curl, CURLINFO_CONNECT_TIME_T, &p.connectUs);
        curl_easy_getinfo(curl, CURLINFO_PRETRANSFER_TIME_T, &p.requestSentUs);
        curl_easy_getinfo(curl, CURLINFO_HEADER_SIZE, &p.headerBytes);
        curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &p.status);
        curl_easy_getinfo(curl, CURLINFO_REDIRECT_COUNT, &p.redirects);
        return p;
    }
};

size_t OnBody(char* data, size_t, size_t size, void* user) {
    return static_cast<Sink*>(user)->Accept(data, size) ? size : 0;
}

// Drives the transfer itself rather than through curl_easy_perform, whose
// internal wait of up to a second would let a stalled request run for nearly
// two seconds on a one-second time-out.
CURLcode RunWithoutStalling(CURL* curl, std::chrono::seconds allowedStall, const std::atomic<bool>* cancel) {
    CURLM* multi = curl_multi_init();
    if (!multi) return CURLE_OUT_OF_MEMORY;
    curl_multi_add_handle(multi, curl);
    Progress seen = Progress::Of(curl);
    auto lastChange = SteadyClock::now();
    CURLcode result = CURLE_OK;
    for (;;) {
        int running = 0;
        if (curl_multi_perform(multi, &running) != CURLM_OK) {
            result = CURLE_OUT_OF_MEMORY;
            break;
        }
        if (running == 0) {
            int queued = 0;
            while (CURLMsg* msg = curl_multi_info_read(multi, &queued))
                if (msg->msg == CURLMSG_DONE) result = msg->data.result;
            break;
        }
        if (cancel && cancel->load()) {
            result = CURLE_ABORTED_BY_CALLBACK;
            break;
        }
        const Progress now = Progress::Of(curl);
        const auto t = SteadyClock::now();
        if (!(now == seen)) {
            seen = now;
            lastChange = t;
        } else if (t - lastChange >= allowedStall) {
            result = CURLE_OPERATION_TIMEDOUT;
            break;
        }
        if (curl_multi_poll(multi, nullptr, 0, 50, nullptr) != CURLM_OK) {
            result = CURLE_OUT_OF_MEMORY;
            break;
        }
    }
    curl_multi_remove_handle(multi, curl);
    curl_multi_cleanup(multi);
    return result;
}

// libcurl follows only the lower-case http_proxy for http URLs; a desktop
// program has no reason to ignore the upper-case spelling that users also set.
const char* UpperCaseProxyFallback(const std::string& url) {
    if (url.rfind("http://", 0) != 0 || std::getenv("http_proxy")) return nullptr;
    const char* proxy = std::getenv("HTTP_PROXY");
    return proxy && *proxy ? proxy : nullptr;
}

// Runs one GET; returns the curl code and sets `status` to the HTTP status (0: none).
int Perform(const std::string& url, int timeoutSeconds, Sink& sink, int& status,
            const std::atomic<bool>* cancel = nullptr) {
    GlobalInit();
    CURL* curl = curl_easy_init();
    if (!curl) return CURLE_FAILED_INIT;
    const long seconds = timeoutSeconds < 1 ? 1 : timeoutSeconds;

    curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
    curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(curl, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(curl, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(curl, CURLOPT_FOLLOWLOCATION, 1L);
    curl_easy_setopt(curl, CURLOPT_MAXREDIRS, 5L);
    // An error answer (404 page, 500) is not the resource: no body is delivered.
    curl_easy_setopt(curl, CURLOPT_FAILONERROR, 1L);
    curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT, seconds);
#if LIBCURL_VERSION_NUM >= 0x075700
    // A request given up during its name lookup must not wait for the resolver
    // thread, which may hang for many seconds on a name server that never
    // answers: the thread is left to end by itself.
    curl_easy_setopt(curl, CURLOPT_QUICK_EXIT, 1L);
#endif
    curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, OnBody);
    curl_easy_setopt(curl, CURLOPT_WRITEDATA, static_cast<Sink*>(&sink));
    if (const char* proxy = UpperCaseProxyFallback(url)) curl_easy_setopt(curl, CURLOPT_PROXY, proxy);

    CURLcode code;
    {
        baton::Unlocked unlocked;
        code = RunWithoutStalling(curl, std::chrono::seconds(seconds), cancel);
    }
    long response = 0;
    curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &response);
    status = static_cast<int>(response);
    curl_easy_cleanup(curl);
    return code;
}

}  // namespace

namespace internal {

int GetText(const std::string& url, int timeoutSeconds, const std::atomic<bool>& cancel, std::string& body) {
    TextSink sink;
    int status = 0;
    const int code = Perform(url, timeoutSeconds, sink, status, &cancel);
    body = code == CURLE_OK ? std::move(sink.text) : std::string();
    return code;
}

}  // namespace internal

std::string HTTPSocket::Get(const std::string& url, int timeoutSeconds) {
    TextSink sink;
    lastError_ = Perform(url, timeoutSeconds, sink, status_);
    return lastError_ == CURLE_OK ? sink.text : std::string();
}

bool HTTPSocket::Get(const std::string& url, const Ref<FolderItem>& file, int timeoutSeconds) {
    const std::string path = file->NativePath();
    status_ = 0;
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) {
        lastError_ = CURLE_WRITE_ERROR;
        return false;
    }
    FileSink sink(fd);
    lastError_ = Perform(url, timeoutSeconds, sink, status_);
    // A broken-off body must not pass for a whole one: the file is left empty.
    if (lastError_ != CURLE_OK && ::ftruncate(fd, 0) != 0) lastError_ = CURLE_WRITE_ERROR;
    if (::close(fd) != 0 && lastError_ == CURLE_OK) lastError_ = CURLE_WRITE_ERROR;
    return lastError_ == CURLE_OK;
}

}  // namespace fw
