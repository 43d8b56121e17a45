#include "dialogs/Accessible.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QLabel>
#include <QStringList>

namespace ui {

namespace {

constexpr char kReadElsewhere[] = "readElsewhere";

class LeftOut : public QAccessibleWidget {
  public:
    explicit LeftOut(QWidget* part) : QAccessibleWidget(part, QAccessible::StaticText) {}
    QAccessible::State state() const override {
        QAccessible::State state = QAccessibleWidget::state();
        state.invisible = true;
        return state;
    }
    QString text(QAccessible::Text) const override { return {}; }
};

QAccessibleInterface* LeftOutFactory(const QString&, QObject* object) {
    auto* widget = qobject_cast<QWidget*>(object);
    if (widget && widget->property(kReadElsewhere).toBool()) return new LeftOut(widget);
    return nullptr;
}

}  // namespace

void ReadElsewhere(QWidget& part) {
    static const bool installed = [] {
        QAccessible::installFactory(LeftOutFactory);
        return true;
    }();
    (void)installed;
    part.setProperty(kReadElsewhere, true);
    // An interface made before (a text set while a screen reader listens) is made again.
    QAccessible::deleteAccessibleInterface(
        QAccessible::uniqueId(QAccessible::queryAccessibleInterface(&part)));
}

QString SentenceOf(std::initializer_list<const QLabel*> line) {
    QStringList words;
    for (const QLabel* label : line)
        if (!label->isHidden() && !label->text().isEmpty()) words.append(label->text());
    return words.join(' ');
}

}  // namespace ui
