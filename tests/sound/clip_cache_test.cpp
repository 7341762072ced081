// The run's cache of decoded sounds: clips in use always stay, unused ones up to the budget,
// the least recently used going first.
#include <gtest/gtest.h>

#include "sound/clip_cache.h"

namespace zorvan {
namespace {

std::shared_ptr<const PcmClip> clipOfBytes(std::size_t bytes) {
    auto clip = std::make_shared<PcmClip>();
    clip->rate = 8000;
    clip->channels = 1;
    clip->samples.assign(bytes / sizeof(float), 0.5f);
    return clip;
}

TEST(ClipCache, KeepsUnusedClipsUpToItsBudgetLeastRecentlyUsedGoingFirst) {
    ClipCache cache(3000);
    cache.store("/a", clipOfBytes(1000));
    cache.store("/b", clipOfBytes(1000));
    cache.store("/c", clipOfBytes(1000));
    EXPECT_TRUE(cache.find("/a")) << "a is now the most recently used";
    cache.store("/d", clipOfBytes(1000));
    EXPECT_FALSE(cache.find("/b")) << "the least recently used went";
    EXPECT_TRUE(cache.find("/a"));
    EXPECT_TRUE(cache.find("/c"));
    EXPECT_TRUE(cache.find("/d"));
}

TEST(ClipCache, ClipsInUseStayWhateverTheBudget) {
    ClipCache cache(0);
    auto held = clipOfBytes(4000);
    cache.store("/held", held);
    cache.store("/loose", clipOfBytes(100));
    EXPECT_EQ(cache.find("/held"), held);
    EXPECT_FALSE(cache.find("/loose"));
    EXPECT_FALSE(cache.find("/never"));
}

}  // namespace
}  // namespace zorvan
