// The message boxes a user meets: Qt's own buttons in the package's language (the wizard's own
// questions in English), and every line of a text kept whole as it was given, in every
// language. The program also runs these at twice the scale (see CMakeLists.txt).
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>
#include <functional>
#include <memory>

#include "app/Frmbrenvo.h"
#include "dialogs/Modal.h"
#include "dialogs/QtWords.h"
#include "engine/StartupTexts.h"
#include "engine/UpdateTexts.h"
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

// The custom-dialog variant: its checklist (OK, Cancel) comes before the main window.
const std::string kChecklistOptions = WithDigit(kShippedOptions, 1, '1');

struct Language {
    char digit;
    int code;
    const char* ok;
    const char* cancel;
    const char* yes;
    const char* no;
};
constexpr Language kLanguages[] = {
    {'0', 0, "OK", "Cancel", "&Yes", "&No"},
    {'1', 1, "確定", "取消", "是(&Y)", "否(&N)"},
    {'2', 2, "OK", "キャンセル", "はい(&Y)", "いいえ(&N)"},
};

// The next message box, looked at while it is on the screen and then answered with `answer`.
void WhenShown(std::function<void(QMessageBox&)> look,
               QMessageBox::StandardButton answer = QMessageBox::Ok) {
    QTimer::singleShot(0, [look, answer] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (!box) {
            ADD_FAILURE() << "no message box is shown";
            return;
        }
        // As the user sees it, once the box has settled (polished, laid out again).
        QTest::qWait(20);
        look(*box);
        box->button(answer)->click();
    });
}

QString ButtonText(QMessageBox& box, QMessageBox::StandardButton which) {
    QAbstractButton* button = box.button(which);
    return button ? button->text() : QString("(none)");
}

// Every given line fits the box's text whole: nothing is wrapped onto a line of its own.
void ExpectGivenLinesKept(QMessageBox& box, const QString& text) {
    auto* label = box.findChild<QLabel*>("qt_msgbox_label");
    ASSERT_NE(label, nullptr);
    const QFontMetrics metrics(label->font());
    const QStringList lines = text.split('\n');
    for (const QString& line : lines)
        EXPECT_LE(metrics.horizontalAdvance(line), label->contentsRect().width())
            << "broken: " << line.toStdString();
    EXPECT_GE(label->height(), lines.size() * metrics.lineSpacing()) << "cut off at the bottom";
    EXPECT_LE(label->geometry().right(), box.width()) << "the text runs out of the box";
}

class MessageBoxWords : public ::testing::Test {
  protected:
    void SetUp() override { Modal::Reset(); }
    void TearDown() override {
        window_.reset();
        Modal::Reset();
        ui::UseQtWords(ui::kLanguageEnglish);
    }

    std::unique_ptr<testing_support::TestMachine> machine_ = PresetMachine("typical");
    std::unique_ptr<PackagedBlock> block_;
    std::unique_ptr<TBrenvoMain> window_;
};

TEST_F(MessageBoxWords, TheChecklistAtStartHasQtsButtonsAndWholeLinesInThePackagesLanguage) {
    for (const Language& language : kLanguages) {
        SCOPED_TRACE(language.digit);
        QString ok, cancel;
        const QString text = QString::fromStdString(engine::ChecklistText(language.code));
        WhenShown([&](QMessageBox& box) {
            ok = ButtonText(box, QMessageBox::Ok);
            cancel = ButtonText(box, QMessageBox::Cancel);
            ExpectGivenLinesKept(box, text);
        });
        block_ = std::make_unique<PackagedBlock>(
            QuorvantManifest(WithDigit(kChecklistOptions, 2, language.digit)));
        window_ = std::make_unique<TBrenvoMain>(block_->package);
        EXPECT_EQ(window_->StartResult(), engine::StartEnd::Ready);
        ASSERT_EQ(Modal::Messages().size(), 1u);
        EXPECT_EQ(Modal::Messages()[0].text, text);
        EXPECT_EQ(ok, language.ok);
        EXPECT_EQ(cancel, language.cancel);
        window_.reset();
        Modal::Reset();
    }
}

TEST_F(MessageBoxWords, QuestionsAfterStartAskInThePackagesLanguageWithLinesKept) {
    for (const Language& language : kLanguages) {
        SCOPED_TRACE(language.digit);
        // The notice of kind 2 (Yes, No), in the main window's language.
        block_ = std::make_unique<PackagedBlock>(
            QuorvantManifest(WithDigit(WithDigit(kShippedOptions, 2, language.digit), 10, '2')));
        QString yes, no;
        const QString notice =
            QString::fromStdString(engine::NoticeText(language.code, "DVD-RW QV-1600", 2));
        WhenShown(
            [&](QMessageBox& box) {
                yes = ButtonText(box, QMessageBox::Yes);
                no = ButtonText(box, QMessageBox::No);
                ExpectGivenLinesKept(box, notice);
            },
            QMessageBox::Yes);
        window_ = std::make_unique<TBrenvoMain>(block_->package);
        ASSERT_EQ(window_->StartResult(), engine::StartEnd::Ready);
        EXPECT_EQ(yes, language.yes);
        EXPECT_EQ(no, language.no);

        // The messages of a run, on the shown window.
        window_->show();
        for (engine::UpdateText which :
             {engine::UpdateText::Success, engine::UpdateText::Failure,
              engine::UpdateText::CannotEject, engine::UpdateText::RemoveDisc}) {
            const QString text = QString::fromStdString(engine::Text(which, language.code));
            QString ok;
            WhenShown([&](QMessageBox& box) {
                ok = ButtonText(box, QMessageBox::Ok);
                ExpectGivenLinesKept(box, text);
            });
            window_->Session().ShowMessage(engine::MessageKind::Information, text.toStdString(),
                                           "");
            EXPECT_EQ(ok, language.ok);
        }
        window_.reset();
        Modal::Reset();
    }
}

TEST_F(MessageBoxWords, TheWizardAsksInEnglishWhateverThePackagesLanguage) {
    block_ = std::make_unique<PackagedBlock>(
        QuorvantManifest(WithDigit(WithDigit(WithDigit(kShippedOptions, 1, '2'), 2, '2'), 7, '0')));
    window_ = std::make_unique<TBrenvoMain>(block_->package);
    ASSERT_EQ(window_->StartResult(), engine::StartEnd::Ready);
    auto* wizard = new wizard::TMainQV(window_->Session(), window_.get(), {"brenvo"});
    wizard->show();
    QString yes, no;
    WhenShown(
        [&](QMessageBox& box) {
            yes = ButtonText(box, QMessageBox::Yes);
            no = ButtonText(box, QMessageBox::No);
        },
        QMessageBox::No);
    wizard->btnCancel->click();
    EXPECT_EQ(yes, "&Yes");
    EXPECT_EQ(no, "&No");

    // The run's own messages keep the package's language.
    QString cancel;
    WhenShown([&](QMessageBox& box) { cancel = ButtonText(box, QMessageBox::Cancel); });
    window_->Session().Ask("?", "", engine::AskButtons::OkCancel);
    EXPECT_EQ(cancel, "キャンセル");
}

}  // namespace
