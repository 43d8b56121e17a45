// What assistive technology finds in each window, through QAccessible as a screen reader asks:
// every control named in the package's language, the list named by its label, the revision
// line read as one sentence, and a keyboard path (Tab) to every control.
#include <gtest/gtest.h>

#include <QAccessible>
#include <QComboBox>
#include <QGroupBox>
#include <QProgressBar>
#include <QPushButton>
#include <functional>
#include <memory>
#include <set>

#include "app/Frmbrenvo.h"
#include "dialogs/Frmejectdisc.h"
#include "dialogs/Frminvaliduser.h"
#include "dialogs/Frmmostupdate.h"
#include "dialogs/Frmnoproperdrive.h"
#include "dialogs/Frmreboot.h"
#include "dialogs/Frmrebootzulk.h"
#include "dialogs/Frmshowmsg.h"
#include "dialogs/Frmupdatecfm.h"
#include "dialogs/Modal.h"
#include "tests/ui/MainWindowSupport.h"
#include "tests/ui/UiTestSupport.h"
#include "wizard/Frmmainqv.h"

namespace {
using app::TBrenvoMain;
using main_testing::kShippedOptions;
using main_testing::PackagedBlock;
using main_testing::PresetMachine;
using main_testing::QuorvantManifest;
using main_testing::WithDigit;
using ui::Modal;

QAccessibleInterface* Accessible(QWidget* widget) {
    return QAccessible::queryAccessibleInterface(widget);
}

QString Name(QWidget* widget) {
    return Accessible(widget)->text(QAccessible::Name);
}

// What names the control as its label. (On Linux a list's own name is its current item, and
// screen readers name it by this relation.)
QStringList LabelNames(QWidget* control) {
    QStringList names;
    for (const auto& [label, relation] : Accessible(control)->relations(QAccessible::Label))
        names.append(label->text(QAccessible::Name));
    return names;
}

// The names of everything a screen reader would read in the window (not reported invisible).
QStringList ReadableNames(QWidget& window) {
    QStringList names;
    std::function<void(QAccessibleInterface*)> walk = [&](QAccessibleInterface* node) {
        if (node->state().invisible) return;
        if (!node->text(QAccessible::Name).isEmpty()) names.append(node->text(QAccessible::Name));
        for (int i = 0; i < node->childCount(); ++i)
            walk(node->child(i));
    };
    walk(Accessible(&window));
    return names;
}

// The controls a user works with or reads progress from, as shown now.
std::vector<QWidget*> Controls(QWidget& window) {
    std::vector<QWidget*> controls;
    for (QWidget* child : window.findChildren<QWidget*>()) {
        bool control = child->focusPolicy() != Qt::NoFocus || qobject_cast<QProgressBar*>(child) ||
                       qobject_cast<QGroupBox*>(child);
        if (control && child->isVisible() && child->window() == &window) controls.push_back(child);
    }
    return controls;
}

// Every control has a name, a label's name when a label names it.
void ExpectNamed(QWidget& window) {
    for (QWidget* control : Controls(window)) {
        SCOPED_TRACE(control->objectName().toStdString());
        EXPECT_FALSE(Name(control).isEmpty());
        EXPECT_FALSE(Accessible(control)->state().invisible);
    }
}

// Tab from the first focus reaches every enabled control that takes the focus at all.
void ExpectKeyboardPath(QWidget& window) {
    ui_testing::ShowActive(window);
    std::set<QWidget*> reached;
    for (int press = 0; press < 20; ++press) {
        if (QWidget* focus = QApplication::focusWidget()) {
            reached.insert(focus);
            EXPECT_TRUE(Accessible(focus)->state().focused) << focus->objectName().toStdString();
        }
        QTest::keyClick(QApplication::focusWidget() ? QApplication::focusWidget() : &window,
                        Qt::Key_Tab);
    }
    for (QWidget* control : Controls(window)) {
        if (control->focusPolicy() != Qt::NoFocus && control->isEnabled())
            EXPECT_TRUE(reached.count(control))
                << "no Tab reaches " << control->objectName().toStdString();
    }
}

class Accessibility : public ::testing::Test {
  protected:
    void SetUp() override {
        Modal::Reset();
        Modal::SetUnattended(true);
    }
    void TearDown() override {
        window_.reset();
        Modal::Reset();
    }
    TBrenvoMain& Start(const std::string& options) {
        block_ = std::make_unique<PackagedBlock>(QuorvantManifest(options));
        window_ = std::make_unique<TBrenvoMain>(block_->package);
        EXPECT_EQ(window_->StartResult(), engine::StartEnd::Ready);
        return *window_;
    }

    std::unique_ptr<testing_support::TestMachine> machine_ = PresetMachine("typical");
    std::unique_ptr<PackagedBlock> block_;
    std::unique_ptr<TBrenvoMain> window_;
};

TEST_F(Accessibility, TheMainWindowInEachLanguage) {
    struct Case {
        char language;
        const char* list;
        const char* sentence;
        const char* update;
        const char* progress;
    } cases[] = {
        {'0', "Please select target drive", "It will be updated from QV11 To QV13", "Update",
         "Progress"},
        {'1', "請選擇您要更新的光碟機", "光碟機韌體將被更新 , 從 QV11 到 QV13", "更新", "進度"},
        {'2', "対象ドライブを選択して下さい。", "ファームウェアをアップデートします。 QV11 -> QV13",
         "アップデート", "進捗"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.language);
        TBrenvoMain& window = Start(WithDigit(kShippedOptions, 2, c.language));
        window.show();
        ExpectNamed(window);
        EXPECT_EQ(window.cboDrives->accessibleName(), c.list);
        EXPECT_EQ(LabelNames(window.cboDrives), QStringList{c.list});
        EXPECT_EQ(Name(window.cmdUpdate), c.update);
        EXPECT_EQ(Name(window.pbar), c.progress);

        // The revision line is one sentence; its parts are not read on their own.
        QStringList names = ReadableNames(window);
        EXPECT_TRUE(names.contains(c.sentence)) << names.join(" | ").toStdString();
        EXPECT_FALSE(names.contains("QV11"));
        EXPECT_FALSE(names.contains("QV13"));

        ExpectKeyboardPath(window);
        window_.reset();
    }
}

TEST_F(Accessibility, TheRevisionSentenceFollowsTheSelectedDrive) {
    TBrenvoMain& window = Start(kShippedOptions);
    window.show();
    window.cboDrives->setCurrentIndex(1);
    window.cboDrivesChange();
    EXPECT_EQ(Name(window.lblUpdateMsg), "This drive is not allowed to be updated.")
        << "the hidden revisions are not read";
    window.cboDrives->setCurrentIndex(0);
    window.cboDrivesChange();
    EXPECT_EQ(Name(window.lblUpdateMsg), "It will be updated from QV11 To QV13");
}

TEST_F(Accessibility, EveryDialogInEachLanguage) {
    QWidget owner;
    owner.setWindowTitle("Brenvo");
    for (int language : {0, 1, 2}) {
        SCOPED_TRACE(language);
        std::vector<std::unique_ptr<ui::Form>> forms;
        auto confirm = std::make_unique<dialogs::TUpdateCfm>(&owner);
        confirm->ApplyLanguage(language);
        EXPECT_EQ(Name(confirm->GroupBox1), confirm->Label2->text());
        forms.push_back(std::move(confirm));
        auto warning = std::make_unique<dialogs::TShowMsg>(&owner);
        warning->ApplyLanguage(language, 0);
        forms.push_back(std::move(warning));
        auto eject = std::make_unique<dialogs::TEjectDisc>(&owner);
        eject->ApplyLanguage(language);
        forms.push_back(std::move(eject));
        auto invalid = std::make_unique<dialogs::TInvalidUser>(&owner);
        invalid->ApplyLanguage(language);
        forms.push_back(std::move(invalid));
        auto none = std::make_unique<dialogs::TNoProperDrive>(&owner);
        none->ApplyLanguage(language);
        forms.push_back(std::move(none));
        auto most = std::make_unique<dialogs::TMostUpdate>(&owner);
        most->ApplyLanguage(language);
        forms.push_back(std::move(most));
        auto reboot = std::make_unique<dialogs::TReboot>(&owner);
        reboot->ApplyLanguage(language);
        if (language == 2) EXPECT_EQ(Name(reboot->cmdRebootNow), "いま");
        forms.push_back(std::move(reboot));
        auto zulk = std::make_unique<dialogs::TRebootZULK>(&owner);
        zulk->ApplyLanguage(language);
        forms.push_back(std::move(zulk));
        for (auto& form : forms) {
            SCOPED_TRACE(form->objectName().toStdString());
            form->show();
            ExpectNamed(*form);
            ExpectKeyboardPath(*form);
            form->close();
        }
    }
}

TEST_F(Accessibility, TheWizardsDrivePage) {
    TBrenvoMain& window = Start(WithDigit(WithDigit(kShippedOptions, 1, '2'), 7, '0'));
    auto* wizard = new wizard::TMainQV(window.Session(), &window, {"brenvo"});
    wizard->Flow().ShowDrivePage();
    wizard->show();
    ExpectNamed(*wizard);
    EXPECT_EQ(wizard->cboDrives->accessibleName(),
              "Select the supported Quorvant drive to be updated.");
    ASSERT_EQ(LabelNames(wizard->cboDrives).size(), 1);
    EXPECT_TRUE(LabelNames(wizard->cboDrives)[0].startsWith(
        "Select the supported Quorvant drive to be updated.\n"));
    EXPECT_TRUE(
        Name(wizard->lblMessage).endsWith("will be changed from\nversion QV11 to version QV13"))
        << Name(wizard->lblMessage).toStdString();
    QStringList names = ReadableNames(*wizard);
    EXPECT_FALSE(names.contains("QV11"));
    ExpectKeyboardPath(*wizard);

    wizard->Flow().ShowWelcomePage();
    EXPECT_EQ(Name(wizard->lblMessage), wizard->lblMessage->text());
}

}  // namespace
