// Which key each gamepad button presses, and the stick's one press per push.
#include <gtest/gtest.h>

#include "menus/key_map.h"
#include "platform/keys.h"

namespace zorvan {
namespace {

TEST(Gamepad, ButtonsFollowTheKeyMapInAGameAndTheArrowsInTheMenus) {
    const PadKeys game = padKeysFor(kDefaultKeys, true);
    EXPECT_EQ(padKey(game, PadButton::Up), vk::Up);
    EXPECT_EQ(padKey(game, PadButton::Left), vk::Left);
    EXPECT_EQ(padKey(game, PadButton::Right), vk::Right);
    EXPECT_EQ(padKey(game, PadButton::Down), vk::Down);
    EXPECT_EQ(padKey(game, PadButton::A), vk::Enter);
    EXPECT_EQ(padKey(game, PadButton::B), vk::Escape);
    EXPECT_EQ(padKey(game, PadButton::X), vk::Ctrl);
    EXPECT_EQ(padKey(game, PadButton::Y), vk::Shift);
    EXPECT_EQ(padKey(game, PadButton::LeftShoulder), vk::PageUp);
    EXPECT_EQ(padKey(game, PadButton::RightShoulder), vk::PageDown);
    EXPECT_EQ(padKey(game, PadButton::Start), 'P');
    EXPECT_EQ(padKey(game, PadButton::Back), vk::Enter);

    // A remapped key map moves the buttons with it in a game, never in the menus.
    KeyCodes remapped = kDefaultKeys;
    remapped[0] = 'W';   // kstart
    remapped[1] = 'A';   // kleft
    remapped[2] = 'D';   // kright
    remapped[3] = 'S';   // kstop
    remapped[4] = vk::Space;  // kaction
    remapped[5] = 'Q';   // kscore
    remapped[8] = 'T';   // kstats
    remapped[10] = vk::F9;  // kpause
    const PadKeys moved = padKeysFor(remapped, true);
    EXPECT_EQ(padKey(moved, PadButton::Up), 'W');
    EXPECT_EQ(padKey(moved, PadButton::Left), 'A');
    EXPECT_EQ(padKey(moved, PadButton::Right), 'D');
    EXPECT_EQ(padKey(moved, PadButton::Down), 'S');
    EXPECT_EQ(padKey(moved, PadButton::X), vk::Space);
    EXPECT_EQ(padKey(moved, PadButton::Y), 'Q');
    EXPECT_EQ(padKey(moved, PadButton::Back), 'T');
    EXPECT_EQ(padKey(moved, PadButton::Start), vk::F9);
    EXPECT_EQ(padKey(moved, PadButton::A), vk::Enter);

    const PadKeys menus = padKeysFor(remapped, false);
    EXPECT_EQ(padKey(menus, PadButton::Up), vk::Up);
    EXPECT_EQ(padKey(menus, PadButton::Down), vk::Down);
    EXPECT_EQ(padKey(menus, PadButton::Left), vk::Left);
    EXPECT_EQ(padKey(menus, PadButton::Right), vk::Right);
    EXPECT_EQ(padKey(menus, PadButton::A), vk::Enter);
    EXPECT_EQ(padKey(menus, PadButton::B), vk::Escape);
    // The status key is Enter by default: Back must not choose menu entries.
    EXPECT_EQ(padKey(padKeysFor(kDefaultKeys, false), PadButton::Back), 0);
    EXPECT_EQ(padKey(menus, PadButton::X), 0);
    EXPECT_EQ(padKey(menus, PadButton::Start), 0);
}

TEST(Gamepad, AStickPushIsOnePressWhateverItWobbles) {
    StickAxis axis;
    EXPECT_EQ(axis.update(3000), 0);
    EXPECT_EQ(axis.update(StickAxis::kPress - 1), 0);
    EXPECT_EQ(axis.update(StickAxis::kPress), 1);
    // Wobbling around the threshold and falling back part of the way: still the one push.
    for (int v : {StickAxis::kPress - 500, StickAxis::kPress + 500, 32767, StickAxis::kRelease, 12000, 20000})
        EXPECT_EQ(axis.update(v), 0) << v;
    EXPECT_EQ(axis.side(), 1);
    // Back inside the release zone, then out again: a second push.
    EXPECT_EQ(axis.update(StickAxis::kRelease - 1), 0);
    EXPECT_EQ(axis.side(), 0);
    EXPECT_EQ(axis.update(20000), 1);
    // Straight over to the other side within one reading: a push that way.
    EXPECT_EQ(axis.update(-32768), -1);
    EXPECT_EQ(axis.update(-9000), 0);
    EXPECT_EQ(axis.update(0), 0);
    EXPECT_EQ(axis.update(-StickAxis::kPress), -1);
}

}  // namespace
}  // namespace zorvan
