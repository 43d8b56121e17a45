// brenvo-screenshots OUTDIR: renders every dialog in English, Traditional Chinese and Japanese
// into OUTDIR/<form>-<language>.png, and the main window in each language on an emulated PC with
// a matching and a foreign drive (main-<language>.png), and while it updates
// (main-<language>-updating.png), and the OEM wizard's pages (wizard-<page>.png). Run with
// QT_QPA_PLATFORM=offscreen on a machine without a display. Off screen there is no window manager,
// so a plain title bar with the caption and the form's title-bar buttons is drawn above each form.
// The pictures follow the screen's scale: with QT_SCALE_FACTOR=2 they are twice as large.
#include <QAbstractItemView>
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QMessageBox>
#include <QPainter>
#include <QPixmap>
#include <QTimer>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>

#include "app/Frmbrenvo.h"
#include "common/CommandLine.h"
#include "package/OptionNames.h"

#include "dialogs/Frmejectdisc.h"
#include "dialogs/Frminvaliduser.h"
#include "dialogs/Frmmostupdate.h"
#include "dialogs/Frmnoproperdrive.h"
#include "dialogs/Frmreboot.h"
#include "dialogs/Frmrebootzulk.h"
#include "dialogs/Frmshowmsg.h"
#include "dialogs/Frmupdatecfm.h"
#include "dialogs/Modal.h"
#include "dialogs/UiFonts.h"
#include "engine/AccessTexts.h"
#include "engine/DialogTexts.h"
#include "platform/emulated/EmulatedSystem.h"
#include "platform/emulated/FirmwareImage.h"
#include "tools/bench/Presets.h"
#include "tools/pack/Packer.h"
#include "tools/screenshots/Picture.h"
#include "wizard/Frmmainqv.h"

namespace {

struct Language {
    int code;
    const char* name;
};
constexpr Language kLanguages[] = {{0, "en"}, {1, "zh"}, {2, "ja"}};

// The form as it is drawn now.
bool SaveAsIs(QWidget& form, const QString& folder, const QString& name) {
    QString file = QDir(folder).filePath(name + ".png");
    bool saved = screenshots::WithTitleBar(form).save(file);
    std::printf("%s %s\n", saved ? "wrote" : "FAILED", qPrintable(file));
    return saved;
}

bool Save(QWidget& form, const QString& folder, const QString& name) {
    form.show();
    QApplication::processEvents();
    bool saved = SaveAsIs(form, folder, name);
    form.close();
    return saved;
}

// The refusal of a Linux user who may not open the drive's node, as the window shows it: a
// desktop user at a seat who is not its active session, the node in the group cdrom, the polkit
// action installed.
bool SaveLinuxAccessRefusal(QWidget& owner, int language, const QString& folder,
                            const QString& name) {
    platform::AccessDenial denial;
    denial.node = "/dev/sg1";
    denial.error = "Permission denied";
    denial.user = "alice";
    denial.uid = 1000;
    denial.owner = "root";
    denial.group = "cdrom";
    denial.mode = 0660;
    denial.groupMayUse = denial.seatManaged = denial.seatGetsNode = denial.pkexecStartsIt = true;
    denial.program = "/usr/bin/brenvo";
    engine::CaptionedText t = engine::AccessDenialText(denial, language, false);
    bool saved = false;
    QTimer::singleShot(200, [&] {
        if (QWidget* box = QApplication::activeModalWidget()) {
            saved = SaveAsIs(*box, folder, name);
            box->close();
        }
    });
    ui::Modal::Message(
        &owner, ui::MessageKind::Error, QString::fromStdString(t.caption),
        QString::fromStdString(engine::WrapLines(t.text, engine::kAccessTextColumns)));
    return saved;
}

// A package with one image for the QUORVANT drives from QV10 to QV19, in `language`.
std::vector<uint8_t> QuorvantPackage(int language,
                                     const std::string& options = package::kShippedOptions) {
    pack::Manifest manifest;
    manifest.title = "Firmware Flasher - QV13 - DVD-RW QV-1600";
    manifest.driveName = "DVD-RW QV-1600";
    manifest.options = options;
    manifest.options[1] = static_cast<char>('0' + language);
    pack::ImageSpec image;
    image.data = platform::emulated::MakeFirmwareImage("QV13", "QV13-00", 1 << 20);
    image.key.resize(1024);
    for (size_t i = 0; i < image.key.size(); ++i)
        image.key[i] = static_cast<uint8_t>(i * 37 + 11);
    image.newRevision = "QV13";
    image.constraints.push_back({"QV10", "QV19", "", ""});
    manifest.images.push_back(std::move(image));
    std::vector<uint8_t> block(package::kBlockSize);
    pack::WritePackage(manifest, block);
    return block;
}

// The main window on the typical bench (E: matches, F: does not), at rest and a second and a
// half into an update. Questions are not asked: nothing here waits for a person.
bool SaveMainWindow(const QString& folder, int language, const QString& suffix) {
    auto machine = std::make_shared<platform::emulated::Machine>();
    benchtool::ApplyPreset("typical", *machine);
    platform::ScopedSystem system(std::make_unique<platform::emulated::EmulatedSystem>(machine));
    ui::Modal::SetUnattended(true);
    std::vector<uint8_t> block = QuorvantPackage(language);
    package::Package package(block);
    bool ok = true;
    {
        app::TBrenvoMain window(package);
        window.show();
        QApplication::processEvents();
        ok &= SaveAsIs(window, folder, "main" + suffix);
        if (language == 0) {
            // The list open: its columns line up.
            window.cboDrives->showPopup();
            QApplication::processEvents();
            QWidget* popup = window.cboDrives->view()->window();
            const QPixmap drawn = window.grab();
            QPixmap shot = screenshots::Canvas(
                {window.width(), window.height() + popup->height() - 24}, drawn.devicePixelRatio(),
                window.palette().color(QPalette::Window));
            QPainter painter(&shot);
            painter.drawPixmap(0, 0, drawn);
            painter.drawPixmap(window.cboDrives->x(), window.cboDrives->geometry().bottom() + 1,
                               popup->grab());
            painter.end();
            window.cboDrives->hidePopup();
            QString file = QDir(folder).filePath("main" + suffix + "-list.png");
            bool saved = shot.save(file);
            std::printf("%s %s\n", saved ? "wrote" : "FAILED", qPrintable(file));
            ok &= saved;
        }
        window.cmdUpdateClick();
        for (int tick = 0; tick < 15; ++tick)
            window.tmrTimer();
        ok &= SaveAsIs(window, folder, "main" + suffix + "-updating");
        // The run ends before the window goes.
        while (window.Engine().Running() > 0)
            QApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
    }
    ui::Modal::Reset();
    return ok;
}

// The OEM wizard's pages on the typical bench: welcome, drive, progress a second and a half into
// the update, complete, and the result page for each outcome of the check after a restart.
bool SaveWizard(const QString& folder) {
    auto machine = std::make_shared<platform::emulated::Machine>();
    benchtool::ApplyPreset("typical", *machine);
    platform::ScopedSystem system(std::make_unique<platform::emulated::EmulatedSystem>(machine));
    ui::Modal::SetUnattended(true);
    bool ok = true;
    auto shoot = [&](QWidget& form, const QString& name) {
        form.show();
        QApplication::processEvents();
        ok &= SaveAsIs(form, folder, name);
    };
    {
        std::string options = package::OptionsWith({{"uiVariant", 2}});
        std::vector<uint8_t> oem = QuorvantPackage(0, options);
        package::Package package(oem);
        app::TBrenvoMain window(package);
        auto* wizard = new wizard::TMainQV(window.Session(), &window, {"brenvo"});
        shoot(*wizard, "wizard-1-welcome");
        wizard->Flow().ShowDrivePage();
        shoot(*wizard, "wizard-2-drive");
        wizard->Flow().ShowProgressPage();
        for (int tick = 0; tick < 15; ++tick)
            window.tmrTimer();
        wizard->Flow().Tick();
        shoot(*wizard, "wizard-3-progress");
        while (window.Engine().Running() > 0)
            QApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
        wizard->Flow().Tick();
        shoot(*wizard, "wizard-4-complete");
        struct Check {
            const char* index;
            const char* revision;
            const char* name;
        };
        for (const Check& check :
             {Check{"0", "QV13", "wizard-6-matches"}, Check{"0", "QV14", "wizard-6-differs"},
              Check{"7", "QV13", "wizard-6-notlisted"}}) {
            auto* result = new wizard::TMainQV(window.Session(), &window,
                                               {"brenvo", "/QVCHECK", check.index, check.revision});
            shoot(*result, check.name);
            delete result;
        }
    }
    ui::Modal::Reset();
    return ok;
}

}  // namespace

int main(int argc, char** argv) {
    constexpr char kProgram[] = "brenvo-screenshots";
    for (int i = 1; i < argc; ++i) {
        if (!std::strcmp(argv[i], "--help") || !std::strcmp(argv[i], "-h")) {
            std::printf(
                "usage: brenvo-screenshots OUTDIR\n"
                "       brenvo-screenshots --version\n\n"
                "Renders the main window, every dialog in English, Traditional Chinese and\n"
                "Japanese, and the OEM wizard's pages into PNG files in OUTDIR. Without a "
                "display:\n"
                "QT_QPA_PLATFORM=offscreen; QT_SCALE_FACTOR=2 draws them twice as large.\n");
            return 0;
        }
    }
    for (int i = 1; i < argc; ++i) {
        if (!std::strcmp(argv[i], "--version")) {
            std::printf("%s\n", common::VersionLine(kProgram).c_str());
            return 0;
        }
    }
    QApplication app(argc, argv);
    // Qt has taken its own options; what is left is the folder, never an option.
    const QStringList parameters = QCoreApplication::arguments();
    std::string wrong;
    if (parameters.size() < 2) {
        wrong = "the folder to write the pictures into is missing";
    } else if (parameters.size() > 2) {
        wrong = "one folder only";
    } else if (parameters[1].startsWith('-')) {
        wrong = "unknown option " + parameters[1].toStdString();
    }
    if (!wrong.empty()) {
        std::fprintf(stderr, "%s\n", common::UsageErrorLine(kProgram, wrong).c_str());
        return 2;
    }
    ui::InstallFontSubstitutes();
    QString folder = parameters[1];
    QDir().mkpath(folder);

    // A plain window stands in for the dialogs' owner.
    QWidget owner;
    owner.setWindowTitle("Brenvo DVD-RW Firmware Updater");

    bool ok = true;
    for (const Language& language : kLanguages) {
        QString suffix = QString("-") + language.name;
        ok &= SaveMainWindow(folder, language.code, suffix);
        // The wizard speaks English whatever the package's language.
        if (language.code == 0) ok &= SaveWizard(folder);
        {
            // The question at start-up before a drive is recovered from its boot loader, as the
            // window asks it: a warning with Yes and No, No preset.
            QMessageBox box(QMessageBox::Warning,
                            QString::fromStdString(engine::RecoverWords(language.code).caption),
                            QString::fromStdString(engine::ConsoleText(
                                engine::DialogId::Recover, language.code,
                                "1-0-0-0 E:QUORVANT DVD-RW QV-1600   0000", "QV13")),
                            QMessageBox::Yes | QMessageBox::No, &owner);
            box.setDefaultButton(QMessageBox::No);
            ok &= Save(box, folder, "recover" + suffix);
        }
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
        ok &= SaveLinuxAccessRefusal(owner, language.code, folder, "linuxaccess" + suffix);
    }
    return ok ? 0 : 1;
}
