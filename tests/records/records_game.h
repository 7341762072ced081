#pragma once
// The real game core on the simulated platform, in-process, with a program folder and a
// settings store that can be told to fail: a file that is there but cannot be read, a write
// refused (a full disk), a settings store that refuses a value or a deletion.

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "game/main_form.h"
#include "platform/keys.h"
#include "platform/sim/sim_platform.h"
#include "records/top_ten.h"
#include "support/forwarding_platform.h"
#include "support/game_folder.h"

namespace zorvan::test {

class FlakyFiles final : public Files {
public:
    explicit FlakyFiles(Files& real) : real_(real) {}
    bool exists(std::string_view name) override { return real_.exists(name); }
    std::optional<std::string> read(std::string_view name) override {
        if (unreadable.count(std::string(name))) return std::nullopt;
        return real_.read(name);
    }
    bool write(std::string_view name, std::string_view bytes) override {
        if (unwritable.count(std::string(name))) return false;
        return real_.write(name, bytes);
    }
    bool remove(std::string_view name) override { return real_.remove(name); }
    std::string absolutePath(std::string_view name) override { return real_.absolutePath(name); }

    std::set<std::string> unreadable;  // there, but every read fails
    std::set<std::string> unwritable;  // every write fails and leaves the file as it was

private:
    Files& real_;
};

class FlakySettings final : public SettingsStore {
public:
    explicit FlakySettings(SettingsStore& real) : real_(real) {}
    std::string get(std::string_view app, std::string_view section, std::string_view key,
                    std::string_view fallback) override {
        return real_.get(app, section, key, fallback);
    }
    bool set(std::string_view app, std::string_view section, std::string_view key,
             std::string_view value) override {
        return !refuseSet && real_.set(app, section, key, value);
    }
    bool remove(std::string_view app, std::string_view section, std::string_view key) override {
        return !refuseRemove && real_.remove(app, section, key);
    }

    bool refuseSet = false;
    bool refuseRemove = false;

private:
    SettingsStore& real_;
};

// Everything goes to the simulated platform but the files and the settings.
class FlakyPlatform final : public ForwardingPlatform {
public:
    explicit FlakyPlatform(SimPlatform& sim)
        : ForwardingPlatform(sim), sim(sim), files_(sim.files()), settings_(sim.settings()) {}

    SettingsStore& settings() override { return settings_; }
    Files& files() override { return files_; }

    FlakyFiles& flakyFiles() { return files_; }
    FlakySettings& flakySettings() { return settings_; }

    SimPlatform& sim;

private:
    FlakyFiles files_;
    FlakySettings settings_;
};

class RecordsGame {
public:
    RecordsGame()
        : folder(GameFolder::Sounds::Generated), sim(options(folder)), platform(sim), form(platform) {}

    // Start-up to the main menu; false when the program ended on the way.
    bool load() { return guarded([&] { form.Form_Load(); }); }

    // A key pressed now, with everything it sets off; a handler that waits for a sound
    // returns when the sound has ended.
    void press(int code) {
        sim.pressKey(code, sim.nowMs());
        guarded([&] { form.loop.pump(); });
    }
    void runFor(std::int64_t ms) {
        const std::int64_t end = sim.nowMs() + ms;
        guarded([&] {
            while (sim.nowMs() < end) form.loop.pump();
        });
    }
    bool guarded(const std::function<void()>& body) {
        if (exitStatus) return false;
        try {
            body();
            return true;
        } catch (const ProgramEnd& end) {
            exitStatus = end.status;
            return false;
        }
    }

    std::size_t mark() const { return sim.lines().size(); }
    // Log lines from `from` on without the time in front and the buffer number behind.
    std::vector<std::string> events(std::size_t from = 0) const {
        std::vector<std::string> out;
        const auto& lines = sim.lines();
        for (std::size_t i = from; i < lines.size(); ++i) {
            std::string e = lines[i].substr(lines[i].find(' ') + 1);
            if (auto hash = e.rfind(" #"); hash != std::string::npos &&
                e.find_first_not_of("0123456789", hash + 2) == std::string::npos)
                e.erase(hash);
            out.push_back(e);
        }
        return out;
    }
    // Only "play ... once|loop" events, for what the player hears start.
    std::vector<std::string> plays(std::size_t from = 0) const {
        std::vector<std::string> out;
        for (auto& e : events(from))
            if (e.rfind("play ", 0) == 0) out.push_back(e);
        return out;
    }
    // The numbers clips played from `from` on, by name: {"80"}, {"1", "thousand"}.
    std::vector<std::string> spoken(std::size_t from = 0) const {
        const std::string prefix = "play sounds/numbers/";
        std::vector<std::string> out;
        for (auto& e : plays(from))
            if (e.rfind(prefix, 0) == 0) out.push_back(e.substr(prefix.size(), e.find(".wav") - prefix.size()));
        return out;
    }
    bool has(const std::string& event, std::size_t from = 0) const {
        for (auto& e : events(from))
            if (e == event) return true;
        return false;
    }
    std::string dump(std::size_t from = 0) const {
        std::string s;
        for (auto& e : events(from)) s += "  " + e + "\n";
        return s;
    }

    std::string storedHighScore() {
        return sim.settings().get("Kestrine", "zorvan", "highscore", "nun");
    }

    GameFolder folder;
    SimPlatform sim;
    FlakyPlatform platform;
    MainForm form;
    std::optional<int> exitStatus;

private:
    static SimOptions options(const GameFolder& folder) {
        SimOptions o;
        o.folder = folder.game();
        o.settingsFolder = folder.settings();
        return o;
    }
};

// ls.dat bytes with the given lists ("easy", "normal", "crazy" best first) and positions
// 31 and 32.
inline std::string lsDatWith(const std::vector<std::int32_t>& easy, const std::vector<std::int32_t>& normal,
                             const std::vector<std::int32_t>& crazy, std::int32_t p31 = 0, std::int32_t p32 = 0) {
    TopTenTableValues table{};
    for (std::size_t i = 0; i < easy.size(); ++i) table[i] = easy[i];
    for (std::size_t i = 0; i < normal.size(); ++i) table[10 + i] = normal[i];
    for (std::size_t i = 0; i < crazy.size(); ++i) table[20 + i] = crazy[i];
    table[30] = p31;
    table[31] = p32;
    return formatTopTenFile(table);
}

}  // namespace zorvan::test
