#include "menus/key_map.h"

#include "menus/bank_clips.h"
#include "menus/menus.h"
#include "menus/program_hooks.h"
#include "platform/event_loop.h"
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

KeyMap::KeyMap(Platform& platform, EventLoop& loop, SoundSystem& sound, Menus& menus, ProgramHooks& hooks,
               std::int16_t& lastKey)
    : platform_(platform),
      loop_(loop),
      sound_(sound),
      menus_(menus),
      hooks_(hooks),
      lastKey_(lastKey),
      keyMenu(keyMenuIndex, keyMenuCount, &menus.soundBusy, {false, true, false, true}) {
    keyMenu.speak = [this](std::int16_t n) { playKeyMenuEntry(n); };
    keyMenu.silence = [this] { stopKeyMenuSounds(); };
    keyMenu.choose = [this](std::int16_t n) {
        if (n >= 1 && n <= 11) {
            remapKey(kActionNames[n - 1]);
        } else if (n == 12) {
            restoreDefaultKeys();
        } else if (n == 13) {
            menus_.showMainMenu();
        }
    };
    keyMenu.back = [this] { menus_.showMainMenu(); };
    // A key being waited for is the new key of an action, not a move in the menu.
    keyMenu.otherKeys = [this](int) { return waitingForKey; };
}

bool KeyMap::keyMenuActive() const { return menus_.stack.isOpen(keyMenu); }

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
    if (auto bytes = platform_.files().read(kKeysFile)) {
        codes = parseKeysFile(*bytes);
    } else if (auto why = platform_.files().unreadableReason(kKeysFile); !why.empty()) {
        hooks_.fatal("error!", hooks_.unreadableText(kKeysFile, why));
    }
    if (!codes) {
        platform_.messageBox("error!",
                                  "the keys.dat file was tampered with! please reinstall the software",
                                  MessageIcon::Critical);
        hooks_.endProgram(1, "keys.dat is missing or damaged");
    }
    setCodes(*codes);
}

void KeyMap::saveKeys() {
    if (!haveCodes_) return;
    // A failed write leaves the old file whole; the codes in memory stay in force.
    (void)platform_.files().write(kKeysFile, formatKeysFile(codes()));
}

void KeyMap::openKeyMenu() {
    lastKey_ = 0;
    menus_.stack.open(keyMenu);
    if (auto& music = sound_.menu.music) music->setVolume(-500);
    clips::replay(sound_.menu.keyPrompt);
    keyMenuCount = 13;
    keyMenuIndex = 1;
}

void KeyMap::playKeyMenuEntry(std::int16_t entry) {
    auto& entries = sound_.menu.keyEntries;
    if (entry >= 1 && entry <= static_cast<std::int16_t>(entries.size()))
        clips::playOnce(entries[entry - 1]);
}

void KeyMap::keyMenuPrevious() { keyMenu.previous(); }

void KeyMap::keyMenuNext() { keyMenu.next(); }

void KeyMap::keyMenuJump(std::string_view direction) {
    keyMenu.jumpTo(direction == "down" ? keyMenuCount : direction == "up" ? std::int16_t{1} : keyMenuIndex);
}

void KeyMap::keyMenuSelect() { keyMenu.select(); }

void KeyMap::stopKeyMenuSounds() {
    auto& bank = sound_.menu;
    for (auto& entry : bank.keyEntries) clips::silence(entry);
    clips::silence(bank.keyPrompt);
    clips::silence(bank.keyPressPrompt);
    clips::silence(bank.keyConfirm);
}

void KeyMap::restoreDefaultKeys() {
    setCodes(kDefaultKeys);
    menus_.soundBusy = true;
    sound_.playWave("menu", "krestored", true, 0, false);
    saveKeys();
    menus_.soundBusy = false;
}

void KeyMap::remapKey(std::string_view action) {
    std::int16_t* code = codeOf(action);
    if (!code) return;
    lastKey_ = 0;
    waitingForKey = true;
    clips::replay(sound_.menu.keyPressPrompt);
    // No time limit: only a key ends the wait, and every key is taken, Escape included.
    while (lastKey_ == 0) loop_.pump();
    *code = lastKey_;
    waitingForKey = false;
    saveKeys();

    auto& confirm = sound_.menu.keyConfirm;
    clips::replay(confirm);
    menus_.soundBusy = true;
    sound_.waitWhilePlaying(confirm);
    menus_.soundBusy = false;
    // Escape or Left during the confirmation already left for the main menu.
    if (keyMenuActive()) openKeyMenu();
}

}  // namespace zorvan
