#include "dialogs/Form.h"

#include <QAbstractButton>
#include <QEvent>
#include <QKeyEvent>
#include <QPainter>
#include <QPalette>
#include <QPushButton>
#include <QScreen>
#include <QTextLayout>
#include <cmath>

#include "dialogs/TitleBar.h"
#include "engine/FormKeys.h"

namespace ui {

namespace {

constexpr int kSizingFrame = 4;
constexpr int kFixedFrame = 3;
constexpr int kCaption = 19;

// A push button that leaves Enter to its form, which decides which button Enter presses.
class FormButton : public QPushButton {
  public:
    using QPushButton::QPushButton;

  protected:
    void keyPressEvent(QKeyEvent* event) override {
        if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
            event->ignore();
            return;
        }
        QPushButton::keyPressEvent(event);
    }
};

int FrameWidth(Border border) {
    return border == Border::Sizeable ? kSizingFrame : kFixedFrame;
}

Qt::WindowFlags FlagsFor(TitleButtons buttons) {
    Qt::WindowFlags flags = Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint;
    switch (buttons) {
        case TitleButtons::None:
            break;
        case TitleButtons::SystemMenu:
            flags |= Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint;
            break;
        case TitleButtons::Standard:
            flags |=
                Qt::WindowSystemMenuHint | Qt::WindowMinMaxButtonsHint | Qt::WindowCloseButtonHint;
            break;
    }
    return flags;
}

}  // namespace

QSize ClientSizeFor(QSize outer, Border border) {
    int frame = FrameWidth(border);
    return {outer.width() - 2 * frame, outer.height() - 2 * frame - kCaption};
}

int ClientWidthFor(int outerWidth, Border border) {
    return outerWidth - 2 * FrameWidth(border);
}

Form::Form(QWidget* owner, const char* name, TitleButtons buttons, Placement placement)
    : QDialog(owner, FlagsFor(buttons)), placement_(placement) {
    setObjectName(name);
    setModal(true);
    QPalette colours = palette();
    colours.setColor(QPalette::WindowText, QColor(kBlack));
    setPalette(colours);
}

void Form::SetClientSize(QSize client, Border border) {
    if (border == Border::Sizeable) {
        resize(client);
    } else {
        setFixedSize(client);
    }
}

bool PressForKey(QWidget& form, QKeyEvent* event, QAbstractButton* cancelButton) {
    if ((event->modifiers() & ~Qt::KeypadModifier) != Qt::NoModifier) return false;
    engine::FormKey key;
    switch (event->key()) {
        case Qt::Key_Return:
        case Qt::Key_Enter:
            key = engine::FormKey::Enter;
            break;
        case Qt::Key_Escape:
            key = engine::FormKey::Escape;
            break;
        default:
            return false;
    }
    auto* focused = qobject_cast<QAbstractButton*>(form.focusWidget());
    if (focused && focused->window() != form.window()) focused = nullptr;
    QAbstractButton* defaultButton = nullptr;
    for (QPushButton* button : form.findChildren<QPushButton*>()) {
        if (button->isDefault()) {
            defaultButton = button;
            break;
        }
    }
    QAbstractButton* pressed = engine::ButtonForKey(key, focused, defaultButton, cancelButton);
    if (pressed && pressed->isVisible() && pressed->isEnabled()) pressed->click();
    event->accept();
    return true;
}

void Form::keyPressEvent(QKeyEvent* event) {
    // QDialog would press its default button on Enter whatever has the focus, and reject on
    // Escape; here the form decides.
    if (PressForKey(*this, event, escapeButton_)) return;
    QDialog::keyPressEvent(event);
}

void Form::FitContents() {
    int needed = 0;
    for (QWidget* child : findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
        if (!child->isHidden()) needed = std::max(needed, child->geometry().right() + 1);
    }
    needed += kRightMargin;
    if (needed <= width()) return;
    if (minimumWidth() == maximumWidth()) {
        setFixedWidth(needed);
    } else {
        resize(needed, height());
    }
}

void Form::showEvent(QShowEvent* event) {
    ApplyTitleBar(*this);
    FitContents();
    QDialog::showEvent(event);
    // A parent makes Qt centre the dialog on it; the screen-centred forms move themselves.
    if (placement_ == Placement::Screen && screen()) {
        QRect area = screen()->availableGeometry();
        QRect frame = frameGeometry();
        frame.moveCenter(area.center());
        move(frame.topLeft());
    }
}

Label::Label(QWidget* parent, const char* name, QRect box, bool autoSize, bool wordWrap,
             Qt::Alignment alignment)
    : QLabel(parent), autoSize_(autoSize), design_(box) {
    setObjectName(name);
    setTextFormat(Qt::PlainText);
    setWordWrap(wordWrap);
    setAlignment(alignment | Qt::AlignTop);
    setGeometry(box);
    Fit();
}

void Label::setText(const QString& text) {
    QLabel::setText(text);
    Fit();
}

void Label::SetColour(QRgb colour) {
    QPalette colours = palette();
    colours.setColor(QPalette::WindowText, QColor(colour));
    setPalette(colours);
}

void Label::changeEvent(QEvent* event) {
    QLabel::changeEvent(event);
    if (event->type() == QEvent::FontChange) Fit();
}

int Label::LinePitch() const {
    QFontMetrics metrics(font());
    int ems = QFontInfo(font()).pixelSize();
    return std::min(metrics.lineSpacing(), ems * 6 / 5);
}

int Label::Lay(int width, int* lineCount,
               std::vector<std::unique_ptr<QTextLayout>>* layouts) const {
    // Alignment is applied when the lines are drawn.
    QTextOption option(Qt::AlignLeft);
    option.setWrapMode(wordWrap() && width >= 0 ? QTextOption::WrapAtWordBoundaryOrAnywhere
                                                : QTextOption::NoWrap);
    int natural = 0;
    int lines = 0;
    for (const QString& paragraph : text().split('\n')) {
        auto layout = std::make_unique<QTextLayout>(paragraph, font());
        layout->setTextOption(option);
        layout->beginLayout();
        for (QTextLine line = layout->createLine(); line.isValid(); line = layout->createLine()) {
            line.setLineWidth(width >= 0 ? width : 1e6);
            natural = std::max(natural, static_cast<int>(std::ceil(line.naturalTextWidth())));
            ++lines;
        }
        layout->endLayout();
        if (layouts) layouts->push_back(std::move(layout));
    }
    *lineCount = lines;
    return natural;
}

QSize Label::sizeHint() const {
    int lines = 0;
    int natural = Lay(-1, &lines);
    return {natural, lines * LinePitch()};
}

int Label::heightForWidth(int width) const {
    int lines = 0;
    Lay(width, &lines);
    return lines * LinePitch();
}

void Label::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setPen(
        palette().color(isEnabled() ? QPalette::Active : QPalette::Disabled, QPalette::WindowText));
    std::vector<std::unique_ptr<QTextLayout>> layouts;
    int lines = 0;
    Lay(wordWrap() ? width() : -1, &lines, &layouts);
    QFontMetrics metrics(font());
    int pitch = LinePitch();
    // A tightened line keeps a fifth of an em below the baseline for descenders.
    int baseline = pitch == metrics.lineSpacing() ? metrics.ascent()
                                                  : pitch - (QFontInfo(font()).pixelSize() + 4) / 5;
    int row = 0;
    for (auto& layout : layouts) {
        for (int i = 0; i < layout->lineCount(); ++i, ++row) {
            QTextLine line = layout->lineAt(i);
            qreal x = 0;
            qreal free = width() - line.naturalTextWidth();
            if (alignment() & Qt::AlignHCenter) x = free / 2;
            if (alignment() & Qt::AlignRight) x = free;
            line.draw(&painter, QPointF(x - line.x(), row * pitch + baseline - line.ascent()));
        }
    }
}

void Label::Fit() {
    QSize hint = sizeHint();
    if (autoSize_) {
        resize(hint);
        return;
    }
    QRect box = geometry();
    if (!wordWrap() && hint.width() > design_.width()) {
        int grow = hint.width() - design_.width();
        if (alignment() & Qt::AlignHCenter) {
            box.setLeft(design_.left() - grow / 2);
        } else if (alignment() & Qt::AlignRight) {
            box.setLeft(design_.left() - grow);
        } else {
            box.setLeft(design_.left());
        }
        box.setWidth(hint.width());
    } else {
        box.setLeft(design_.left());
        box.setWidth(design_.width());
    }
    int needed = wordWrap() ? heightForWidth(box.width()) : hint.height();
    box.setHeight(std::max(design_.height(), needed));
    setGeometry(box);
}

QLabel* MakeIcon(QWidget* parent, const char* name, QRect box, QStyle::StandardPixmap icon) {
    auto* picture = new QLabel(parent);
    picture->setObjectName(name);
    picture->setGeometry(box);
    picture->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    picture->setPixmap(parent->style()->standardIcon(icon).pixmap(32, 32));
    return picture;
}

QPushButton* MakeButton(QWidget* parent, const char* name, QRect box, const QString& text) {
    auto* button = new FormButton(text, parent);
    button->setObjectName(name);
    button->setGeometry(box);
    // The button that has the focus is drawn as the one Enter presses, as Windows draws it; the
    // form's default button takes the look back when the focus leaves the buttons.
    button->setAutoDefault(true);
    return button;
}

QPushButton* MakeBitmapButton(QWidget* parent, const char* name, QRect box, const QString& text,
                              QStyle::StandardPixmap glyph) {
    QPushButton* button = MakeButton(parent, name, box, text);
    button->setIcon(parent->style()->standardIcon(glyph));
    return button;
}

}  // namespace ui
