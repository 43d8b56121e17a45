#include "dialogs/Modal.h"

#include <QCoreApplication>
#include <QDialog>
#include <QEvent>
#include <QLabel>
#include <QLayout>

namespace ui {

namespace {

QMessageBox::Icon IconFor(MessageKind kind) {
    switch (kind) {
        case MessageKind::Warning:
            return QMessageBox::Warning;
        case MessageKind::Information:
            return QMessageBox::Information;
        case MessageKind::Error:
            return QMessageBox::Critical;
        case MessageKind::Confirmation:
            return QMessageBox::Question;
    }
    return QMessageBox::NoIcon;
}

// A message box that keeps the lines of its text as they were given. QMessageBox wraps a text
// wider than its own limit (a few hundred pixels, less still on a small or scaled screen) each
// time it lays itself out, which broke the checklist's lines, and the success message at twice
// the scale, in two.
class GivenLinesBox : public QMessageBox {
  public:
    using QMessageBox::QMessageBox;

  protected:
    void showEvent(QShowEvent* event) override {
        // The text is as wide as its longest line, whenever the box lays itself out.
        if (auto* label = findChild<QLabel*>("qt_msgbox_label")) {
            const QFontMetrics metrics(label->font());
            int longest = 0;
            for (const QString& line : label->text().split('\n'))
                longest = std::max(longest, metrics.horizontalAdvance(line));
            const QMargins margins = label->contentsMargins();
            // A pixel or two for the rounding of the glyphs' advances.
            label->setMinimumWidth(longest + margins.left() + margins.right() + 2);
        }
        // Sizes and places the box.
        QMessageBox::showEvent(event);
        KeepGivenLines();
    }
    bool event(QEvent* event) override {
        bool handled = QMessageBox::event(event);
        // The box sizes itself again whenever its layout, font, style or screen changes.
        if (isVisible() && event->type() != QEvent::Paint) KeepGivenLines();
        return handled;
    }

  private:
    void KeepGivenLines() {
        auto* label = findChild<QLabel*>("qt_msgbox_label");
        if (!label || !label->wordWrap() || !layout()) return;
        label->setWordWrap(false);
        layout()->invalidate();
        layout()->activate();
        const int width = std::max(this->width(), layout()->totalMinimumSize().width());
        const int height = layout()->hasHeightForWidth() ? layout()->totalHeightForWidth(width)
                                                         : layout()->totalMinimumSize().height();
        // Wider about the same centre.
        const QPoint centre = geometry().center();
        setFixedSize(width, height);
        move(pos() + centre - geometry().center());
        QCoreApplication::removePostedEvents(this, QEvent::LayoutRequest);
    }
};

}  // namespace

QMessageBox::StandardButton Modal::Message(QWidget* parent, MessageKind kind, const QString& title,
                                           const QString& text,
                                           QMessageBox::StandardButtons buttons,
                                           QMessageBox::StandardButton defaultButton) {
    if (auto answer = ScriptedAnswer({kind, title, text}, QMessageBox::NoButton)) return *answer;
    GivenLinesBox box(IconFor(kind), title, text, buttons, parent);
    if (defaultButton != QMessageBox::NoButton) box.setDefaultButton(defaultButton);
    box.exec();
    return box.standardButton(box.clickedButton());
}

void Modal::Show(QDialog& dialog) {
    if (auto action = NextAction()) {
        dialog.show();
        action(dialog);
        if (dialog.isVisible()) dialog.close();
        return;
    }
    if (NobodyAnswers()) return;
    dialog.exec();
}

}  // namespace ui
