#pragma once
// Builds the sound pack into the game folder from the manifest, and delivers the data files.
//
// Incremental: every clip has a key, the hash of its line of the manifest and of the generator
// itself; a clip whose key is in the cache is taken from there, and a file of the game folder
// that already holds the right bytes is not written again.

#include <cstddef>
#include <functional>
#include <string>
#include <vector>

#include "audio.h"
#include "manifest.h"
#include "speech.h"

namespace zorvan::soundpack {

struct PackOptions {
    std::string manifestPath;
    std::string gameDir;
    std::string cacheDir;
    std::string dataDir;             // empty: deliver no data files
    std::string fingerprint;         // changes whenever the generator's code changes
    std::string voice = "cmu_us_slt_arctic_hts";
    int jobs = 2;
    std::function<void(const std::string&)> log;  // one line per clip made; may be empty
};

struct PackReport {
    std::size_t clips = 0;       // in the manifest
    std::size_t made = 0;        // rendered in this run
    std::size_t fromCache = 0;   // taken from the cache
    std::size_t written = 0;     // files of the game folder (re)written
    std::size_t removed = 0;     // files of sounds/ that the manifest no longer names
    std::size_t bytes = 0;       // size of the whole pack
    std::vector<std::string> dataDelivered;  // data files copied because they were absent
};

// Throws std::runtime_error listing every clip that could not be made; clips that could be
// made are in the game folder all the same.
PackReport buildPack(const PackOptions& options);

// Renders one clip of the manifest: what buildPack writes, before encoding.
Audio renderClip(const Clip& clip, SpeechSynth& speech);

// What every clip goes through last: its silent tail cut, its offset removed, levelled to the
// loudness plan under the peak ceiling, and (one-shots) faded in and out over a few ms.
// Throws std::runtime_error when the clip cannot meet its loudness target.
void finishClip(Audio& clip, const Clip& entry);
inline constexpr double kTailSilenceDb = -60.0;  // below this a clip's end counts as silence
inline constexpr double kClipTailKeepMs = 20.0;  // of it kept, under the fade
inline constexpr double kEdgeFadeMs = 3.0;
inline constexpr double kDuckDb = -18.0;      // music under words spoken over it
inline constexpr double kDuckRampMs = 60.0;

// The cache key of a clip.
std::string clipKey(const Clip& clip, const std::string& fingerprint, const std::string& voice);

// Copies every file of `dataDir` (dot files aside) into `gameDir` when `gameDir` does not have
// it yet. A file already there is never touched: it holds the player's keys, scores or profile.
std::vector<std::string> deliverDataFiles(const std::string& dataDir, const std::string& gameDir);

// Writes `bytes` to `path` through a temporary file and a rename, unless the file already holds
// exactly these bytes. Returns true when it wrote.
bool writeIfDifferent(const std::string& path, const std::vector<std::uint8_t>& bytes);

}  // namespace zorvan::soundpack
