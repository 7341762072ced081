#include <gtest/gtest.h>

#include <random>

#include "sound/mixer.h"
#include "wav_builder.h"

namespace zorvan {
namespace {

using test::WavBuilder;

std::shared_ptr<const PcmClip> decode(const std::vector<std::uint8_t>& bytes, std::string* error = nullptr) {
    return decodeWav(std::span<const std::uint8_t>(bytes.data(), bytes.size()), error);
}

TEST(Wav, Decodes8BitUnsignedMono) {
    auto bytes = WavBuilder().format(1, 11025, 8).data({0, 128, 255, 64}).bytes();
    auto clip = decode(bytes);
    ASSERT_TRUE(clip);
    EXPECT_EQ(clip->rate, 11025);
    EXPECT_EQ(clip->channels, 1);
    ASSERT_EQ(clip->frames(), 4u);
    EXPECT_FLOAT_EQ(clip->samples[0], -1.0f);
    EXPECT_FLOAT_EQ(clip->samples[1], 0.0f);
    EXPECT_FLOAT_EQ(clip->samples[2], 127.0f / 128.0f);
    EXPECT_FLOAT_EQ(clip->samples[3], -0.5f);
}

TEST(Wav, Decodes16BitStereoInterleaved) {
    auto bytes = WavBuilder().format(2, 44100, 16).data16({16384, -32768, 32767, 0, -16384, 8192}).bytes();
    auto clip = decode(bytes);
    ASSERT_TRUE(clip);
    EXPECT_EQ(clip->rate, 44100);
    EXPECT_EQ(clip->channels, 2);
    ASSERT_EQ(clip->frames(), 3u);
    const std::vector<float> expected{0.5f, -1.0f, 32767.0f / 32768.0f, 0.0f, -0.5f, 0.25f};
    for (std::size_t i = 0; i < expected.size(); ++i) EXPECT_FLOAT_EQ(clip->samples[i], expected[i]) << i;
}

TEST(Wav, Decodes8BitStereoAnd16BitMono) {
    auto s8 = decode(WavBuilder().format(2, 8000, 8).data({128, 0, 255, 128}).bytes());
    ASSERT_TRUE(s8);
    EXPECT_EQ(s8->frames(), 2u);
    EXPECT_FLOAT_EQ(s8->samples[1], -1.0f);
    auto m16 = decode(WavBuilder().format(1, 22050, 16).data16({100, -100, 0}).bytes());
    ASSERT_TRUE(m16);
    EXPECT_EQ(m16->frames(), 3u);
    EXPECT_EQ(m16->rate, 22050);
}

TEST(Wav, SkipsExtraChunksAnywhere) {
    std::vector<std::uint8_t> list{'I', 'N', 'F', 'O', 'I', 'N', 'A', 'M', 3, 0, 0, 0, 'a', 'b', 0};
    auto bytes = WavBuilder()
                     .chunk("LIST", list)  // odd-sized, padded
                     .format(1, 8000, 16)
                     .chunk("fact", {4, 0, 0, 0})
                     .data16({1000, 2000})
                     .chunk("LIST", {1, 2, 3})
                     .bytes();
    auto clip = decode(bytes);
    ASSERT_TRUE(clip);
    ASSERT_EQ(clip->frames(), 2u);
    EXPECT_FLOAT_EQ(clip->samples[1], 2000.0f / 32768.0f);
}

TEST(Wav, DataBeforeFormatIsAccepted) {
    auto clip = decode(WavBuilder().data16({4096}).format(1, 8000, 16).bytes());
    ASSERT_TRUE(clip);
    EXPECT_FLOAT_EQ(clip->samples.at(0), 0.125f);
}

TEST(Wav, OddChunkWithoutPadByteIsStillFollowed) {
    auto bytes = WavBuilder().format(1, 8000, 8).chunk("junk", {1, 2, 3}, /*pad=*/false).data({200, 100}).bytes();
    auto clip = decode(bytes);
    ASSERT_TRUE(clip);
    EXPECT_EQ(clip->frames(), 2u);
}

TEST(Wav, WrongRiffSizeIsIgnored) {
    for (std::uint32_t size : {0u, 4u, 0xFFFFFFFFu}) {
        auto clip = decode(WavBuilder().format(1, 8000, 16).data16({1, 2, 3}).riffSize(size).bytes());
        ASSERT_TRUE(clip) << size;
        EXPECT_EQ(clip->frames(), 3u);
    }
}

TEST(Wav, TruncatedDataDecodesWhatIsThere) {
    // The data chunk claims 1000 bytes, 5 are there: two whole stereo 8-bit frames and a half.
    auto bytes = WavBuilder().format(2, 8000, 8).chunk("data", {10, 20, 30, 40, 50}, false, 1000).bytes();
    auto clip = decode(bytes);
    ASSERT_TRUE(clip);
    EXPECT_EQ(clip->frames(), 2u);
    EXPECT_EQ(clip->samples.size(), 4u);
}

TEST(Wav, OddDataSizeDropsThePartialSample) {
    auto clip = decode(WavBuilder().format(1, 8000, 16).data({0, 64, 0, 32, 7}).bytes());
    ASSERT_TRUE(clip);
    EXPECT_EQ(clip->frames(), 2u);
}

TEST(Wav, ChunkSizePastTheEndStopsTheWalk) {
    // A LIST chunk that claims far more than the file holds, after the data.
    auto bytes = WavBuilder().format(1, 8000, 16).data16({5, 6}).chunk("LIST", {1, 2}, true, 0x7FFFFFF0).bytes();
    auto clip = decode(bytes);
    ASSERT_TRUE(clip);
    EXPECT_EQ(clip->frames(), 2u);
    // The same chunk before the data hides it: a clean failure.
    std::string error;
    EXPECT_FALSE(decode(WavBuilder().format(1, 8000, 16).chunk("LIST", {1, 2}, true, 0x7FFFFFF0).data16({5}).bytes(),
                        &error));
    EXPECT_FALSE(error.empty());
}

TEST(Wav, ExtensiblePcmIsAccepted) {
    std::vector<std::uint8_t> f;
    WavBuilder::put16(f, 0xFFFE);
    WavBuilder::put16(f, 1);
    WavBuilder::put32(f, 16000);
    WavBuilder::put32(f, 32000);
    WavBuilder::put16(f, 2);
    WavBuilder::put16(f, 16);
    WavBuilder::put16(f, 22);  // extension size
    WavBuilder::put16(f, 16);  // valid bits
    WavBuilder::put32(f, 4);   // channel mask
    WavBuilder::put16(f, 1);   // sub-format: PCM
    f.insert(f.end(), {0x00, 0x00, 0x00, 0x00, 0x10, 0x00, 0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71});
    auto clip = decode(WavBuilder().chunk("fmt ", f).data16({1, 2}).bytes());
    ASSERT_TRUE(clip);
    EXPECT_EQ(clip->rate, 16000);
    EXPECT_EQ(clip->frames(), 2u);
}

TEST(Wav, EmptyDataIsAnEmptyClip) {
    auto clip = decode(WavBuilder().format(1, 8000, 16).data({}).bytes());
    ASSERT_TRUE(clip);
    EXPECT_EQ(clip->frames(), 0u);
}

TEST(Wav, RejectsWhatItCannotPlay) {
    struct Case {
        const char* name;
        std::vector<std::uint8_t> bytes;
    };
    std::vector<std::uint8_t> shortFmt{1, 0, 1, 0, 0x40, 0x1F, 0, 0};
    const std::vector<Case> cases{
        {"empty", {}},
        {"not riff", {'R', 'I', 'F', 'X', 0, 0, 0, 0, 'W', 'A', 'V', 'E'}},
        {"not wave", {'R', 'I', 'F', 'F', 4, 0, 0, 0, 'A', 'V', 'I', ' '}},
        {"header only", WavBuilder().bytes()},
        {"no fmt", WavBuilder().data16({1, 2}).bytes()},
        {"no data", WavBuilder().format(1, 8000, 16).bytes()},
        {"24-bit", WavBuilder().format(1, 8000, 24).data({0, 0, 0}).bytes()},
        {"float", WavBuilder().format(1, 8000, 32, 3).data({0, 0, 0, 0}).bytes()},
        {"adpcm", WavBuilder().format(1, 8000, 4, 2).data({0, 0}).bytes()},
        {"three channels", WavBuilder().format(3, 8000, 16).data16({1, 2, 3}).bytes()},
        {"no channels", WavBuilder().format(0, 8000, 16).data16({1}).bytes()},
        {"zero rate", WavBuilder().format(1, 0, 16).data16({1}).bytes()},
        {"short fmt", WavBuilder().chunk("fmt ", shortFmt).data16({1}).bytes()},
    };
    for (const auto& c : cases) {
        std::string error;
        EXPECT_FALSE(decode(c.bytes, &error)) << c.name;
        EXPECT_FALSE(error.empty()) << c.name;
    }
}

TEST(Wav, NeverReadsOutOfBoundsOnDamagedFiles) {
    const auto good = WavBuilder()
                          .chunk("LIST", {'I', 'N', 'F', 'O', 1})
                          .format(2, 22050, 16)
                          .data16({1, -1, 300, -300, 32767, -32768, 7, 8})
                          .bytes();
    // Every prefix, decoded from an exactly sized heap copy so a sanitizer sees any overread.
    for (std::size_t n = 0; n <= good.size(); ++n) {
        std::vector<std::uint8_t> prefix(good.begin(), good.begin() + static_cast<std::ptrdiff_t>(n));
        auto clip = decode(prefix);
        if (clip) {
            EXPECT_LE(clip->samples.size(), 8u);
        }
    }
    std::mt19937 rng(1234);
    for (int round = 0; round < 3000; ++round) {
        auto bytes = good;
        const int flips = 1 + static_cast<int>(rng() % 4);
        for (int i = 0; i < flips; ++i) bytes[rng() % bytes.size()] = static_cast<std::uint8_t>(rng());
        bytes.resize(rng() % (bytes.size() + 1));
        std::string error;
        auto clip = decode(bytes, &error);
        if (clip) {
            EXPECT_TRUE(clip->channels == 1 || clip->channels == 2);
            EXPECT_LE(clip->samples.size() * 1, bytes.size());
            EXPECT_EQ(clip->samples.size() % static_cast<std::size_t>(clip->channels), 0u);
        } else {
            EXPECT_FALSE(error.empty());
        }
    }
}

}  // namespace
}  // namespace zorvan
