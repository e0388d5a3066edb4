#include "LogindStandin.h"

#include <poll.h>
#include <unistd.h>

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusContext>
#include <QDBusMessage>
#include <QDBusUnixFileDescriptor>
#include <QObject>
#include <QThread>
#include <fcntl.h>
#include <mutex>
#include <set>

namespace fw::testing {

namespace {

class Manager : public QObject, protected QDBusContext {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.login1.Manager")

public:
    struct Held {
        LogindStandin::Inhibition inhibition;
        int readEnd;
    };

    mutable std::mutex mutex;
    std::vector<Held> held;
    std::set<std::string> refused;

    ~Manager() override {
        for (auto& h : held) ::close(h.readEnd);
    }

public slots:
    QDBusUnixFileDescriptor Inhibit(const QString& what, const QString& who, const QString& why, const QString& mode) {
        std::lock_guard lock(mutex);
        if (refused.count(mode.toStdString())) {
            sendErrorReply(QStringLiteral("org.freedesktop.DBus.Error.AccessDenied"), QStringLiteral("refused"));
            return {};
        }
        int fds[2];
        if (::pipe2(fds, O_CLOEXEC) != 0) return {};
        held.push_back({{what.toStdString(), who.toStdString(), why.toStdString(), mode.toStdString(), false}, fds[0]});
        QDBusUnixFileDescriptor answer(fds[1]);  // a copy of its own
        ::close(fds[1]);
        return answer;
    }
};

}  // namespace

struct LogindStandin::Impl {
    QThread thread;
    Manager* manager = nullptr;
    QString connectionName;
    bool ready = false;
};

LogindStandin::LogindStandin(const std::string& busAddress) : impl_(std::make_unique<Impl>()) {
    static int count = 0;
    impl_->connectionName = QStringLiteral("tvm-logind-standin-%1").arg(++count);
    impl_->manager = new Manager;
    impl_->manager->moveToThread(&impl_->thread);
    impl_->thread.start();
    Impl* impl = impl_.get();
    const QString address = QString::fromStdString(busAddress);
    QMetaObject::invokeMethod(
        impl->manager,
        [impl, address] {
            QDBusConnection bus = QDBusConnection::connectToBus(address, impl->connectionName);
            impl->ready = bus.isConnected() &&
                          bus.registerObject(QStringLiteral("/org/freedesktop/login1"), impl->manager,
                                             QDBusConnection::ExportAllSlots) &&
                          bus.registerService(QStringLiteral("org.freedesktop.login1"));
        },
        Qt::BlockingQueuedConnection);
}

LogindStandin::~LogindStandin() {
    Impl* impl = impl_.get();
    QMetaObject::invokeMethod(
        impl->manager,
        [impl] {
            QDBusConnection::disconnectFromBus(impl->connectionName);
            delete impl->manager;
        },
        Qt::BlockingQueuedConnection);
    impl->thread.quit();
    impl->thread.wait();
}

bool LogindStandin::Ready() const { return impl_->ready; }

std::vector<LogindStandin::Inhibition> LogindStandin::Inhibitions() const {
    std::lock_guard lock(impl_->manager->mutex);
    std::vector<Inhibition> out;
    for (auto& h : impl_->manager->held) {
        pollfd p{h.readEnd, POLLIN, 0};
        if (::poll(&p, 1, 0) > 0 && (p.revents & POLLHUP)) h.inhibition.released = true;
        out.push_back(h.inhibition);
    }
    return out;
}

void LogindStandin::Refuse(const std::string& mode) {
    std::lock_guard lock(impl_->manager->mutex);
    impl_->manager->refused.insert(mode);
}

void LogindStandin::SendPrepareForShutdown(bool starting) {
    Impl* impl = impl_.get();
    QMetaObject::invokeMethod(
        impl->manager,
        [impl, starting] {
            QDBusMessage signal = QDBusMessage::createSignal(QStringLiteral("/org/freedesktop/login1"),
                                                             QStringLiteral("org.freedesktop.login1.Manager"),
                                                             QStringLiteral("PrepareForShutdown"));
            signal << starting;
            QDBusConnection(impl->connectionName).send(signal);
        },
        Qt::BlockingQueuedConnection);
}

}  // namespace fw::testing

#include "LogindStandin.moc"
