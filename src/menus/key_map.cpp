#include "menus/key_map.h"

#include "game/main_form.h"
#include "menus/bank_clips.h"
#include "platform/keys.h"

namespace zorvan {

namespace {

constexpr std::string_view kKeysFile = "keys.dat";

}  // namespace

PadKeys padKeysFor(const KeyCodes& c, bool inGame) {
    PadKeys keys{};
    auto set = [&keys](PadButton b, int key) { keys[static_cast<std::size_t>(b)] = key; };
    if (inGame) {
        set(PadButton::Up, c[0]);
        set(PadButton::Left, c[1]);
        set(PadButton::Right, c[2]);
        set(PadButton::Down, c[3]);
        set(PadButton::X, c[4]);
        set(PadButton::Y, c[5]);
        set(PadButton::Back, c[8]);
        set(PadButton::Start, c[10]);
    } else {
        set(PadButton::Up, vk::Up);
        set(PadButton::Left, vk::Left);
        set(PadButton::Right, vk::Right);
        set(PadButton::Down, vk::Down);
    }
    set(PadButton::A, vk::Enter);
    set(PadButton::B, vk::Escape);
    set(PadButton::LeftShoulder, vk::PageUp);
    set(PadButton::RightShoulder, vk::PageDown);
    return keys;
}

KeyCodes KeyMap::codes() const {
    return {kstart, kleft, kright, kstop, kaction, kscore, klevel, klifes, kstats, kinventory, kpause};
}

void KeyMap::setCodes(const KeyCodes& c) {
    kstart = c[0];
    kleft = c[1];
    kright = c[2];
    kstop = c[3];
    kaction = c[4];
    kscore = c[5];
    klevel = c[6];
    klifes = c[7];
    kstats = c[8];
    kinventory = c[9];
    kpause = c[10];
    haveCodes_ = true;
}

std::int16_t* KeyMap::codeOf(std::string_view action) {
    std::int16_t* fields[] = {&kstart, &kleft,  &kright, &kstop,      &kaction, &kscore,
                              &klevel, &klifes, &kstats, &kinventory, &kpause};
    for (std::size_t i = 0; i < kActionNames.size(); ++i)
        if (kActionNames[i] == action) return fields[i];
    return nullptr;
}

void KeyMap::loadKeys() {
    std::optional<KeyCodes> codes;
    if (auto bytes = form_.platform.files().read(kKeysFile)) {
        codes = parseKeysFile(*bytes);
    } else if (auto why = form_.platform.files().unreadableReason(kKeysFile); !why.empty()) {
        form_.fatal("error!", form_.unreadableText(kKeysFile, why));
    }
    if (!codes) {
        form_.platform.messageBox("error!",
                                  "the keys.dat file was tampered with! please reinstall the software",
                                  MessageIcon::Critical);
        form_.endProgram(1, "keys.dat is missing or damaged");
    }
    setCodes(*codes);
}

void KeyMap::saveKeys() {
    if (!haveCodes_) return;
    // A failed write leaves the old file whole; the codes in memory stay in force.
    (void)form_.platform.files().write(kKeysFile, formatKeysFile(codes()));
}

void KeyMap::openKeyMenu() {
    form_.key_k = 0;
    form_.menus.mainMenuActive = false;
    keyMenuActive = true;
    if (auto& music = form_.sound.menu.music) music->setVolume(-500);
    clips::replay(form_.sound.menu.keyPrompt);
    keyMenuCount = 13;
    keyMenuIndex = 1;
}

void KeyMap::playKeyMenuEntry(std::int16_t entry) {
    auto& entries = form_.sound.menu.keyEntries;
    if (entry >= 1 && entry <= static_cast<std::int16_t>(entries.size()))
        clips::playOnce(entries[entry - 1]);
}

void KeyMap::keyMenuPrevious() {
    if (form_.menus.soundBusy || keyMenuIndex <= 1) return;
    --keyMenuIndex;
    stopKeyMenuSounds();
    playKeyMenuEntry(keyMenuIndex);
}

void KeyMap::keyMenuNext() {
    if (form_.menus.soundBusy || keyMenuIndex >= keyMenuCount) return;
    ++keyMenuIndex;
    stopKeyMenuSounds();
    playKeyMenuEntry(keyMenuIndex);
}

void KeyMap::keyMenuJump(std::string_view direction) {
    if (form_.menus.soundBusy) return;
    stopKeyMenuSounds();
    if (direction == "down" && keyMenuIndex != keyMenuCount) {
        keyMenuIndex = keyMenuCount;
        playKeyMenuEntry(keyMenuIndex);
    } else if (direction == "up" && keyMenuIndex != 1) {
        keyMenuIndex = 1;
        playKeyMenuEntry(keyMenuIndex);
    }
}

void KeyMap::keyMenuSelect() {
    if (form_.menus.soundBusy) return;
    stopKeyMenuSounds();
    if (keyMenuIndex >= 1 && keyMenuIndex <= 11) {
        remapKey(kActionNames[keyMenuIndex - 1]);
    } else if (keyMenuIndex == 12) {
        restoreDefaultKeys();
    } else if (keyMenuIndex == 13) {
        keyMenuActive = false;
        form_.menus.showMainMenu();
    }
}

void KeyMap::stopKeyMenuSounds() {
    auto& bank = form_.sound.menu;
    for (auto& entry : bank.keyEntries) clips::silence(entry);
    clips::silence(bank.keyPrompt);
    clips::silence(bank.keyPressPrompt);
    clips::silence(bank.keyConfirm);
}

void KeyMap::restoreDefaultKeys() {
    setCodes(kDefaultKeys);
    form_.menus.soundBusy = true;
    form_.sound.playWave("menu", "krestored", true, 0, false);
    saveKeys();
    form_.menus.soundBusy = false;
}

void KeyMap::remapKey(std::string_view action) {
    std::int16_t* code = codeOf(action);
    if (!code) return;
    form_.key_k = 0;
    waitingForKey = true;
    clips::replay(form_.sound.menu.keyPressPrompt);
    // No time limit: only a key ends the wait, and every key is taken, Escape included.
    while (form_.key_k == 0) form_.loop.pump();
    *code = form_.key_k;
    waitingForKey = false;
    saveKeys();

    auto& confirm = form_.sound.menu.keyConfirm;
    clips::replay(confirm);
    form_.menus.soundBusy = true;
    form_.sound.waitWhilePlaying(confirm);
    form_.menus.soundBusy = false;
    // Escape or Left during the confirmation already left for the main menu.
    if (keyMenuActive) openKeyMenu();
}

}  // namespace zorvan
