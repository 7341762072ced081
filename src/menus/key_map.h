#pragma once
// The eleven game keys, kept in keys.dat, and the spoken key-map menu that remaps them.

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "menus/spoken_menu.h"
#include "platform/gamepad.h"

namespace zorvan {

class EventLoop;
class Menus;
class Platform;
class SoundSystem;
struct ProgramHooks;

// The codes of keys.dat, in file order: kstart, kleft, kright, kstop, kaction, kscore,
// klevel, klifes, kstats, kinventory, kpause.
using KeyCodes = std::array<std::int16_t, 11>;

inline constexpr KeyCodes kDefaultKeys{38, 37, 39, 40, 17, 16, 9, 76, 13, 73, 80};

// One number per line (CR LF or LF), blanks around it skipped; lines after the eleventh are
// ignored. Nothing when a line is missing, is not a whole number or does not fit 16 bits.
std::optional<KeyCodes> parseKeysFile(std::string_view bytes);
// What each gamepad button presses. In a game (a race, a pause, the exit prompt or a bonus
// round) the directions are the start, steering and stop keys of the map and X, Y, Start and
// Back its item, points, pause and status keys; in the menus the directions are the arrow keys
// the menus listen to, and X, Y, Start and Back press nothing, since the status key (Enter by
// default) would otherwise choose a menu entry. A, B and the shoulders are fixed keys.
PadKeys padKeysFor(const KeyCodes& codes, bool inGame);

// Each code between a sign place (blank, or '-') and a trailing blank, lines ended by CR LF.
std::string formatKeysFile(const KeyCodes& codes);

class KeyMap {
public:
    static constexpr std::array<std::string_view, 11> kActionNames{
        "kstart", "kleft",  "kright", "kstop",      "kaction", "kscore",
        "klevel", "klifes", "kstats", "kinventory", "kpause"};

    // lastKey: the key handler's last key (key_k), which remapKey waits on.
    KeyMap(Platform& platform, EventLoop& loop, SoundSystem& sound, Menus& menus, ProgramHooks& hooks,
           std::int16_t& lastKey);
    KeyMap(const KeyMap&) = delete;
    KeyMap& operator=(const KeyMap&) = delete;

    void loadKeys();  // a missing or damaged keys.dat ends the program with a message box
    // Errors are ignored: the codes in memory stay in force. Before any codes were read or
    // set it writes nothing, so an early end never replaces the file with zeros.
    void saveKeys();
    void openKeyMenu();
    void keyMenuPrevious();
    void keyMenuNext();
    void keyMenuJump(std::string_view direction);  // "up" or "down"
    void keyMenuSelect();
    void stopKeyMenuSounds();
    void restoreDefaultKeys();
    // Waits for the next key, whatever it is, and gives it to the action ("kstart", ...).
    void remapKey(std::string_view action);

    KeyCodes codes() const;
    void setCodes(const KeyCodes& codes);

    // Virtual-key codes, in the order of keys.dat and of the menu entries 1 to 11.
    std::int16_t kstart = 0, kleft = 0, kright = 0, kstop = 0, kaction = 0, kscore = 0,
                 klevel = 0, klifes = 0, kstats = 0, kinventory = 0, kpause = 0;

    bool keyMenuActive() const;
    bool waitingForKey = false;  // remapKey waits for the new key
    std::int16_t keyMenuIndex = 0;  // 1..13: the eleven actions, restore defaults, back
    std::int16_t keyMenuCount = 0;  // 13 once the menu was opened

private:
    std::int16_t* codeOf(std::string_view action);
    void playKeyMenuEntry(std::int16_t entry);

    Platform& platform_;
    EventLoop& loop_;
    SoundSystem& sound_;
    Menus& menus_;
    ProgramHooks& hooks_;
    std::int16_t& lastKey_;
    bool haveCodes_ = false;

public:
    // Declared after the index and count it moves through.
    SpokenMenu keyMenu;
};

}  // namespace zorvan
