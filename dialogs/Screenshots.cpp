// brenvo-screenshots OUTDIR: renders every dialog in English, Traditional Chinese and Japanese
// into OUTDIR/<form>-<language>.png. Run with QT_QPA_PLATFORM=offscreen on a machine without a
// display. Off screen there is no window manager, so a plain title bar with the caption and the
// form's title-bar buttons is drawn above each form.
#include <QApplication>
#include <QDir>
#include <QPainter>
#include <QPixmap>
#include <cstdio>

#include "dialogs/Frmejectdisc.h"
#include "dialogs/Frminvaliduser.h"
#include "dialogs/Frmmostupdate.h"
#include "dialogs/Frmnoproperdrive.h"
#include "dialogs/Frmreboot.h"
#include "dialogs/Frmrebootzulk.h"
#include "dialogs/Frmshowmsg.h"
#include "dialogs/Frmupdatecfm.h"
#include "dialogs/UiFonts.h"

namespace {

struct Language {
    int code;
    const char* name;
};
constexpr Language kLanguages[] = {{0, "en"}, {1, "zh"}, {2, "ja"}};

constexpr int kCaption = 19;

QPixmap WithTitleBar(QWidget& form) {
    QPixmap client = form.grab();
    QPixmap shot(client.width(), client.height() + kCaption);
    QPainter painter(&shot);
    painter.fillRect(0, 0, shot.width(), kCaption, QColor(0x0a, 0x24, 0x6a));
    QFont font;
    font.setFamilies({"Tahoma"});
    font.setPixelSize(11);
    font.setBold(true);
    painter.setFont(font);
    painter.setPen(Qt::white);
    painter.drawText(QRect(4, 0, shot.width() - 60, kCaption), Qt::AlignVCenter | Qt::AlignLeft,
                     form.windowTitle());
    Qt::WindowFlags flags = form.windowFlags();
    QString buttons;
    if (flags & Qt::WindowMinimizeButtonHint) buttons += "_ ";
    if (flags & Qt::WindowMaximizeButtonHint) buttons += "□ ";
    if (flags & Qt::WindowCloseButtonHint) buttons += "×";
    painter.drawText(QRect(0, 0, shot.width() - 4, kCaption), Qt::AlignVCenter | Qt::AlignRight,
                     buttons.trimmed());
    painter.drawPixmap(0, kCaption, client);
    return shot;
}

bool Save(QWidget& form, const QString& folder, const QString& name) {
    form.show();
    QApplication::processEvents();
    QString file = QDir(folder).filePath(name + ".png");
    bool saved = WithTitleBar(form).save(file);
    std::printf("%s %s\n", saved ? "wrote" : "FAILED", qPrintable(file));
    form.close();
    return saved;
}

}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: brenvo-screenshots OUTDIR\n");
        return 2;
    }
    ui::InstallFontSubstitutes();
    QString folder = QString::fromLocal8Bit(argv[1]);
    QDir().mkpath(folder);

    // The main window is not built here; a plain window stands in for the owner.
    QWidget owner;
    owner.setWindowTitle("Brenvo DVD-RW Firmware Updater");

    bool ok = true;
    for (const Language& language : kLanguages) {
        QString suffix = QString("-") + language.name;
        {
            dialogs::TUpdateCfm form(&owner);
            form.lblOldFW->setText("1.00");
            form.lblNewFW->setText("1.02");
            form.ApplyLanguage(language.code);
            ok &= Save(form, folder, "updatecfm" + suffix);
        }
        for (int variant : {0, 2, 3}) {
            if (variant != 0 && language.code != 0) continue;
            dialogs::TShowMsg form(&owner);
            form.ApplyLanguage(language.code, variant);
            QString name = "showmsg" + suffix + (variant ? QString("-variant%1").arg(variant) : "");
            ok &= Save(form, folder, name);
        }
        {
            dialogs::TEjectDisc form(&owner);
            form.ApplyLanguage(language.code);
            ok &= Save(form, folder, "ejectdisc" + suffix);
        }
        {
            dialogs::TInvalidUser form(&owner);
            form.ApplyLanguage(language.code);
            ok &= Save(form, folder, "invaliduser" + suffix);
        }
        {
            dialogs::TNoProperDrive form(&owner);
            form.ApplyLanguage(language.code);
            ok &= Save(form, folder, "noproperdrive" + suffix);
        }
        {
            dialogs::TMostUpdate form(&owner);
            form.ApplyLanguage(language.code);
            ok &= Save(form, folder, "mostupdate" + suffix);
        }
        {
            dialogs::TReboot form(&owner);
            form.ApplyLanguage(language.code);
            ok &= Save(form, folder, "reboot" + suffix);
        }
        {
            dialogs::TRebootZULK form(&owner);
            form.ApplyLanguage(language.code);
            ok &= Save(form, folder, "rebootzulk" + suffix);
        }
    }
    return ok ? 0 : 1;
}
