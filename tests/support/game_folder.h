#pragma once
// A throw-away game folder for scenario tests: every sound the game loads by name, the data
// files delivered with the game (keys.dat, ls.dat, stats.txt) and a filled-in profile
// (config.dat), plus a settings folder of its own so runs never see the user's settings.
//
// Sounds come from the generated sound pack in ZORVAN_GAME_DIR when it is there; otherwise
// (or when asked) every clip is a short tone of a known length written here, so that a test
// can reason about timings: by default 200 ms, 2 s for the loops, 50 ms for the two opening
// sounds. Header-only so that any test folder can include it as "support/game_folder.h".

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <stdexcept>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

#include "platform/utf8_path.h"

namespace zorvan::test {

namespace fs = std::filesystem;

// A 16-bit mono PCM RIFF WAVE file of `ms` milliseconds: a quiet sine tone, or silence when
// toneHz is 0.
inline std::string wavBytes(int ms, int rate = 8000, double toneHz = 440.0, double amplitude = 0.1) {
    const std::uint32_t frames = static_cast<std::uint32_t>(static_cast<std::int64_t>(rate) * ms / 1000);
    const std::uint32_t dataSize = frames * 2;
    std::string out;
    auto put16 = [&](std::uint32_t v) {
        out += static_cast<char>(v & 0xff);
        out += static_cast<char>((v >> 8) & 0xff);
    };
    auto put32 = [&](std::uint32_t v) {
        put16(v & 0xffff);
        put16(v >> 16);
    };
    out += "RIFF";
    put32(36 + dataSize);
    out += "WAVEfmt ";
    put32(16);
    put16(1);                         // PCM
    put16(1);                         // mono
    put32(static_cast<std::uint32_t>(rate));
    put32(static_cast<std::uint32_t>(rate) * 2);
    put16(2);                         // block align
    put16(16);                        // bits per sample
    out += "data";
    put32(dataSize);
    const double pi = 3.14159265358979323846;
    for (std::uint32_t i = 0; i < frames; ++i) {
        const double s = toneHz > 0 ? amplitude * std::sin(2 * pi * toneHz * i / rate) : 0.0;
        put16(static_cast<std::uint16_t>(static_cast<std::int16_t>(std::lround(s * 32767))));
    }
    return out;
}

// Every sound file the game loads or plays by a fixed name, relative to the game folder.
// (Item sounds named by the inventory and the skid sounds are added by their tests.)
inline std::vector<std::string> gameSoundFiles() {
    std::vector<std::string> f;
    auto add = [&](std::string_view folder, std::initializer_list<std::string_view> names) {
        for (auto n : names) f.push_back(std::string(folder) + std::string(n) + ".wav");
    };
    auto addRange = [&](std::string_view folder, std::string_view prefix, int from, int to) {
        for (int i = from; i <= to; ++i)
            f.push_back(std::string(folder) + std::string(prefix) + std::to_string(i) + ".wav");
    };
    // The menu bank, in loading order.
    add("sounds/menu/", {"m_p", "c_p"});
    addRange("sounds/menu/", "c", 1, 4);
    addRange("sounds/menu/", "m", 1, 8);
    add("sounds/menu/", {"m_click", "music", "test"});
    add("sounds/", {"ext"});
    add("sounds/menu/", {"dp"});
    addRange("sounds/menu/", "d", 1, 3);
    add("sounds/menu/", {"kp", "kk", "kkk"});
    addRange("sounds/menu/", "k", 1, 13);
    add("sounds/menu/", {"reset", "lp"});
    addRange("sounds/menu/", "ls", 1, 4);
    add("sounds/menu/", {"lpp"});
    add("sounds/lgs/", {"lgp"});
    addRange("sounds/lgs/", "lg", 1, 3);
    addRange("sounds/lgs/", "lt", 1, 4);
    addRange("sounds/lgs/", "la", 1, 10);
    add("sounds/vControl/", {"version", "point"});
    addRange("sounds/vControl/", "", 0, 9);
    // The race and bonus banks.
    add("sounds/", {"amb", "itemon", "itemoff", "brkon", "bad_enjen", "bad_lego"});
    addRange("sounds/car/", "", 1, 4);
    add("sounds/bonus/", {"bonusround", "gun", "bget"});
    addRange("sounds/bonus/", "b", 1, 4);
    // Loaded on demand, played by name or queued by path.
    add("sounds/", {"intro", "err", "levelup", "inv1", "inv2", "inv3", "fallhole", "highscore",
                    "gameOver", "hWorning", "lcanon", "volume"});
    add("sounds/speech/", {"saved", "loaded", "level", "points", "lifesr", "yourhighscore",
                           "exitPrompt", "tetriss_mode", "arcade_mode", "system_speech", "recorded_speech",
                           "no_system_speech", "finalscore", "tebonus",
                           "thbonus", "lazercanon", "extralife", "brakes", "enginrepare"});
    add("sounds/menu/", {"score_effect", "score_offline", "score_error", "score_topten",
                         "score_success", "krestored"});
    add("sounds/car/", {"carexplode"});
    addRange("sounds/misc/", "c_hit", 1, 4);
    addRange("sounds/misc/", "crash", 1, 4);
    add("sounds/tetriss/", {"t_levelup", "t_hit", "pIn", "pOut", "t_gameOver"});
    addRange("sounds/tetriss/", "t_pass", 1, 4);
    add("sounds/system/", {"configerror", "componenterror"});
    addRange("sounds/numbers/", "", 0, 20);
    add("sounds/numbers/", {"30", "40", "50", "60", "70", "80", "90", "hundred", "thousand", "million"});
    return f;
}

// The files delivered with the game, as the player gets them.
inline std::string defaultKeysDat() {
    std::string s;
    for (int code : {38, 37, 39, 40, 17, 16, 9, 76, 13, 73, 80}) s += " " + std::to_string(code) + " \r\n";
    return s;
}

inline std::string emptyTopTenDat() {
    std::string s;
    for (int i = 0; i < 32; ++i) s += " 0 \r\n";
    return s;
}

inline std::string profileDat(std::string_view name = "Ada Tester", std::string_view email = "ada@example.org",
                              std::string_view country = "GB") {
    return "\"" + std::string(name) + "\"\r\n\"" + std::string(email) + "\"\r\n\"" + std::string(country) + "\"\r\n";
}

class GameFolder {
public:
    enum class Sounds {
        PackIfBuilt,  // the generated pack from ZORVAN_GAME_DIR, else generated tones
        Generated,    // always tones of known lengths
    };

    static constexpr int kClipMs = 200;      // every generated clip but the ones below
    static constexpr int kLoopMs = 2000;     // music, ambience, engines, brakes, damaged engine
    static constexpr int kOpeningMs = 50;    // Kestrine.KSR and intro.wav

    explicit GameFolder(Sounds sounds = Sounds::PackIfBuilt,
                        const std::map<std::string, int>& clipMs = {}) {
        root_ = makeTemporaryFolder("zorvan-test");
        if (root_.empty()) throw std::runtime_error("cannot make a temporary folder");
        fs::create_directories(game());
        fs::create_directories(settings());
        usesPack_ = sounds == Sounds::PackIfBuilt && packBuilt();
#ifdef ZORVAN_GAME_DIR
        if (usesPack_) {
            fs::copy(fs::path(ZORVAN_GAME_DIR) / "sounds", game() / "sounds", fs::copy_options::recursive);
            fs::copy_file(fs::path(ZORVAN_GAME_DIR) / "Kestrine.KSR", game() / "Kestrine.KSR");
        }
#endif
        if (!usesPack_) {
            for (const auto& name : gameSoundFiles()) writeClip(name, defaultLength(name));
            writeClip("Kestrine.KSR", kOpeningMs);
        }
        for (const auto& [name, ms] : clipMs) writeClip(name, ms);
        write("keys.dat", defaultKeysDat());
        write("ls.dat", emptyTopTenDat());
        write("stats.txt", "");
        write("config.dat", profileDat());
    }
    ~GameFolder() {
        std::error_code ec;
        fs::remove_all(root_, ec);
    }
    GameFolder(const GameFolder&) = delete;
    GameFolder& operator=(const GameFolder&) = delete;

    // The generated sound pack is in the build's game folder.
    static bool packBuilt() {
#ifdef ZORVAN_GAME_DIR
        const fs::path dir = ZORVAN_GAME_DIR;
        return fs::exists(dir / "sounds/menu/m_p.wav") && fs::exists(dir / "sounds/vControl/9.wav") &&
               fs::exists(dir / "Kestrine.KSR");
#else
        return false;
#endif
    }

    fs::path game() const { return root_ / "game"; }          // the program folder of the run
    fs::path settings() const { return root_ / "settings"; }  // the per-user settings store
    bool usesPack() const { return usesPack_; }

    // Replaces (or adds) one clip with a generated tone of the given length.
    void writeClip(const std::string& name, int ms) { write(name, wavBytes(ms)); }

    void write(const std::string& name, std::string_view bytes) {
        const fs::path path = game() / name;
        fs::create_directories(path.parent_path());
        std::ofstream out(path, std::ios::binary | std::ios::trunc);
        out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
        if (!out) throw std::runtime_error("cannot write " + path.string());
    }

    std::string read(const std::string& name) const {
        std::ifstream in(game() / name, std::ios::binary);
        if (!in) throw std::runtime_error("cannot read " + (game() / name).string());
        std::ostringstream s;
        s << in.rdbuf();
        return s.str();
    }

    void remove(const std::string& name) { fs::remove(game() / name); }

private:
    static int defaultLength(const std::string& name) {
        for (std::string_view loop : {"sounds/menu/music.wav", "sounds/amb.wav", "sounds/brkon.wav",
                                      "sounds/bad_enjen.wav", "sounds/bad_lego.wav"})
            if (name == loop) return kLoopMs;
        if (name.rfind("sounds/car/", 0) == 0 && name != "sounds/car/carexplode.wav") return kLoopMs;
        if (name == "sounds/intro.wav") return kOpeningMs;
        return kClipMs;
    }

    fs::path root_;
    bool usesPack_ = false;
};

}  // namespace zorvan::test
