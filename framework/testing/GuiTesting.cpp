#include "GuiTesting.h"

#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QFileDialog>
#include <QGroupBox>
#include <QLabel>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTextBrowser>
#include <QTextCursor>
#include <QTextDocument>
#include <QTest>
#include <QTimer>
#include <QWheelEvent>
#include <cstdio>
#include <map>

#include "framework/Baton.h"
#include "framework/GuiNative.h"

namespace fw::testing {

namespace {

QWidget* Frame(Window& w) { return w.impl().frame; }
QWidget* Content(Window& w) { return w.impl().content; }

// Counts paint events per widget.
class PaintCounter : public QObject {
public:
    std::map<const QObject*, int> counts;

protected:
    bool eventFilter(QObject* o, QEvent* e) override {
        if (e->type() == QEvent::Paint) ++counts[o];
        return false;
    }
};

PaintCounter& Counter() {
    static auto* counter = new PaintCounter();
    return *counter;
}

}  // namespace

void Click(Window& window, int x, int y) {
    QWidget* content = Content(window);
    if (!content) return;
    QWidget* target = content->childAt(x, y);
    if (!target) target = content;
    const QPoint local = target->mapFrom(content, QPoint(x, y));
    QTest::mouseClick(target, Qt::LeftButton, Qt::NoModifier, local);
}

void ClickControl(Control& control) {
    Window* w = control.Owner();
    if (!w) return;
    Click(*w, control.Left() + control.Width() / 2, control.Top() + control.Height() / 2);
}

void PressKeys(Window& window, const std::string& keys) {
    QWidget* frame = Frame(window);
    if (!frame) return;
    QString text = QString::fromStdString(keys);
    text.replace(QStringLiteral("Cmd+"), QStringLiteral("Ctrl+"));
    QWidget* target = frame->focusWidget() ? frame->focusWidget() : frame;
    QTest::keySequence(target, QKeySequence::fromString(text));
}

void PressKeysOn(Control& control, const std::string& keys) {
    QWidget* w = control.native().widget;
    if (!w) return;
    w->setFocus(Qt::OtherFocusReason);
    QTest::keySequence(w, QKeySequence::fromString(QString::fromStdString(keys)));
}

void TurnWheel(Control& control, int notches) {
    QWidget* w = control.native().widget;
    if (!w) return;
    const QPointF at(w->width() / 2.0, w->height() / 2.0);
    QWheelEvent wheel(at, w->mapToGlobal(at), QPoint(), QPoint(0, 120 * notches), Qt::NoButton, Qt::NoModifier,
                      Qt::NoScrollPhase, false);
    QApplication::sendEvent(w, &wheel);
}

void CloseByUser(Window& window) {
    if (QWidget* frame = Frame(window)) frame->close();
}

bool Activate(Window& window) {
    QWidget* frame = Frame(window);
    if (!frame) return false;
    frame->activateWindow();
    return QTest::qWaitForWindowActive(frame, 2000);
}

void Minimize(Window& window) {
    if (QWidget* frame = Frame(window)) frame->setWindowState(frame->windowState() | Qt::WindowMinimized);
}

bool IsMinimized(Window& window) {
    QWidget* frame = Frame(window);
    return frame && frame->isMinimized();
}

void Pump() {
    QCoreApplication::processEvents();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QCoreApplication::processEvents();
}

void DismissPopups() {
    while (QWidget* popup = QApplication::activePopupWidget()) popup->close();
    Pump();
}

void WhenModalShown(std::function<void()> fn) {
    auto* poll = new QTimer();
    poll->setInterval(5);
    QObject::connect(poll, &QTimer::timeout, poll, [poll, fn] {
        if (!QApplication::activeModalWidget()) return;
        poll->stop();
        poll->deleteLater();
        baton::Held held;
        fn();
    });
    poll->start();
}

void AnswerNextFolderChooser(const std::string& posixPath, std::string* openedAt) {
    WhenModalShown([posixPath, openedAt] {
        auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
        if (!dialog) return;
        if (openedAt) *openedAt = dialog->directory().absolutePath().toStdString();
        if (posixPath.empty()) {
            dialog->reject();
            return;
        }
        const QString path = QString::fromStdString(posixPath);
        dialog->setDirectory(path);
        dialog->selectFile(path);
        QMetaObject::invokeMethod(dialog, "accept", Qt::DirectConnection);
    });
}

void AnswerNextMessageBox(std::string* text) {
    auto* poll = new QTimer();
    poll->setInterval(5);
    QObject::connect(poll, &QTimer::timeout, poll, [poll, text] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (!box) return;
        poll->stop();
        poll->deleteLater();
        if (text) *text = box->text().toStdString();
        box->accept();
    });
    poll->start();
}

std::string ShownText(const Control& control) {
    QWidget* w = control.native().widget;
    if (auto* l = qobject_cast<QLabel*>(w)) return l->text().toStdString();
    if (auto* b = qobject_cast<QPushButton*>(w)) return b->text().toStdString();
    if (auto* g = qobject_cast<QGroupBox*>(w)) return g->title().toStdString();
    if (auto* c = qobject_cast<QComboBox*>(w)) return c->currentText().toStdString();
    if (auto* t = qobject_cast<QPlainTextEdit*>(w)) return t->toPlainText().toStdString();
    if (auto* t = qobject_cast<QTextBrowser*>(w)) return t->toPlainText().toStdString();
    return {};
}

std::string ClipboardText() { return QGuiApplication::clipboard()->text().toStdString(); }

void SetClipboardText(const std::string& text) { QGuiApplication::clipboard()->setText(QString::fromStdString(text)); }

bool ClickText(Control& control, const std::string& text) {
    auto* view = qobject_cast<QTextBrowser*>(control.native().widget.data());
    if (!view) return false;
    const QTextCursor found = view->document()->find(QString::fromStdString(text));
    if (found.isNull()) return false;
    QTextCursor middle(view->document());
    middle.setPosition((found.selectionStart() + found.selectionEnd()) / 2);
    const QPoint at = view->cursorRect(middle).center();
    QTest::mouseClick(view->viewport(), Qt::LeftButton, Qt::NoModifier, at);
    return true;
}

bool ShownEnabled(const Control& control) {
    QWidget* w = control.native().widget;
    return w && w->isEnabled();
}

std::vector<std::string> MenuBarTitles(Window& window) {
    std::vector<std::string> titles;
    if (QMenuBar* mb = window.impl().menuBar) {
        for (QAction* a : mb->actions())
            if (a->isVisible()) titles.push_back(a->text().toStdString());
    }
    return titles;
}

std::string ShortcutOf(MenuItem& item) {
    return item.native().action->shortcut().toString(QKeySequence::PortableText).toStdString();
}

bool IsShownModal(Window& window) {
    QWidget* f = Frame(window);
    return f && f->isVisible() && f->isModal();
}

bool IsFrameless(Window& window) {
    QWidget* f = Frame(window);
    return f && (f->windowFlags() & Qt::FramelessWindowHint);
}

int FrameWidth(Window& window) { return Frame(window) ? Frame(window)->width() : 0; }
int FrameHeight(Window& window) { return Frame(window) ? Frame(window)->height() : 0; }
int MenuBarHeight(Window& window) {
    QMenuBar* mb = window.impl().menuBar;
    return mb ? mb->height() : 0;
}

void ResizeFrame(Window& window, int width, int height) {
    if (QWidget* f = Frame(window)) f->resize(width, height);
    Pump();
}

std::string ShownHelpTag(const Control& control) {
    QWidget* w = control.native().widget;
    return w ? w->toolTip().toStdString() : std::string();
}

double ShownFontSize(const Control& control) {
    QWidget* w = control.native().widget;
    return w ? w->font().pointSizeF() : 0;
}

int TakePaintCount(Control& control) {
    QWidget* w = control.native().widget;
    if (!w) return 0;
    PaintCounter& counter = Counter();
    if (!counter.counts.count(w)) {
        w->installEventFilter(&counter);
        counter.counts[w] = 0;
        QObject::connect(w, &QObject::destroyed, &counter, [&counter, w] { counter.counts.erase(w); });
    }
    return std::exchange(counter.counts[w], 0);
}

std::vector<std::string> ShownMessageBoxes() {
    std::vector<std::string> texts;
    for (QWidget* w : QApplication::topLevelWidgets())
        if (auto* box = qobject_cast<QMessageBox*>(w); box && box->isVisible()) texts.push_back(box->text().toStdString());
    return texts;
}

void CloseMessageBoxes() {
    for (QWidget* w : QApplication::topLevelWidgets())
        if (auto* box = qobject_cast<QMessageBox*>(w)) box->close();
    Pump();
}

bool SaveScreenshot(Window& window, const std::string& pngPath) {
    QWidget* f = Frame(window);
    if (!f) return false;
    return f->grab().save(QString::fromStdString(pngPath), "PNG");
}

}  // namespace fw::testing

namespace fw::testing {

bool SaveMenuScreenshot(MenuItem& menu, const std::string& pngPath) {
    QMenu* m = menu.native().menu;
    if (!m) return false;
    m->adjustSize();
    m->ensurePolished();
    const bool ok = m->grab().save(QString::fromStdString(pngPath), "PNG");
    std::printf("%s %s\n", ok ? "wrote" : "FAILED", pngPath.c_str());
    return ok;
}

}  // namespace fw::testing
