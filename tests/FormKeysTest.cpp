#include <gtest/gtest.h>

#include "engine/FormKeys.h"

namespace {

using engine::ButtonForKey;
using engine::FormKey;

// Buttons as the forms hold them: pointers, null where a form has none.
struct FormButton {
    const char* name;
};

TEST(FormKeys, EnterPressesTheFocusedButtonAndOnlyThenTheDefault) {
    FormButton update{"Update"}, later{"Later"}, cancel{"Cancel"};
    // A user who moved to Later or Cancel and presses Enter gets that button, never Update.
    EXPECT_EQ(ButtonForKey(FormKey::Enter, &later, &update, &cancel), &later);
    EXPECT_EQ(ButtonForKey(FormKey::Enter, &cancel, &update, &cancel), &cancel);
    EXPECT_EQ(ButtonForKey(FormKey::Enter, &update, &update, &cancel), &update);
    EXPECT_EQ(ButtonForKey<FormButton*>(FormKey::Enter, nullptr, &update, &cancel), &update);
    EXPECT_EQ(ButtonForKey<FormButton*>(FormKey::Enter, nullptr, nullptr, &cancel), nullptr)
        << "a form without a default button ignores Enter";
}

TEST(FormKeys, EscapePressesTheCancelButtonWhereverTheFocusIs) {
    FormButton update{"Update"}, cancel{"Cancel"};
    EXPECT_EQ(ButtonForKey(FormKey::Escape, &update, &update, &cancel), &cancel);
    EXPECT_EQ(ButtonForKey<FormButton*>(FormKey::Escape, nullptr, &update, &cancel), &cancel);
    EXPECT_EQ(ButtonForKey<FormButton*>(FormKey::Escape, &update, &update, nullptr), nullptr);
}

}  // namespace
