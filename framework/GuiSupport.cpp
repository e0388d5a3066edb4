// Helpers shared by windows, controls and menus.
#include <QApplication>
#include <QFontDatabase>

#include "Baton.h"
#include "Exceptions.h"
#include "GuiNative.h"

namespace fw::gui {

QString DisplayText(const std::string& s) {
    QString text = ToQt(s);
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    text.replace(QChar('\r'), QChar('\n'));
    return text;
}

QFont LayoutFont(const ControlLayout& layout) {
    QFont font = QApplication::font();
    const std::string& name = layout.FontName;
    // The layouts name the fonts of the system they were drawn on; here the
    // desktop's own font stands in for all of them.
    if (!name.empty() && name != "System" && name != "SmallSystem" && name != "Geneva" && name != "Genvea")
        font.setFamily(ToQt(name));
    // The layouts were drawn where a point is a pixel; their sizes are pixel
    // sizes, or the text would outgrow the controls placed around it.
    if (layout.FontSize > 0) font.setPixelSize(static_cast<int>(layout.FontSize + 0.5));
    font.setBold(layout.Bold);
    font.setItalic(layout.Italic);
    font.setUnderline(layout.Underline);
    return font;
}

void EnsureGuiSetup() {
    static bool done = false;
    if (done) return;
    auto* qapp = qobject_cast<QApplication*>(QCoreApplication::instance());
    if (!qapp) return;
    done = true;
    // The program lives on without windows (its menus stay in the tray).
    QApplication::setQuitOnLastWindowClosed(false);
}

void Callback(const char* where, const std::function<void()>& fn) {
    baton::Held held;
    Guarded(where, fn);
}

}  // namespace fw::gui
