#pragma once
// The spoken menus: main, car, difficulty, and the lg menu ("learn the game") with its two
// lists. Every entry is a clip of the menu bank; the menu music loops under all of them.
// The open menu is kept in `stack`, shared with the key-map and top-ten menus; the main form's
// key handler gives it the keys a race does not take.

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "menus/spoken_menu.h"
#include "sound/sound_system.h"

namespace zorvan {

class NumberSystem;

// What the menus' entries do in the game; the main form wires them.
struct MenuActions {
    std::function<void()> newGame;
    std::function<void(std::int16_t carType)> carChosen;
    std::function<void()> loadSavedGame;
    std::function<void()> submitScore;
    std::function<void()> openTopTen;
    std::function<void()> openKeyMap;
    std::function<void()> exitGame;
    std::function<void()> toggleTheme;
    std::function<void()> speakHighScore;
    std::function<void()> announceVersion;
    std::function<void()> toggleVoice;
};

class Menus {
public:
    Menus(SoundSystem& sound, NumberSystem& numbers);
    Menus(const Menus&) = delete;
    Menus& operator=(const Menus&) = delete;

    MenuActions actions;
    MenuStack stack;

    void showMainMenu();
    // menuName: "car" or "dif"; any other name ("m_main", "main") means the main menu.
    // direction: "up" (first entry) or "down" (last entry). The three menus do not wrap.
    void menuPrevious(std::string_view menuName);
    void menuNext(std::string_view menuName);
    void menuJump(std::string_view menuName, std::string_view direction);
    void mainMenuSelect();
    void carMenuSelect();
    void difficultyMenuSelect();  // starts a new game
    void openCarMenu();
    void openDifficultyMenu();
    // Entry numbers from 1; numbers outside the menu play nothing.
    void playMainMenuEntry(std::int16_t entry);
    void playCarMenuEntry(std::int16_t entry);
    void playDifficultyMenuEntry(std::int16_t entry);
    // Plays a menu-bank clip to its end with the music paused, then says the current
    // main entry again.
    void playClipOverMusic(SoundSlot& clip);

    // The lg menu and its two lists; the lists wrap around and ignore soundBusy.
    void openLgMenu();
    void lgMenuPrevious();
    void lgMenuNext();
    void lgMenuJump(std::string_view direction);
    void lgMenuSelect();
    void playLgMenuEntry(std::int16_t entry);
    void ltListPrevious();
    void ltListNext();
    void playLtEntry(std::int16_t entry);
    void openLaList();
    void laListPrevious();
    void laListNext();
    void playLaEntry(std::int16_t entry);

    // Stop and rewind whichever of the menu's clips is playing; the others are left alone.
    void stopMainMenuSounds();
    void stopCarMenuSounds();
    void stopDifficultyMenuSounds();
    void stopLgMenuSounds();
    void stopLtSounds();
    void stopLaSounds();

    // Which menu has the keyboard: questions to the stack.
    bool mainMenuActive() const { return stack.isOpen(mainMenu); }
    bool carMenuActive() const { return stack.isOpen(carMenu); }
    bool difficultyMenuActive() const { return stack.isOpen(difficultyMenu); }
    bool lgMenuActive() const { return stack.isOpen(lgMenu); }
    bool ltListActive() const { return stack.isOpen(ltList); }
    bool laListActive() const { return stack.isOpen(laList); }

    std::int16_t mainMenuIndex = 0, mainMenuCount = 0;              // 1..8
    std::int16_t carMenuIndex = 0, carMenuCount = 0;                // 1..4
    std::int16_t difficultyMenuIndex = 0, difficultyMenuCount = 0;  // 1..3
    std::int16_t lgMenuIndex = 0;  // 1..3
    std::int16_t ltListIndex = 0;  // 1..4
    std::int16_t laListIndex = 0;  // 1..10
    // A clip is played to its end inside a wait; the main, car and difficulty menus (and the
    // key map) ignore navigation and selection meanwhile.
    bool soundBusy = false;
    std::int16_t selectedCarType = 0;  // 1-4
    std::string difficulty;            // "easy", "normal" or "crazy"

private:
    static constexpr std::int16_t kLgEntries = 3, kLtEntries = 4, kLaEntries = 10;

    SpokenMenu& menuNamed(std::string_view menuName);
    void clickOnce();
    void mainMenuChoose(std::int16_t entry);
    void carMenuChoose(std::int16_t entry);
    void difficultyMenuChoose(std::int16_t entry);
    void lgMenuChoose(std::int16_t entry);
    bool mainMenuKeys(int keyCode);

    SoundSystem& sound_;
    NumberSystem& numbers_;

public:
    // Declared after the fields they move through.
    SpokenMenu mainMenu, carMenu, difficultyMenu, lgMenu, ltList, laList;
};

}  // namespace zorvan
