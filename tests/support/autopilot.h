#pragma once
// An autopilot that plays the race by ear. It knows only what a player hears, read from the
// event log of the simulated platform: which loops play, their pan (where) and volume (how
// near), which warnings and announcements sounded and from which side. It steers out of
// the lanes of approaching cars and announced holes, drives into items when that is safe,
// starts the car when its engine falls silent, and fires the lazer canon at a car it cannot
// escape. It proves that the game can be played from its sound alone.
//
// Header-only so that any test or benchmark folder can use it as "support/autopilot.h".

#include <algorithm>
#include <charconv>
#include <cstdint>
#include <cstdlib>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/sim/sim_platform.h"

namespace zorvan::test {

class Autopilot {
public:
    struct Options {
        int startKey = 38, leftKey = 37, rightKey = 39, actionKey = 17, nextItemKey = 34;
        bool swapSteering = false;  // "crazy": the right key steers left
        int holeMs = 4000;          // how long after its warning a hole opens ("normal")
        int itemMs = 2500;          // how long an item takes to arrive ("normal")
    };

    // Hears the log from its start, so it may come in while a game already runs.
    Autopilot(SimPlatform& sim, Options options) : sim_(sim), o_(options) {}

    // Hears what happened since the last step and answers with keys.
    void step() {
        const auto& lines = sim_.lines();
        for (; read_ < lines.size(); ++read_) hear(lines[read_]);
        if (keysSeen_ < keysBefore_ + keysPressed_) return;  // its last keys are not taken yet
        decide();
    }

    // What the pilot made of the race so far.
    int lane() const { return laneOf(playerPan_); }
    int movesMade() const { return moves_; }
    int shotsFired() const { return shots_; }
    int threatsHeard() const { return threatsHeard_; }

private:
    struct Voice {
        std::string path;
        int volume = 0;
        int pan = 0;
        bool looping = false;
        bool rising = false;  // its last volume change went up: it approaches
        bool volumeSet = false;
        bool player = false;  // one of the player's engine loops (set at -2000 by the race bank)
    };

    static int laneOf(int pan) { return pan < 0 ? -3 : pan > 0 ? 3 : 0; }
    static int laneIndex(int lane) { return lane / 3 + 1; }
    static bool isEngine(std::string_view path) {
        return path.size() == 16 && path.rfind("sounds/car/", 0) == 0 && path[11] >= '1' && path[11] <= '4' &&
               path.compare(12, 4, ".wav") == 0;
    }

    // "5300 volume sounds/car/2.wav -4700 #31": the time, the event, then its words.
    void hear(std::string_view line) {
        std::string_view words[4];  // the first four; `last` is the last one
        std::string_view last;
        std::size_t count = 0;
        for (std::size_t at = 0;;) {
            at = line.find_first_not_of(' ', at);
            if (at == std::string_view::npos) break;
            const std::size_t end = std::min(line.find(' ', at), line.size());
            last = line.substr(at, end - at);
            if (count < 4) words[count] = last;
            ++count;
            at = end;
        }
        if (count == 0) return;
        std::int64_t at = 0;
        std::from_chars(words[0].data(), words[0].data() + words[0].size(), at);
        now_ = at;
        const std::string_view event = count > 1 ? words[1] : std::string_view{};
        if (event == "key") {
            ++keysSeen_;
            return;
        }
        // A line about a sound ends with its buffer number; others (messages) are not heard.
        if (count < 3 || last.size() < 2 || last[0] != '#') return;
        std::uint32_t id = 0;
        std::from_chars(last.data() + 1, last.data() + last.size(), id);
        const std::string_view path = words[2];
        const std::size_t size = count - 2;  // the words after the event
        if (event == "load") {
            auto [it, fresh] = voices_.insert_or_assign(id, Voice{std::string(path)});
            std::erase_if(engines_, [id](const auto& e) { return e.first == id; });
            if (isEngine(path)) engines_.insert(std::upper_bound(engines_.begin(), engines_.end(), id,
                                                                 [](std::uint32_t a, const auto& e) { return a < e.first; }),
                                                {id, &it->second});
            (void)fresh;
            return;
        }
        auto it = voices_.find(id);
        if (it == voices_.end()) return;
        Voice& v = it->second;
        if (event == "release") {
            std::erase_if(engines_, [id](const auto& e) { return e.first == id; });
            voices_.erase(it);
        } else if (event == "volume" && size >= 3) {
            int volume = 0;
            std::from_chars(words[3].data(), words[3].data() + words[3].size(), volume);
            if (!v.volumeSet && isEngine(path) && volume == -2000) {
                v.player = true;  // the race bank is loaded: a new game
                playerPan_ = 0;
            }
            if (v.volumeSet && volume != v.volume) v.rising = volume > v.volume;
            v.volume = volume;
            v.volumeSet = true;
        } else if (event == "pan" && size >= 3) {
            int pan = 0;
            std::from_chars(words[3].data(), words[3].data() + words[3].size(), pan);
            v.pan = pan;
            if (v.player) playerPan_ = v.pan;
        } else if (event == "play" && size >= 3) {
            const bool loop = words[3] == "loop";
            if (loop) {
                if (!v.looping && isEngine(path) && !v.player) {
                    v.rising = true;  // a car comes up from afar
                    ++threatsHeard_;
                }
                v.looping = true;
            } else if (path == "sounds/hWorning.wav") {
                holeLane_ = laneOf(v.pan);
                holeUntil_ = at + o_.holeMs + 200;
            } else if (path == "sounds/itemon.wav") {
                itemLane_ = laneOf(v.pan);
                itemUntil_ = at + o_.itemMs;
            } else if (path == "sounds/speech/lazercanon.wav") {
                lazerRounds_ += 5;
            }
        } else if (event == "stop") {
            v.looping = false;
            if (id == lastTarget_) lastTarget_ = 0;  // the next car in this loop is a new one
        }
    }

    // What staying in a lane would cost: a hole is the end, a car a life (`cars`: what the
    // cars coming up in that lane add).
    long cost(int lane, int myLane, long cars) const {
        long c = lane == myLane ? 0 : 1;
        if (holeLane_ && now_ < holeUntil_ && *holeLane_ == lane) c += 1000000;
        c += cars;
        if (itemLane_ && now_ < itemUntil_ && *itemLane_ == lane) c -= 10;
        return c;
    }

    void press(int key) {
        if (keysPressed_ == 0) keysBefore_ = keysSeen_;  // keys of the menus before it came in
        sim_.pressKey(key, sim_.nowMs());
        ++keysPressed_;
    }

    void decide() {
        // The player's engine: the one of the four that plays. None loaded: no race.
        bool loaded = false, running = false;
        long cars[3] = {0, 0, 0};  // by laneIndex
        for (auto& [id, v] : engines_) {
            loaded = loaded || v->player;
            running = running || (v->player && v->looping);
            if (!v->player && v->looping && v->rising)
                cars[laneIndex(laneOf(v->pan))] += 10000 + (v->volume + 5000);  // nearer is worse
        }
        if (!loaded) return;
        if (!running) {
            if (now_ >= nextStartAt_) {
                press(o_.startKey);
                nextStartAt_ = now_ + 500;
            }
            return;
        }
        const int myLane = laneOf(playerPan_);
        int best = myLane;
        for (int lane : {-3, 0, 3})
            if (cost(lane, myLane, cars[laneIndex(lane)]) < cost(best, myLane, cars[laneIndex(best)])) best = lane;
        if (best != myLane) {
            const bool right = best > myLane;
            const int key = (right != o_.swapSteering) ? o_.rightKey : o_.leftKey;
            for (int steps = std::abs(best - myLane) / 3; steps > 0; --steps) press(key);
            ++moves_;
            return;
        }
        // Nowhere to go and a car close in this lane: the canon.
        for (auto& [id, engine] : engines_) {
            const Voice& v = *engine;
            if (v.player || !v.looping || !v.rising || laneOf(v.pan) != myLane) continue;
            if (v.volume < -2000 || lazerRounds_ < 1 || id == lastTarget_) continue;
            if (!lazerSelected_) {
                press(o_.nextItemKey);
                lazerSelected_ = true;
            }
            press(o_.actionKey);
            --lazerRounds_;
            ++shots_;
            lastTarget_ = id;
            return;
        }
    }

    SimPlatform& sim_;
    Options o_;
    std::size_t read_ = 0;
    std::int64_t now_ = 0;
    std::map<std::uint32_t, Voice> voices_;
    // The engine loops among them, by buffer number: all that decide() looks through.
    std::vector<std::pair<std::uint32_t, Voice*>> engines_;
    int playerPan_ = 0;
    std::optional<int> holeLane_, itemLane_;
    std::int64_t holeUntil_ = 0, itemUntil_ = 0;
    int lazerRounds_ = 0;
    bool lazerSelected_ = false;
    std::uint32_t lastTarget_ = 0;
    long keysPressed_ = 0, keysSeen_ = 0, keysBefore_ = 0;
    std::int64_t nextStartAt_ = 0;
    int moves_ = 0, shots_ = 0, threatsHeard_ = 0;
};

}  // namespace zorvan::test
