#include "Standin.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "TestPaths.h"

extern char** environ;

namespace tvmtest {
namespace {

std::string Json(const std::string& s) {
    std::string out = "\"";
    for (unsigned char c : s) {
        if (c < 0x20 || c >= 0x7f || c == '"' || c == '\\') {
            char buf[8];
            std::snprintf(buf, sizeof buf, "\\u%04x", c);
            out += buf;
        } else {
            out += static_cast<char>(c);
        }
    }
    return out + "\"";
}

std::string MakeDir() {
    const char* base = std::getenv("TVM_SCRATCH");
    std::string templ = std::string(base && *base ? base : "/tmp") + "/standin.XXXXXX";
    if (!mkdtemp(templ.data())) return {};
    return templ;
}

// The first line the server prints, within a few seconds.
std::string ReadFirstLine(int fd) {
    std::string line;
    pollfd p{fd, POLLIN, 0};
    while (line.find('\n') == std::string::npos && poll(&p, 1, 10000) > 0) {
        char buf[64];
        const ssize_t n = read(fd, buf, sizeof buf);
        if (n <= 0) break;
        line.append(buf, static_cast<size_t>(n));
    }
    return line;
}

}  // namespace

Standin::Standin() : dir_(MakeDir()) {
    if (dir_.empty()) return;
    SetRoutes({});
    int in[2], out[2];
    if (pipe2(in, O_CLOEXEC) != 0) return;
    if (pipe2(out, O_CLOEXEC) != 0) {
        close(in[0]);
        close(in[1]);
        return;
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, in[0], 0);
    posix_spawn_file_actions_adddup2(&actions, out[1], 1);
    const std::string script = TVM_SOURCE_DIR "/tests/support/http-standin.py";
    const std::string routes = dir_ + "/routes.json", log = dir_ + "/requests.log";
    const char* argv[] = {"python3", script.c_str(), routes.c_str(), log.c_str(), "120", nullptr};
    const int rc = posix_spawnp(&pid_, "python3", &actions, nullptr, const_cast<char**>(argv), environ);
    posix_spawn_file_actions_destroy(&actions);
    close(in[0]);
    close(out[1]);
    toServer_ = in[1];
    if (rc != 0) {
        pid_ = -1;
    } else {
        const std::string line = ReadFirstLine(out[0]);
        if (line.rfind("PORT ", 0) == 0) port_ = std::atoi(line.c_str() + 5);
    }
    close(out[0]);
    const std::string proxy = "http://127.0.0.1:" + std::to_string(port_);
    setenv("http_proxy", proxy.c_str(), 1);
    unsetenv("HTTP_PROXY");
    unsetenv("no_proxy");
    unsetenv("NO_PROXY");
}

Standin::~Standin() {
    unsetenv("http_proxy");
    if (toServer_ >= 0) close(toServer_);
    if (pid_ > 0) {
        kill(pid_, SIGTERM);
        waitpid(pid_, nullptr, 0);
    }
    std::error_code ec;
    if (!dir_.empty()) std::filesystem::remove_all(dir_, ec);
}

void Standin::SetRoutes(const std::vector<Route>& routes) {
    std::string json = "{";
    for (const Route& r : routes) {
        if (json.size() > 1) json += ",";
        json += Json(r.path) + ":{\"action\":" + Json(r.action) + ",\"body\":" + Json(r.body) +
                ",\"status\":" + std::to_string(r.status) + ",\"interval\":" + std::to_string(r.interval);
        if (!r.location.empty()) json += ",\"headers\":{\"Location\":" + Json(r.location) + "}";
        if (!r.probe.empty()) json += ",\"probe\":" + Json(r.probe);
        json += "}";
    }
    json += "}";
    // The server reads the file at every request: replace it in one step.
    WriteFile(dir_ + "/routes.tmp", json);
    std::filesystem::rename(dir_ + "/routes.tmp", dir_ + "/routes.json");
}

std::vector<Request> Standin::Requests() const {
    std::vector<Request> requests;
    std::istringstream lines(ReadFile(dir_ + "/requests.log"));
    std::string target, probe;
    while (lines >> target >> probe) requests.push_back({target, probe == "-" ? -2 : std::atol(probe.c_str())});
    return requests;
}

int Standin::Count(const std::string& target) const {
    int n = 0;
    for (const Request& r : Requests()) n += r.target == target;
    return n;
}

Route Answer(std::string path, std::string body, int status) {
    Route r;
    r.path = std::move(path);
    r.body = std::move(body);
    r.status = status;
    return r;
}

Route Redirect(std::string path, std::string location) {
    Route r = Answer(std::move(path), "", 302);
    r.location = std::move(location);
    return r;
}

Route Silent(std::string path) {
    Route r = Answer(std::move(path));
    r.action = "silent";
    return r;
}

Route Stall(std::string path, std::string firstBytes) {
    Route r = Answer(std::move(path), std::move(firstBytes));
    r.action = "stall";
    return r;
}

Route Close(std::string path) {
    Route r = Answer(std::move(path));
    r.action = "close";
    return r;
}

Route Drip(std::string path, std::string body, double secondsPerByte) {
    Route r = Answer(std::move(path), std::move(body));
    r.action = "drip";
    r.interval = secondsPerByte;
    return r;
}

Route Probing(Route route, std::string file) {
    route.probe = std::move(file);
    return route;
}

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

void WriteFile(const std::string& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
}

}  // namespace tvmtest
