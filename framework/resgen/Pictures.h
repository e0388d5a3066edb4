// The program's pictures, drawn with QPainter.
#pragma once
#include <QImage>

namespace resgen {

// The maker's small logo for the about window: 100 x 52 on white.
QImage MakerLogo();

// The product picture: a memory module named Tavelmorinth with a sync badge,
// 323 x 206 (times scale) on a transparent background.
QImage ProductPicture(int scale);

// The application icon, size x size, transparent outside its rounded tile.
QImage AppIcon(int size);

}  // namespace resgen
