// Helpers for driving the forms as a user would: show, type, look at what is drawn.
#pragma once

#include <QAbstractButton>
#include <QApplication>
#include <QDialog>
#include <QFont>
#include <QRawFont>
#include <QTest>
#include <QTextLayout>
#include <QWidget>
#include <ostream>

namespace ui_testing {

// Shows the form as the active window, its focus where the form put it.
inline void ShowActive(QWidget& form) {
    form.show();
    QApplication::setActiveWindow(&form);
}

// A key typed by the user: it goes to the control that has the focus.
inline void Type(QWidget& form, Qt::Key key) {
    ShowActive(form);
    QWidget* target = QApplication::focusWidget();
    QTest::keyClick(target ? target : &form, key);
}

inline QString RequestedFamily(const QWidget* control) {
    return control->property("requestedFamily").toString();
}
inline int RequestedCharset(const QWidget* control) {
    return control->property("requestedCharset").toInt();
}

// The families (in lower case) of the faces that draw `text` in `font`, and whether any character
// has no glyph.
struct Drawn {
    QStringList families;
    bool missingGlyph = false;
};
inline Drawn DrawnWith(const QString& text, const QFont& font) {
    Drawn drawn;
    for (const QString& line : text.split('\n')) {
        QTextLayout layout(line, font);
        layout.beginLayout();
        layout.createLine();
        layout.endLayout();
        for (const QGlyphRun& run : layout.glyphRuns()) {
            QString family = run.rawFont().familyName().toLower();
            if (!drawn.families.contains(family)) drawn.families.append(family);
            for (quint32 glyph : run.glyphIndexes())
                if (glyph == 0) drawn.missingGlyph = true;
        }
    }
    return drawn;
}

}  // namespace ui_testing

// Readable failure messages.
inline void PrintTo(const QString& text, std::ostream* out) {
    *out << '"' << text.toStdString() << '"';
}
inline void PrintTo(const QStringList& list, std::ostream* out) {
    *out << list.join(", ").toStdString();
}
