#include "HTMLViewer.h"

#include <QImage>
#include <QStringDecoder>
#include <QTextBrowser>
#include <QUrl>

#include <atomic>
#include <thread>

#include "Dialogs.h"
#include "EventLoop.h"
#include "GuiNative.h"
#include "HTTPTransfer.h"
#include "Localization.h"

namespace fw {

namespace {

class PageWidget : public QTextBrowser {
public:
    explicit PageWidget(QWidget* parent) : QTextBrowser(parent) {
        setOpenLinks(false);
        QObject::connect(this, &QTextBrowser::anchorClicked, this, [this](const QUrl& href) { Follow(href); });
    }
    QUrl page;  // relative links resolve against it

protected:
    // A page from the network must not make us read files (its images and
    // style sheets would resolve to local paths) or fetch more. The answers are
    // empty but valid: on a null one Qt reads the file itself. An image is a
    // transparent pixel, so a sized picture keeps its place.
    QVariant loadResource(int type, const QUrl&) override {
        if (type != QTextDocument::ImageResource) return QVariant(QString());
        QImage blank(1, 1, QImage::Format_ARGB32);
        blank.fill(Qt::transparent);
        return blank;
    }

private:
    void Follow(const QUrl& href) {
        const QUrl target = page.resolved(href);
        if (target.hasFragment() && target.adjusted(QUrl::RemoveFragment) == page.adjusted(QUrl::RemoveFragment)) {
            scrollToAnchor(target.fragment());
            return;
        }
        const QString scheme = target.scheme().toLower();
        if (scheme == QLatin1String("http") || scheme == QLatin1String("https") || scheme == QLatin1String("mailto"))
            ShowURL(target.toString(QUrl::FullyEncoded).toStdString());
    }
};

PageWidget* PageOf(const Control::Native& n) { return static_cast<PageWidget*>(n.widget.data()); }

QString DecodeHtml(const std::string& body) {
    const QByteArrayView bytes(body.data(), static_cast<qsizetype>(body.size()));
    QStringDecoder decoder = QStringDecoder::decoderForHtml(bytes);
    if (!decoder.isValid()) decoder = QStringDecoder(QStringDecoder::Utf8);
    return decoder.decode(bytes);
}

}  // namespace

// The background side of one page load. The thread reads only what it was
// given and posts its result to the main thread; it never touches the control.
struct HTMLViewer::Load {
    std::atomic<bool> cancel{false};
    std::thread thread;
    ~Load() {
        cancel = true;
        if (thread.joinable()) thread.join();
    }
};

HTMLViewer::HTMLViewer() = default;
HTMLViewer::~HTMLViewer() = default;  // abandons a running load (Load ends it)

std::string HTMLViewer::kPageNotLoaded(const std::string& language) {
    return GetLocalizedString("HTMLViewer.kPageNotLoaded", "The page could not be loaded.", language);
}

void HTMLViewer::MakeWidget(Window& window) {
    auto* w = new PageWidget(window.impl().content);
    w->setReadOnly(true);
    native().widget = w;
}

bool HTMLViewer::Loading() const { return load_ != nullptr; }

void HTMLViewer::LoadURL(const std::string& url) {
    url_ = url;
    load_.reset();  // abandons the previous one
    PageWidget* w = PageOf(native());
    if (!w || !Owner()) return;
    w->page = QUrl(gui::ToQt(url));
    w->clear();
    auto load = std::make_shared<Load>();
    std::weak_ptr<Load> handle = load;
    load->thread = std::thread([url, cancel = &load->cancel, handle, this] {
        std::string body;
        const int code = internal::GetText(url, kLoadTimeoutSeconds, *cancel, body);
        if (cancel->load()) return;
        // `this` is touched on the main thread only, and only while its load lives.
        internal::PostToMain([handle, this, code, body = std::move(body)] {
            const std::shared_ptr<Load> done = handle.lock();
            if (!done || done != load_) return;
            load_.reset();  // `done` joins the finished thread when it goes
            Arrived(code, body);
        });
    });
    load_ = std::move(load);
}

void HTMLViewer::Arrived(int code, const std::string& body) {
    PageWidget* w = PageOf(native());
    if (!w || !Owner()) return;
    if (code != 0) {
        w->setPlainText(gui::ToQt(kPageNotLoaded()));
    } else {
        w->setHtml(DecodeHtml(body));
    }
}

void HTMLViewer::Clear() {}

void HTMLViewer::Copy() {
    if (PageWidget* w = PageOf(native())) w->copy();
}

void HTMLViewer::Cut() { Copy(); }

void HTMLViewer::Paste() {}

void HTMLViewer::SelectAll() {
    if (PageWidget* w = PageOf(native())) w->selectAll();
}

}  // namespace fw
