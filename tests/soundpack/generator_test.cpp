// The generator's pieces: manifest parsing, WAV files, level and silence processing, rate
// conversion, determinism, and the incremental build.

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>

#include <unistd.h>

#include "fx.h"
#include "pack.h"
#include "pack_files.h"
#include "speech.h"

#include "support/temp_dir.h"

using namespace packtest;

namespace {

sp::Audio tone(int rate, double hz, double seconds, double amp) {
    sp::Audio a(rate, 1, static_cast<std::size_t>(seconds * rate));
    for (std::size_t i = 0; i < a.frames(); ++i) a.ch[0][i] = static_cast<float>(amp * std::sin(2 * std::numbers::pi * hz * double(i) / rate));
    return a;
}

int zeroCrossings(const std::vector<float>& x, std::size_t from, std::size_t to) {
    int n = 0;
    for (std::size_t i = from + 1; i < to; ++i) n += (x[i - 1] < 0) != (x[i] < 0);
    return n;
}

using zorvan::test::TempDir;
using zorvan::test::writeText;

std::string errorOf(const std::string& manifestText) {
    try {
        sp::parseManifest(manifestText, "m");
    } catch (const std::exception& e) {
        return e.what();
    }
    return "";
}

}  // namespace

// ---- manifest ------------------------------------------------------------------------------------

TEST(Manifest, ParsesPathsTypesAndSegmentOptions) {
    const auto clips = sp::parseManifest(
        "# comment\n"
        "\n"
        "sounds/menu/test.wav 22050 2 effect say[pan=-1]:Left. + gap:0.4 + say[pan=1]:Right, then on.\r\n"
        "sounds/car/1.wav 22050 1 loop fx:engine_lego\n"
        "Kestrine.KSR 44100 1 effect fx:logo + say[over=1.5]:Kestreen.\n");
    ASSERT_EQ(clips.size(), 3u);
    EXPECT_EQ(clips[0].path, "sounds/menu/test.wav");
    EXPECT_EQ(clips[0].channels, 2);
    EXPECT_EQ(clips[0].line, 3);
    ASSERT_EQ(clips[0].segments.size(), 3u);
    EXPECT_EQ(clips[0].segments[0].kind, sp::Segment::Kind::Say);
    EXPECT_EQ(clips[0].segments[0].option("pan", 0), -1.0);
    EXPECT_EQ(clips[0].segments[1].kind, sp::Segment::Kind::Gap);
    EXPECT_EQ(clips[0].segments[2].arg, "Right, then on.");
    EXPECT_EQ(clips[1].type, sp::ClipType::Loop);
    EXPECT_EQ(clips[2].rate, 44100);
    EXPECT_EQ(clips[2].segments[1].option("over", 0), 1.5);
}

TEST(Manifest, RejectsWhatWouldBreakThePack) {
    EXPECT_NE(errorOf("sounds/a.wav 22050 1 effect fx:no_such_sound\n").find("unknown sound generator"), std::string::npos);
    EXPECT_NE(errorOf("sounds/a.wav 22050 1 effect fx:click\nsounds/A.wav 22050 1 effect fx:click\n").find("listed twice"), std::string::npos);
    EXPECT_NE(errorOf("sounds/a.wav 22050 1 speech fx:click\n").find("words"), std::string::npos);
    EXPECT_NE(errorOf("sounds/a.wav 22050 1 speech say:a + gap:0.2\n").find("words"), std::string::npos);
    EXPECT_NE(errorOf("sounds/a.wav 22050 1 loop fx:click\n").find("loop"), std::string::npos);
    EXPECT_NE(errorOf("sounds/a.wav 22050 1 loop fx[dur=2]:road\n").find("loop"), std::string::npos);
    EXPECT_NE(errorOf("sounds/a.wav 22050 3 effect fx:click\n").find("channels"), std::string::npos);
    EXPECT_NE(errorOf("sounds/a.wav fast 1 effect fx:click\n").find("rate"), std::string::npos);
    EXPECT_NE(errorOf("sounds/a.wav 22050 1 sound fx:click\n").find("type"), std::string::npos);
    EXPECT_NE(errorOf("sounds\\a.wav 22050 1 effect fx:click\n").find("path"), std::string::npos);
    EXPECT_NE(errorOf("../a.wav 22050 1 effect fx:click\n").find("path"), std::string::npos);
    EXPECT_NE(errorOf("other/a.wav 22050 1 effect fx:click\n").find("path"), std::string::npos);
    EXPECT_NE(errorOf("sounds/a.wav 22050 1 effect say[pan=2]:x\n").find("pan"), std::string::npos);
    EXPECT_NE(errorOf("sounds/a.wav 22050 1 effect say[loud=2]:x\n").find("unknown option"), std::string::npos);
    EXPECT_NE(errorOf("sounds/a.wav 22050 1 effect fx[edge=-70]:click\n").find("edge"), std::string::npos);
    EXPECT_NE(errorOf("sounds/a.wav 22050 1 speech say[edge=-20]:x\n").find("edge"), std::string::npos);
    EXPECT_NE(errorOf("sounds/a.wav 22050 1 speech say[edge=-95]:x\n").find("edge"), std::string::npos);
    EXPECT_NE(errorOf("sounds/a.wav 22050 1 effect\n").find("m:1"), std::string::npos);
}

TEST(Manifest, TheRealManifestParsesAndUsesKnownGenerators) {
    EXPECT_GT(manifest().size(), 150u);
    for (const auto& c : manifest())
        for (const auto& s : c.segments)
            if (s.kind == sp::Segment::Kind::Fx) {
                EXPECT_NE(sp::findFx(s.arg), nullptr) << c.path;
            }
}

// ---- WAV files ------------------------------------------------------------------------------------

TEST(Wav, SixteenBitRoundTripKeepsSamplesAndClampsOverload) {
    sp::Audio a(22050, 2, 5);
    a.ch[0] = {0.0f, 0.5f, -0.5f, 1.5f, -1.5f};
    a.ch[1] = {0.25f, -0.25f, 1.0f / 32767.0f, 0.999f, -1.0f};
    const auto bytes = sp::encodeWav16(a);
    EXPECT_EQ(bytes.size(), 44u + 5 * 2 * 2);
    const auto w = sp::decodeWav(bytes);
    EXPECT_EQ(w.formatTag, 1);
    EXPECT_EQ(w.channels, 2);
    EXPECT_EQ(w.rate, 22050);
    EXPECT_EQ(w.bitsPerSample, 16);
    ASSERT_EQ(w.audio.frames(), 5u);
    for (int c = 0; c < 2; ++c)
        for (std::size_t i = 0; i < 5; ++i)
            EXPECT_NEAR(w.audio.ch[std::size_t(c)][i], std::clamp(a.ch[std::size_t(c)][i], -1.0f, 1.0f), 1.5 / 32768.0);
}

TEST(Wav, RejectsWhatIsNotPcmWave) {
    std::vector<std::uint8_t> junk = {'R', 'I', 'F', 'F', 0, 0, 0, 0, 'A', 'V', 'I', ' '};
    EXPECT_THROW(sp::decodeWav(junk), std::runtime_error);
    auto bytes = sp::encodeWav16(tone(8000, 100, 0.01, 0.5));
    bytes[20] = 3;  // format tag: float
    EXPECT_THROW(sp::decodeWav(bytes), std::runtime_error);
    bytes = sp::encodeWav16(tone(8000, 100, 0.01, 0.5));
    bytes.resize(bytes.size() - 10);  // data chunk cut short
    EXPECT_THROW(sp::decodeWav(bytes), std::runtime_error);
}

// ---- level and timing ------------------------------------------------------------------------------

TEST(Levels, GatedLoudnessIgnoresPauses) {
    sp::Audio a = tone(22050, 440, 0.5, std::sqrt(2.0) * sp::dbToGain(-20));
    const double alone = sp::gatedRmsDb(a);
    EXPECT_NEAR(alone, -20.0, 0.1);
    sp::Audio padded = sp::silence(22050, 1, 1.0);
    sp::append(padded, a);
    sp::append(padded, sp::silence(22050, 1, 1.0));
    EXPECT_NEAR(sp::gatedRmsDb(padded), alone, 0.2);
    EXPECT_LT(sp::gatedRmsDb(sp::silence(22050, 1, 0.5)), -150);
}

TEST(Levels, LimiterHoldsTheCeilingAndLeavesQuietPartsAlone) {
    sp::Audio a = tone(22050, 200, 1.0, 0.3);
    for (std::size_t i = 11025; i < 11025 + 400; ++i) a.ch[0][i] *= 4.0f;  // a burst to 1.2
    const sp::Audio before = a;
    sp::limitPeaks(a, 0.8f, 3.0);
    EXPECT_LE(sp::peakOf(a), 0.8f);
    for (std::size_t i = 0; i < 5000; ++i) EXPECT_EQ(a.ch[0][i], before.ch[0][i]);
    for (std::size_t i = 17000; i < a.frames(); ++i) EXPECT_EQ(a.ch[0][i], before.ch[0][i]);
}

TEST(Timing, TrimKeepsTheSoundAndOnlyAMarginOfSilence) {
    sp::Audio a = sp::silence(22050, 1, 0.3);
    sp::append(a, tone(22050, 300, 0.5, 0.5));
    sp::append(a, sp::silence(22050, 1, 0.4));
    sp::trimSilence(a, -50.0, 6.0, 12.0);
    // The level is measured over 10 ms, so it rises up to 5 ms before the tone and falls up to
    // 5 ms after it.
    EXPECT_NEAR(a.seconds(), 0.5 + 0.018 + 0.010, 0.003);
    EXPECT_LE(sp::leadingSilenceMs(a, -50.0), 6.0 + 5.1);
    EXPECT_LE(sp::trailingSilenceMs(a, -50.0), 12.0 + 5.1);
    EXPECT_FLOAT_EQ(a.ch[0].front(), 0.0f);  // faded, so the cut makes no click
}

TEST(Timing, TrimOfSilenceLeavesATokenClip) {
    sp::Audio a = sp::silence(22050, 1, 1.0);
    sp::trimSilence(a, -50.0, 6.0, 12.0);
    EXPECT_GT(a.frames(), 0u);
    EXPECT_LT(a.seconds(), 0.05);
}

TEST(Rates, ConversionKeepsPitchLevelAndLength) {
    const sp::Audio in = tone(32000, 1000, 1.0, 0.5);
    const sp::Audio out = sp::resample(in, 22050);
    EXPECT_EQ(out.rate, 22050);
    EXPECT_EQ(out.frames(), 22050u);
    EXPECT_NEAR(zeroCrossings(out.ch[0], 1000, 21050), 2.0 * 1000 * 20050 / 22050, 2);
    float peak = 0;
    for (std::size_t i = 1000; i < 21000; ++i) peak = std::max(peak, std::fabs(out.ch[0][i]));
    EXPECT_NEAR(peak, 0.5f, 0.01f);
}

TEST(Rates, ConversionRemovesWhatTheNewRateCannotHold) {
    const sp::Audio out = sp::resample(tone(32000, 14000, 1.0, 0.5), 22050);  // above 11025 Hz
    float peak = 0;
    for (std::size_t i = 1000; i < 21000; ++i) peak = std::max(peak, std::fabs(out.ch[0][i]));
    EXPECT_LT(peak, 0.005f);
}

TEST(Stereo, PanPutsAMonoSoundOnOneSideOrBoth) {
    const sp::Audio m = tone(22050, 300, 0.1, 0.5);
    const sp::Audio left = sp::panMono(m, -1.0), centre = sp::panMono(m, 0.0);
    EXPECT_EQ(sp::peakOf(sp::Audio(22050, 1, 0)), 0.0f);
    float r = 0;
    for (float v : left.ch[1]) r = std::max(r, std::fabs(v));
    EXPECT_EQ(r, 0.0f);
    EXPECT_EQ(centre.ch[0], m.ch[0]);
    EXPECT_EQ(centre.ch[1], m.ch[0]);
}

// ---- generators ------------------------------------------------------------------------------------

TEST(Generators, SameSourceSameBytes) {
    for (const char* name : {"engine_zorvan", "crash2", "item_on", "t_gameover"}) {
        const auto a = sp::encodeWav16(sp::renderFx(name, 22050));
        const auto b = sp::encodeWav16(sp::renderFx(name, 22050));
        EXPECT_EQ(a, b) << name;
    }
}

TEST(Generators, EveryLoopGeneratorWrapsAtAnyRate) {
    for (const auto& fx : sp::allFx()) {
        if (!fx.loop || std::string(fx.name) == "menu_music") continue;  // the music is checked in the pack
        const sp::Audio a = sp::renderFx(fx.name, 32000);
        const auto r = sp::analyseSeam(a);
        EXPECT_LE(r.seamStep, 2.0 * r.localStep + 1e-4) << fx.name;
    }
}

// A loop cut at an arbitrary point jumps; the seam analysis must see that.
TEST(Generators, SeamAnalysisCatchesAClick) {
    sp::Audio a = tone(22050, 100.0, 0.5125, 0.5);  // 51.25 cycles: ends a quarter cycle early
    const auto r = sp::analyseSeam(a);
    EXPECT_GT(r.seamStep, 2.0 * r.localStep + 4.0 / 32768.0);
}

// ---- speech ------------------------------------------------------------------------------------------

TEST(Speech, SynthesizedWordsAreTrimmedAndLevelled) {
    TempDir cache("speech");
    sp::SpeechSynth s(cache.path().string());
    const sp::Audio raw = s.raw("seven");
    EXPECT_GT(raw.frames(), 1000u);
    EXPECT_TRUE(fs::exists(cache.path() / "speech" / (s.cacheKey("seven") + ".wav")));
    const sp::Audio done = sp::finishSpeech(raw, 22050);
    EXPECT_EQ(done.rate, 22050);
    EXPECT_LT(done.seconds(), raw.seconds());
    EXPECT_LE(sp::leadingSilenceMs(done, sp::kSilenceDb), sp::kLeadKeepMs + 5.1);
    EXPECT_LE(sp::trailingSilenceMs(done, sp::kSilenceDb), sp::kTailKeepMs + 5.1);
    EXPECT_NEAR(sp::gatedRmsDb(done), sp::kSpeechLoudnessDb, 0.5);
}

// A word kept down to a lower edge keeps more of its faint start and end, still trimmed.
TEST(Speech, ALowerEdgeKeepsMoreOfTheWord) {
    TempDir cache("edge");
    const sp::Audio raw = sp::SpeechSynth(cache.path().string()).raw("point");
    const sp::Audio plain = sp::finishSpeech(raw, 22050), soft = sp::finishSpeech(raw, 22050, -70.0);
    EXPECT_GT(soft.frames(), plain.frames());
    EXPECT_LT(soft.seconds(), raw.seconds());
    EXPECT_LE(sp::leadingSilenceMs(soft, -70.0), sp::kLeadKeepMs + 5.1);
    EXPECT_LE(sp::trailingSilenceMs(soft, -70.0), sp::kTailKeepMs + 5.1);
}

// Respelt words reach the synthesizer as whole words only, whatever their case.
TEST(Speech, RespeltWordsOnlyWhole) {
    EXPECT_EQ(sp::spokenForm("six"), "sick's");
    EXPECT_EQ(sp::spokenForm("Eighty."), "eigh tee.");
    EXPECT_EQ(sp::spokenForm("sixty and sixteen"), "sixty and sixteen");
}

// The pack is the same on every machine with the same packages: the synthesizer is
// deterministic, so a fresh cache gives the same samples.
TEST(Speech, SameTextSameSamples) {
    TempDir a("speech-a"), b("speech-b");
    const sp::Audio first = sp::SpeechSynth(a.path().string()).raw("thousand");
    const sp::Audio second = sp::SpeechSynth(b.path().string()).raw("thousand");
    EXPECT_EQ(first.ch, second.ch);
}

TEST(Speech, AnUnknownVoiceFailsLoudly) {
    TempDir cache("voice");
    sp::SpeechSynth s(cache.path().string(), "no_such_voice");
    try {
        s.raw("hello");
        FAIL() << "no error";
    } catch (const std::runtime_error& e) {
        EXPECT_NE(std::string(e.what()).find("no_such_voice"), std::string::npos);
    }
}

// ---- the incremental build -------------------------------------------------------------------------

TEST(Pack, SecondBuildRemakesNothingAndWritesNothing) {
    TempDir work("pack");
    const fs::path manifestFile = work.path() / "manifest.tsv";
    writeText(manifestFile,
              "sounds/menu/m_click.wav 22050 1 effect fx:click\n"
              "sounds/bonus/b1.wav 22050 1 effect fx:target1\n"
              "Kestrine.KSR 22050 1 effect fx:t_hit\n");
    sp::PackOptions o;
    o.manifestPath = manifestFile.string();
    o.gameDir = (work.path() / "game").string();
    o.cacheDir = (work.path() / "cache").string();
    o.dataDir = dataSourceDir().string();
    o.fingerprint = "test";
    const auto first = sp::buildPack(o);
    EXPECT_EQ(first.clips, 3u);
    EXPECT_EQ(first.made, 3u);
    EXPECT_EQ(first.written, 3u);
    EXPECT_EQ(first.dataDelivered.size(), 4u);
    const auto clickBytes = sp::readFileBytes((work.path() / "game/sounds/menu/m_click.wav").string());
    const auto clickTime = fs::last_write_time(work.path() / "game/sounds/menu/m_click.wav");

    const auto second = sp::buildPack(o);
    EXPECT_EQ(second.made, 0u);
    EXPECT_EQ(second.fromCache, 3u);
    EXPECT_EQ(second.written, 0u);
    EXPECT_TRUE(second.dataDelivered.empty());
    EXPECT_EQ(fs::last_write_time(work.path() / "game/sounds/menu/m_click.wav"), clickTime);

    // A fresh cache and game folder give the same bytes: the build is deterministic.
    o.cacheDir = (work.path() / "cache2").string();
    o.gameDir = (work.path() / "game2").string();
    sp::buildPack(o);
    EXPECT_EQ(sp::readFileBytes((work.path() / "game2/sounds/menu/m_click.wav").string()), clickBytes);
}

TEST(Pack, OnlyTheChangedClipIsRemadeAndDroppedClipsLeave) {
    TempDir work("change");
    const fs::path manifestFile = work.path() / "manifest.tsv";
    writeText(manifestFile,
              "sounds/menu/m_click.wav 22050 1 effect fx:click\n"
              "sounds/bonus/b1.wav 22050 1 effect fx:target1\n");
    sp::PackOptions o;
    o.manifestPath = manifestFile.string();
    o.gameDir = (work.path() / "game").string();
    o.cacheDir = (work.path() / "cache").string();
    o.fingerprint = "test";
    sp::buildPack(o);
    writeText(manifestFile,
              "sounds/menu/m_click.wav 22050 1 effect fx:click\n"
              "sounds/bonus/b2.wav 22050 1 effect fx:target2\n");
    const auto r = sp::buildPack(o);
    EXPECT_EQ(r.made, 1u);
    EXPECT_EQ(r.fromCache, 1u);
    EXPECT_EQ(r.removed, 1u);
    EXPECT_FALSE(fs::exists(work.path() / "game/sounds/bonus/b1.wav"));
    EXPECT_TRUE(fs::exists(work.path() / "game/sounds/bonus/b2.wav"));
    // A new generator (another fingerprint) remakes everything.
    o.fingerprint = "test, changed";
    EXPECT_EQ(sp::buildPack(o).made, 2u);
}

TEST(Pack, AFileDamagedInTheGameFolderIsRepaired) {
    TempDir work("repair");
    const fs::path manifestFile = work.path() / "manifest.tsv";
    writeText(manifestFile, "sounds/menu/m_click.wav 22050 1 effect fx:click\n");
    sp::PackOptions o;
    o.manifestPath = manifestFile.string();
    o.gameDir = (work.path() / "game").string();
    o.cacheDir = (work.path() / "cache").string();
    o.fingerprint = "test";
    sp::buildPack(o);
    const fs::path click = work.path() / "game/sounds/menu/m_click.wav";
    const auto good = sp::readFileBytes(click.string());
    writeText(click, "broken");
    const auto r = sp::buildPack(o);
    EXPECT_EQ(r.made, 0u);
    EXPECT_EQ(r.written, 1u);
    EXPECT_EQ(sp::readFileBytes(click.string()), good);
}
