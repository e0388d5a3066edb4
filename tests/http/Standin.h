// Runs the HTTP stand-in server (tests/support/http-standin.py) on 127.0.0.1 for
// one test and points http_proxy at it, so every plain-HTTP URL reaches it.
#pragma once
#include <chrono>
#include <string>
#include <sys/types.h>
#include <vector>

namespace tvmtest {

struct Route {
    std::string path;  // with or without its query
    std::string action = "answer";  // answer | silent | stall | close | drip
    std::string body;  // bytes
    int status = 200;
    std::string location;  // a Location header, for redirects
    std::string probe;     // a file whose size the server logs when the request arrives
    double interval = 0.2;  // drip: seconds per byte
};

Route Answer(std::string path, std::string body = "", int status = 200);
Route Redirect(std::string path, std::string location);
Route Silent(std::string path);                      // accepts, never answers
Route Stall(std::string path, std::string firstBytes);  // promises more than it sends
Route Close(std::string path);                       // closes without an answer
Route Drip(std::string path, std::string body, double secondsPerByte);
Route Probing(Route route, std::string file);

struct Request {
    std::string target;  // path?query
    long probe;          // size of the probed file; -1 missing; -2 nothing probed
};

class Standin {
public:
    Standin();   // starts the server, sets http_proxy, clears no_proxy
    ~Standin();  // stops it, clears http_proxy, removes its folder
    Standin(const Standin&) = delete;
    Standin& operator=(const Standin&) = delete;

    bool Running() const { return port_ > 0; }
    int Port() const { return port_; }
    // A folder of the test's own, removed afterwards.
    const std::string& Dir() const { return dir_; }
    void SetRoutes(const std::vector<Route>& routes);
    std::vector<Request> Requests() const;
    int Count(const std::string& target) const;

private:
    std::string dir_;
    pid_t pid_ = -1;
    int toServer_ = -1;  // its stdin: the server ends when this closes
    int port_ = 0;
};

// Seconds that `fn` took on a steady clock.
template <class Fn>
double Timed(Fn&& fn) {
    const auto start = std::chrono::steady_clock::now();
    fn();
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

std::string ReadFile(const std::string& path);  // "" when missing
void WriteFile(const std::string& path, const std::string& bytes);

}  // namespace tvmtest
