#include "SingleInstance.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <QLocalServer>
#include <QLocalSocket>
#include <QTimer>
#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <thread>

#include "Baton.h"
#include "Exceptions.h"
#include "PrivateFolder.h"

namespace fw {
namespace {

using Steady = std::chrono::steady_clock;

constexpr int kAnswerMs = 5000;          // a running program answers at once, but may be busy a moment
constexpr int kListenWaitMs = 10000;     // how long a program that holds the lock may take to listen
constexpr qint64 kMaxRequestBytes = 1024;

// Kept for the life of the process: the lock goes when the process goes.
int gLockFd = -1;
int gFolderFd = -1;
std::string gSocketPath;
QLocalServer* gServer = nullptr;
std::function<std::string(const std::string&)> gHandler;

std::string Errno(const std::string& what) { return what + ": " + std::strerror(errno); }

bool FitsSocketAddress(const std::string& path) { return path.size() < sizeof(sockaddr_un{}.sun_path); }

std::string SocketPathIn(const std::string& folder, const std::string& stem) { return folder + "/" + stem + ".socket"; }

int Remaining(Steady::time_point deadline) {
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Steady::now()).count();
    return ms < 0 ? 0 : static_cast<int>(ms);
}

// Whoever is at the other end of `fd` runs as this user.
bool PeerIsUs(int fd) {
    ucred cred{};
    socklen_t length = sizeof cred;
    return ::getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &cred, &length) == 0 && cred.uid == ::geteuid();
}

void Answer(QLocalSocket* socket) {
    if (!socket->canReadLine()) {
        if (socket->bytesAvailable() > kMaxRequestBytes) socket->abort();
        return;
    }
    std::string request = socket->readLine(kMaxRequestBytes).toStdString();
    while (!request.empty() && (request.back() == '\n' || request.back() == '\r')) request.pop_back();
    std::string reply;
    {
        baton::Held held;
        Guarded("request from a later start", [&] { reply = gHandler ? gHandler(request) : std::string(); });
    }
    reply.erase(std::remove(reply.begin(), reply.end(), '\n'), reply.end());
    socket->write(QByteArray::fromStdString(reply + "\n"));
    socket->flush();
    socket->disconnectFromServer();
}

void Accept() {
    while (QLocalSocket* socket = gServer->nextPendingConnection()) {
        QObject::connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        if (!PeerIsUs(static_cast<int>(socket->socketDescriptor()))) {
            socket->abort();
            socket->deleteLater();
            continue;
        }
        QObject::connect(socket, &QLocalSocket::readyRead, socket, [socket] { Answer(socket); });
        // A peer that connects and says nothing is let go.
        QTimer::singleShot(kAnswerMs, socket, [socket] { socket->abort(); });
        if (socket->bytesAvailable() > 0) Answer(socket);
    }
}

// Periodic clean-ups of runtime folders and /tmp spare sticky files and
// folders that somebody holds a lock on; a lock file cleaned away would let a
// second program start.
void KeepFromCleanUp(int folderFd, int lockFd) {
    if (::fchmod(lockFd, S_ISVTX | 0600) != 0) {
        // Only the clean-up protection is lost.
    }
    // Held for the life of the process; the socket's name may be reached through it.
    gFolderFd = folderFd;
    if (::flock(gFolderFd, LOCK_SH | LOCK_NB) != 0) {
        // Only the clean-up protection is lost.
    }
}

}  // namespace

bool AskInstance(const std::string& socketPath, const std::string& request, int timeoutMs, std::string* reply,
                 bool* connected, std::string* error) {
    if (connected) *connected = false;
    auto fail = [&](const std::string& why) {
        if (error) *error = why;
        return false;
    };
    if (!FitsSocketAddress(socketPath)) return fail("socket path too long: " + socketPath);
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return fail(Errno("socket"));
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::memcpy(address.sun_path, socketPath.c_str(), socketPath.size() + 1);
    if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        const std::string why = Errno("connect " + socketPath);
        ::close(fd);
        return fail(why);
    }
    if (connected) *connected = true;
    if (!PeerIsUs(fd)) {
        ::close(fd);
        return fail(socketPath + " is served by another user");
    }
    const auto deadline = Steady::now() + std::chrono::milliseconds(timeoutMs);
    const std::string line = request + "\n";
    for (size_t sent = 0; sent < line.size();) {
        const ssize_t n = ::send(fd, line.data() + sent, line.size() - sent, MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            const std::string why = Errno("send");
            ::close(fd);
            return fail(why);
        }
        sent += static_cast<size_t>(n);
    }
    std::string answer;
    while (answer.find('\n') == std::string::npos) {
        pollfd p{fd, POLLIN, 0};
        const int ready = ::poll(&p, 1, Remaining(deadline));
        if (ready < 0 && errno == EINTR) continue;
        if (ready <= 0) {
            ::close(fd);
            return fail("no answer");
        }
        char buffer[256];
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            ::close(fd);
            return fail("the connection closed without an answer");
        }
        answer.append(buffer, static_cast<size_t>(n));
        if (answer.size() > kMaxRequestBytes) break;
    }
    ::close(fd);
    if (reply) *reply = answer.substr(0, answer.find('\n'));
    return true;
}

InstanceClaim ClaimInstance(const std::string& stem, const std::string& request, bool onlyWhenRunning) {
    InstanceClaim claim;
    std::string error;
    const std::string folder = UserRuntimeFolder(stem, &error);
    const int folderFd = folder.empty() ? -1 : OpenPrivateFolder(folder, false, &error);
    if (folderFd < 0) {
        claim.message = "no private folder for the lock: " + error;
        return claim;
    }
    const std::string lockPath = folder + "/" + stem + ".lock";
    // A home deep enough for the socket's name to outgrow an address is reached
    // through the folder's descriptor.
    std::string socketPath = SocketPathIn(folder, stem);
    if (!FitsSocketAddress(socketPath)) socketPath = SocketPathIn("/proc/self/fd/" + std::to_string(folderFd), stem);
    const int fd = ::openat(folderFd, (stem + ".lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    struct stat st {};
    if (fd < 0 || ::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_uid != ::geteuid()) {
        claim.message = fd < 0 ? Errno("cannot open " + lockPath) : lockPath + " is not a lock file of ours";
        if (fd >= 0) ::close(fd);
        ::close(folderFd);
        return claim;
    }
    const auto deadline = Steady::now() + std::chrono::milliseconds(kListenWaitMs);
    for (;;) {
        if (::flock(fd, LOCK_EX | LOCK_NB) == 0) {
            if (onlyWhenRunning) {
                ::close(fd);
                ::close(folderFd);
                claim.kind = InstanceClaim::Kind::NoneRunning;
                return claim;
            }
            gLockFd = fd;
            gSocketPath = socketPath;
            KeepFromCleanUp(folderFd, fd);
            claim.kind = InstanceClaim::Kind::First;
            return claim;
        }
        if (errno == EINTR) continue;
        if (errno != EWOULDBLOCK) {
            claim.message = Errno("cannot lock " + lockPath);
            ::close(fd);
            ::close(folderFd);
            return claim;
        }
        bool connected = false;
        if (AskInstance(socketPath, request, kAnswerMs, &claim.reply, &connected, &error)) {
            ::close(fd);
            ::close(folderFd);
            claim.kind = InstanceClaim::Kind::Handed;
            return claim;
        }
        // Connected but unanswered: the program hangs; not connected: it does
        // not listen yet, or it is ending. Either way, ask again for a while.
        if (connected || Steady::now() >= deadline) {
            ::close(fd);
            ::close(folderFd);
            claim.message = "the running program does not answer (" + error + ")";
            return claim;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
}

bool ServeInstanceRequests(std::function<std::string(const std::string&)> handler, std::string* error) {
    if (gLockFd < 0) {
        if (error) *error = "the lock is not held";
        return false;
    }
    gHandler = std::move(handler);
    if (!gServer) {
        gServer = new QLocalServer();
        QObject::connect(gServer, &QLocalServer::newConnection, gServer, &Accept);
    }
    // We hold the lock: whatever sits at the socket's name is a crashed run's.
    QLocalServer::removeServer(QString::fromStdString(gSocketPath));
    if (!gServer->listen(QString::fromStdString(gSocketPath))) {
        if (error) *error = gServer->errorString().toStdString();
        return false;
    }
    if (::chmod(gSocketPath.c_str(), S_ISVTX | 0600) != 0) {
        // Only the clean-up protection is lost; the folder keeps others out.
    }
    return true;
}

void StopServingInstanceRequests() {
    if (!gServer) return;
    gServer->close();
    delete gServer;
    gServer = nullptr;
    gHandler = nullptr;
}

}  // namespace fw
