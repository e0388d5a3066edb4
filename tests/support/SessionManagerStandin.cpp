// A stand-in for an X11 session manager (XSMP over ICE), for tests: it takes
// clients, writes the address to connect to (SESSION_MANAGER) into the file
// named by its argument, and on SIGUSR1 asks every client to save for a
// log-out (SaveYourself, shutdown), on SIGUSR2 tells them to end (Die). What
// happens is written to stdout, one line each.
#include <X11/ICE/ICElib.h>
#include <X11/SM/SMlib.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <vector>

namespace {

int gSignalPipe[2];
std::vector<IceConn> gConnections;
std::vector<SmsConn> gClients;

void Say(const char* what) {
    std::printf("session-manager: %s\n", what);
    std::fflush(stdout);
}

void OnSignal(int sig) {
    const char byte = static_cast<char>(sig);
    if (::write(gSignalPipe[1], &byte, 1) < 0) {
        // A request is pending already.
    }
}

Bool AnyHost(char*) { return True; }

Status RegisterClient(SmsConn sms, SmPointer, char* previousId) {
    char* id = SmsGenerateClientID(sms);
    const Status ok = SmsRegisterClientReply(sms, id);
    std::free(id);
    if (previousId) std::free(previousId);
    gClients.push_back(sms);
    Say("registered");
    return ok;
}

void InteractRequest(SmsConn sms, SmPointer, int) { SmsInteract(sms); }
void InteractDone(SmsConn, SmPointer, Bool) {}
void SaveYourselfRequest(SmsConn, SmPointer, int, Bool, int, Bool, Bool) {}
void SaveYourselfPhase2Request(SmsConn sms, SmPointer) { SmsSaveYourselfPhase2(sms); }

void SaveYourselfDone(SmsConn, SmPointer, Bool success) { Say(success ? "save-yourself-done" : "save-yourself-failed"); }

void CloseConnection(SmsConn sms, SmPointer, int count, char** reasons) {
    SmFreeReasons(count, reasons);
    IceConn ice = SmsGetIceConnection(sms);
    gClients.erase(std::remove(gClients.begin(), gClients.end(), sms), gClients.end());
    gConnections.erase(std::remove(gConnections.begin(), gConnections.end(), ice), gConnections.end());
    SmsCleanUp(sms);
    IceSetShutdownNegotiation(ice, False);
    IceCloseConnection(ice);
    Say("closed");
}

void SetProperties(SmsConn, SmPointer, int count, SmProp** props) {
    for (int i = 0; i < count; ++i) SmFreeProperty(props[i]);
    std::free(props);
}

void DeleteProperties(SmsConn, SmPointer, int count, char** names) {
    for (int i = 0; i < count; ++i) std::free(names[i]);
    std::free(names);
}

void GetProperties(SmsConn sms, SmPointer) { SmsReturnProperties(sms, 0, nullptr); }

Status NewClient(SmsConn, SmPointer, unsigned long* mask, SmsCallbacks* cb, char**) {
    *mask = SmsRegisterClientProcMask | SmsInteractRequestProcMask | SmsInteractDoneProcMask |
            SmsSaveYourselfRequestProcMask | SmsSaveYourselfP2RequestProcMask | SmsSaveYourselfDoneProcMask |
            SmsCloseConnectionProcMask | SmsSetPropertiesProcMask | SmsDeletePropertiesProcMask |
            SmsGetPropertiesProcMask;
    cb->register_client.callback = RegisterClient;
    cb->interact_request.callback = InteractRequest;
    cb->interact_done.callback = InteractDone;
    cb->save_yourself_request.callback = SaveYourselfRequest;
    cb->save_yourself_phase2_request.callback = SaveYourselfPhase2Request;
    cb->save_yourself_done.callback = SaveYourselfDone;
    cb->close_connection.callback = CloseConnection;
    cb->set_properties.callback = SetProperties;
    cb->delete_properties.callback = DeleteProperties;
    cb->get_properties.callback = GetProperties;
    return 1;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s ADDRESS-FILE\n", argv[0]);
        return 2;
    }
    char error[256] = "";
    if (!SmsInitialize("tvm-test", "1.0", NewClient, nullptr, AnyHost, sizeof error, error)) {
        std::fprintf(stderr, "cannot start: %s\n", error);
        return 1;
    }
    int listenCount = 0;
    IceListenObj* listeners = nullptr;
    if (!IceListenForConnections(&listenCount, &listeners, sizeof error, error)) {
        std::fprintf(stderr, "cannot listen: %s\n", error);
        return 1;
    }
    for (int i = 0; i < listenCount; ++i) IceSetHostBasedAuthProc(listeners[i], AnyHost);
    char* ids = IceComposeNetworkIdList(listenCount, listeners);
    {
        const std::string temp = std::string(argv[1]) + ".new";
        std::ofstream(temp) << ids << "\n";
        std::rename(temp.c_str(), argv[1]);
    }
    std::free(ids);

    if (::pipe2(gSignalPipe, O_CLOEXEC | O_NONBLOCK) != 0) return 1;
    struct sigaction action {};
    action.sa_handler = OnSignal;
    sigaction(SIGUSR1, &action, nullptr);
    sigaction(SIGUSR2, &action, nullptr);

    for (;;) {
        std::vector<pollfd> fds;
        fds.push_back({gSignalPipe[0], POLLIN, 0});
        for (int i = 0; i < listenCount; ++i) fds.push_back({IceGetListenConnectionNumber(listeners[i]), POLLIN, 0});
        for (IceConn c : gConnections) fds.push_back({IceConnectionNumber(c), POLLIN, 0});
        if (::poll(fds.data(), fds.size(), -1) < 0) continue;

        char sig = 0;
        while (::read(gSignalPipe[0], &sig, 1) == 1) {
            for (SmsConn client : gClients) {
                if (sig == SIGUSR1) {
                    SmsSaveYourself(client, SmSaveBoth, True, SmInteractStyleAny, False);
                    Say("save-yourself sent");
                } else {
                    SmsDie(client);
                    Say("die sent");
                }
            }
        }
        for (int i = 0; i < listenCount; ++i) {
            if (!(fds[1 + i].revents & POLLIN)) continue;
            IceAcceptStatus status;
            IceConn connection = IceAcceptConnection(listeners[i], &status);
            if (connection) gConnections.push_back(connection);
        }
        // Copies: a message may close its connection.
        const std::vector<IceConn> connections = gConnections;
        for (size_t i = 0; i < connections.size(); ++i) {
            if (!(fds[1 + listenCount + i].revents & (POLLIN | POLLHUP | POLLERR))) continue;
            if (IceProcessMessages(connections[i], nullptr, nullptr) == IceProcessMessagesIOError) {
                gConnections.erase(std::remove(gConnections.begin(), gConnections.end(), connections[i]),
                                   gConnections.end());
                IceSetShutdownNegotiation(connections[i], False);
                IceCloseConnection(connections[i]);
            }
        }
    }
}
