#include "menus/menus.h"

#include <array>

#include "menus/bank_clips.h"
#include "platform/keys.h"
#include "sound/number_system.h"

namespace zorvan {

namespace {

constexpr std::array<const char*, 3> kDifficulties{"easy", "normal", "crazy"};

template <std::size_t N>
void silenceAll(std::array<SoundSlot, N>& clips) {
    for (auto& clip : clips) clips::silence(clip);
}

// Entry n (from 1) of a clip array; nothing outside it.
template <std::size_t N>
void playEntryOf(std::array<SoundSlot, N>& clips, std::int16_t entry) {
    if (entry >= 1 && entry <= static_cast<std::int16_t>(N)) clips::playOnce(clips[entry - 1]);
}

// The main, car and difficulty menus wait for a clip played to its end; the lg menu does not.
constexpr SpokenMenu::Behaviour kStopsAtEnds{};
constexpr SpokenMenu::Behaviour kLgBehaviour{false, true, false, true};
constexpr SpokenMenu::Behaviour kListBehaviour{true, false, false, false};

}  // namespace

Menus::Menus(SoundSystem& sound, NumberSystem& numbers)
    : sound_(sound),
      numbers_(numbers),
      mainMenu(mainMenuIndex, mainMenuCount, &soundBusy, kStopsAtEnds),
      carMenu(carMenuIndex, carMenuCount, &soundBusy, kStopsAtEnds),
      difficultyMenu(difficultyMenuIndex, difficultyMenuCount, &soundBusy, kStopsAtEnds),
      lgMenu(lgMenuIndex, kLgEntries, nullptr, kLgBehaviour),
      ltList(ltListIndex, kLtEntries, nullptr, kListBehaviour),
      laList(laListIndex, kLaEntries, nullptr, kListBehaviour) {
    mainMenu.speak = [this](std::int16_t n) { playMainMenuEntry(n); };
    mainMenu.silence = [this] { stopMainMenuSounds(); };
    mainMenu.choose = [this](std::int16_t n) { mainMenuChoose(n); };
    mainMenu.otherKeys = [this](int key) { return mainMenuKeys(key); };

    carMenu.speak = [this](std::int16_t n) { playCarMenuEntry(n); };
    carMenu.silence = [this] { stopCarMenuSounds(); };
    carMenu.choose = [this](std::int16_t n) { carMenuChoose(n); };
    carMenu.back = [this] { showMainMenu(); };

    difficultyMenu.speak = [this](std::int16_t n) { playDifficultyMenuEntry(n); };
    difficultyMenu.silence = [this] { stopDifficultyMenuSounds(); };
    difficultyMenu.choose = [this](std::int16_t n) { difficultyMenuChoose(n); };
    difficultyMenu.back = [this] { showMainMenu(); };

    lgMenu.speak = [this](std::int16_t n) { playLgMenuEntry(n); };
    lgMenu.silence = [this] { stopLgMenuSounds(); };
    lgMenu.choose = [this](std::int16_t n) { lgMenuChoose(n); };
    // Opening a menu takes the place of the one open: going back needs no close.
    lgMenu.back = [this] { showMainMenu(); };

    ltList.speak = [this](std::int16_t n) { playLtEntry(n); };
    ltList.silence = [this] { stopLtSounds(); };
    ltList.back = [this] { openLgMenu(); };

    laList.speak = [this](std::int16_t n) { playLaEntry(n); };
    laList.silence = [this] { stopLaSounds(); };
    laList.back = [this] { openLgMenu(); };
}

// ---- main, car and difficulty menus --------------------------------------------------------

SpokenMenu& Menus::menuNamed(std::string_view menuName) {
    if (menuName == "car") return carMenu;
    if (menuName == "dif") return difficultyMenu;
    return mainMenu;
}

void Menus::clickOnce() { clips::restart(sound_.menu.click); }

void Menus::showMainMenu() {
    stack.open(mainMenu);
    mainMenuCount = 8;
    mainMenuIndex = 1;
    if (auto& music = sound_.menu.music) {
        music->setVolume(0);
        music->play(true);
    }
    // The prompt stands for entry 1: Enter right after it chooses a new game.
    clips::replay(sound_.menu.mainPrompt);
}

void Menus::menuPrevious(std::string_view menuName) { menuNamed(menuName).previous(); }

void Menus::menuNext(std::string_view menuName) { menuNamed(menuName).next(); }

void Menus::menuJump(std::string_view menuName, std::string_view direction) {
    SpokenMenu& menu = menuNamed(menuName);
    menu.jumpTo(direction == "down" ? menu.count() : direction == "up" ? std::int16_t{1} : menu.index());
}

void Menus::mainMenuSelect() { mainMenu.select(); }

bool Menus::mainMenuKeys(int keyCode) {
    const std::function<void()>* action = nullptr;
    switch (keyCode) {
    case 'M':
    case vk::F5: action = &actions.toggleTheme; break;
    case 'H': action = &actions.speakHighScore; break;
    case vk::F2: action = &actions.loadSavedGame; break;
    case 'V': action = &actions.announceVersion; break;
    case 'S': action = &actions.toggleVoice; break;
    case vk::Escape: action = &actions.exitGame; break;
    default: return false;
    }
    if (*action) (*action)();
    return true;
}

void Menus::mainMenuChoose(std::int16_t entry) {
    clickOnce();
    auto run = [](const std::function<void()>& action) {
        if (action) action();
    };
    switch (entry) {
    case 1: openCarMenu(); break;
    case 2: run(actions.loadSavedGame); break;
    case 3: run(actions.submitScore); break;
    case 4: run(actions.openTopTen); break;
    case 5: run(actions.openKeyMap); break;
    case 6: openLgMenu(); break;
    case 7: playClipOverMusic(sound_.menu.test); break;
    case 8: run(actions.exitGame); break;
    default: break;
    }
}

void Menus::openCarMenu() {
    stack.open(carMenu);
    carMenuCount = 4;
    clips::replay(sound_.menu.carPrompt);
    carMenuIndex = 1;
}

void Menus::carMenuSelect() { carMenu.select(); }

void Menus::carMenuChoose(std::int16_t entry) {
    clickOnce();
    selectedCarType = entry;
    if (actions.carChosen) actions.carChosen(entry);
    openDifficultyMenu();
}

void Menus::openDifficultyMenu() {
    stack.open(difficultyMenu);
    difficultyMenuCount = 3;
    clips::replay(sound_.menu.difficultyPrompt);
    difficultyMenuIndex = 1;
}

void Menus::difficultyMenuSelect() { difficultyMenu.select(); }

void Menus::difficultyMenuChoose(std::int16_t) {
    clickOnce();
    soundBusy = true;
    sound_.waitWhilePlaying(sound_.menu.click);
    soundBusy = false;
    // Escape or Left during the click went back to the main menu (and a key there may even
    // have loaded a saved game): the choice was withdrawn.
    if (!difficultyMenuActive()) return;
    stack.closeAll();
    if (auto& music = sound_.menu.music) music->stop();
    sound_.unloadMenuSounds();
    if (difficultyMenuIndex >= 1 && difficultyMenuIndex <= 3)
        difficulty = kDifficulties[difficultyMenuIndex - 1];
    if (actions.newGame) actions.newGame();
}

void Menus::playMainMenuEntry(std::int16_t entry) { playEntryOf(sound_.menu.mainEntries, entry); }

void Menus::playCarMenuEntry(std::int16_t entry) {
    stopCarMenuSounds();
    playEntryOf(sound_.menu.carEntries, entry);
}

void Menus::playDifficultyMenuEntry(std::int16_t entry) {
    stopDifficultyMenuSounds();
    playEntryOf(sound_.menu.difficultyEntries, entry);
}

void Menus::playClipOverMusic(SoundSlot& clip) {
    if (!clip) return;
    clips::restart(clip);
    soundBusy = true;
    // Stopped, not rewound: the music resumes where it was.
    if (auto& music = sound_.menu.music) music->stop();
    sound_.waitWhilePlaying(clip);
    // The bank may have been released meanwhile (a saved game loaded with F2).
    if (auto& music = sound_.menu.music) music->play(true);
    soundBusy = false;
    if (mainMenuActive()) playMainMenuEntry(mainMenuIndex);
}

void Menus::stopMainMenuSounds() {
    clips::silence(sound_.menu.mainPrompt);
    silenceAll(sound_.menu.mainEntries);
    // The high score (H) is said through the number queue, which would go on talking over
    // whatever the main menu says next.
    if (numbers_.speaking()) numbers_.stopNumberSpeech();
}

void Menus::stopCarMenuSounds() {
    silenceAll(sound_.menu.carEntries);
    clips::silence(sound_.menu.carPrompt);
}

void Menus::stopDifficultyMenuSounds() {
    clips::silence(sound_.menu.difficultyPrompt);
    silenceAll(sound_.menu.difficultyEntries);
}

// ---- the lg menu and its lists --------------------------------------------------------------

void Menus::openLgMenu() {
    stack.open(lgMenu);
    if (auto& music = sound_.menu.music) music->setVolume(-1000);
    clips::replay(sound_.menu.lgPrompt);
    laListIndex = 1;
    ltListIndex = 1;
    lgMenuIndex = 1;
}

void Menus::lgMenuPrevious() { lgMenu.previous(); }

void Menus::lgMenuNext() { lgMenu.next(); }

void Menus::lgMenuJump(std::string_view direction) {
    lgMenu.jumpTo(direction == "up" ? std::int16_t{1} : direction == "down" ? kLgEntries : lgMenuIndex);
}

void Menus::lgMenuSelect() { lgMenu.select(); }

void Menus::lgMenuChoose(std::int16_t entry) {
    switch (entry) {
    case 1:
        stack.open(ltList);
        ltListIndex = 1;
        playLtEntry(1);
        break;
    case 2: openLaList(); break;
    case 3: showMainMenu(); break;
    default: break;
    }
}

void Menus::playLgMenuEntry(std::int16_t entry) { playEntryOf(sound_.menu.lgEntries, entry); }

void Menus::ltListPrevious() { ltList.previous(); }

void Menus::ltListNext() { ltList.next(); }

void Menus::playLtEntry(std::int16_t entry) { playEntryOf(sound_.menu.ltEntries, entry); }

void Menus::openLaList() {
    stack.open(laList);
    clips::replay(sound_.menu.laEntries[0]);
    laListIndex = 1;
}

void Menus::laListPrevious() { laList.previous(); }

void Menus::laListNext() { laList.next(); }

void Menus::playLaEntry(std::int16_t entry) { playEntryOf(sound_.menu.laEntries, entry); }

void Menus::stopLgMenuSounds() {
    clips::silence(sound_.menu.lgPrompt);
    silenceAll(sound_.menu.lgEntries);
}

void Menus::stopLtSounds() { silenceAll(sound_.menu.ltEntries); }

void Menus::stopLaSounds() { silenceAll(sound_.menu.laEntries); }

}  // namespace zorvan
