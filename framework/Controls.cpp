#include "Controls.h"

#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>

#include "GuiNative.h"
#include "PictureImpl.h"

namespace fw {

namespace {

QWidget* ContentOf(Window& window) { return window.impl().content; }

template <class W>
W* As(const Control::Native& n) {
    return static_cast<W*>(n.widget.data());
}

class ComboWidget : public QComboBox {
public:
    ComboWidget(PopupMenu* owner, QWidget* parent) : QComboBox(parent), owner_(owner) {}

protected:
    void mousePressEvent(QMouseEvent* e) override {
        bool keepClosed = false;
        if (owner_->Owner() && owner_->MouseDown) {
            const QPoint p = e->position().toPoint();
            gui::Callback("PopupMenu MouseDown", [&] { keepClosed = owner_->MouseDown(p.x(), p.y()); });
        }
        if (!keepClosed) QComboBox::mousePressEvent(e);
    }

private:
    PopupMenu* owner_;
};

class CanvasWidget : public QWidget {
public:
    CanvasWidget(Canvas* owner, QWidget* parent) : QWidget(parent), owner_(owner) { setMouseTracking(true); }

protected:
    void paintEvent(QPaintEvent*) override {
        const Ref<Picture>& backdrop = owner_->Backdrop();
        if (!backdrop || !backdrop->impl()) return;
        QPainter painter(this);
        painter.drawImage(0, 0, backdrop->impl()->image);
    }
    void mousePressEvent(QMouseEvent* e) override {
        if (!owner_->Owner() || !owner_->MouseDown) {
            e->ignore();  // on to the window
            return;
        }
        const QPoint p = e->position().toPoint();
        gui::Callback("Canvas MouseDown", [&] { owner_->MouseDown(p.x(), p.y()); });
    }
    void mouseMoveEvent(QMouseEvent* e) override {
        if (!owner_->Owner() || !owner_->MouseMove) {
            e->ignore();
            return;
        }
        const QPoint p = e->position().toPoint();
        gui::Callback("Canvas MouseMove", [&] { owner_->MouseMove(p.x(), p.y()); });
    }

private:
    Canvas* owner_;
};

QPalette BlackText(QWidget* w) {
    QPalette p = w->palette();
    p.setColor(QPalette::WindowText, Qt::black);
    p.setColor(QPalette::Text, Qt::black);
    return p;
}

}  // namespace

Control::Control() : native_(std::make_unique<Native>()) {}
Control::~Control() = default;

void Control::SetEnabled(bool enabled) {
    if (enabled == enabled_) return;
    enabled_ = enabled;
    if (native_->widget) native_->widget->setEnabled(enabled);
}

void Control::SetVisible(bool visible) {
    if (visible == visible_) return;
    visible_ = visible;
    if (native_->widget) native_->widget->setVisible(visible);
}

void Control::SetHelpTag(const std::string& tag) {
    if (tag == helpTag_) return;
    helpTag_ = tag;
    if (native_->widget) native_->widget->setToolTip(gui::ToQt(tag));
}

// Label

void Label::MakeWidget(Window& window) {
    auto* w = new QLabel(ContentOf(window));
    w->setTextFormat(Qt::PlainText);  // folder names are never markup
    w->setTextInteractionFlags(Qt::NoTextInteraction);
    w->setPalette(BlackText(w));
    // Opaque or not, a label draws no background of its own: on a group box's
    // panel it would show as a patch.
    w->setFocusPolicy(Qt::NoFocus);
    native().widget = w;
    SetMultiline(multiline_);
}

void Label::SetText(const std::string& text) {
    if (text == text_) return;
    text_ = text;
    Fit();
}

void Label::Fit() {
    auto* w = As<QLabel>(native());
    if (!w) return;
    const QString text = gui::DisplayText(text_);
    QFont font = gui::LayoutFont(Layout());
    const int base = font.pixelSize() > 0 ? font.pixelSize() : QFontInfo(font).pixelSize();
    const QRect box = w->contentsRect();
    auto fits = [&](const QFontMetrics& m) {
        if (!multiline_) return m.horizontalAdvance(text) <= box.width();
        return m.boundingRect(QRect(0, 0, box.width(), 1 << 20), Qt::TextWordWrap, text).height() <= box.height();
    };
    for (int px = base; px >= base * 4 / 5 && px > 1; --px) {
        font.setPixelSize(px);
        if (fits(QFontMetrics(font))) break;
    }
    if (w->font() != font) w->setFont(font);
    const QFontMetrics metrics(font);
    w->setText(!multiline_ && !fits(metrics) ? metrics.elidedText(text, Qt::ElideMiddle, box.width()) : text);
}

void Label::SetMultiline(bool multiline) {
    multiline_ = multiline;
    if (auto* w = As<QLabel>(native())) {
        w->setWordWrap(multiline);
        w->setAlignment(Qt::AlignLeft | (multiline ? Qt::AlignTop : Qt::AlignVCenter));
        Fit();
    }
}

// ProgressBar

void ProgressBar::MakeWidget(Window& window) {
    auto* w = new QProgressBar(ContentOf(window));
    w->setTextVisible(false);
    w->setRange(0, static_cast<int>(maximum_));
    w->setValue(static_cast<int>(value_));
    native().widget = w;
}

void ProgressBar::SetValue(int64_t value) {
    if (value == value_) return;
    value_ = value;
    if (auto* w = As<QProgressBar>(native())) w->setValue(static_cast<int>(value));
}

void ProgressBar::SetMaximum(int64_t maximum) {
    if (maximum == maximum_) return;
    maximum_ = maximum;
    if (auto* w = As<QProgressBar>(native())) w->setRange(0, static_cast<int>(maximum));
}

// GroupBox

void GroupBox::MakeWidget(Window& window) {
    auto* w = new QGroupBox(ContentOf(window));
    w->setTitle(gui::ToQt(caption_));
    w->setFocusPolicy(Qt::NoFocus);
    native().widget = w;
}

void GroupBox::SetCaption(const std::string& caption) {
    if (caption == caption_) return;
    caption_ = caption;
    if (auto* w = As<QGroupBox>(native())) w->setTitle(gui::ToQt(caption));
}

// PushButton

void PushButton::MakeWidget(Window& window) {
    auto* w = new QPushButton(ContentOf(window));
    w->setText(gui::ToQt(caption_));
    w->setAutoDefault(false);
    w->setDefault(default_);
    QObject::connect(w, &QPushButton::clicked, w, [this] {
        if (Owner() && Action) gui::Callback("PushButton Action", [this] { Action(); });
    });
    native().widget = w;
}

void PushButton::SetCaption(const std::string& caption) {
    if (caption == caption_) return;
    caption_ = caption;
    if (auto* w = As<QPushButton>(native())) w->setText(gui::ToQt(caption));
}

void PushButton::SetDefault(bool isDefault) {
    default_ = isDefault;
    if (auto* w = As<QPushButton>(native())) w->setDefault(isDefault);
}

void PushButton::SetCancel(bool isCancel) { cancel_ = isCancel; }

void PushButton::Push() {
    if (auto* w = As<QPushButton>(native())) w->click();
}

// PopupMenu

void PopupMenu::MakeWidget(Window& window) {
    auto* w = new ComboWidget(this, ContentOf(window));
    for (const auto& row : rows_) w->addItem(gui::ToQt(row));
    w->setCurrentIndex(static_cast<int>(listIndex_));
    QObject::connect(w, &QComboBox::activated, w, [this](int index) {
        listIndex_ = index;
        if (Owner() && Change) gui::Callback("PopupMenu Change", [this] { Change(); });
    });
    native().widget = w;
}

void PopupMenu::AddRow(const std::string& text) {
    rows_.push_back(text);
    if (auto* w = As<QComboBox>(native())) {
        w->addItem(gui::ToQt(text));
        // A list shows no row until one is chosen, even once it has rows.
        if (w->currentIndex() != listIndex_) w->setCurrentIndex(static_cast<int>(listIndex_));
    }
}

void PopupMenu::DeleteAllRows() {
    rows_.clear();
    listIndex_ = -1;
    if (auto* w = As<QComboBox>(native())) w->clear();
}

std::string PopupMenu::List(int64_t index) const {
    if (index < 0 || index >= ListCount()) return {};
    return rows_[static_cast<size_t>(index)];
}

void PopupMenu::SetListIndex(int64_t index) {
    if (index < 0 || index >= ListCount()) index = -1;
    listIndex_ = index;
    if (auto* w = As<QComboBox>(native())) w->setCurrentIndex(static_cast<int>(index));
}

// TextArea

void TextArea::MakeWidget(Window& window) {
    auto* w = new QPlainTextEdit(ContentOf(window));
    w->setPalette(BlackText(w));
    w->setReadOnly(readOnly_);
    w->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    w->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    w->setLineWrapMode(QPlainTextEdit::WidgetWidth);
    w->setPlainText(gui::DisplayText(text_));
    QObject::connect(w, &QPlainTextEdit::textChanged, w, [this, w] {
        // Only the user's edits come back; our own writes already hold the text.
        if (gui::DisplayText(text_) != w->toPlainText()) text_ = gui::FromQt(w->toPlainText());
    });
    native().widget = w;
}

void TextArea::SetText(const std::string& text) {
    if (text == text_) return;
    text_ = text;
    if (auto* w = As<QPlainTextEdit>(native())) w->setPlainText(gui::DisplayText(text_));
}

void TextArea::SetReadOnly(bool readOnly) {
    readOnly_ = readOnly;
    if (auto* w = As<QPlainTextEdit>(native())) w->setReadOnly(readOnly);
}

// Canvas

void Canvas::MakeWidget(Window& window) {
    auto* w = new CanvasWidget(this, ContentOf(window));
    w->setAttribute(Qt::WA_TranslucentBackground, Layout().Transparent);
    w->setFocusPolicy(Qt::NoFocus);
    native().widget = w;
}

void Canvas::SetBackdrop(const Ref<Picture>& picture) {
    if (picture == backdrop_) return;
    backdrop_ = picture;
    if (native().widget) native().widget->update();
}

void Canvas::SetMouseCursor(const Ref<MouseCursorShape>& cursor) {
    if (cursor == cursor_) return;
    cursor_ = cursor;
    // The framework carries no cursor images: every shape shows as the standard pointer.
    if (native().widget) native().widget->unsetCursor();
}

}  // namespace fw
