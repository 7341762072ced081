#include "game/main_form.h"

#include <exception>

#include "game/profile.h"
#include "platform/keys.h"

namespace zorvan {

MainForm::MainForm(Platform& platform_)
    : platform(platform_),
      loop(platform_),
      sound(platform_, loop),
      numbers(sound),
      version(sound),
      menus(*this),
      keyMap(*this),
      localScores(*this),
      bonus(*this),
      savedGame(*this),
      volume(sound),
      tmrVoss(loop.addTimer("tmrVoss")),
      tmrGo(loop.addTimer("tmrGo")),
      tmrComp(loop.addTimer("tmrComp")),
      tmrRace(loop.addTimer("tmrRace")),
      tmrWoosh(loop.addTimer("tmrWoosh")),
      tmrScomp(loop.addTimer("tmrScomp")),
      tmrSrace(loop.addTimer("tmrSrace")),
      tmrSwoosh(loop.addTimer("tmrSwoosh")),
      tmrAccelerate(loop.addTimer("tmrAccelerate")),
      tmrHole(loop.addTimer("tmrHole")),
      tmrItem(loop.addTimer("tmrItem")),
      tmrBonus(loop.addTimer("tmrBonus")),
      tmrBstart(loop.addTimer("tmrBstart")) {
    sound.forgetKey = [this] { key_k = 0; };
    sound.holdMainMenu = [this](const std::function<void()>& body) {
        // A nested hold would free the menu under the clip that held it.
        if (menus.soundBusy) return;
        menus.soundBusy = true;
        menus.stopMainMenuSounds();
        body();
        menus.soundBusy = false;
    };
    sound.menuSoundsLoaded = [this] { version.loadVersionSounds(); };
    sound.menuSoundsUnloaded = [this] { version.unloadVersionSounds(); };
    loop.setKeyHandler([this](int key) { Form_KeyDown(key); });
    loop.setCloseHandler([this] { Form_Unload(); });
    tmrVoss.setHandler([this] { numbers.numberSpeechTick(); });
    tmrVoss.setIdleWhen([this] { return numbers.speechQueueCount() == 0; });
    loop.setAfterHandlers([this] { showRaceStatus(); });
    wireRaceTimers();
}

MainForm::~MainForm() {
    // The platform may outlive this game (a new run after Configuration).
    platform.setPadKeys(nullptr);
}

std::string MainForm::programPath(std::string_view name) {
    return platform.files().absolutePath(name);
}

void MainForm::endProgram(int status, const std::string& message) {
    throw ProgramEnd{status, message};
}

std::string MainForm::unreadableText(std::string_view name, std::string_view reason) {
    return std::string(name) + " cannot be read: " + std::string(reason) + " (" +
           platform.files().absolutePath(name) + ")";
}

void MainForm::fatal(const std::string& title, const std::string& text) {
    platform.messageBox(title, text, MessageIcon::Critical);
    endProgram(1, text);
}

void MainForm::run() {
    try {
        Form_Load();
        loop.run();
    } catch (const SoundLoadError& e) {
        // A sound of the game is missing: say which, rather than play on without it.
        fatal("Zorvan! fatal error!", e.what());
    }
}

void MainForm::playOpeningSound(SoundSlot opening) {
    opening->play(false);
    while (opening->isPlaying()) {
        if (key_k == vk::Space || key_k == vk::Ctrl || key_k == vk::Enter) {
            opening->stop();
            break;
        }
        loop.pump();
    }
}

void MainForm::Form_Load() {
    // Registering the Internet Transfer component has no counterpart here: the HTTP client
    // is linked in.
    // A write cut short by a crash or a kill left its temporary file; nothing else will.
    platform.files().removeStaleTemporaries();
    for (std::string_view app : {"Kestrine", "zorvan", "w32csp"}) platform.settings().removeStaleTemporaries(app);
    sound.initSound();
    volume.load();
    platform.setPadKeys([this] { return padKeysFor(keyMap.codes(), game || bonus.bonusActive); });
    loadHighScore();
    keyMap.loadKeys();
    getTheSettings();
    scoreClient = std::make_unique<zelkScore>(platform, [this] { loop.pump(); });
    mode = "tetriss";
    SoundSlot intro = sound.loadWave("sounds/intro.wav");
    SoundSlot logo = sound.loadWave("Kestrine.KSR");
    playOpeningSound(std::move(logo));
    key_k = 0;
    intro->rewind();
    playOpeningSound(std::move(intro));
    tmrVoss.setInterval(10);
    tmrVoss.setEnabled(true);
    sound.loadMenuSounds();
    sound.voice.start();
    menus.showMainMenu();
}

void MainForm::showRaceStatus() {
    if (!game || !player) {
        platform.showRaceStatus(std::nullopt);
        return;
    }
    platform.showRaceStatus(RaceStatus{levels, player->lifes(), points, player->position});
}

void MainForm::loadHighScore() { localScores.loadHighScore(); }

void MainForm::saveHighScore() { localScores.saveHighScore(points); }

void MainForm::getTheSettings() {
    auto bytes = platform.files().read("config.dat");
    if (!bytes) {
        // Something that cannot be read is not a missing profile: Configuration would not help.
        if (auto why = platform.files().unreadableReason("config.dat"); !why.empty())
            fatal("Zorvan! fatal error!", unreadableText("config.dat", why));
        shower("configuration");
        return;
    }
    ProfileRead read = parseProfile(*bytes);
    if (read.status == ProfileStatus::Damaged)
        fatal("Zorvan! fatal error!",
              "the config.dat file was tampered with! please reinstall the software");
    if (read.status == ProfileStatus::NotConfigured) {
        shower("configuration");
        return;
    }
    profileName = read.profile.name;
    profileEmail = read.profile.email;
    profileCountry = read.profile.country;
}

void MainForm::shower(std::string_view wichErr) {
    if (wichErr != "configuration") return;
    SoundSlot error = sound.loadWave("sounds/system/configerror.wav");
    error->play(false);
    sound.waitWhilePlaying(error);
    throw ProgramEnd{1, "no player profile: run Configuration first", true};
}

void MainForm::errorShow() {
    SoundSlot error = sound.loadWave("sounds/err.wav");
    error->play(false);
    sound.waitWhilePlaying(error);
}

void MainForm::Form_KeyDown(int keyCode) {
    key_k = static_cast<std::int16_t>(keyCode);
    if (volumeKeyDown(keyCode)) return;
    if (raceKeyDown(keyCode)) return;

    if (menus.mainMenuActive) {
        switch (keyCode) {
            case vk::Up: menus.menuPrevious("m_main"); break;
            case vk::Down: menus.menuNext("m_main"); break;
            case vk::Enter: menus.mainMenuSelect(); break;
            case vk::Home: menus.menuJump("main", "up"); break;
            case vk::End: menus.menuJump("main", "down"); break;
            case 'M':
            case vk::F5: toggleTheme(); break;
            case 'H': speakHighScore(); break;
            case vk::F2: loadSavedGame(); break;
            case 'V': version.announceVersion(); break;
            case 'S': sound.voice.toggle(); break;
            case vk::Escape: exitGame(); break;
            default: break;
        }
        return;
    }
    if (menus.carMenuActive) {
        switch (keyCode) {
            case vk::Up: menus.menuPrevious("car"); break;
            case vk::Down: menus.menuNext("car"); break;
            case vk::Enter: menus.carMenuSelect(); break;
            case vk::Escape:
            case vk::Left:
                menus.stopCarMenuSounds();
                menus.showMainMenu();
                break;
            case vk::Home: menus.menuJump("car", "up"); break;
            case vk::End: menus.menuJump("car", "down"); break;
            default: break;
        }
        return;
    }
    if (menus.difficultyMenuActive) {
        switch (keyCode) {
            case vk::Up: menus.menuPrevious("dif"); break;
            case vk::Down: menus.menuNext("dif"); break;
            case vk::Enter: menus.difficultyMenuSelect(); break;
            case vk::Escape:
            case vk::Left:
                menus.stopDifficultyMenuSounds();
                menus.showMainMenu();
                break;
            case vk::Home: menus.menuJump("dif", "up"); break;
            case vk::End: menus.menuJump("dif", "down"); break;
            default: break;
        }
        return;
    }
    if (keyMap.keyMenuActive) {
        if (keyMap.waitingForKey) return;
        switch (keyCode) {
            case vk::Up: keyMap.keyMenuPrevious(); break;
            case vk::Down: keyMap.keyMenuNext(); break;
            case vk::Enter: keyMap.keyMenuSelect(); break;
            case vk::Home: keyMap.keyMenuJump("up"); break;
            case vk::End: keyMap.keyMenuJump("down"); break;
            case vk::Escape:
            case vk::Left:
                keyMap.stopKeyMenuSounds();
                keyMap.keyMenuActive = false;
                menus.showMainMenu();
                break;
            default: break;
        }
        return;
    }
    if (topTenKeyDown(keyCode)) return;
    if (menus.lgMenuActive) {
        switch (keyCode) {
            case vk::Up: menus.lgMenuPrevious(); break;
            case vk::Down: menus.lgMenuNext(); break;
            case vk::Enter: menus.lgMenuSelect(); break;
            case vk::Home: menus.lgMenuJump("up"); break;
            case vk::End: menus.lgMenuJump("down"); break;
            case vk::Escape:
            case vk::Left:
                menus.lgMenuActive = false;
                menus.stopLgMenuSounds();
                menus.showMainMenu();
                break;
            default: break;
        }
        return;
    }
    if (menus.ltListActive || menus.laListActive) {
        const bool lt = menus.ltListActive;
        switch (keyCode) {
            case vk::Up: lt ? menus.ltListPrevious() : menus.laListPrevious(); break;
            case vk::Down: lt ? menus.ltListNext() : menus.laListNext(); break;
            case vk::Escape:
            case vk::Left:
                if (lt) {
                    menus.ltListActive = false;
                    menus.stopLtSounds();
                } else {
                    menus.laListActive = false;
                    menus.stopLaSounds();
                }
                menus.openLgMenu();
                break;
            default: break;
        }
    }
}

bool MainForm::volumeKeyDown(int keyCode) {
    if (keyCode < vk::F9 || keyCode > vk::F12) return false;
    // The exit prompt takes any key as "go on", and a key being remapped is the new key.
    if (inExitPrompt || keyMap.waitingForKey) return false;
    if (game || bonus.bonusActive) {
        // A player who gave F9 to an action of the key map meant it for the race.
        for (std::int16_t code : keyMap.codes())
            if (code == keyCode) return false;
    } else {
        const bool inMenus = menus.mainMenuActive || menus.carMenuActive || menus.difficultyMenuActive ||
                             keyMap.keyMenuActive || localScores.topTenMenuActive ||
                             localScores.topTenListActive || menus.lgMenuActive || menus.ltListActive ||
                             menus.laListActive;
        if (!inMenus) return false;
    }
    volume.keyDown(keyCode);
    return true;
}

void MainForm::toggleTheme() {
    // A prompt being played to its end keeps the menu to itself.
    if (menus.soundBusy) return;
    menus.soundBusy = true;
    menus.stopMainMenuSounds();
    if (sound.menu.music) sound.menu.music->setVolume(-800);
    if (mode == "arcade") {
        mode = "tetriss";
        sound.playWave("speech", "tetriss_mode", true, 0, false);
    } else if (mode == "tetriss") {
        mode = "arcade";
        sound.playWave("speech", "arcade_mode", true, 0, false);
    }
    if (sound.menu.music) sound.menu.music->setVolume(0);
    menus.soundBusy = false;
}

void MainForm::speakHighScore() {
    numbers.stopNumberSpeech();
    if (!menus.mainMenuActive) {
        numbers.queueClip(programPath("sounds/speech/yourhighscore.wav"));
        numbers.speakNumber(highScore, false);
        return;
    }
    if (menus.soundBusy) return;
    menus.soundBusy = true;
    menus.stopMainMenuSounds();
    if (sound.menu.music) sound.menu.music->setVolume(-800);
    numbers.queueClip(programPath("sounds/speech/yourhighscore.wav"));
    numbers.speakNumber(highScore, false);
    if (sound.menu.music) sound.menu.music->setVolume(0);
    menus.soundBusy = false;
}

void MainForm::exitGame() {
    if (menus.soundBusy) return;
    key_k = 0;
    game = false;
    if (scoreClient) scoreClient->wackScore("");
    menus.soundBusy = true;
    menus.mainMenuActive = false;
    menus.carMenuActive = false;
    menus.difficultyMenuActive = false;
    menus.stopMainMenuSounds();
    if (sound.menu.music) sound.menu.music->stop();
    sound.unloadGameSounds();
    if (sound.menu.farewell) {
        sound.menu.farewell->rewind();
        sound.menu.farewell->play(false);
        while (sound.menu.farewell->isPlaying()) {
            if (key_k == vk::Shift || key_k == vk::Ctrl || key_k == vk::Enter) {
                sound.menu.farewell->stop();
                break;
            }
            loop.pump();
        }
    }
    scoreClient.reset();
    sound.unloadMenuSounds();
    sound.shutdownSound();
    endProgram(0);
}

void MainForm::Form_Unload() {
    if (newscore) saveHighScore();
    keyMap.saveKeys();
}

}  // namespace zorvan
