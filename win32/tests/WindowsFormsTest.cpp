// The dialogs as Win32 draws them: their words, fonts and places in the three languages read
// back through the system, and their keys and answers.
#include <gtest/gtest.h>

#include <memory>

#include "engine/DialogTexts.h"
#include "tests/TestMachine.h"
#include "win32/Dialogs.h"
#include "win32/Modal.h"
#include "win32/tests/Win32TestSupport.h"

namespace {
using namespace win32ui;
using win32_testing::At;
using win32_testing::ClientOf;
using win32_testing::FontOf;
using win32_testing::LanguageName;
using win32_testing::Picture;
using win32_testing::PostKey;
using win32_testing::Text;

class Forms : public ::testing::Test {
  protected:
    void SetUp() override {
        Modal::Reset();
        ResetQuit();
        owner_ = std::make_unique<Form>("Owner", WS_OVERLAPPEDWINDOW);
        owner_->SetCaption("Firmware Flasher - QV13");
    }
    void TearDown() override { Modal::Reset(); }

    // The form shown as its caller shows it, with `key` pressed on `control`.
    static void Press(Form& form, HWND control, WPARAM key) {
        Modal::QueueAction([control, key](Form&) { PostKey(control, key); });
        Modal::Show(form, nullptr);
    }

    testing_support::TestMachine machine_;
    std::unique_ptr<Form> owner_;
};

void ExpectJapanese(HWND control, int points) {
    win32_testing::Font font = FontOf(control);
    EXPECT_EQ(font.face, "MS Gothic") << Text(control);
    EXPECT_EQ(font.charset, kShiftJisCharset);
    EXPECT_EQ(font.height, HeightOfPoints(points));
    EXPECT_FALSE(font.bold);
}

void ExpectTahoma(HWND control, bool bold) {
    win32_testing::Font font = FontOf(control);
    EXPECT_EQ(font.face, "Tahoma") << Text(control);
    EXPECT_EQ(font.height, -11);
    EXPECT_EQ(font.bold, bold);
    EXPECT_EQ(font.charset, kAnsiCharset);
}

void ExpectBox(HWND control, RECT expected) {
    RECT box = At(control);
    EXPECT_EQ(box.left, expected.left) << Text(control);
    EXPECT_EQ(box.top, expected.top) << Text(control);
    if (expected.right) {
        EXPECT_EQ(box.right, expected.right) << Text(control);
    }
    if (expected.bottom) {
        EXPECT_EQ(box.bottom, expected.bottom) << Text(control);
    }
}

TEST_F(Forms, UpdateConfirmSpeaksEachLanguageAtItsPlaces) {
    for (int language : {0, 1, 2}) {
        SCOPED_TRACE(language);
        TUpdateCfm form(owner_->Handle());
        form.SetText(form.lblOldFW, "QV11");
        form.SetText(form.lblNewFW, "QV13");
        form.ApplyLanguage(language);
        engine::UpdateCfmTexts words = engine::UpdateCfmWords(language);
        EXPECT_EQ(form.Caption(), words.caption);
        EXPECT_EQ(Text(form.Label1), words.message);
        EXPECT_EQ(Text(form.Label5), language == 2 ? "Version" : words.version);
        EXPECT_EQ(Text(form.cmdOK), words.ok);
        EXPECT_EQ(Text(form.cmdCancel), words.cancel);
        EXPECT_EQ(Text(form.lblOldFW), "QV11") << "the revisions stay as the caller set them";
        EXPECT_EQ(Text(form.Label8), "-->");
        SIZE client = ClientOf(form.Handle());
        EXPECT_EQ(client.cx, 462);
        EXPECT_EQ(client.cy, 212);
        ExpectBox(form.cmdOK, {119, 177, 96, 25});
        ExpectBox(form.cmdCancel, {271, 177, 96, 25});
        ExpectBox(form.GroupBox1, {48, 56, 389, 109});
        ExpectBox(form.lblOldFW, {48 + 121, 56 + 64, 0, 0});
        EXPECT_EQ(GetWindowLongW(form.Handle(), GWL_STYLE) & WS_SYSMENU, 0)
            << "no title-bar buttons";
        if (language == 2) {
            for (HWND label : {form.Label1, form.Label2, form.Label3, form.Label4, form.Label5})
                ExpectJapanese(label, 9);
            ExpectJapanese(form.cmdOK, 8);
        } else {
            ExpectTahoma(form.Label1, true);
            ExpectTahoma(form.cmdOK, true);
        }
        ExpectTahoma(form.lblNewFW, true);
        Picture(form.Handle(), std::string("UpdateCfm-") + LanguageName(language));
    }
}

TEST_F(Forms, UpdateConfirmTakesEnterOnTheFocusedButtonAndEscapeAsCancel) {
    uint8_t answer = 7;
    {
        TUpdateCfm form(owner_->Handle());
        form.SetAnswerFlag(&answer);
        // The focus sits on Cancel, first in the tab order: Enter presses Cancel.
        Press(form, form.cmdCancel, VK_RETURN);
        EXPECT_EQ(answer, 0);
        EXPECT_TRUE(form.Closed());
    }
    {
        TUpdateCfm form(owner_->Handle());
        form.SetAnswerFlag(&answer);
        Press(form, form.cmdOK, VK_RETURN);
        EXPECT_EQ(answer, 1) << "Enter on Update";
    }
    {
        TUpdateCfm form(owner_->Handle());
        form.SetAnswerFlag(&answer);
        Press(form, form.Handle(), VK_RETURN);
        EXPECT_EQ(answer, 1) << "no button has the focus: the default button";
    }
    {
        TUpdateCfm form(owner_->Handle());
        form.SetAnswerFlag(&answer);
        Press(form, form.cmdOK, VK_ESCAPE);
        EXPECT_EQ(answer, 0);
    }
    {
        TUpdateCfm form(owner_->Handle());
        Press(form, form.cmdOK, VK_RETURN);  // no flag: the buttons only close the form
        EXPECT_TRUE(form.Closed());
    }
}

TEST_F(Forms, ShowMsgFollowsItsMessageAndKeepsItsButtonsCentred) {
    for (int language : {0, 1, 2}) {
        for (int variant : {0, 2, 3}) {
            SCOPED_TRACE(std::to_string(language) + "/" + std::to_string(variant));
            TShowMsg form(owner_->Handle());
            form.ApplyLanguage(language, variant);
            engine::ShowMsgTexts words =
                variant <= 2 ? engine::ShowMsgWords(language) : engine::ShowMsgDesignWords();
            EXPECT_EQ(form.Caption(), words.caption);
            EXPECT_EQ(Text(form.cmdYes), words.yes);
            EXPECT_EQ(Text(form.cmdNo), words.no);
            int width = ClientOf(form.Handle()).cx;
            EXPECT_EQ(width, 32 + At(form.lblShowMsg).right + 34);
            RECT yes = At(form.cmdYes), no = At(form.cmdNo);
            EXPECT_EQ(yes.left + yes.right + 5, width / 2);
            EXPECT_EQ(no.left, width / 2 + 5) << "10 pixels between the buttons";
            EXPECT_EQ(yes.top, 68);
            if (variant > 2) continue;
            if (language == 2) {
                EXPECT_EQ(FontOf(form.lblShowMsg).face, "MS Gothic");
                EXPECT_EQ(FontOf(form.cmdNo).charset, kShiftJisCharset);
            } else if (language == 0 && variant == 2) {
                EXPECT_EQ(FontOf(form.lblShowMsg).charset, kBig5Charset);
                EXPECT_EQ(FontOf(form.lblShowMsg).height, HeightOfPoints(9));
            } else {
                ExpectTahoma(form.lblShowMsg, false);
            }
            if (variant == 0)
                Picture(form.Handle(), std::string("ShowMsg-") + LanguageName(language));
        }
    }
}

TEST_F(Forms, ShowMsgAnswersYesOnEnterAndNoOnEscape) {
    uint8_t answer = 0;
    {
        TShowMsg form(owner_->Handle());
        form.SetAnswerFlag(&answer);
        Press(form, form.cmdYes, VK_RETURN);
        EXPECT_EQ(answer, 1);
    }
    {
        TShowMsg form(owner_->Handle());
        form.SetAnswerFlag(&answer);
        Press(form, form.cmdNo, VK_RETURN);
        EXPECT_EQ(answer, 0) << "Enter on No";
    }
    {
        TShowMsg form(owner_->Handle());
        form.SetAnswerFlag(&answer);
        Press(form, form.cmdYes, VK_ESCAPE);
        EXPECT_EQ(answer, 0);
    }
    {
        // Closed by its title bar: the flag keeps the caller's value.
        answer = 1;
        TShowMsg form(owner_->Handle());
        form.SetAnswerFlag(&answer);
        Modal::QueueAction([](Form& shown) { PostMessageW(shown.Handle(), WM_CLOSE, 0, 0); });
        Modal::Show(form, nullptr);
        EXPECT_EQ(answer, 1);
        EXPECT_TRUE(form.Closed());
    }
}

TEST_F(Forms, EjectDiscIgnoresEscapeAndTakesTheOwnersCaptionInChinese) {
    for (int language : {0, 1, 2}) {
        SCOPED_TRACE(language);
        TEjectDisc form(owner_->Handle());
        form.ApplyLanguage(language);
        engine::EjectDiscTexts words = engine::EjectDiscWords(language);
        EXPECT_EQ(form.Caption(), language == 1 ? "Firmware Flasher - QV13" : words.caption);
        EXPECT_EQ(Text(form.Label1), words.label1);
        EXPECT_EQ(Text(form.cmdCancel), words.cancel);
        RECT frame{};
        GetWindowRect(form.Handle(), &frame);
        EXPECT_EQ(frame.right - frame.left, 391);
        EXPECT_EQ(frame.bottom - frame.top, 146);
        ExpectBox(form.cmdOK, {60, 80, 101, 25});
        ExpectBox(form.Label2, {56, 36, 317, 0});
        if (language == 2) {
            ExpectJapanese(form.Label1, 9);
            ExpectJapanese(form.cmdOK, 10);
            ExpectJapanese(form.cmdCancel, 9);
        } else {
            ExpectTahoma(form.Label1, true);
            ExpectTahoma(form.cmdOK, false);
        }
        Picture(form.Handle(), std::string("EjectDisc-") + LanguageName(language));
    }
    uint8_t answer = 1;
    TEjectDisc form(owner_->Handle());
    form.SetAnswerFlag(&answer);
    Press(form, form.cmdOK, VK_ESCAPE);
    EXPECT_EQ(answer, 1) << "Escape does nothing";
    EXPECT_FALSE(IsWindowVisible(form.Handle()) && !form.Closed());
    TEjectDisc second(owner_->Handle());
    second.SetAnswerFlag(&answer);
    answer = 0;
    Press(second, second.cmdOK, VK_RETURN);
    EXPECT_EQ(answer, 1) << "Enter on OK";
    TEjectDisc third(owner_->Handle());
    third.SetAnswerFlag(&answer);
    Press(third, third.cmdCancel, VK_RETURN);
    EXPECT_EQ(answer, 0) << "Enter on Cancel";
}

TEST_F(Forms, RefusalsSpeakEachLanguageAndCloseOnEnter) {
    for (int language : {0, 1, 2}) {
        SCOPED_TRACE(language);
        TMostUpdate most(owner_->Handle());
        most.ApplyLanguage(language);
        TNoProperDrive none(owner_->Handle());
        none.ApplyLanguage(language);
        TInvalidUser user(owner_->Handle());
        user.ApplyLanguage(language);
        struct Shown {
            RefusalForm& form;
            engine::DialogId id;
            RECT ok;
        } shown[] = {{most, engine::DialogId::MostUpdate, {148, 68, 101, 25}},
                     {none, engine::DialogId::NoProperDrive, {160, 64, 101, 25}},
                     {user, engine::DialogId::InvalidUser, {156, 84, 101, 25}}};
        for (Shown& s : shown) {
            engine::RefusalTexts words = engine::RefusalWords(s.id, language);
            EXPECT_EQ(s.form.Caption(),
                      words.captionFromOwner ? "Firmware Flasher - QV13" : words.caption);
            EXPECT_EQ(Text(s.form.Label1), words.label1);
            EXPECT_EQ(Text(s.form.cmdOK), words.ok);
            ExpectBox(s.form.cmdOK, s.ok);
            if (language == 2) {
                ExpectJapanese(s.form.Label1, 9);
                ExpectJapanese(s.form.cmdOK, 10);
            } else {
                ExpectTahoma(s.form.Label1, true);
            }
        }
        engine::RefusalTexts userWords =
            engine::RefusalWords(engine::DialogId::InvalidUser, language);
        EXPECT_EQ((GetWindowLongW(user.Label2, GWL_STYLE) & WS_VISIBLE) != 0,
                  !userWords.label2.empty());
        if (!userWords.label2.empty()) {
            EXPECT_EQ(Text(user.Label2), userWords.label2);
        }
        Picture(most.Handle(), std::string("MostUpdate-") + LanguageName(language));
        Picture(none.Handle(), std::string("NoProperDrive-") + LanguageName(language));
        Picture(user.Handle(), std::string("InvalidUser-") + LanguageName(language));
    }
    TNoProperDrive form(owner_->Handle());
    Press(form, form.cmdOK, VK_ESCAPE);
    EXPECT_FALSE(IsWindowVisible(form.Handle()) && !form.Closed());
    TNoProperDrive second(owner_->Handle());
    Press(second, second.cmdOK, VK_RETURN);
    EXPECT_TRUE(second.Closed());
}

TEST_F(Forms, RebootFormsRestartTheComputerOnlyWhenAskedTo) {
    for (int language : {0, 1, 2}) {
        SCOPED_TRACE(language);
        TReboot reboot(owner_->Handle());
        reboot.ApplyLanguage(language);
        engine::RebootTexts words = engine::RebootWords(language);
        EXPECT_EQ(reboot.Caption(), words.caption);
        EXPECT_EQ(Text(reboot.Label1), words.label1);
        EXPECT_EQ(Text(reboot.cmdRebootNow), words.now);
        ExpectBox(reboot.cmdRebootLater, {71, 68, 77, 25});
        ExpectBox(reboot.Label1, {56, 20, 0, 0});
        TRebootZULK zulk(owner_->Handle());
        zulk.ApplyLanguage(language);
        engine::RebootZulkTexts zulkWords = engine::RebootZulkWords(language);
        EXPECT_EQ(zulk.Caption(), zulkWords.caption);
        EXPECT_EQ(Text(zulk.Label2), zulkWords.label2);
        EXPECT_EQ(Text(zulk.cmdRebootZULKNow), zulkWords.reboot);
        ExpectBox(zulk.cmdRebootZULKNow, {167, 112, 102, 25});
        if (language == 2) {
            ExpectJapanese(reboot.Label1, 9);
            ExpectJapanese(reboot.cmdRebootNow, 8);
            ExpectTahoma(reboot.Label2, false);
            ExpectJapanese(zulk.Label2, 9);
        }
        Picture(reboot.Handle(), std::string("Reboot-") + LanguageName(language));
        Picture(zulk.Handle(), std::string("RebootZULK-") + LanguageName(language));
    }
    {
        TReboot later(owner_->Handle());
        Press(later, later.cmdRebootNow, VK_ESCAPE);  // no cancel button: nothing
        EXPECT_EQ(machine_.machine().restart.requests, 0);
    }
    {
        TReboot form(owner_->Handle());
        Modal::QueueAction([&form](Form&) { form.Click(form.cmdRebootLater); });
        Modal::Show(form, nullptr);
        EXPECT_EQ(machine_.machine().restart.requests, 0) << "later, not now";
    }
    {
        TReboot form(owner_->Handle());
        Press(form, form.cmdRebootLater, VK_RETURN);
        EXPECT_EQ(machine_.machine().restart.requests, 0) << "Enter on Later does not restart";
        EXPECT_TRUE(form.Closed());
    }
    {
        TReboot form(owner_->Handle());
        Press(form, form.cmdRebootNow, VK_RETURN);
        EXPECT_EQ(machine_.machine().restart.requests, 1) << "Enter on Now";
    }
    {
        TRebootZULK form(owner_->Handle());
        Press(form, form.cmdRebootZULKNow, VK_RETURN);
        EXPECT_EQ(machine_.machine().restart.requests, 2);
    }
}

TEST_F(Forms, MessageBoxesTakeQueuedAnswersAndNeverWaitInAScript) {
    Modal::QueueAnswer(IDNO);
    EXPECT_EQ(Modal::Message(nullptr, MessageKind::Warning, "Brenvo", "Go on?", MB_YESNO), IDNO);
    Modal::SetUnattended(true);
    EXPECT_EQ(Modal::Message(nullptr, MessageKind::Error, "Brenvo", "Nobody reads this"), 0);
    EXPECT_EQ(Modal::Unanswered(), 1);
    ASSERT_EQ(Modal::Messages().size(), 2u);
    EXPECT_EQ(Modal::Messages()[0].buttons, static_cast<UINT>(MB_YESNO));
    EXPECT_EQ(Modal::Messages()[1].text, "Nobody reads this");
}

}  // namespace
