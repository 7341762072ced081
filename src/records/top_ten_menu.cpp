// The spoken top-ten menu (main menu entry 4) and the browsing of one list, score by score.

#include "menus/bank_clips.h"
#include "menus/menus.h"
#include "menus/program_hooks.h"
#include "platform/keys.h"
#include "records/local_scores.h"
#include "sound/number_system.h"

namespace zorvan {

namespace {
// At either end the menu and the list fall silent; neither wraps.
constexpr SpokenMenu::Behaviour kTopTenMenuBehaviour{false, true, true, true};
constexpr SpokenMenu::Behaviour kTopTenListBehaviour{false, false, true, false};
}  // namespace

LocalScores::LocalScores(Platform& platform, SoundSystem& sound, NumberSystem& numbers, Menus& menus,
                         ProgramHooks& hooks, RaceState& race, std::int32_t& highScore, const std::string& mode)
    : platform_(platform),
      sound_(sound),
      numbers_(numbers),
      menus_(menus),
      hooks_(hooks),
      race_(race),
      highScore_(highScore),
      mode_(mode),
      topTenMenu(topTenMenuIndex, kTopTenMenuEntries, nullptr, kTopTenMenuBehaviour),
      topTenList(topTenListIndex, kTopTenListPlaces, nullptr, kTopTenListBehaviour) {
    topTenMenu.speak = [this](std::int16_t n) { playTopTenMenuEntry(n); };
    topTenMenu.silence = [this] { stopTopTenMenuSounds(); };
    topTenMenu.choose = [this](std::int16_t n) {
        switch (n) {
        case 1: chooseList('a'); break;
        case 2: chooseList('b'); break;
        case 3: chooseList('c'); break;
        case 4: clearAllLists(); break;
        case 5: menus_.showMainMenu(); break;
        default: break;
        }
    };
    topTenMenu.back = [this] { menus_.showMainMenu(); };

    // Place 1 is not spoken on opening: it is heard by coming back up to it.
    topTenList.speak = [this](std::int16_t n) { numbers_.speakNumber(topTen_.topTenList(n), false); };
    topTenList.silence = [this] {
        stopTopTenListPrompt();
        numbers_.stopNumberSpeech();
    };
    topTenList.otherKeys = [this](int keyCode) {
        switch (keyCode) {
        case vk::Left: leaveTopTenList(false); return true;
        case vk::Enter:
        case vk::Escape: leaveTopTenList(true); return true;
        default: return false;
        }
    };
}

bool LocalScores::topTenMenuActive() const { return menus_.stack.isOpen(topTenMenu); }
bool LocalScores::topTenListActive() const { return menus_.stack.isOpen(topTenList); }

void LocalScores::openTopTenMenu() {
    menus_.stack.open(topTenMenu);
    if (auto& music = sound_.menu.music) music->setVolume(-500);
    clips::replay(sound_.menu.topTenPrompt);
    topTenMenuIndex = 1;
}

void LocalScores::playTopTenMenuEntry(std::int16_t entry) {
    auto& bank = sound_.menu;
    if (entry >= 1 && entry <= 4) clips::playOnce(bank.topTenEntries[entry - 1]);
    else if (entry == 5) clips::playOnce(bank.keyEntries[12]);
}

void LocalScores::stopTopTenMenuSounds() {
    auto& bank = sound_.menu;
    clips::silence(bank.topTenPrompt);
    for (auto& entry : bank.topTenEntries) clips::silence(entry);
    clips::silence(bank.reset);
    clips::silence(bank.keyEntries[12]);
}

void LocalScores::topTenMenuPrevious() { topTenMenu.previous(); }

void LocalScores::topTenMenuNext() { topTenMenu.next(); }

void LocalScores::topTenMenuJump(std::string_view direction) {
    topTenMenu.jumpTo(direction == "up"     ? std::int16_t{1}
                      : direction == "down" ? kTopTenMenuEntries
                                            : topTenMenuIndex);
}

void LocalScores::topTenMenuSelect() { topTenMenu.select(); }

void LocalScores::chooseList(char letter) {
    const DataFile lsDat = readDataFile(kTopTenFile);
    if (lsDat.state == FileState::Unreadable) {
        // Better no scores than made-up zeros; the menu stays where it was.
        menus_.stack.close(topTenMenu);
        menus_.soundBusy = true;
        if (hooks_.errorShow) hooks_.errorShow();
        menus_.soundBusy = false;
        menus_.stack.open(topTenMenu);
        return;
    }
    topTen_.loadTopTenList(letter, lsDat.content());
    topTenListLetter = letter;
    openTopTenList();
}

void LocalScores::clearAllLists() {
    const bool cleared = platform_.files().write(kTopTenFile, clearedTopTenFile(3));
    resetHighScore();
    // Keys pressed while the answer plays are only stored: no menu is open meanwhile, so none
    // can start a second reset or leave for the main menu underneath the wait.
    menus_.stack.close(topTenMenu);
    menus_.soundBusy = true;
    if (cleared) {
        auto& confirmation = sound_.menu.reset;
        clips::replay(confirmation);
        sound_.waitWhilePlaying(confirmation);
    } else if (hooks_.errorShow) {
        hooks_.errorShow();  // the lists are still there: do not confirm
    }
    menus_.soundBusy = false;
    openTopTenMenu();
}

void LocalScores::openTopTenList() {
    menus_.stack.open(topTenList);
    clips::replay(sound_.menu.topTenListPrompt);
    topTenListIndex = 1;
}

void LocalScores::stopTopTenListPrompt() { clips::silence(sound_.menu.topTenListPrompt); }

void LocalScores::topTenListPrevious() { topTenList.previous(); }

void LocalScores::topTenListNext() { topTenList.next(); }

void LocalScores::leaveTopTenList(bool toMainMenu) {
    menus_.stack.close(topTenList);
    numbers_.stopNumberSpeech();
    stopTopTenListPrompt();
    if (toMainMenu) menus_.showMainMenu();
    else openTopTenMenu();
}

}  // namespace zorvan
