#include "DesktopOpen.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QApplication>
#include <QMessageBox>
#include <QSocketNotifier>
#include <cerrno>
#include <cstdlib>
#include <string_view>

#include "Dialogs.h"
#include "EventLoop.h"
#include "GuiNative.h"
#include "Localization.h"
#include "Spawn.h"

extern char** environ;

namespace fw {

std::string kCannotOpen(const std::string& target, const std::string& language) {
    std::string text = GetLocalizedString(
        "ShowURL.kCannotOpen",
        "\xE2\x80\x9C%1\xE2\x80\x9D could not be opened. Please check that xdg-open (package xdg-utils) is "
        "installed and that a program is set up for this kind of file or address.",
        language);
    if (const size_t at = text.find("%1"); at != std::string::npos) text.replace(at, 2, target);
    return text;
}

namespace internal {
namespace {

std::string FindOnPath(std::string_view program) {
    const char* path = std::getenv("PATH");
    std::string_view dirs = path ? path : "/usr/local/bin:/usr/bin:/bin";
    while (true) {
        const size_t colon = dirs.find(':');
        std::string dir(dirs.substr(0, colon));
        if (dir.empty()) dir = ".";
        std::string candidate = dir + "/" + std::string(program);
        struct stat st;
        if (::stat(candidate.c_str(), &st) == 0 && S_ISREG(st.st_mode) && ::access(candidate.c_str(), X_OK) == 0)
            return candidate;
        if (colon == std::string_view::npos) return {};
        dirs.remove_prefix(colon + 1);
    }
}

bool HaveGui() { return qobject_cast<QApplication*>(QCoreApplication::instance()) != nullptr; }

// Not modal: a failure may come in long after the call, in the middle of anything.
void SayCannotOpen(const std::string& target) {
    PostToMain([text = kCannotOpen(target)] {
        if (!HaveGui()) return;
        gui::EnsureGuiSetup();
        auto* box = new QMessageBox(QMessageBox::Warning, QString(), gui::ToQt(text), QMessageBox::Ok);
        box->setAttribute(Qt::WA_DeleteOnClose);
        box->setModal(false);
        box->show();
    });
}

// The opener's report: the pipe ends without a byte when it succeeded; a
// failure writes a line first.
void WatchReport(int fd, const std::string& target) {
    PostToMain([fd, target] {
        if (!QCoreApplication::instance()) {
            ::close(fd);
            return;
        }
        auto* notifier = new QSocketNotifier(fd, QSocketNotifier::Read);
        QObject::connect(notifier, &QSocketNotifier::activated, notifier, [notifier, fd, target] {
            char buffer[64];
            const ssize_t n = ::read(fd, buffer, sizeof buffer);
            if (n < 0 && (errno == EAGAIN || errno == EINTR)) return;
            notifier->setEnabled(false);
            notifier->deleteLater();
            ::close(fd);
            if (n != 0) SayCannotOpen(target);
        });
    });
}

}  // namespace

bool OpenWithDesktop(const std::string& target) {
    const std::string opener = FindOnPath("xdg-open");
    int report[2];
    if (opener.empty() || ::pipe2(report, O_CLOEXEC) != 0) {
        SayCannotOpen(target);
        return false;
    }
    // The shell starts the opener in the background and ends at once; the opener
    // then belongs to init, so no zombie is left for us to reap. The pipe is the
    // background job's output alone: the opener (and a browser it starts) never
    // holds it, so its end tells that the opener has ended.
    const char* argv[] = {"sh", "-c", "{ \"$0\" \"$1\" </dev/null >/dev/null 2>&1 || echo failed; } &",
                          opener.c_str(), target.c_str(), nullptr};
    pid_t pid;
    const bool started = SpawnShell(argv, environ, report[1], pid) == 0 && WaitForExit(pid) == 0;
    ::close(report[1]);
    if (!started) {
        ::close(report[0]);
        SayCannotOpen(target);
        return false;
    }
    ::fcntl(report[0], F_SETFL, O_NONBLOCK);
    WatchReport(report[0], target);
    return true;
}

}  // namespace internal
}  // namespace fw
