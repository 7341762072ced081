// The spoken top-ten menu (main menu entry 4) and the browsing of one list, score by score.

#include "game/main_form.h"
#include "menus/bank_clips.h"
#include "platform/keys.h"
#include "records/local_scores.h"

namespace zorvan {

void MainForm::openTopTenMenu() { localScores.openTopTenMenu(); }
bool MainForm::topTenKeyDown(int keyCode) { return localScores.topTenKeyDown(keyCode); }

namespace {
constexpr std::int16_t kTopTenMenuEntries = 5;
}  // namespace

void LocalScores::openTopTenMenu() {
    topTenMenuActive = true;
    if (auto& music = form_.sound.menu.music) music->setVolume(-500);
    clips::replay(form_.sound.menu.topTenPrompt);
    topTenMenuIndex = 1;
}

void LocalScores::playTopTenMenuEntry(std::int16_t entry) {
    auto& bank = form_.sound.menu;
    if (entry >= 1 && entry <= 4) clips::playOnce(bank.topTenEntries[entry - 1]);
    else if (entry == 5) clips::playOnce(bank.keyEntries[12]);
}

void LocalScores::stopTopTenMenuSounds() {
    auto& bank = form_.sound.menu;
    clips::silence(bank.topTenPrompt);
    for (auto& entry : bank.topTenEntries) clips::silence(entry);
    clips::silence(bank.reset);
    clips::silence(bank.keyEntries[12]);
}

// At either end the menu falls silent; it does not wrap.
void LocalScores::topTenMenuPrevious() {
    stopTopTenMenuSounds();
    if (topTenMenuIndex <= 1) return;
    --topTenMenuIndex;
    playTopTenMenuEntry(topTenMenuIndex);
}

void LocalScores::topTenMenuNext() {
    stopTopTenMenuSounds();
    if (topTenMenuIndex >= kTopTenMenuEntries) return;
    ++topTenMenuIndex;
    playTopTenMenuEntry(topTenMenuIndex);
}

void LocalScores::topTenMenuJump(std::string_view direction) {
    stopTopTenMenuSounds();
    std::int16_t target = topTenMenuIndex;
    if (direction == "up") target = 1;
    else if (direction == "down") target = kTopTenMenuEntries;
    if (target == topTenMenuIndex) return;
    topTenMenuIndex = target;
    playTopTenMenuEntry(topTenMenuIndex);
}

void LocalScores::topTenMenuSelect() {
    stopTopTenMenuSounds();
    switch (topTenMenuIndex) {
    case 1: chooseList('a'); break;
    case 2: chooseList('b'); break;
    case 3: chooseList('c'); break;
    case 4: clearAllLists(); break;
    case 5:
        topTenMenuActive = false;
        form_.menus.showMainMenu();
        break;
    default: break;
    }
}

void LocalScores::chooseList(char letter) {
    const DataFile lsDat = readDataFile(kTopTenFile);
    if (lsDat.state == FileState::Unreadable) {
        // Better no scores than made-up zeros; the menu stays where it was.
        topTenMenuActive = false;
        form_.menus.soundBusy = true;
        form_.errorShow();
        form_.menus.soundBusy = false;
        topTenMenuActive = true;
        return;
    }
    topTen_.loadTopTenList(letter, lsDat.content());
    topTenListLetter = letter;
    topTenMenuActive = false;
    openTopTenList();
}

void LocalScores::clearAllLists() {
    const bool cleared = form_.platform.files().write(kTopTenFile, clearedTopTenFile(3));
    resetHighScore();
    // Keys pressed while the answer plays are only stored: no menu is open meanwhile, so none
    // can start a second reset or leave for the main menu underneath the wait.
    topTenMenuActive = false;
    form_.menus.soundBusy = true;
    if (cleared) {
        auto& confirmation = form_.sound.menu.reset;
        clips::replay(confirmation);
        form_.sound.waitWhilePlaying(confirmation);
    } else {
        form_.errorShow();  // the lists are still there: do not confirm
    }
    form_.menus.soundBusy = false;
    openTopTenMenu();
}

void LocalScores::openTopTenList() {
    topTenListActive = true;
    clips::replay(form_.sound.menu.topTenListPrompt);
    topTenListIndex = 1;
}

void LocalScores::stopTopTenListPrompt() { clips::silence(form_.sound.menu.topTenListPrompt); }

// Place 1 is not spoken on opening: it is heard by coming back up to it. Past either end
// the list falls silent.
void LocalScores::topTenListPrevious() {
    stopTopTenListPrompt();
    form_.numbers.stopNumberSpeech();
    if (topTenListIndex <= 1) return;
    --topTenListIndex;
    form_.numbers.speakNumber(topTen_.topTenList(topTenListIndex), false);
}

void LocalScores::topTenListNext() {
    stopTopTenListPrompt();
    form_.numbers.stopNumberSpeech();
    if (topTenListIndex >= topTenPlaces) return;
    ++topTenListIndex;
    form_.numbers.speakNumber(topTen_.topTenList(topTenListIndex), false);
}

bool LocalScores::topTenKeyDown(int keyCode) {
    if (topTenMenuActive) {
        switch (keyCode) {
        case vk::Up: topTenMenuPrevious(); break;
        case vk::Down: topTenMenuNext(); break;
        case vk::Enter: topTenMenuSelect(); break;
        case vk::Home: topTenMenuJump("up"); break;
        case vk::End: topTenMenuJump("down"); break;
        case vk::Escape:
        case vk::Left:
            stopTopTenMenuSounds();
            topTenMenuActive = false;
            form_.menus.showMainMenu();
            break;
        default: break;
        }
        return true;
    }
    if (topTenListActive) {
        switch (keyCode) {
        case vk::Up: topTenListPrevious(); break;
        case vk::Down: topTenListNext(); break;
        case vk::Left:
            topTenListActive = false;
            form_.numbers.stopNumberSpeech();
            stopTopTenListPrompt();
            topTenMenuActive = true;
            openTopTenMenu();
            break;
        case vk::Enter:
        case vk::Escape:
            topTenListActive = false;
            form_.numbers.stopNumberSpeech();
            stopTopTenListPrompt();
            form_.menus.showMainMenu();
            break;
        default: break;
        }
        return true;
    }
    return false;
}

}  // namespace zorvan
