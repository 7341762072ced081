#pragma once
// The clip manifest: one line per file of the pack, saying where it goes and how it is made.
//
//   <path> <rate> <channels> <type> <recipe>
//
// path      relative to the game folder, '/' separators, exact case ("sounds/menu/m1.wav")
// rate      samples per second of the file
// channels  1 or 2
// type      speech  words only: trimmed tight, all at one loudness
//           effect  a one-shot sound, possibly with words in it
//           loop    a seamless loop: one loop generator, nothing else
// recipe    segments joined by " + ", each  kind[options]:argument
//             say:TEXT        spoken by the speech synthesizer
//             fx:NAME         a synthesized sound (see fx.h)
//             gap:SECONDS     silence
//           options, comma separated: pan=-1..1 (say, fx), over=SECONDS (start that long before
//           the end of what comes before, mixed over it), dur=SECONDS (fx: cut or repeat to this
//           length, eased in over 15 ms), fade=MS (fade-out at the end of the segment),
//           edge=DBFS (say: the ends of the words are cut where they fall under this level
//           rather than at kSilenceDb, for a word whose faint ending or start carries it)
//
// Blank lines and lines starting with '#' are ignored.

#include <map>
#include <string>
#include <vector>

namespace zorvan::soundpack {

enum class ClipType { Speech, Effect, Loop };

struct Segment {
    enum class Kind { Say, Fx, Gap } kind = Kind::Say;
    std::string arg;                           // text, generator name or seconds
    std::map<std::string, double> options;     // pan, over, dur, fade, edge
    double option(const std::string& key, double fallback) const {
        auto it = options.find(key);
        return it == options.end() ? fallback : it->second;
    }
};

struct Clip {
    std::string path;
    int rate = 22050;
    int channels = 1;
    ClipType type = ClipType::Effect;
    std::string recipe;  // as written, for the cache key
    std::vector<Segment> segments;
    int line = 0;
};

// Throws std::runtime_error naming the line for any malformed or inconsistent entry,
// including a path listed twice (compared without regard to case, as the game's platform
// of origin would) and an unknown sound generator.
std::vector<Clip> parseManifest(const std::string& text, const std::string& sourceName = "manifest");
std::vector<Clip> loadManifest(const std::string& path);

std::vector<Segment> parseRecipe(const std::string& recipe);  // throws std::runtime_error
const char* typeName(ClipType t);

}  // namespace zorvan::soundpack
