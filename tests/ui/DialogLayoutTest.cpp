// What a user would see wrong in any dialog in any language: a character drawn as a box, text
// cut off, controls on top of each other or outside the window.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QGroupBox>
#include <functional>
#include <memory>

#include "dialogs/Frmejectdisc.h"
#include "dialogs/Frminvaliduser.h"
#include "dialogs/Frmmostupdate.h"
#include "dialogs/Frmnoproperdrive.h"
#include "dialogs/Frmreboot.h"
#include "dialogs/Frmrebootzulk.h"
#include "dialogs/Frmshowmsg.h"
#include "dialogs/Frmupdatecfm.h"
#include "tests/ui/UiTestSupport.h"

namespace {

struct Dialog {
    const char* name;
    std::function<std::unique_ptr<QWidget>(QWidget* owner, int language)> make;
};

template <typename Form>
std::unique_ptr<QWidget> Make(QWidget* owner, int language) {
    auto form = std::make_unique<Form>(owner);
    form->ApplyLanguage(language);
    return form;
}

std::unique_ptr<QWidget> MakeShowMsg(QWidget* owner, int language) {
    auto form = std::make_unique<dialogs::TShowMsg>(owner);
    form->ApplyLanguage(language, 0);
    return form;
}

const Dialog kDialogs[] = {
    {"TUpdateCfm", Make<dialogs::TUpdateCfm>},
    {"TShowMsg", MakeShowMsg},
    {"TEjectDisc", Make<dialogs::TEjectDisc>},
    {"TInvalidUser", Make<dialogs::TInvalidUser>},
    {"TNoProperDrive", Make<dialogs::TNoProperDrive>},
    {"TMostUpdate", Make<dialogs::TMostUpdate>},
    {"TReboot", Make<dialogs::TReboot>},
    {"TRebootZULK", Make<dialogs::TRebootZULK>},
};

// Shows the form in every language and hands it to `check`.
void ForEachForm(const std::function<void(QWidget&)>& check) {
    QWidget owner;
    owner.setWindowTitle("Brenvo 韌體 ファームウェア");
    for (const Dialog& dialog : kDialogs) {
        for (int language : {0, 1, 2}) {
            SCOPED_TRACE(testing::Message() << dialog.name << " language " << language);
            auto form = dialog.make(&owner, language);
            form->show();
            check(*form);
        }
    }
}

QString TextOf(QWidget* control) {
    if (auto* label = qobject_cast<QLabel*>(control)) return label->text();
    if (auto* button = qobject_cast<QAbstractButton*>(control)) return button->text();
    return {};
}

TEST(DialogLayout, EveryTextHasItsGlyphs) {
    ForEachForm([](QWidget& form) {
        auto caption = ui_testing::DrawnWith(form.windowTitle(), form.font());
        EXPECT_FALSE(caption.missingGlyph) << form.windowTitle().toStdString();
        for (QWidget* control : form.findChildren<QWidget*>()) {
            QString text = TextOf(control);
            if (text.isEmpty()) continue;
            auto drawn = ui_testing::DrawnWith(text, control->font());
            EXPECT_FALSE(drawn.missingGlyph) << text.toStdString();
        }
    });
}

TEST(DialogLayout, NoTextIsCutOff) {
    ForEachForm([](QWidget& form) {
        for (ui::Label* label : form.findChildren<ui::Label*>()) {
            if (label->isHidden()) continue;
            SCOPED_TRACE(label->objectName().toStdString());
            int needed = label->wordWrap() ? label->heightForWidth(label->width())
                                           : label->sizeHint().height();
            EXPECT_GE(label->height(), needed);
            if (!label->wordWrap()) {
                EXPECT_GE(label->width(), label->sizeHint().width());
            }
        }
        for (QAbstractButton* button : form.findChildren<QAbstractButton*>()) {
            EXPECT_GE(button->width(), button->sizeHint().width() - 8)
                << button->text().toStdString() << ": the style's padding may go, not the text";
        }
    });
}

TEST(DialogLayout, ControlsStayInsideTheWindowAndApart) {
    ForEachForm([](QWidget& form) {
        QList<QWidget*> controls;
        for (QWidget* control : form.findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
            if (control->isHidden()) continue;
            SCOPED_TRACE(control->objectName().toStdString());
            EXPECT_TRUE(form.rect().contains(control->geometry()))
                << "at " << control->geometry().right() << "," << control->geometry().bottom()
                << " in " << form.width() << "x" << form.height();
            controls.append(control);
        }
        // A picture's box may be larger than the icon it draws in its top left corner.
        auto drawnArea = [](QWidget* control) {
            auto* label = qobject_cast<QLabel*>(control);
            if (label && !label->pixmap().isNull())
                return QRect(control->pos(), label->pixmap().deviceIndependentSize().toSize());
            return control->geometry();
        };
        for (qsizetype i = 0; i < controls.size(); ++i) {
            for (qsizetype j = i + 1; j < controls.size(); ++j) {
                EXPECT_FALSE(drawnArea(controls[i]).intersects(drawnArea(controls[j])))
                    << controls[i]->objectName().toStdString() << " overlaps "
                    << controls[j]->objectName().toStdString();
            }
        }
        for (QGroupBox* group : form.findChildren<QGroupBox*>()) {
            for (QWidget* inside : group->findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
                EXPECT_TRUE(group->rect().contains(inside->geometry()))
                    << inside->objectName().toStdString();
            }
        }
    });
}

}  // namespace
