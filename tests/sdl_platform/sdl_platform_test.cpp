// The real platform's logical clock: it moves only inside idleUntil, never ahead of the real
// clock; keys count at a time after the clock's present; a late wake-up jumps and is recorded;
// a one-shot ends at its computed end; the run is recorded as it goes, and a replay is played
// back at its own times with the player's files out of reach.
#include <SDL.h>
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <limits>
#include <random>
#include <thread>

#include "platform/folder_files.h"
#include "platform/replay.h"
#include "platform/run_timeline.h"
#include "platform/sdl/sdl_platform.h"
#include "platform/speech.h"
#include "sound/mixer.h"
#include "support/temp_dir.h"

namespace zorvan {
namespace {

constexpr std::int64_t kForever = std::numeric_limits<std::int64_t>::max();

void pressKey(SDL_Keycode key) {
    SDL_Event event{};
    event.type = SDL_KEYDOWN;
    event.key.state = SDL_PRESSED;
    event.key.keysym.sym = key;
    ASSERT_EQ(SDL_PushEvent(&event), 1);
}

// A replay of the game's version that holds one key, 37 (Left) at 40 ms.
Replay replayWithOneKey() {
    Replay replay;
    replay.programVersion = "1.2";
    ReplayInput key;
    key.kind = ReplayInput::Kind::Key;
    key.atMs = 40;
    key.key = 37;
    replay.inputs.push_back(key);
    return replay;
}

std::optional<Replay> recorded(Platform& platform) {
    auto text = platform.replaySoFar();
    if (!text) return std::nullopt;
    std::string error;
    auto replay = parseReplay(*text, &error);
    EXPECT_TRUE(replay) << error;
    return replay;
}

class SdlPlatformTest : public ::testing::Test {
protected:
    void SetUp() override {
        // No display and no sound card needed.
        ::setenv("SDL_VIDEODRIVER", "dummy", 1);
        ::setenv("SDL_AUDIODRIVER", "dummy", 1);
        ::setenv("XDG_DATA_HOME", (dir_.path() / "data").c_str(), 1);
        ::setenv("XDG_CONFIG_HOME", (dir_.path() / "config").c_str(), 1);
        std::filesystem::create_directories(dir_.path() / "config");
    }
    std::filesystem::path data() const { return dir_.path() / "data" / "zorvan"; }
    // Milliseconds of real time since `since`.
    static std::int64_t msSince(std::chrono::steady_clock::time_point since) {
        return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - since).count();
    }

    test::TempDir dir_;
};

TEST_F(SdlPlatformTest, KeysCountAfterThePresentAndNeverAheadOfTheRealClock) {
    const auto start = std::chrono::steady_clock::now();
    auto platform = makeSdlPlatform(SdlOptions{});
    EXPECT_EQ(platform->nowMs(), 0);

    // Taken only once idleUntil moves the clock on: a pending key is no key yet.
    pressKey(SDLK_SPACE);
    SDL_PumpEvents();
    EXPECT_FALSE(platform->takeKey());
    EXPECT_EQ(platform->nowMs(), 0);

    std::int64_t last = 0;
    std::vector<std::pair<std::int64_t, int>> taken;
    for (int round = 0; round < 6; ++round) {
        // Two keys at once, the second in the same millisecond as the first was taken, and
        // keys that came while a handler was busy: each counts strictly after the present.
        if (round % 2) std::this_thread::sleep_for(std::chrono::milliseconds(25));
        pressKey(round % 3 ? SDLK_LEFT : SDLK_UP);
        platform->idleUntil(kForever);
        const std::int64_t now = platform->nowMs();
        EXPECT_GT(now, last);
        EXPECT_LE(now, msSince(start) + 1) << "the clock ran ahead of the real one";
        while (auto key = platform->takeKey()) taken.emplace_back(now, *key);
        EXPECT_FALSE(platform->takeKey());
        last = now;
    }
    while (taken.size() < 7) {
        platform->idleUntil(kForever);
        while (auto key = platform->takeKey()) taken.emplace_back(platform->nowMs(), *key);
    }
    ASSERT_EQ(taken.size(), 7u);
    EXPECT_EQ(taken[0].second, 32);

    // Each at the time it was taken, in the replay too.
    auto replay = recorded(*platform);
    ASSERT_TRUE(replay);
    std::vector<std::pair<std::int64_t, int>> keys;
    for (const auto& in : replay->inputs)
        if (in.kind == ReplayInput::Kind::Key) keys.emplace_back(in.atMs, in.key);
    EXPECT_EQ(keys, taken);
}

TEST_F(SdlPlatformTest, DeadlinesAreKeptAndLateWakeUpsJumpAndAreRecorded) {
    auto platform = makeSdlPlatform(SdlOptions{});
    const std::int64_t before = platform->nowMs();
    platform->idleUntil(before + 30);
    // On time, or (a busy machine) late enough to count as a late wake-up.
    const std::int64_t after = platform->nowMs();
    EXPECT_TRUE(after == before + 30 || after > before + 50) << after;

    // The game was busy: the clock takes the real time, and the replay says so.
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    const std::int64_t from = platform->nowMs();
    platform->idleUntil(from + 10);
    EXPECT_GE(platform->nowMs(), from + 200);
    auto replay = recorded(*platform);
    ASSERT_TRUE(replay);
    ASSERT_FALSE(replay->inputs.empty());
    const ReplayInput& wake = replay->inputs.back();
    EXPECT_EQ(wake.kind, ReplayInput::Kind::Wake);
    EXPECT_EQ(wake.fromMs, from);
    EXPECT_EQ(wake.atMs, platform->nowMs());
}

TEST_F(SdlPlatformTest, AOneShotEndsAtItsComputedEnd) {
    auto platform = makeSdlPlatform(SdlOptions{});
    std::vector<std::uint32_t> ended;
    platform->setVoiceEndListener([&](std::uint32_t voice) { ended.push_back(voice); });
    auto clip = std::make_shared<PcmClip>();
    clip->rate = 24000;
    clip->channels = 1;
    clip->samples.assign(2400, 0.1f);  // 100 ms, 80 ms at 30000 Hz
    Mixer& mixer = platform->mixer();
    EXPECT_EQ(mixer.deviceRate(), 48000) << "the game's mixer runs at the simulated platform's rate";
    const auto voice = mixer.create(clip);
    mixer.setFrequency(voice, 30000);
    mixer.play(voice, false);
    const std::int64_t start = platform->nowMs();
    while (ended.empty()) platform->idleUntil(kForever);
    EXPECT_EQ(ended, std::vector<std::uint32_t>{voice});
    EXPECT_FALSE(mixer.isPlaying(voice));
    auto replay = recorded(*platform);
    ASSERT_TRUE(replay);
    if (replay->inputs.empty()) EXPECT_EQ(platform->nowMs(), start + 80);
    else EXPECT_EQ(replay->inputs.back().kind, ReplayInput::Kind::Wake);
}

TEST_F(SdlPlatformTest, EveryRunIsRecordedAsItGoes) {
    std::filesystem::create_directories(data());
    writeFileAtomically(data() / "config.dat", "Ada\r\nnun\r\nGB\r\n");
    writeFileAtomically(dir_.path() / "config" / "Kestrine.ini", "[zorvan]\r\naudiobuffer=512\r\n");
    auto platform = makeSdlPlatform(SdlOptions{});
    const double first = platform->random();
    pressKey(SDLK_RETURN);
    platform->idleUntil(kForever);
    ASSERT_EQ(platform->takeKey(), 13);
    const LocalDateTime date = platform->localDateTime();
    endRun(*platform, 3);

    ASSERT_TRUE(std::filesystem::is_directory(data() / "replays"));
    std::vector<std::filesystem::path> files;
    for (const auto& entry : std::filesystem::directory_iterator(data() / "replays")) files.push_back(entry.path());
    ASSERT_EQ(files.size(), 1u);
    auto text = readWholeFile(files[0]);
    ASSERT_TRUE(text);
    EXPECT_EQ(*text, *platform->replaySoFar()) << "the file has everything so far";
    std::string error;
    auto replay = parseReplay(*text, &error);
    ASSERT_TRUE(replay) << error;
    EXPECT_EQ(replay->exitStatus, 3);
    // The seed gives the numbers the game drew, as the simulated platform draws them.
    std::mt19937_64 rng(replay->seed);
    EXPECT_EQ(first, static_cast<double>(rng() >> 11) * 0x1.0p-53);
    bool sawConfig = false, sawKestrine = false;
    for (const auto& f : replay->files)
        if (f.name == "config.dat") sawConfig = f.bytes == "Ada\r\nnun\r\nGB\r\n";
    for (const auto& s : replay->settings)
        if (s.name == "Kestrine") sawKestrine = s.bytes == "[zorvan]\r\naudiobuffer=512\r\n";
    EXPECT_TRUE(sawConfig);
    EXPECT_TRUE(sawKestrine);
    ASSERT_EQ(replay->inputs.size(), 2u);
    EXPECT_EQ(replay->inputs[0].kind, ReplayInput::Kind::Key);
    EXPECT_EQ(replay->inputs[1].kind, ReplayInput::Kind::Date);
    EXPECT_EQ(replay->inputs[1].date.longTime, date.longTime);
}

TEST_F(SdlPlatformTest, AReplayIsPlayedAtItsOwnTimesAwayFromThePlayersFiles) {
    Replay replay = replayWithOneKey();
    replay.seed = 99;
    replay.files.push_back({"config.dat", std::string("Bob\r\nnun\r\nFR\r\n")});
    replay.files.push_back({"savegame.dat", std::nullopt});
    ReplayInput key = replay.inputs[0];
    ReplayInput wake;
    wake.kind = ReplayInput::Kind::Wake;
    wake.fromMs = 40;
    wake.atMs = 90;
    replay.inputs.push_back(wake);
    ReplayInput date;
    date.kind = ReplayInput::Kind::Date;
    date.atMs = 90;
    date.date = {"01/02/2003", "04:05:06", 14706};
    replay.inputs.push_back(date);
    key.atMs = 130;
    key.key = 39;
    replay.inputs.push_back(key);

    SdlOptions options;
    options.replay = &replay;
    const auto start = std::chrono::steady_clock::now();
    auto platform = makeSdlPlatform(options);
    EXPECT_EQ(platform->files().read("config.dat"), "Bob\r\nnun\r\nFR\r\n");
    EXPECT_FALSE(platform->files().exists("savegame.dat"));
    // The player's own keys are not the game's.
    pressKey(SDLK_DOWN);
    platform->idleUntil(kForever);
    EXPECT_EQ(platform->nowMs(), 40);
    EXPECT_EQ(platform->takeKey(), 37);
    EXPECT_FALSE(platform->takeKey());
    platform->idleUntil(60);  // the recorded run woke late here and jumped over its deadline
    EXPECT_EQ(platform->nowMs(), 90);
    EXPECT_EQ(platform->localDateTime().longTime, "04:05:06");
    platform->idleUntil(kForever);
    EXPECT_EQ(platform->nowMs(), 130);
    EXPECT_GE(msSince(start), 130) << "played back faster than it was played";
    EXPECT_EQ(platform->takeKey(), 39);
    std::mt19937_64 rng(99);
    EXPECT_EQ(platform->random(), static_cast<double>(rng() >> 11) * 0x1.0p-53);

    // Written where the player's files are not, and nothing recorded.
    EXPECT_TRUE(platform->files().write("stats.txt", "x"));
    EXPECT_FALSE(platform->replaySoFar());
    EXPECT_FALSE(std::filesystem::exists(data() / "stats.txt"));
    EXPECT_FALSE(std::filesystem::exists(data() / "replays"));

    // Escape ends the playback.
    EXPECT_FALSE(platform->closeRequested());
    pressKey(SDLK_ESCAPE);
    platform->idleUntil(kForever);
    EXPECT_TRUE(platform->closeRequested());

    const std::filesystem::path scratch = std::filesystem::path(platform->files().absolutePath("stats.txt")).parent_path();
    EXPECT_TRUE(std::filesystem::exists(scratch / "stats.txt"));
    platform.reset();
    EXPECT_FALSE(std::filesystem::exists(scratch)) << "the run's files outlived it";
}

// As the simulated platform does: what the replay lacks, or has at a time the run has passed,
// ends the playback with the reason instead of the wall clock's date or a key taken late.
TEST_F(SdlPlatformTest, AReplayWithoutMoreDatesOrWithAnInputInThePastIsAMismatch) {
    Replay replay = replayWithOneKey();
    SdlOptions options;
    options.replay = &replay;
    {
        auto platform = makeSdlPlatform(options);
        platform->idleUntil(kForever);
        EXPECT_EQ(platform->nowMs(), 40);
        try {
            platform->localDateTime();
            FAIL() << "the date was read from the wall clock";
        } catch (const ReplayMismatch& e) {
            EXPECT_STREQ(e.what(), "the run reads the date at 40, the replay has no more dates");
        }
    }
    replay.inputs[0].atMs = 0;  // before the run ever waited
    auto platform = makeSdlPlatform(options);
    EXPECT_THROW(platform->idleUntil(kForever), ReplayMismatch);
    EXPECT_FALSE(platform->takeKey());
}

// The replay says the system speech was there: the run goes on as it did, saying its words,
// though this machine has no speech-dispatcher to say them; one answer more is a mismatch.
TEST_F(SdlPlatformTest, APlaybackTakesTheReplaysAnswerAboutTheSystemSpeech) {
    ::setenv("SPEECHD_ADDRESS", ("unix_socket:" + (dir_.path() / "no-speechd").string()).c_str(), 1);
    Replay replay;
    replay.programVersion = "1.2";
    ReplayInput answer;
    answer.kind = ReplayInput::Kind::Speech;
    replay.inputs.push_back(answer);
    SdlOptions options;
    options.replay = &replay;
    options.logPath = dir_.path() / "log";
    auto platform = makeSdlPlatform(options);
    SystemSpeech* speech = platform->speech();
    if (!speech) GTEST_SKIP() << "built without the system speech";
    EXPECT_EQ(speech->open(), "");
    EXPECT_TRUE(speech->say("Level 1"));
    EXPECT_THROW(speech->open(), ReplayMismatch);
    platform.reset();
    ::unsetenv("SPEECHD_ADDRESS");
    EXPECT_EQ(readWholeFile(dir_.path() / "log"), "0 speak Level 1\n");
}

TEST_F(SdlPlatformTest, APlaybackThatCannotStartLeavesNoFilesBehind) {
    const std::filesystem::path temporary = dir_.path() / "tmp";
    std::filesystem::create_directories(temporary);
    ::setenv("TMPDIR", temporary.c_str(), 1);
    ::setenv("SDL_VIDEODRIVER", "no-such-driver", 1);
    Replay replay;
    replay.programVersion = "1.2";
    replay.files.push_back({"config.dat", std::string("Bob\r\nnun\r\nFR\r\n")});
    SdlOptions options;
    options.replay = &replay;
    EXPECT_THROW(makeSdlPlatform(options), std::runtime_error);
    ::unsetenv("TMPDIR");
    EXPECT_TRUE(std::filesystem::is_empty(temporary));
}

}  // namespace
}  // namespace zorvan
