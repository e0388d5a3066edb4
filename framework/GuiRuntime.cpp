// The runtime with a screen: the Qt application with widgets, the message
// boxes of late failures and the wait cursor, lent to the parts without one.
#include <QApplication>
#include <QCursor>
#include <QMessageBox>

#include "Application.h"
#include "Baton.h"
#include "EventLoop.h"
#include "GuiNative.h"
#include "Internal.h"

namespace fw {
namespace {

bool gWaitCursor = false;

void MakeApplication(int& argc, char** argv) {
    // Lives as long as the process.
    new QApplication(argc, argv);
    // Only Quit ends the program; closing its last window does not.
    QApplication::setQuitOnLastWindowClosed(false);
}

bool HaveGui() { return qobject_cast<QApplication*>(QCoreApplication::instance()) != nullptr; }

void ShowUncaughtBox(const std::string& text) {
    auto show = [text] {
        auto* box = new QMessageBox(QMessageBox::Critical, QString::fromUtf8(internal::kDialogTitle),
                                    QString::fromStdString(text), QMessageBox::Ok);
        box->setAttribute(Qt::WA_DeleteOnClose);
        box->setModal(false);
        box->show();
    };
    internal::PostToMain(show);
}

// Not modal: a failure may come in long after the call, in the middle of anything.
void ShowWarningBox(const std::string& text) {
    internal::PostToMain([text] {
        if (!HaveGui()) return;
        baton::Held held;
        gui::EnsureGuiSetup();
        auto* box = new QMessageBox(QMessageBox::Warning, QString::fromUtf8(internal::kDialogTitle), gui::ToQt(text),
                                    QMessageBox::Ok);
        box->setAttribute(Qt::WA_DeleteOnClose);
        box->setModal(false);
        box->show();
    });
}

void SetWaitCursor(bool wait) {
    if (!qobject_cast<QGuiApplication*>(QCoreApplication::instance())) return;
    if (wait == gWaitCursor) return;
    gWaitCursor = wait;
    if (wait) {
        QGuiApplication::setOverrideCursor(QCursor(Qt::WaitCursor));
    } else {
        QGuiApplication::restoreOverrideCursor();
    }
}

}  // namespace

void InitRuntime(int& argc, char** argv) {
    internal::StartRuntime(argc, argv, &MakeApplication);
    internal::gShowUncaughtBox = &ShowUncaughtBox;
    internal::gShowWarningBox = &ShowWarningBox;
    internal::gSetWaitCursor = &SetWaitCursor;
}

}  // namespace fw
