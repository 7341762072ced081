#include "speech.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>
#include <stdexcept>

#include "hash.h"

extern char** environ;

namespace zorvan::soundpack {

namespace fs = std::filesystem;

namespace {

std::atomic<unsigned> gTempCounter{0};

std::string tempName(const fs::path& dir, const std::string& stem, const std::string& ext) {
    return (dir / (stem + "." + std::to_string(::getpid()) + "." + std::to_string(gTempCounter++) + ext)).string();
}

// Runs text2wave on a file of text. Returns the exit status; the synthesizer's messages go to
// `errPath`.
int runText2Wave(const std::string& voice, const std::string& textPath, const std::string& wavPath, const std::string& errPath) {
    const std::string eval = "(voice_" + voice + ")";
    std::vector<std::string> args = {"text2wave", "-eval", eval, "-o", wavPath, textPath};
    std::vector<char*> argv;
    for (auto& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_adddup2(&actions, 1, 2);
    pid_t pid = 0;
    const int rc = posix_spawnp(&pid, "text2wave", &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (rc != 0) return -1;
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0) {
        if (errno != EINTR) return -1;
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + (WIFSIGNALED(status) ? WTERMSIG(status) : 0);
}

std::string slurp(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

// Whole words the voice says unclearly, and how to write them so it says them clearly.
struct Respelling {
    const char* word;
    const char* as;
};
constexpr Respelling kRespellings[] = {
    {"six", "sick's"},      // the plain spelling comes out close to "centre"
    {"eighty", "eigh tee"},  // a flapped t ("eyddy"): spoken as two syllables it keeps its t
};

}  // namespace

std::string spokenForm(const std::string& text) {
    std::string out = text;
    for (const auto& r : kRespellings) out = std::regex_replace(out, std::regex(std::string("\\b") + r.word + "\\b", std::regex::icase), r.as);
    return out;
}

SpeechSynth::SpeechSynth(std::string cacheDir, std::string voice) : cacheDir_(std::move(cacheDir)), voice_(std::move(voice)) {}

std::string SpeechSynth::cacheKey(const std::string& text) const {
    return Hasher().add("festival-text2wave-1").add(voice_).add(spokenForm(text)).hex();
}

Audio SpeechSynth::raw(const std::string& text) {
    const fs::path dir = fs::path(cacheDir_) / "speech";
    fs::create_directories(dir);
    const fs::path cached = dir / (cacheKey(text) + ".wav");
    if (fs::exists(cached)) {
        try {
            return readWavFile(cached.string()).audio;
        } catch (const std::exception&) {
            fs::remove(cached);  // a damaged cache entry is simply made again
        }
    }
    const std::string textPath = tempName(dir, "say", ".txt");
    const std::string wavPath = tempName(dir, "say", ".wav");
    const std::string errPath = tempName(dir, "say", ".log");
    {
        std::ofstream t(textPath, std::ios::binary);
        t << spokenForm(text) << "\n";
    }
    const int status = runText2Wave(voice_, textPath, wavPath, errPath);
    const std::string messages = slurp(errPath);
    fs::remove(textPath);
    fs::remove(errPath);
    if (status == -1) {
        fs::remove(wavPath);
        throw std::runtime_error("cannot run text2wave: install the Debian packages festival and festvox-us-slt-hts");
    }
    if (status != 0 || !fs::exists(wavPath) || fs::file_size(wavPath) <= 44) {
        fs::remove(wavPath);
        throw std::runtime_error("text2wave failed (status " + std::to_string(status) + ") saying \"" + text + "\" with voice " + voice_ +
                                 (messages.empty() ? std::string() : ": " + messages));
    }
    Audio a = readWavFile(wavPath).audio;
    fs::rename(wavPath, cached);  // atomic: a concurrent maker of the same text writes the same bytes
    return a;
}

Audio finishSpeech(const Audio& raw, int rate, double silenceDb) {
    Audio a = resample(withChannels(raw, 1), rate);
    highPass(a, 30.0);  // the voice carries a small offset; subtracting a mean would lift the pauses
    const double loud = gatedRmsDb(a);
    if (loud < -150) throw std::runtime_error("the synthesizer produced silence");
    applyGain(a, dbToGain(kSpeechLoudnessDb - loud));
    limitPeaks(a, static_cast<float>(dbToGain(kPeakCeilingDb - 0.3)));
    trimSilence(a, silenceDb, kLeadKeepMs, kTailKeepMs);
    return a;
}

}  // namespace zorvan::soundpack
