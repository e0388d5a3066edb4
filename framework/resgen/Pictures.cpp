#include "Pictures.h"

#include <QFont>
#include <QFontMetricsF>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>
#include <QtMath>

namespace resgen {
namespace {

// Module drawing coordinates: the board is 270 x 92 with its contacts along
// the bottom edge; the heat spreader rises a little above the board.
constexpr qreal kBoardWidth = 270;
constexpr qreal kBoardHeight = 92;

const QColor kInk(0x1c, 0x2a, 0x3a);
const QColor kAccent(0xf2, 0x7a, 0x12);

QFont Font(int pixelSize, bool bold, bool italic, const char* family = "DejaVu Sans") {
    QFont font(QString::fromLatin1(family));
    font.setPixelSize(pixelSize);
    font.setBold(bold);
    font.setItalic(italic);
    font.setHintingPreference(QFont::PreferNoHinting);
    return font;
}

// The largest font of the given style whose text still fits the width.
QFont FittingFont(const QString& text, qreal width, int largest, bool bold, bool italic) {
    for (int size = largest; size > 4; --size) {
        QFont font = Font(size, bold, italic);
        if (QFontMetricsF(font).horizontalAdvance(text) <= width) return font;
    }
    return Font(5, bold, italic);
}

void PrepareSmooth(QPainter& p) {
    p.setRenderHints(QPainter::Antialiasing | QPainter::TextAntialiasing | QPainter::SmoothPixmapTransform);
}

// A soft oval shadow on the ground below an object.
void DrawGroundShadow(QPainter& p, QPointF centre, qreal rx, qreal ry, int alpha) {
    p.save();
    p.translate(centre);
    p.scale(1, ry / rx);
    QRadialGradient g(QPointF(0, 0), rx);
    g.setColorAt(0, QColor(0, 0, 0, alpha));
    g.setColorAt(0.6, QColor(0, 0, 0, alpha / 2));
    g.setColorAt(1, QColor(0, 0, 0, 0));
    p.setPen(Qt::NoPen);
    p.setBrush(g);
    p.drawEllipse(QPointF(0, 0), rx, rx);
    p.restore();
}

QPainterPath BoardOutline() {
    QPainterPath board;
    board.addRoundedRect(QRectF(0, 0, kBoardWidth, kBoardHeight), 4, 4);
    QPainterPath cuts;
    cuts.addEllipse(QPointF(0, 60), 5, 5);
    cuts.addEllipse(QPointF(kBoardWidth, 60), 5, 5);
    cuts.addRoundedRect(QRectF(150, 80, 8, 20), 2.5, 2.5);  // the key notch
    return board.subtracted(cuts);
}

QPainterPath SpreaderOutline() {
    QPainterPath s;
    s.moveTo(4, 2);
    s.lineTo(118, 2);
    s.lineTo(130, -8);
    s.lineTo(266, -8);
    s.lineTo(266, 66);
    s.lineTo(4, 66);
    s.closeSubpath();
    return s;
}

void DrawBoard(QPainter& p) {
    const QPainterPath board = BoardOutline();
    p.fillPath(board.translated(2.5, 3.5), QColor(0x08, 0x2a, 0x16));  // the board's edge
    QLinearGradient green(0, 0, 0, kBoardHeight);
    green.setColorAt(0, QColor(0x2f, 0x93, 0x54));
    green.setColorAt(1, QColor(0x14, 0x5a, 0x30));
    p.fillPath(board, green);

    p.save();
    p.setClipPath(board);
    // Small parts between the spreader and the contacts.
    for (qreal x = 14; x < 256; x += 17) {
        if (x > 140 && x < 166) continue;
        p.fillRect(QRectF(x, 70.5, 6, 3.2), QColor(0x22, 0x22, 0x26));
        p.fillRect(QRectF(x, 70.5, 1.2, 3.2), QColor(0xc8, 0xc8, 0xc8));
        p.fillRect(QRectF(x + 4.8, 70.5, 1.2, 3.2), QColor(0xc8, 0xc8, 0xc8));
    }
    QLinearGradient gold(0, 77, 0, kBoardHeight);
    gold.setColorAt(0, QColor(0xfc, 0xea, 0xa8));
    gold.setColorAt(0.45, QColor(0xe3, 0xb6, 0x4b));
    gold.setColorAt(1, QColor(0xb0, 0x7f, 0x26));
    for (qreal x = 7; x + 2.6 < kBoardWidth - 6; x += 4.2) {
        if (x > 146.5 && x < 159) continue;
        p.fillRect(QRectF(x, 77.5, 2.6, 16), gold);
    }
    p.restore();
}

void DrawSpreader(QPainter& p, bool withName) {
    const QPainterPath spreader = SpreaderOutline();
    p.fillPath(spreader.translated(0, 3), QColor(0x06, 0x18, 0x38));  // its thickness
    QLinearGradient blue(0, -8, kBoardWidth, 66);
    blue.setColorAt(0, QColor(0x4a, 0xa3, 0xf7));
    blue.setColorAt(0.5, QColor(0x17, 0x56, 0xb4));
    blue.setColorAt(1, QColor(0x0a, 0x27, 0x5c));
    p.fillPath(spreader, blue);

    p.save();
    p.setClipPath(spreader);
    QPainterPath gloss;
    gloss.moveTo(36, -10);
    gloss.lineTo(104, -10);
    gloss.lineTo(62, 70);
    gloss.lineTo(-6, 70);
    gloss.closeSubpath();
    p.fillPath(gloss, QColor(255, 255, 255, 34));
    p.fillPath(gloss.translated(78, 0), QColor(255, 255, 255, 16));
    QLinearGradient stripe(4, 0, 266, 0);
    stripe.setColorAt(0, QColor(0xff, 0xb0, 0x4a));
    stripe.setColorAt(1, kAccent);
    p.fillRect(QRectF(0, 56, kBoardWidth, 4), stripe);
    // Vents on the raised fin.
    p.setPen(QPen(QColor(255, 255, 255, 70), 1.6, Qt::SolidLine, Qt::RoundCap));
    for (int i = 0; i < 6; ++i) {
        const qreal x = 208 + i * 9;
        p.drawLine(QPointF(x, -4), QPointF(x - 4, 4));
    }
    p.restore();
    p.setPen(QPen(QColor(255, 255, 255, 110), 1.1));
    p.setBrush(Qt::NoBrush);
    p.drawPath(spreader);

    if (!withName) return;
    const QString name = QStringLiteral("Tavelmorinth");
    const QFont nameFont = FittingFont(name, 196, 32, true, true);
    p.setFont(nameFont);
    p.setPen(QColor(0, 0, 0, 90));
    p.drawText(QPointF(17.5, 41.5), name);
    p.setPen(Qt::white);
    p.drawText(QPointF(16, 40), name);
    QFont small = Font(9, true, false);
    small.setLetterSpacing(QFont::AbsoluteSpacing, 2.2);
    p.setFont(small);
    p.setPen(QColor(0xc6, 0xe2, 0xff));
    p.drawText(QPointF(18, 52), QStringLiteral("RAM DISK"));
}

// The module with its origin at its centre.
void DrawModule(QPainter& p, bool withName) {
    p.save();
    p.translate(-kBoardWidth / 2, -kBoardHeight / 2);
    DrawBoard(p);
    DrawSpreader(p, withName);
    p.restore();
}

QPointF OnCircle(QPointF c, qreal r, qreal degrees) {
    const qreal t = qDegreesToRadians(degrees);
    return c + QPointF(r * qCos(t), -r * qSin(t));
}

// One half of the sync sign: an arc running clockwise from `from` to `to`
// degrees (counter-clockwise angles, 0 at three o'clock) with an arrowhead.
void DrawSyncArrow(QPainter& p, QPointF c, qreal r, qreal from, qreal to, qreal width) {
    QPainterPath arc;
    arc.moveTo(OnCircle(c, r, from));
    for (qreal a = from; a >= to; a -= 2) arc.lineTo(OnCircle(c, r, a));
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(Qt::white, width, Qt::SolidLine, Qt::FlatCap));
    p.drawPath(arc);

    const qreal t = qDegreesToRadians(to);
    const QPointF dir(qSin(t), qCos(t));  // clockwise tangent on screen
    const QPointF normal(-dir.y(), dir.x());
    const QPointF end = OnCircle(c, r, to);
    const qreal h = width * 2.1;
    QPolygonF head;
    head << end + dir * (h * 0.75) << end - dir * (h * 0.15) + normal * (h * 0.62)
         << end - dir * (h * 0.15) - normal * (h * 0.62);
    p.setPen(Qt::NoPen);
    p.setBrush(Qt::white);
    p.drawPolygon(head);
}

void DrawSyncBadge(QPainter& p, QPointF c, qreal r) {
    DrawGroundShadow(p, c + QPointF(1.5, 3), r + 3, r + 3, 80);
    QRadialGradient orange(c - QPointF(r * 0.35, r * 0.4), r * 1.5);
    orange.setColorAt(0, QColor(0xff, 0xc8, 0x6e));
    orange.setColorAt(0.55, QColor(0xf5, 0x86, 0x1a));
    orange.setColorAt(1, QColor(0xcc, 0x55, 0x00));
    p.setPen(QPen(Qt::white, r * 0.1));
    p.setBrush(orange);
    p.drawEllipse(c, r, r);
    const qreal ar = r * 0.52;
    const qreal w = r * 0.15;
    DrawSyncArrow(p, c, ar, 165, 35, w);
    DrawSyncArrow(p, c, ar, 345, 215, w);
}

}  // namespace

QImage MakerLogo() {
    QImage image(100, 52, QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter p(&image);
    PrepareSmooth(p);

    p.setFont(Font(8, false, true));
    p.setPen(QColor(0x80, 0x80, 0x80));
    p.drawText(QPointF(5, 11), QStringLiteral("powered by"));

    // The mark: the maker's initial on a tile, with the accent dot.
    const QRectF tile(4, 16, 28, 28);
    QLinearGradient teal(tile.topLeft(), tile.bottomRight());
    teal.setColorAt(0, QColor(0x1f, 0x9a, 0xa6));
    teal.setColorAt(1, QColor(0x0c, 0x4f, 0x7a));
    p.setPen(Qt::NoPen);
    p.setBrush(teal);
    p.drawRoundedRect(tile, 6, 6);
    QPainterPath initial;
    initial.addText(QPointF(0, 0), Font(21, true, false), QStringLiteral("B"));
    const QRectF bounds = initial.boundingRect();
    p.fillPath(initial.translated(tile.center() - bounds.center() - QPointF(0.5, 0)), Qt::white);
    p.setBrush(kAccent);
    p.drawEllipse(QPointF(27.5, 21), 2.6, 2.6);

    const QString name = QStringLiteral("Brantolek");
    p.setFont(FittingFont(name, 61, 16, true, false));
    p.setPen(kInk);
    p.drawText(QPointF(36, 33), name);
    p.fillRect(QRectF(36.5, 37, 24, 2), kAccent);
    p.fillRect(QRectF(61.5, 37.5, 35, 1), QColor(0xc8, 0xd0, 0xd8));
    return image;
}

QImage ProductPicture(int scale) {
    QImage image(QSize(323, 206) * scale, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter p(&image);
    PrepareSmooth(p);
    p.scale(scale, scale);
    DrawGroundShadow(p, QPointF(160, 178), 132, 11, 70);
    p.save();
    p.translate(158, 110);
    p.rotate(-8);
    DrawModule(p, true);
    p.restore();
    DrawSyncBadge(p, QPointF(272, 50), 29);
    p.end();
    return image.convertToFormat(QImage::Format_ARGB32);
}

QImage AppIcon(int size) {
    QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter p(&image);
    PrepareSmooth(p);
    p.scale(size / 256.0, size / 256.0);

    const QRectF tile(14, 12, 228, 228);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0, 0, 0, 45));
    p.drawRoundedRect(tile.translated(0, 4), 50, 50);
    QLinearGradient light(tile.topLeft(), tile.bottomLeft());
    light.setColorAt(0, QColor(0xfd, 0xfe, 0xff));
    light.setColorAt(1, QColor(0xd6, 0xe1, 0xee));
    p.setPen(QPen(QColor(0x9d, 0xb0, 0xc6), 1.5));
    p.setBrush(light);
    p.drawRoundedRect(tile, 50, 50);

    DrawGroundShadow(p, QPointF(128, 192), 88, 8, 60);
    p.save();
    p.translate(126, 144);
    p.rotate(-8);
    p.scale(0.68, 0.68);
    DrawModule(p, true);
    p.restore();
    DrawSyncBadge(p, QPointF(178, 80), 32);
    p.end();
    return image.convertToFormat(QImage::Format_ARGB32);
}

}  // namespace resgen
