#include "res/resources.h"

#include <gtest/gtest.h>

#include <set>
#include <vector>

namespace {

TEST(Resources, MainDialogHoldsEveryControlInTabOrder) {
    const res::DialogTemplate* dialog = res::FindDialogTemplate(res::kMainDialog);
    ASSERT_NE(dialog, nullptr);
    EXPECT_EQ(dialog->caption, "Ordelin");
    EXPECT_EQ(dialog->width, 336);
    EXPECT_EQ(dialog->height, 260);
    EXPECT_EQ(dialog->fontName, "MS Sans Serif");
    EXPECT_NE(dialog->frameStyles & res::frame::kAppWindow, 0u);

    const std::vector<int> tabOrder{1025, 1026, 1027, 1028, 1005, 1006, 1004, 1008, 1009,
                                    1000, 1001, 1,    2,    1002, 1003, 1007, 1010, 1011,
                                    1012, 1017, 1018, 1019, 1020, 1030, 1032, 1033};
    std::vector<int> ids;
    std::set<int> unique;
    for (const res::ControlTemplate& c : dialog->controls) {
        if (c.id == res::kStaticId) continue;
        EXPECT_TRUE(unique.insert(c.id).second) << "id " << c.id << " twice";
        if (ids.size() < tabOrder.size()) ids.push_back(c.id);
    }
    EXPECT_EQ(ids, tabOrder);
    EXPECT_EQ(unique.size(), tabOrder.size() + 10);  // and the ten numbered labels

    struct Expected {
        int id;
        res::ControlKind kind;
        const char* text;
        res::Place place;
    };
    const Expected samples[] = {
        {1026, res::ControlKind::ComboBox, "", {225, 21, 35, 179}},
        {1, res::ControlKind::PushButton, "Build File", {269, 186, 50, 14}},
        {1002, res::ControlKind::ListBox, "", {175, 106, 56, 50}},
        {1033, res::ControlKind::ProgressBar, "", {31, 235, 273, 14}},
        {1031, res::ControlKind::Text, "Key Pos:", {175, 69, 45, 8}},
    };
    for (const Expected& e : samples) {
        const res::ControlTemplate* c = dialog->FindControl(e.id);
        ASSERT_NE(c, nullptr) << e.id;
        EXPECT_EQ(c->kind, e.kind) << e.id;
        EXPECT_EQ(c->text, e.text) << e.id;
        EXPECT_EQ(c->place, e.place) << e.id;
    }
    EXPECT_NE(dialog->FindControl(1033)->styles & res::style::kHidden, 0u);
    EXPECT_NE(dialog->FindControl(1005)->styles & res::style::kDigitsOnly, 0u);
    EXPECT_NE(dialog->FindControl(1017)->styles & res::style::kReadOnly, 0u);
    EXPECT_EQ(dialog->FindControl(1000)->styles & res::style::kTabStop, 0u);
    EXPECT_EQ(dialog->FindControl(res::kStaticId), nullptr);
}

TEST(Resources, AboutBoxStringAndIcon) {
    const res::DialogTemplate* about = res::FindDialogTemplate(res::kAboutDialog);
    ASSERT_NE(about, nullptr);
    EXPECT_EQ(about->caption, "About Ordelin");
    EXPECT_EQ(about->width, 235);
    EXPECT_EQ(about->height, 55);
    ASSERT_NE(about->FindControl(1), nullptr);
    EXPECT_EQ(about->FindControl(1)->text, "OK");
    EXPECT_EQ(res::FindDialogTemplate(101), nullptr);

    EXPECT_EQ(res::LoadString(res::kAboutMenuText), "&About Ordelin...");
    EXPECT_EQ(res::LoadString(102), "");

    const res::IconResource* icon = res::FindIcon(res::kAppIcon);
    ASSERT_NE(icon, nullptr);
    ASSERT_GT(icon->png.size(), 24u);
    const std::vector<uint8_t> signature{0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    EXPECT_EQ(std::vector<uint8_t>(icon->png.begin(), icon->png.begin() + 8), signature);
    // The header's width and height (big-endian at 16 and 20) match the resource's.
    auto be32 = [&](size_t at) {
        return (icon->png[at] << 24) | (icon->png[at + 1] << 16) | (icon->png[at + 2] << 8) |
               icon->png[at + 3];
    };
    EXPECT_EQ(be32(16), icon->width);
    EXPECT_EQ(be32(20), icon->height);
    EXPECT_EQ(icon->svg.substr(0, 4), "<svg");
    EXPECT_EQ(res::FindIcon(129), nullptr);
}

}  // namespace
