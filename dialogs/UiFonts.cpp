#include "dialogs/UiFonts.h"

#include <QFont>
#include <QStringList>
#include <QWidget>

namespace ui {

namespace {

// Narrow sans faces first: Tahoma and MS Sans Serif set tighter than DejaVu Sans, and the forms'
// labels were sized for them. Chinese texts are drawn in these same controls, so the Traditional
// Chinese face follows for the glyphs the Latin faces lack.
const QStringList kLatinSans = {"DejaVu Sans Condensed", "DejaVu Sans", "Noto Sans CJK TC"};
const QStringList kJapanese = {"Noto Sans CJK JP", "Noto Sans Mono CJK JP"};
const QStringList kFixedPitch = {"DejaVu Sans Mono", "Noto Sans Mono CJK TC"};

void Record(QWidget& control, const QString& family, int charset) {
    control.setProperty(kRequestedFamily, family);
    control.setProperty(kRequestedCharset, charset);
}

QFont WithFamily(QFont font, const QString& family) {
    font.setFamilies({family});
    font.setStyleHint(family == "Courier New" ? QFont::TypeWriter : QFont::SansSerif);
    return font;
}

}  // namespace

void InstallFontSubstitutes() {
    for (const char* family : {"Tahoma", "MS Sans Serif", "Arial"})
        QFont::insertSubstitutions(family, kLatinSans);
    QFont::insertSubstitutions("MS Gothic", kJapanese);
    QFont::insertSubstitutions("Courier New", kFixedPitch);
}

void DesignFont(QWidget& control, const QString& family, int pixelHeight, bool bold,
                bool underline) {
    QFont font = WithFamily(QFont(), family);
    font.setPixelSize(pixelHeight);
    font.setBold(bold);
    font.setUnderline(underline);
    control.setFont(font);
    Record(control, family, kAnsiCharset);
}

void JapaneseFont(QWidget& control, int points) {
    QFont font = WithFamily(QFont(), "MS Gothic");
    font.setPointSize(points);
    control.setFont(font);
    Record(control, "MS Gothic", kShiftJisCharset);
}

void SwitchFamily(QWidget& control, const QString& family, int charset) {
    control.setFont(WithFamily(control.font(), family));
    Record(control, family, charset);
}

void SwitchCharset(QWidget& control, int charset, int points) {
    QFont font = control.font();
    font.setPointSize(points);
    control.setFont(font);
    Record(control, control.property(kRequestedFamily).toString(), charset);
}

}  // namespace ui
