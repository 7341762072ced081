#include "pack.h"

#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <numbers>
#include <set>
#include <stdexcept>
#include <thread>

#include "fx.h"
#include "hash.h"
#include "loudness.h"

namespace zorvan::soundpack {

namespace fs = std::filesystem;

namespace {

std::atomic<unsigned> gWriteCounter{0};

void writeAtomically(const fs::path& path, const std::vector<std::uint8_t>& bytes) {
    fs::create_directories(path.parent_path());
    const fs::path tmp = path.string() + ".tmp" + std::to_string(::getpid()) + "." + std::to_string(gWriteCounter++);
    {
        std::ofstream out(tmp, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
        if (!out) throw std::runtime_error("cannot write " + tmp.string());
    }
    fs::rename(tmp, path);
}

bool sameBytes(const fs::path& path, const std::vector<std::uint8_t>& bytes) {
    std::error_code ec;
    if (!fs::is_regular_file(path, ec) || fs::file_size(path, ec) != bytes.size()) return false;
    try {
        return readFileBytes(path.string()) == bytes;
    } catch (const std::exception&) {
        return false;
    }
}

// Repeats (or cuts) to `seconds`.
Audio fitLength(const Audio& a, double seconds) {
    const auto want = static_cast<std::size_t>(std::llround(seconds * a.rate));
    Audio out(a.rate, a.channels(), want);
    if (a.frames() == 0) return out;
    for (int c = 0; c < a.channels(); ++c)
        for (std::size_t i = 0; i < want; ++i) out.ch[std::size_t(c)][i] = a.ch[std::size_t(c)][i % a.frames()];
    return out;
}

// Turns `a` down by `db` from `from` to `to`, with raised-cosine ramps of `rampMs` outside.
void duck(Audio& a, std::size_t from, std::size_t to, double db, double rampMs) {
    const double low = dbToGain(db);
    const auto ramp = static_cast<double>(rampMs * a.rate / 1000.0);
    for (std::size_t i = 0; i < a.frames(); ++i) {
        const double d = i < from ? double(from - i) : i >= to ? double(i - to + 1) : 0.0;
        if (d >= ramp) continue;
        const double w = 0.5 + 0.5 * std::cos(std::numbers::pi * d / ramp);  // 1 inside, 0 far out
        const double g = 1.0 - (1.0 - low) * w;
        for (auto& c : a.ch) c[i] = static_cast<float>(c[i] * g);
    }
}

void mixAt(Audio& dst, const Audio& src, std::size_t start) {
    const std::size_t need = start + src.frames();
    for (auto& c : dst.ch)
        if (c.size() < need) c.resize(need, 0.0f);
    for (std::size_t c = 0; c < dst.ch.size(); ++c)
        for (std::size_t i = 0; i < src.frames(); ++i) dst.ch[c][start + i] += src.ch[c][i];
}

}  // namespace

bool writeIfDifferent(const std::string& path, const std::vector<std::uint8_t>& bytes) {
    if (sameBytes(path, bytes)) return false;
    writeAtomically(path, bytes);
    return true;
}

std::string clipKey(const Clip& clip, const std::string& fingerprint, const std::string& voice) {
    return Hasher()
        .add("clip-1")
        .add(fingerprint)
        .add(voice)
        .add(static_cast<long long>(clip.rate))
        .add(static_cast<long long>(clip.channels))
        .add(typeName(clip.type))
        .add(clip.recipe)
        .hex();
}

Audio renderClip(const Clip& clip, SpeechSynth& speech) {
    Audio out(clip.rate, clip.channels, 0);
    for (const Segment& seg : clip.segments) {
        Audio part;
        switch (seg.kind) {
            case Segment::Kind::Say:
                part = finishSpeech(speech.raw(seg.arg), clip.rate, seg.option("edge", kSilenceDb));
                break;
            case Segment::Kind::Fx:
                part = renderFx(seg.arg, clip.rate);
                if (seg.options.count("dur")) {
                    // An excerpt of a loop starts wherever the loop happens to be: ease it in.
                    part = fitLength(part, seg.option("dur", 1.0));
                    fadeIn(part, 15.0);
                }
                break;
            case Segment::Kind::Gap:
                part = silence(clip.rate, 1, std::stod(seg.arg));
                break;
        }
        if (seg.options.count("pan")) part = panMono(part, seg.option("pan", 0.0));
        if (seg.options.count("fade")) fadeOut(part, seg.option("fade", 0.0));
        part = withChannels(part, clip.channels);
        const double over = seg.option("over", 0.0);
        if (over > 0 && out.frames() > 0) {
            const auto back = static_cast<std::size_t>(std::llround(over * clip.rate));
            const std::size_t at = out.frames() > back ? out.frames() - back : 0;
            // Words spoken over music stand clear of it: the music steps back while they last.
            if (seg.kind == Segment::Kind::Say) duck(out, at, at + part.frames(), kDuckDb, kDuckRampMs);
            mixAt(out, part, at);
        } else {
            mixAt(out, part, out.frames());
        }
    }
    finishClip(out, clip);
    return out;
}

void finishClip(Audio& out, const Clip& clip) {
    const auto ceiling = static_cast<float>(dbToGain(kPeakCeilingDb));
    const LoudnessTarget target = loudnessTarget(clip);
    const bool loop = clip.type == ClipType::Loop;
    // A loop's mean is its offset for good; a one-shot's faded edges carry it smoothly to zero.
    removeDc(out);
    // Level to the plan, then hold the ceiling; limiting takes a little loudness, so measure again.
    for (int pass = 0; pass < 4; ++pass) {
        const double now = integratedLufs(out, target.speed);
        if (!std::isfinite(now)) break;
        applyGain(out, dbToGain(target.fileLufs() - now));
        if (loop) {
            // A limiter's gain would not wrap with the loop: scale the whole loop instead.
            const float p = peakOf(out);
            if (p > ceiling) applyGain(out, ceiling / p);
        } else {
            limitPeaks(out, ceiling);
            // Cut at the level it ends up at: a tail under the floor is dead air the game waits
            // through. Cutting it lifts the measured loudness a little: the next pass levels again.
            trimTail(out, kTailSilenceDb, kClipTailKeepMs);
        }
    }
    if (!loop) {
        fadeIn(out, kEdgeFadeMs);
        fadeOut(out, kEdgeFadeMs);
    }
    const double heard = integratedLufs(out, target.speed) + target.gameVolume / 100.0;
    if (!(heard >= target.lowest && heard <= target.highest))
        throw std::runtime_error(clip.path + ": heard at " + std::to_string(heard) + " LUFS, the plan wants " +
                                 std::to_string(target.lowest) + " to " + std::to_string(target.highest) + " for " +
                                 kindName(target.kind));
}

std::vector<std::string> deliverDataFiles(const std::string& dataDir, const std::string& gameDir) {
    std::vector<std::string> delivered;
    if (dataDir.empty()) return delivered;
    std::vector<fs::path> sources;
    for (const auto& e : fs::directory_iterator(dataDir))
        if (e.is_regular_file() && e.path().filename().string().front() != '.') sources.push_back(e.path());
    std::sort(sources.begin(), sources.end());
    fs::create_directories(gameDir);
    for (const auto& src : sources) {
        const fs::path dst = fs::path(gameDir) / src.filename();
        std::error_code ec;
        if (fs::exists(fs::symlink_status(dst, ec))) continue;
        writeAtomically(dst, readFileBytes(src.string()));
        delivered.push_back(src.filename().string());
    }
    return delivered;
}

PackReport buildPack(const PackOptions& o) {
    const std::vector<Clip> clips = loadManifest(o.manifestPath);
    PackReport report;
    report.clips = clips.size();
    report.dataDelivered = deliverDataFiles(o.dataDir, o.gameDir);

    const fs::path clipCache = fs::path(o.cacheDir) / "clips";
    fs::create_directories(clipCache);
    SpeechSynth speech(o.cacheDir, o.voice);

    std::vector<std::string> keys(clips.size());
    std::vector<std::string> errors(clips.size());
    std::atomic<std::size_t> next{0}, made{0}, cached{0}, written{0}, bytes{0};
    std::mutex logMutex;
    auto work = [&] {
        for (std::size_t i = next++; i < clips.size(); i = next++) {
            const Clip& c = clips[i];
            try {
                keys[i] = clipKey(c, o.fingerprint, o.voice);
                const fs::path cachePath = clipCache / (keys[i] + ".wav");
                std::vector<std::uint8_t> data;
                bool haveCached = false;
                if (fs::exists(cachePath)) {
                    try {
                        data = readFileBytes(cachePath.string());
                        decodeWav(data);
                        haveCached = true;
                    } catch (const std::exception&) {
                        haveCached = false;  // damaged entry: make it again
                    }
                }
                if (haveCached) {
                    ++cached;
                } else {
                    const Audio a = renderClip(c, speech);
                    data = encodeWav16(a);
                    writeAtomically(cachePath, data);
                    ++made;
                    if (o.log) {
                        std::lock_guard lock(logMutex);
                        o.log("made " + c.path + " (" + typeName(c.type) + ", " + std::to_string(a.seconds()).substr(0, 4) + " s)");
                    }
                }
                if (writeIfDifferent((fs::path(o.gameDir) / c.path).string(), data)) ++written;
                bytes += data.size();
            } catch (const std::exception& e) {
                errors[i] = c.path + " (manifest line " + std::to_string(c.line) + "): " + e.what();
            }
        }
    };
    std::vector<std::thread> pool;
    for (int j = 1; j < std::max(1, o.jobs); ++j) pool.emplace_back(work);
    work();
    for (auto& t : pool) t.join();
    report.made = made;
    report.fromCache = cached;
    report.written = written;
    report.bytes = bytes;

    std::string failures;
    for (const auto& e : errors)
        if (!e.empty()) failures += "\n  " + e;
    if (!failures.empty()) throw std::runtime_error("could not make every clip:" + failures);

    // Files of sounds/ that the manifest no longer names would otherwise linger from older builds.
    std::set<std::string> wanted;
    for (const auto& c : clips) wanted.insert(c.path);
    const fs::path soundsDir = fs::path(o.gameDir) / "sounds";
    if (fs::is_directory(soundsDir)) {
        std::vector<fs::path> stale, dirs;
        for (const auto& e : fs::recursive_directory_iterator(soundsDir)) {
            if (e.is_directory()) dirs.push_back(e.path());
            else if (!wanted.count(fs::relative(e.path(), o.gameDir).generic_string())) stale.push_back(e.path());
        }
        for (const auto& p : stale) report.removed += fs::remove(p) ? 1 : 0;
        std::sort(dirs.rbegin(), dirs.rend());
        for (const auto& d : dirs)
            if (fs::is_empty(d)) fs::remove(d);
    }
    // The cache keeps what this manifest uses and nothing else.
    std::set<std::string> liveClips(keys.begin(), keys.end()), liveSpeech;
    for (const auto& c : clips)
        for (const auto& s : c.segments)
            if (s.kind == Segment::Kind::Say) liveSpeech.insert(speech.cacheKey(s.arg));
    for (const auto& [dir, live] : {std::pair{clipCache, &liveClips}, std::pair{fs::path(o.cacheDir) / "speech", &liveSpeech}}) {
        if (!fs::is_directory(dir)) continue;
        std::vector<fs::path> old;
        for (const auto& e : fs::directory_iterator(dir))
            if (!live->count(e.path().stem().string())) old.push_back(e.path());
        for (const auto& p : old) fs::remove(p);
    }
    return report;
}

}  // namespace zorvan::soundpack
