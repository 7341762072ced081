#pragma once
// The spoken menus: main, car, difficulty, and the lg menu ("learn the game") with its two
// lists. Every entry is a clip of the menu bank; the menu music loops under all of them.
// The main form's key handler decides from the flags below which menu gets a key.

#include <cstdint>
#include <string>
#include <string_view>

#include "sound/sound_system.h"

namespace zorvan {

class MainForm;

class Menus {
public:
    explicit Menus(MainForm& form) : form_(form) {}
    Menus(const Menus&) = delete;
    Menus& operator=(const Menus&) = delete;

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

    bool mainMenuActive = false;
    bool carMenuActive = false;
    bool difficultyMenuActive = false;
    bool lgMenuActive = false;
    bool ltListActive = false;
    bool laListActive = false;
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
    enum class Which { Main, Car, Difficulty };
    static Which menuNamed(std::string_view menuName);
    std::int16_t& indexOf(Which menu);
    std::int16_t countOf(Which menu) const;
    void stopSounds(Which menu);
    void playEntry(Which menu, std::int16_t entry);
    void clickOnce();

    MainForm& form_;
};

}  // namespace zorvan
