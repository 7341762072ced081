#include "game/main_form.h"

#include <array>
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
      menus(sound, numbers),
      keyMap(platform_, loop, sound, menus, hooks, key_k),
      localScores(platform_, sound, numbers, menus, hooks, race, highScore, mode),
      bonus(raceContext, player),
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
      tmrBstart(loop.addTimer("tmrBstart")),
      raceContext{platform_, loop, sound, numbers, menus, keyMap, mode, race, *this,
                  tmrGo, tmrItem, tmrRace, tmrWoosh, tmrSrace, tmrSwoosh, tmrBonus, tmrBstart},
      traffic(raceContext, player) {
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
    wireMenus();
}

namespace {
// Starting speed of each car type, added to the distance every second.
constexpr std::array<float, 4> kCarSpeeds{2.0f, 4.0f, 3.0f, 3.5f};
}  // namespace

void MainForm::wireMenus() {
    hooks.onFatal = [this](const std::string& title, const std::string& text) { fatal(title, text); };
    hooks.onEnd = [this](int status, const std::string& message) { endProgram(status, message); };
    hooks.unreadableText = [this](std::string_view name, std::string_view reason) {
        return unreadableText(name, reason);
    };
    hooks.errorShow = [this] { errorShow(); };

    MenuActions& a = menus.actions;
    a.newGame = [this] { newGame(); };
    a.carChosen = [this](std::int16_t carType) {
        if (carType >= 1 && carType <= 4) race.m_speed = kCarSpeeds[carType - 1];
    };
    a.loadSavedGame = [this] { loadSavedGame(); };
    a.submitScore = [this] { scoreStuf(); };
    a.openTopTen = [this] { openTopTenMenu(); };
    a.openKeyMap = [this] { keyMap.openKeyMenu(); };
    a.exitGame = [this] { exitGame(); };
    a.toggleTheme = [this] { toggleTheme(); };
    a.speakHighScore = [this] { speakHighScore(); };
    a.announceVersion = [this] { version.announceVersion(); };
    a.toggleVoice = [this] { sound.voice.toggle(); };
}

void MainForm::openTopTenMenu() { localScores.openTopTenMenu(); }

// The end of a game, as the race calls it.
void MainForm::addToTopTen(std::int32_t gamePoints) { localScores.addToTopTen(gamePoints); }
void MainForm::writeStatsReport() { localScores.writeStatsReport(race.endCause); }

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
    platform.setPadKeys([this] { return padKeysFor(keyMap.codes(), race.game || bonus.bonusActive); });
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
    if (!race.game || !player) {
        platform.showRaceStatus(std::nullopt);
        return;
    }
    platform.showRaceStatus(RaceStatus{race.levels, player->lifes(), race.points, player->position});
}

void MainForm::loadHighScore() { localScores.loadHighScore(); }

void MainForm::saveHighScore() { localScores.saveHighScore(race.points); }

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
    menus.stack.keyDown(keyCode);
}

bool MainForm::volumeKeyDown(int keyCode) {
    if (keyCode < vk::F9 || keyCode > vk::F12) return false;
    // The exit prompt takes any key as "go on", and a key being remapped is the new key.
    if (race.inExitPrompt || keyMap.waitingForKey) return false;
    if (race.game || bonus.bonusActive) {
        // A player who gave F9 to an action of the key map meant it for the race.
        for (std::int16_t code : keyMap.codes())
            if (code == keyCode) return false;
    } else {
        if (menus.stack.empty()) return false;
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
    if (!menus.mainMenuActive()) {
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
    race.game = false;
    if (scoreClient) scoreClient->wackScore("");
    menus.soundBusy = true;
    menus.stack.closeAll();
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
    if (race.newscore) saveHighScore();
    keyMap.saveKeys();
}

}  // namespace zorvan
