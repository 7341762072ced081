// The option to hear the game's words in the system's speech: prompts, numbers said whole, a
// message cut off by the next, the key that switches it, a speech that cannot be reached, and
// a replay that speaks the same. Through the simulated platform, whose speech writes "speak"
// lines to the event log.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "game/main_form.h"
#include "game/replay_run.h"
#include "platform/ini_settings.h"
#include "platform/keys.h"
#include "platform/replay.h"
#include "platform/sim/sim_platform.h"
#include "support/event_log.h"
#include "support/game_folder.h"
#include "support/temp_dir.h"

namespace zorvan {
namespace {

constexpr const char* kWords =
    "sounds/menu/m_p.wav\tMain menu. New game.\n"
    "sounds/menu/m1.wav\tNew game.\n"
    "sounds/menu/m2.wav\tLoad saved game.\n"
    "sounds/menu/m3.wav\tSubmit score online.\n"
    "sounds/speech/system_speech.wav\tThe system voice is on.\n"
    "sounds/speech/recorded_speech.wav\tRecorded voice.\n"
    "sounds/speech/no_system_speech.wav\tSystem speech cannot be reached.\n"
    "sounds/speech/yourhighscore.wav\tYour high score is\n"
    "sounds/vControl/version.wav\tVersion\n"
    "sounds/vControl/1.wav\tone\n"
    "sounds/numbers/4.wav\tfour\n"
    "sounds/numbers/3.wav\tthree\n"
    "sounds/numbers/20.wav\ttwenty\n"
    "sounds/numbers/1.wav\tone\n"
    "sounds/numbers/hundred.wav\thundred\n"
    "sounds/numbers/thousand.wav\tthousand\n";

// A game in a fresh folder with the words table, the choice stored as `stored` (none: empty).
class Game {
public:
    explicit Game(const std::string& stored = {}, const std::string& unavailable = {})
        : platform(options(folder, stored, unavailable)), form(platform) {}

    bool load() { return guarded([&] { form.Form_Load(); }); }
    void press(int code) {
        platform.pressKey(code, platform.nowMs());
        guarded([&] { form.loop.pump(); });
    }
    void runFor(std::int64_t ms) {
        const std::int64_t end = platform.nowMs() + ms;
        guarded([&] {
            while (platform.nowMs() < end) form.loop.pump();
        });
    }
    std::size_t mark() const { return platform.lines().size(); }
    std::vector<std::string> events(std::size_t from = 0) const { return test::eventsFrom(platform.lines(), from); }
    std::vector<std::string> spoken(std::size_t from = 0) const {
        std::vector<std::string> out;
        for (const auto& e : events(from))
            if (e.rfind("speak", 0) == 0) out.push_back(e);
        return out;
    }
    bool has(const std::string& event, std::size_t from = 0) const {
        for (const auto& e : events(from))
            if (e == event) return true;
        return false;
    }
    bool silenced(const SoundSlot& clip) { return clip && platform.mixer().silenced(clip->number()); }
    std::string stored() { return platform.settings().get("Kestrine", "zorvan", "speech", "(none)"); }

    test::GameFolder folder{test::GameFolder::Sounds::Generated};
    SimPlatform platform;
    MainForm form;
    std::optional<int> exitStatus;

private:
    static SimOptions options(test::GameFolder& folder, const std::string& stored, const std::string& unavailable) {
        folder.write("spoken.tsv", kWords);
        if (!stored.empty()) IniSettingsStore(folder.settings()).set("Kestrine", "zorvan", "speech", stored);
        SimOptions o;
        o.folder = folder.game();
        o.settingsFolder = folder.settings();
        o.speechUnavailable = unavailable;
        return o;
    }
    bool guarded(const std::function<void()>& body) { return test::runUnlessEnded(exitStatus, nullptr, body); }
};

using Lines = std::vector<std::string>;

TEST(SystemSpeech, RecordedByDefaultSpeaksNothingAndSilencesNothing) {
    for (const char* stored : {"", "recorded", "Loud"}) {
        Game run(stored);
        ASSERT_TRUE(run.load());
        run.press(vk::Down);
        run.form.highScore = 4321;
        run.press('H');
        run.runFor(3000);
        EXPECT_EQ(run.spoken(), Lines{}) << stored;
        EXPECT_FALSE(run.silenced(run.form.sound.menu.mainEntries[1])) << stored;
        EXPECT_TRUE(run.has("play sounds/numbers/4.wav once")) << stored;
    }
}

TEST(SystemSpeech, PromptsAreSaidAndTheNextMessageCutsOffTheLast) {
    Game run("system");
    ASSERT_TRUE(run.load());
    // The prompt plays on, silenced, so the menu keeps its timing.
    EXPECT_TRUE(run.has("play sounds/menu/m_p.wav once"));
    EXPECT_TRUE(run.silenced(run.form.sound.menu.mainPrompt));
    EXPECT_FALSE(run.silenced(run.form.sound.menu.music));
    const auto before = run.mark();
    run.press(vk::Down);  // while the prompt is still said
    EXPECT_EQ(run.spoken(before), (Lines{"speak-stop", "speak Load saved game."}));
    run.runFor(1000);
    // Said to its end, nothing is cut.
    const auto later = run.mark();
    run.press(vk::Down);
    EXPECT_EQ(run.spoken(later), Lines{"speak Submit score online."});
    EXPECT_EQ(run.spoken(0).front(), "speak Main menu. New game.");
}

TEST(SystemSpeech, NumbersAndTheVersionAreSaidWholeWhileTheirClipsPlaySilenced) {
    Game run("system");
    ASSERT_TRUE(run.load());
    run.runFor(1000);
    run.form.highScore = 4321;
    auto from = run.mark();
    run.press('H');
    run.runFor(3000);
    EXPECT_EQ(run.spoken(from), Lines{"speak Your high score is 4321"});
    for (const char* clip : {"4", "thousand", "3", "hundred", "20", "1"})
        EXPECT_TRUE(run.has(std::string("play sounds/numbers/") + clip + ".wav once", from)) << clip;

    from = run.mark();
    run.press('V');
    EXPECT_EQ(run.spoken(from), Lines{"speak Version " + std::string(VersionControl::versionString)});
    EXPECT_TRUE(run.has("play sounds/vControl/point.wav once", from));
}

TEST(SystemSpeech, TheKeySwitchesStoresAndSpeaksInTheNewMode) {
    Game run;
    ASSERT_TRUE(run.load());
    run.runFor(1000);
    auto from = run.mark();
    run.press('S');
    EXPECT_EQ(run.spoken(from), Lines{"speak The system voice is on."});
    EXPECT_TRUE(run.has("play sounds/speech/system_speech.wav once", from));
    EXPECT_EQ(run.stored(), "system");

    run.runFor(500);
    from = run.mark();
    run.press('S');
    EXPECT_EQ(run.spoken(from), Lines{});
    EXPECT_TRUE(run.has("play sounds/speech/recorded_speech.wav once", from));
    EXPECT_FALSE(run.silenced(run.form.sound.speechChannelA));
    EXPECT_EQ(run.stored(), "recorded");
    // A clip silenced while the option was on is heard again.
    run.press(vk::Down);
    EXPECT_FALSE(run.silenced(run.form.sound.menu.mainEntries[1]));
    EXPECT_EQ(run.spoken(from), Lines{});
}

TEST(SystemSpeech, UnreachableSpeechIsToldOnceAndTheRecordedVoiceGoesOn) {
    Game run("system", "no speech-dispatcher here");
    ASSERT_TRUE(run.load());
    int told = 0;
    for (const auto& e : run.events())
        if (e == "play sounds/speech/no_system_speech.wav once") ++told;
    EXPECT_EQ(told, 1);
    EXPECT_FALSE(run.silenced(run.form.sound.menu.mainPrompt));
    EXPECT_EQ(run.spoken(), Lines{});
    EXPECT_EQ(run.stored(), "system");  // tried again at the next start
    run.runFor(1000);
    const auto from = run.mark();
    run.press('S');
    EXPECT_TRUE(run.has("play sounds/speech/no_system_speech.wav once", from));
    EXPECT_EQ(run.stored(), "system");
}

// Whether the speech could be reached is part of the replay: a replay of a run without it plays
// the same on a machine that has it.
TEST(SystemSpeech, AReplayedRunSpeaksTheSame) {
    for (const std::string unavailable : {"", "no speech-dispatcher here"}) {
        test::GameFolder folder(test::GameFolder::Sounds::Generated);
        test::TempDir dirs(unavailable.empty() ? "there" : "missing");
        folder.write("spoken.tsv", kWords);
        IniSettingsStore(folder.settings()).set("Kestrine", "zorvan", "speech", "system");
        SimOptions o;
        o.folder = folder.game();
        o.dataFolder = dirs.path() / "data";
        o.settingsFolder = folder.settings();
        o.keys = parseKeyScript("500 Space\n+500 Space\n+1000 Down\n+100 Down\n+1000 H\n+3000 S\n+2000 Escape\n");
        o.record = true;
        o.sleepThroughIdleTimers = true;
        o.speechUnavailable = unavailable;
        SimPlatform platform(o);
        int status = -1;
        try {
            MainForm form(platform);
            form.run();
        } catch (const ProgramEnd& end) {
            status = end.status;
        }
        platform.exited(status);
        std::string error;
        auto replay = parseReplay(platform.replaySoFar().value_or(""), &error);
        ASSERT_TRUE(replay) << error;
        ReplayRunOptions r;
        r.gameFolder = folder.game();
        r.workFolder = dirs.path() / "replayed";
        const ReplayRunResult result = runReplay(*replay, r);
        EXPECT_TRUE(result.finished) << unavailable << ": " << result.error;
        EXPECT_EQ(result.log, platform.lines()) << unavailable;
        int spoken = 0;
        for (const auto& line : result.log)
            if (line.find(" speak ") != std::string::npos) ++spoken;
        EXPECT_EQ(spoken >= 4, unavailable.empty()) << unavailable;
    }
}

}  // namespace
}  // namespace zorvan
