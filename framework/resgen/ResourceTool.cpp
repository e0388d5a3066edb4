// tvm_resgen: draws the program's pictures and typesets its manuals at build
// time, so the bundle carries no binary files that cannot be rebuilt.
//
//   tvm_resgen maker-logo <out.jpg>
//   tvm_resgen product <out>                  PNG data, whatever the name
//   tvm_resgen icon <out.png>
//   tvm_resgen manual <in.html> <out.pdf> <page label, e.g. "Page %1 of %2">
//   tvm_resgen topng <in> <out.png> [scale]   for looking at a built picture
#include <QGuiApplication>
#include <QImage>
#include <QSaveFile>
#include <QString>
#include <QStringList>
#include <cstdio>

#include "Manual.h"
#include "Pictures.h"

namespace {

int Fail(const QString& message) {
    std::fprintf(stderr, "tvm_resgen: %s\n", qPrintable(message));
    return 1;
}

// Writes through a temporary file so a failed run never leaves a half-written
// picture that the build would take as up to date.
bool SaveImage(const QImage& image, const QString& path, const char* format, int quality, QString* error) {
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        *error = path + ": " + file.errorString();
        return false;
    }
    if (image.isNull() || !image.save(&file, format, quality)) {
        *error = path + ": the picture could not be encoded";
        file.cancelWriting();
        return false;
    }
    if (!file.commit()) {
        *error = path + ": " + file.errorString();
        return false;
    }
    return true;
}

// The offscreen platform complains about a missing runtime folder, which a
// build tool never uses.
void QuietMessages(QtMsgType type, const QMessageLogContext&, const QString& message) {
    if (type == QtDebugMsg || message.startsWith(QLatin1String("QStandardPaths:"))) return;
    std::fprintf(stderr, "%s\n", qPrintable(message));
}

int Usage() {
    return Fail("usage: tvm_resgen maker-logo|product|icon <out> | manual <in.html> <out.pdf> <page label> | "
                "topng <in> <out.png> [scale]");
}

}  // namespace

int main(int argc, char** argv) {
    // A build machine has no display; the offscreen platform still has fonts.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    qInstallMessageHandler(QuietMessages);
    QGuiApplication app(argc, argv);
    const QStringList args = app.arguments().mid(1);
    if (args.size() < 2) return Usage();
    const QString& command = args[0];
    QString error;
    bool ok = false;
    if (command == "maker-logo" && args.size() == 2) {
        ok = SaveImage(resgen::MakerLogo(), args[1], "JPEG", 100, &error);
    } else if (command == "product" && args.size() == 2) {
        ok = SaveImage(resgen::ProductPicture(1), args[1], "PNG", -1, &error);
    } else if (command == "icon" && args.size() == 2) {
        ok = SaveImage(resgen::AppIcon(256), args[1], "PNG", -1, &error);
    } else if (command == "manual" && args.size() == 4) {
        ok = resgen::WriteManual(args[1], args[2], args[3], &error);
    } else if (command == "topng" && (args.size() == 3 || args.size() == 4)) {
        QImage in(args[1]);
        const int scale = args.size() == 4 ? args[3].toInt() : 1;
        if (in.isNull() || scale < 1) return Fail(args[1] + ": not a picture, or a bad scale");
        ok = SaveImage(in.scaled(in.size() * scale, Qt::IgnoreAspectRatio, Qt::FastTransformation), args[2], "PNG",
                       -1, &error);
    } else {
        return Usage();
    }
    return ok ? 0 : Fail(error);
}
