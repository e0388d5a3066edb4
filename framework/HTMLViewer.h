// A read-only view of a web page inside a window. Pages are shown as rich
// text: markup and text only; images, style sheets and scripts are not loaded,
// and nothing is ever read from the local disk on a page's behalf.
#pragma once
#include <memory>
#include <string>

#include "Controls.h"

namespace fw {

class HTMLViewer : public Control {
public:
    HTMLViewer();
    ~HTMLViewer() override;

    // Starts loading the page and returns at once (a control in no window
    // loads nothing); the page replaces the view
    // when it has arrived. The request runs like HTTPSocket's (proxy, redirects,
    // an error status is a failure) and gives up after kLoadTimeoutSeconds
    // without progress. A failed load shows the notice kPageNotLoaded as plain
    // text. A newer LoadURL abandons the one still running; so does the end of
    // the control, and a page that arrives after its window closed is dropped.
    void LoadURL(const std::string& url);
    const std::string& URL() const { return url_; }  // of the last LoadURL
    bool Loading() const;

    static constexpr int kLoadTimeoutSeconds = 10;
    static std::string kPageNotLoaded(const std::string& language = "");

    // Edit actions. The view is read-only: Cut copies, Clear and Paste change
    // nothing.
    void Clear();
    void Copy();
    void Cut();
    void Paste();
    void SelectAll();

    // Links clicked in the page go to the desktop's browser (ShowURL) when they
    // are http, https or mailto addresses; links within the page scroll to
    // their anchor; any other kind is ignored.

protected:
    void MakeWidget(Window& window) override;

private:
    struct Load;
    void Arrived(int code, const std::string& body);
    std::string url_;
    std::shared_ptr<Load> load_;  // the running load, if any
};

}  // namespace fw
