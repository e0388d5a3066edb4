#include "SessionEnd.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDBusUnixFileDescriptor>
#include <QEvent>
#include <QGuiApplication>
#include <QObject>
#include <QSessionManager>
#include <optional>

#include "Application.h"

namespace fw {

namespace {

const QString kLogin = QStringLiteral("org.freedesktop.login1");
const QString kLoginPath = QStringLiteral("/org/freedesktop/login1");
const QString kManager = QStringLiteral("org.freedesktop.login1.Manager");

// Receives the bus signal on the main thread, and the platform's own request to
// end (the session manager's Die), which would otherwise end the event loop
// past the quit gate.
class SessionWatcher : public QObject {
    Q_OBJECT
public:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() != QEvent::Quit || watched != QCoreApplication::instance()) return false;
        SessionEnd::RequestQuit();
        return true;
    }
public slots:
    void PrepareForShutdown(bool starting) {
        if (starting) SessionEnd::RequestQuit();
    }
};

SessionWatcher* gWatcher = nullptr;

struct Lock {
    Lock(const char* m, const char* w) : mode(m), why(w) {}
    const char* mode;
    const char* why;
    bool wanted = false;
    bool asking = false;   // a call is out
    bool refused = false;  // until it is no longer wanted
    std::optional<QDBusUnixFileDescriptor> fd;  // closing the last copy gives it back
};

Lock gDelay{"delay", "The RAM disk holds work not yet written back to its source folder"};
Lock gBlock{"block", "Writing the RAM disk back to its source folder"};

QObject* Context() {
    if (!gWatcher) gWatcher = new SessionWatcher;
    return gWatcher;
}

void Update(Lock& lock) {
    if (!lock.wanted) {
        lock.fd.reset();
        lock.refused = false;
        return;
    }
    if (lock.fd || lock.asking || lock.refused) return;
    QDBusConnection bus = QDBusConnection::systemBus();
    if (!bus.isConnected()) {
        lock.refused = true;
        return;
    }
    QDBusMessage call = QDBusMessage::createMethodCall(kLogin, kLoginPath, kManager, QStringLiteral("Inhibit"));
    call << QStringLiteral("shutdown") << QStringLiteral("Tavelmorinth") << QString::fromUtf8(lock.why)
         << QString::fromUtf8(lock.mode);
    lock.asking = true;
    auto* watcher = new QDBusPendingCallWatcher(bus.asyncCall(call), Context());
    QObject::connect(watcher, &QDBusPendingCallWatcher::finished, Context(), [&lock](QDBusPendingCallWatcher* w) {
        w->deleteLater();
        lock.asking = false;
        const QDBusPendingReply<QDBusUnixFileDescriptor> reply = *w;
        if (reply.isValid() && reply.value().isValid()) {
            // Kept only when still wanted; otherwise it is closed right here.
            if (lock.wanted) lock.fd = reply.value();
        } else {
            lock.refused = true;
        }
        Update(lock);
    });
}

}  // namespace

void SessionEnd::QuitOnSessionEnd() {
    QObject* context = Context();
    QCoreApplication::instance()->installEventFilter(context);
#ifndef QT_NO_SESSIONMANAGER
    if (auto* gui = qobject_cast<QGuiApplication*>(QCoreApplication::instance())) {
        // The session goes on ending: the gate starts the last write-back, and
        // what the session's end cuts off the guard finishes.
        QObject::connect(gui, &QGuiApplication::commitDataRequest, context, [](QSessionManager&) { RequestQuit(); });
    }
#endif
    QDBusConnection bus = QDBusConnection::systemBus();
    if (bus.isConnected())
        bus.connect(kLogin, kLoginPath, kManager, QStringLiteral("PrepareForShutdown"), context,
                    SLOT(PrepareForShutdown(bool)));
}

void SessionEnd::HoldShutdown(bool delay, bool block) {
    if (delay != gDelay.wanted) {
        gDelay.wanted = delay;
        Update(gDelay);
    }
    if (block != gBlock.wanted) {
        gBlock.wanted = block;
        Update(gBlock);
    }
}

void SessionEnd::RequestQuit() {
    QMetaObject::invokeMethod(
        Context(),
        [] {
            if (Application* app = CurrentApplication()) app->Quit(0);
        },
        Qt::QueuedConnection);
}

}  // namespace fw

#include "SessionEnd.moc"
