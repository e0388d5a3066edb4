#include "Manual.h"

#include <QAbstractTextDocumentLayout>
#include <QFile>
#include <QFont>
#include <QGuiApplication>
#include <QPageSize>
#include <QPainter>
#include <QPdfWriter>
#include <QSaveFile>
#include <QScreen>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextLayout>
#include <QUrl>

#include "Pictures.h"

namespace resgen {
namespace {

constexpr int kDpi = 300;
constexpr qreal kMarginSideMm = 22;
constexpr qreal kMarginTopMm = 26;
constexpr qreal kMarginBottomMm = 24;

qreal Px(qreal mm) { return mm / 25.4 * kDpi; }

const QColor kInk(0x1c, 0x2a, 0x3a);
const QColor kRule(0xb8, 0xc4, 0xd2);
const QColor kMuted(0x5a, 0x6b, 0x7d);

// Lengths are CSS pixels (1/96 inch); the document is laid out at that
// resolution and scaled onto the PDF's page.
const char* const kStyleSheet = R"(
body { font-family: 'DejaVu Serif'; font-size: 10pt; color: #1c2a3a; }
h1 { font-family: 'DejaVu Sans'; font-size: 28pt; font-weight: bold; color: #0c2c63;
     margin-top: 6px; margin-bottom: 2px; }
h2 { font-family: 'DejaVu Sans'; font-size: 14pt; font-weight: bold; color: #1756b4;
     margin-top: 26px; margin-bottom: 8px; }
h3 { font-family: 'DejaVu Sans'; font-size: 11pt; font-weight: bold; color: #1c2a3a;
     margin-top: 16px; margin-bottom: 5px; }
p { margin-top: 0px; margin-bottom: 9px; line-height: 125%; }
li { margin-bottom: 4px; line-height: 120%; }
ul, ol { margin-top: 0px; margin-bottom: 9px; }
code { font-family: 'DejaVu Sans Mono'; font-size: 9pt; color: #0c2c63; }
.subtitle { font-family: 'DejaVu Sans'; font-size: 15pt; color: #5a6b7d; margin-bottom: 30px; }
.status { font-family: 'DejaVu Sans'; font-size: 9pt; font-style: italic; color: #0c2c63; }
h4 { font-family: 'DejaVu Sans'; font-size: 9.5pt; font-weight: bold; font-style: italic; color: #0c2c63;
     margin-top: 10px; margin-bottom: 3px; }
.meaning { margin-left: 22px; margin-bottom: 4px; }
)";

// A heading that would end a page is moved to the next one, with its text.
void KeepHeadingsWithText(QTextDocument& doc, qreal pageHeight) {
    QAbstractTextDocumentLayout* layout = doc.documentLayout();
    auto page = [pageHeight](qreal y) { return static_cast<int>(y / pageHeight); };
    for (int pass = 0; pass < 200; ++pass) {
        bool moved = false;
        for (QTextBlock b = doc.begin(); b.isValid() && !moved; b = b.next()) {
            const QTextBlockFormat format = b.blockFormat();
            if (format.headingLevel() == 0) continue;
            const QTextBlock next = b.next();
            if (!next.isValid()) continue;
            // Asking for the rectangles lays the blocks out; the layout is lazy.
            const QRectF heading = layout->blockBoundingRect(b);
            const qreal nextTop = layout->blockBoundingRect(next).top();
            const int lines = next.layout()->lineCount();
            if (lines == 0) continue;
            // At least two lines of the text, when it has them, stay with the heading.
            const QTextLine line = next.layout()->lineAt(qMin(1, lines - 1));
            const qreal textBottom = nextTop + line.y() + line.height();
            if (page(heading.top()) == page(textBottom - 1)) continue;
            // Headings that follow each other move as one.
            QTextBlock first = b;
            while (first.previous().isValid() && first.previous().blockFormat().headingLevel() > 0)
                first = first.previous();
            if (first.blockFormat().pageBreakPolicy() & QTextFormat::PageBreak_AlwaysBefore) continue;
            QTextBlockFormat breakBefore;
            breakBefore.setPageBreakPolicy(QTextFormat::PageBreak_AlwaysBefore);
            QTextCursor(first).mergeBlockFormat(breakBefore);
            // The incremental relayout after a format change can leave later
            // pages stale; lay the whole document out again.
            doc.markContentsDirty(0, doc.characterCount());
            moved = true;
        }
        if (!moved) return;
    }
}

void DrawPageFrame(QPainter& p, const QRectF& full, const QRectF& body, const QString& title, int index,
                   int count, const QString& pageLabel) {
    p.save();
    const qreal left = body.left();
    const qreal right = body.right();
    QFont font(QStringLiteral("DejaVu Sans"));
    font.setPointSizeF(8);
    p.setFont(font);
    if (index > 0) {
        const qreal ruleY = body.top() - Px(7);
        p.setPen(kMuted);
        p.drawText(QRectF(left, ruleY - Px(6), body.width(), Px(5)), Qt::AlignLeft | Qt::AlignBottom, title);
        p.setPen(QPen(kRule, Px(0.25)));
        p.drawLine(QPointF(left, ruleY), QPointF(right, ruleY));
    }
    const qreal footY = full.height() - Px(kMarginBottomMm) + Px(8);
    p.setPen(QPen(kRule, Px(0.25)));
    p.drawLine(QPointF(left, footY), QPointF(right, footY));
    p.setPen(kMuted);
    p.drawText(QRectF(left, footY + Px(1.5), body.width(), Px(5)), Qt::AlignHCenter | Qt::AlignTop,
               pageLabel.arg(index + 1).arg(count));
    p.restore();
}

}  // namespace

bool WriteManual(const QString& htmlPath, const QString& pdfPath, const QString& pageLabel, QString* error) {
    QFile in(htmlPath);
    if (!in.open(QIODevice::ReadOnly)) {
        *error = htmlPath + ": " + in.errorString();
        return false;
    }
    const QString html = QString::fromUtf8(in.readAll());

    // Written through a temporary file: a failed run leaves no truncated PDF.
    QSaveFile out(pdfPath);
    if (!out.open(QIODevice::WriteOnly)) {
        *error = pdfPath + ": " + out.errorString();
        return false;
    }
    QPdfWriter writer(&out);
    writer.setResolution(kDpi);
    writer.setPageSize(QPageSize(QPageSize::A4));
    writer.setPageMargins(QMarginsF(0, 0, 0, 0));
    writer.setCreator(QStringLiteral("Brantolek"));

    QTextDocument doc;
    doc.setDocumentMargin(0);
    doc.setDefaultFont(QFont(QStringLiteral("DejaVu Serif"), 10));
    doc.setDefaultStyleSheet(QString::fromUtf8(kStyleSheet));
    doc.addResource(QTextDocument::ImageResource, QUrl(QStringLiteral("product-picture")), ProductPicture(4));
    doc.setHtml(html);
    const QString title = doc.metaInformation(QTextDocument::DocumentTitle);
    writer.setTitle(title);

    const QRectF full = writer.pageLayout().fullRectPixels(kDpi);
    const QRectF body(Px(kMarginSideMm), Px(kMarginTopMm), full.width() - 2 * Px(kMarginSideMm),
                      full.height() - Px(kMarginTopMm) - Px(kMarginBottomMm));
    // The document's own unit: the resolution its point sizes are laid out at.
    const QScreen* screen = QGuiApplication::primaryScreen();
    const qreal docDpi = screen ? screen->logicalDotsPerInchY() : 96;
    const qreal toPdf = kDpi / docDpi;
    doc.setPageSize(body.size() / toPdf);
    const qreal pageHeight = doc.pageSize().height();
    KeepHeadingsWithText(doc, pageHeight);

    QPainter p;
    if (!p.begin(&writer)) {
        *error = pdfPath + ": the PDF could not be started";
        out.cancelWriting();
        return false;
    }
    p.setRenderHints(QPainter::Antialiasing | QPainter::TextAntialiasing | QPainter::SmoothPixmapTransform);
    const int pages = doc.pageCount();
    for (int i = 0; i < pages; ++i) {
        if (i > 0) writer.newPage();
        DrawPageFrame(p, full, body, title, i, pages, pageLabel);
        p.save();
        p.translate(body.topLeft());
        p.scale(toPdf, toPdf);
        p.translate(0, -i * pageHeight);
        doc.drawContents(&p, QRectF(0, i * pageHeight, doc.pageSize().width(), pageHeight));
        p.restore();
    }
    p.end();
    if (!out.commit()) {
        *error = pdfPath + ": " + out.errorString();
        return false;
    }
    return true;
}

}  // namespace resgen
