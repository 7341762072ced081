#include "menus/menus.h"

#include <array>

#include "game/main_form.h"
#include "menus/bank_clips.h"

namespace zorvan {

namespace {

// Starting speed of each car type, added to the distance every second.
constexpr std::array<float, 4> kCarSpeeds{2.0f, 4.0f, 3.0f, 3.5f};
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

}  // namespace

// ---- main, car and difficulty menus --------------------------------------------------------

Menus::Which Menus::menuNamed(std::string_view menuName) {
    if (menuName == "car") return Which::Car;
    if (menuName == "dif") return Which::Difficulty;
    return Which::Main;
}

std::int16_t& Menus::indexOf(Which menu) {
    switch (menu) {
    case Which::Car: return carMenuIndex;
    case Which::Difficulty: return difficultyMenuIndex;
    case Which::Main: break;
    }
    return mainMenuIndex;
}

std::int16_t Menus::countOf(Which menu) const {
    switch (menu) {
    case Which::Car: return carMenuCount;
    case Which::Difficulty: return difficultyMenuCount;
    case Which::Main: break;
    }
    return mainMenuCount;
}

void Menus::stopSounds(Which menu) {
    switch (menu) {
    case Which::Car: stopCarMenuSounds(); return;
    case Which::Difficulty: stopDifficultyMenuSounds(); return;
    case Which::Main: stopMainMenuSounds(); return;
    }
}

void Menus::playEntry(Which menu, std::int16_t entry) {
    switch (menu) {
    case Which::Car: playCarMenuEntry(entry); return;
    case Which::Difficulty: playDifficultyMenuEntry(entry); return;
    case Which::Main: playMainMenuEntry(entry); return;
    }
}

void Menus::clickOnce() { clips::restart(form_.sound.menu.click); }

void Menus::showMainMenu() {
    carMenuActive = false;
    difficultyMenuActive = false;
    mainMenuActive = true;
    mainMenuCount = 8;
    mainMenuIndex = 1;
    if (auto& music = form_.sound.menu.music) {
        music->setVolume(0);
        music->play(true);
    }
    // The prompt stands for entry 1: Enter right after it chooses a new game.
    clips::replay(form_.sound.menu.mainPrompt);
}

void Menus::menuPrevious(std::string_view menuName) {
    if (soundBusy) return;
    const Which menu = menuNamed(menuName);
    std::int16_t& index = indexOf(menu);
    --index;
    if (index < 1) {
        index = 1;
        return;
    }
    stopSounds(menu);
    playEntry(menu, index);
}

void Menus::menuNext(std::string_view menuName) {
    if (soundBusy) return;
    const Which menu = menuNamed(menuName);
    std::int16_t& index = indexOf(menu);
    ++index;
    if (index > countOf(menu)) {
        index = countOf(menu);
        return;
    }
    stopSounds(menu);
    playEntry(menu, index);
}

void Menus::menuJump(std::string_view menuName, std::string_view direction) {
    if (soundBusy) return;
    const Which menu = menuNamed(menuName);
    std::int16_t& index = indexOf(menu);
    const std::int16_t target = direction == "down" ? countOf(menu)
                                : direction == "up" ? std::int16_t{1}
                                                    : index;
    if (index == target) return;
    stopSounds(menu);
    index = target;
    playEntry(menu, index);
}

void Menus::mainMenuSelect() {
    if (soundBusy) return;
    stopMainMenuSounds();
    clickOnce();
    switch (mainMenuIndex) {
    case 1:
        mainMenuActive = false;
        openCarMenu();
        break;
    case 2: form_.loadSavedGame(); break;
    case 3: form_.scoreStuf(); break;
    case 4:
        mainMenuActive = false;
        form_.openTopTenMenu();
        break;
    case 5: form_.keyMap.openKeyMenu(); break;
    case 6:
        mainMenuActive = false;
        openLgMenu();
        break;
    case 7: playClipOverMusic(form_.sound.menu.test); break;
    case 8: form_.exitGame(); break;
    default: break;
    }
}

void Menus::openCarMenu() {
    carMenuActive = true;
    carMenuCount = 4;
    clips::replay(form_.sound.menu.carPrompt);
    carMenuIndex = 1;
}

void Menus::carMenuSelect() {
    if (soundBusy) return;
    stopCarMenuSounds();
    clickOnce();
    carMenuActive = false;
    selectedCarType = carMenuIndex;
    if (carMenuIndex >= 1 && carMenuIndex <= 4) form_.race.m_speed = kCarSpeeds[carMenuIndex - 1];
    openDifficultyMenu();
}

void Menus::openDifficultyMenu() {
    carMenuActive = false;
    difficultyMenuActive = true;
    difficultyMenuCount = 3;
    clips::replay(form_.sound.menu.difficultyPrompt);
    difficultyMenuIndex = 1;
}

void Menus::difficultyMenuSelect() {
    if (soundBusy) return;
    stopDifficultyMenuSounds();
    clickOnce();
    soundBusy = true;
    form_.sound.waitWhilePlaying(form_.sound.menu.click);
    soundBusy = false;
    // Escape or Left during the click went back to the main menu (and a key there may even
    // have loaded a saved game): the choice was withdrawn.
    if (!difficultyMenuActive) return;
    difficultyMenuActive = false;
    mainMenuActive = false;
    carMenuActive = false;
    if (auto& music = form_.sound.menu.music) music->stop();
    form_.sound.unloadMenuSounds();
    if (difficultyMenuIndex >= 1 && difficultyMenuIndex <= 3)
        difficulty = kDifficulties[difficultyMenuIndex - 1];
    form_.newGame();
}

void Menus::playMainMenuEntry(std::int16_t entry) { playEntryOf(form_.sound.menu.mainEntries, entry); }

void Menus::playCarMenuEntry(std::int16_t entry) {
    stopCarMenuSounds();
    playEntryOf(form_.sound.menu.carEntries, entry);
}

void Menus::playDifficultyMenuEntry(std::int16_t entry) {
    stopDifficultyMenuSounds();
    playEntryOf(form_.sound.menu.difficultyEntries, entry);
}

void Menus::playClipOverMusic(SoundSlot& clip) {
    if (!clip) return;
    clips::restart(clip);
    soundBusy = true;
    // Stopped, not rewound: the music resumes where it was.
    if (auto& music = form_.sound.menu.music) music->stop();
    form_.sound.waitWhilePlaying(clip);
    // The bank may have been released meanwhile (a saved game loaded with F2).
    if (auto& music = form_.sound.menu.music) music->play(true);
    soundBusy = false;
    if (mainMenuActive) playMainMenuEntry(mainMenuIndex);
}

void Menus::stopMainMenuSounds() {
    clips::silence(form_.sound.menu.mainPrompt);
    silenceAll(form_.sound.menu.mainEntries);
    // The high score (H) is said through the number queue, which would go on talking over
    // whatever the main menu says next.
    if (form_.numbers.speaking()) form_.numbers.stopNumberSpeech();
}

void Menus::stopCarMenuSounds() {
    silenceAll(form_.sound.menu.carEntries);
    clips::silence(form_.sound.menu.carPrompt);
}

void Menus::stopDifficultyMenuSounds() {
    clips::silence(form_.sound.menu.difficultyPrompt);
    silenceAll(form_.sound.menu.difficultyEntries);
}

// ---- the lg menu and its lists --------------------------------------------------------------

void Menus::openLgMenu() {
    lgMenuActive = true;
    if (auto& music = form_.sound.menu.music) music->setVolume(-1000);
    clips::replay(form_.sound.menu.lgPrompt);
    laListIndex = 1;
    ltListIndex = 1;
    lgMenuIndex = 1;
}

void Menus::lgMenuPrevious() {
    if (lgMenuIndex <= 1) return;
    stopLgMenuSounds();
    --lgMenuIndex;
    playLgMenuEntry(lgMenuIndex);
}

void Menus::lgMenuNext() {
    if (lgMenuIndex >= 3) return;
    stopLgMenuSounds();
    ++lgMenuIndex;
    playLgMenuEntry(lgMenuIndex);
}

void Menus::lgMenuJump(std::string_view direction) {
    stopLgMenuSounds();
    if (direction == "up" && lgMenuIndex != 1) {
        lgMenuIndex = 1;
        playLgMenuEntry(1);
    } else if (direction == "down" && lgMenuIndex != 3) {
        lgMenuIndex = 3;
        playLgMenuEntry(3);
    }
}

void Menus::lgMenuSelect() {
    stopLgMenuSounds();
    switch (lgMenuIndex) {
    case 1:
        lgMenuActive = false;
        ltListActive = true;
        ltListIndex = 1;
        playLtEntry(1);
        break;
    case 2:
        lgMenuActive = false;
        openLaList();
        break;
    case 3:
        lgMenuActive = false;
        showMainMenu();
        break;
    default: break;
    }
}

void Menus::playLgMenuEntry(std::int16_t entry) { playEntryOf(form_.sound.menu.lgEntries, entry); }

void Menus::ltListPrevious() {
    stopLtSounds();
    ltListIndex = ltListIndex <= 1 ? 4 : static_cast<std::int16_t>(ltListIndex - 1);
    playLtEntry(ltListIndex);
}

void Menus::ltListNext() {
    stopLtSounds();
    ltListIndex = ltListIndex >= 4 ? 1 : static_cast<std::int16_t>(ltListIndex + 1);
    playLtEntry(ltListIndex);
}

void Menus::playLtEntry(std::int16_t entry) { playEntryOf(form_.sound.menu.ltEntries, entry); }

void Menus::openLaList() {
    laListActive = true;
    clips::replay(form_.sound.menu.laEntries[0]);
    laListIndex = 1;
}

void Menus::laListPrevious() {
    stopLaSounds();
    laListIndex = laListIndex <= 1 ? 10 : static_cast<std::int16_t>(laListIndex - 1);
    playLaEntry(laListIndex);
}

void Menus::laListNext() {
    stopLaSounds();
    laListIndex = laListIndex >= 10 ? 1 : static_cast<std::int16_t>(laListIndex + 1);
    playLaEntry(laListIndex);
}

void Menus::playLaEntry(std::int16_t entry) { playEntryOf(form_.sound.menu.laEntries, entry); }

void Menus::stopLgMenuSounds() {
    clips::silence(form_.sound.menu.lgPrompt);
    silenceAll(form_.sound.menu.lgEntries);
}

void Menus::stopLtSounds() { silenceAll(form_.sound.menu.ltEntries); }

void Menus::stopLaSounds() { silenceAll(form_.sound.menu.laEntries); }

}  // namespace zorvan
