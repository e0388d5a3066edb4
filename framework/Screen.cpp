#include "Screen.h"

#include <QGuiApplication>
#include <QScreen>

namespace fw {

ScreenArea MainScreen() {
    ScreenArea area;
    if (!qobject_cast<QGuiApplication*>(QCoreApplication::instance())) return area;
    if (QScreen* s = QGuiApplication::primaryScreen()) {
        const QRect r = s->availableGeometry();
        area.Left = r.left();
        area.Top = r.top();
        area.Width = r.width();
        area.Height = r.height();
    }
    return area;
}

}  // namespace fw
