// The program's error report and the core's message boxes in the windows' hands.
#include <gtest/gtest.h>

#include "app/Application.h"
#include "dialogs/Modal.h"
#include "platform/MessageBox.h"

namespace {
using ui::MessageKind;
using ui::Modal;

class CoreMessageBoxes : public ::testing::Test {
  protected:
    void SetUp() override {
        Modal::Reset();
        Modal::SetUnattended(true);
        app::InstallMessageBoxHandler();
    }
    void TearDown() override {
        platform::SetMessageBoxHandler(nullptr);
        Modal::Reset();
    }
};

TEST(ErrorReport, EndsTheErrorsWordsWithAFullStop) {
    EXPECT_EQ(app::ExceptionReportText("bad allocation"), "bad allocation.");
    EXPECT_EQ(app::ExceptionReportText("Access denied !"), "Access denied !");
    EXPECT_EQ(app::ExceptionReportText("Done."), "Done.");
    EXPECT_EQ(app::ExceptionReportText(""), "An unexpected error occurred.")
        << "an error without words still says something";
}

TEST_F(CoreMessageBoxes, AreShownAsTheWindowsShowTheirs) {
    platform::ShowMessageBox("Device object initialize failed !", "Error ...",
                             platform::MessageIcon::Error);
    platform::ShowMessageBox("careful", "W", platform::MessageIcon::Warning);
    ASSERT_EQ(Modal::Messages().size(), 2u);
    EXPECT_EQ(Modal::Messages()[0].kind, MessageKind::Error);
    EXPECT_EQ(Modal::Messages()[0].title, "Error ...");
    EXPECT_EQ(Modal::Messages()[0].text, "Device object initialize failed !");
    EXPECT_EQ(Modal::Messages()[1].kind, MessageKind::Warning);
}

}  // namespace
