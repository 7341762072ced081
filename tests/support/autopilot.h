#pragma once
// An autopilot that plays the race by ear. It knows only what a player hears, read from the
// event log of the simulated platform: which loops play, their pan (where) and volume (how
// near), which warnings and announcements sounded and from which side. It steers out of
// the lanes of approaching cars and announced holes, drives into items when that is safe,
// starts the car when its engine falls silent, and fires the lazer canon at a car it cannot
// escape. It proves that the game can be played from its sound alone.
//
// Header-only so that any test or benchmark folder can use it as "support/autopilot.h".

#include <cstdint>
#include <cstdlib>
#include <map>
#include <optional>
#include <sstream>
#include <string>
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
    static bool isEngine(const std::string& path) {
        return path.size() == 16 && path.rfind("sounds/car/", 0) == 0 && path[11] >= '1' && path[11] <= '4' &&
               path.compare(12, 4, ".wav") == 0;
    }

    void hear(const std::string& line) {
        std::istringstream in(line);
        std::int64_t at = 0;
        std::string event;
        in >> at >> event;
        now_ = at;
        if (event == "key") {
            ++keysSeen_;
            return;
        }
        std::vector<std::string> words;
        for (std::string w; in >> w;) words.push_back(w);
        if (words.empty() || words.back().size() < 2 || words.back()[0] != '#') return;
        const std::uint32_t id = static_cast<std::uint32_t>(std::strtoul(words.back().c_str() + 1, nullptr, 10));
        const std::string& path = words[0];
        if (event == "load") {
            voices_[id] = Voice{path};
            return;
        }
        auto it = voices_.find(id);
        if (it == voices_.end()) return;
        Voice& v = it->second;
        if (event == "release") {
            voices_.erase(it);
        } else if (event == "volume" && words.size() >= 3) {
            const int volume = std::atoi(words[1].c_str());
            if (!v.volumeSet && isEngine(path) && volume == -2000) {
                v.player = true;  // the race bank is loaded: a new game
                playerPan_ = 0;
            }
            if (v.volumeSet && volume != v.volume) v.rising = volume > v.volume;
            v.volume = volume;
            v.volumeSet = true;
        } else if (event == "pan" && words.size() >= 3) {
            v.pan = std::atoi(words[1].c_str());
            if (v.player) playerPan_ = v.pan;
        } else if (event == "play" && words.size() >= 3) {
            const bool loop = words[1] == "loop";
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

    // What staying in a lane would cost: a hole is the end, a car a life.
    long cost(int lane, int myLane) const {
        long c = lane == myLane ? 0 : 1;
        if (holeLane_ && now_ < holeUntil_ && *holeLane_ == lane) c += 1000000;
        for (auto& [id, v] : voices_)
            if (!v.player && v.looping && v.rising && isEngine(v.path) && laneOf(v.pan) == lane)
                c += 10000 + (v.volume + 5000);  // nearer is worse
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
        for (auto& [id, v] : voices_) {
            loaded = loaded || v.player;
            running = running || (v.player && v.looping);
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
            if (cost(lane, myLane) < cost(best, myLane)) best = lane;
        if (best != myLane) {
            const bool right = best > myLane;
            const int key = (right != o_.swapSteering) ? o_.rightKey : o_.leftKey;
            for (int steps = std::abs(best - myLane) / 3; steps > 0; --steps) press(key);
            ++moves_;
            return;
        }
        // Nowhere to go and a car close in this lane: the canon.
        for (auto& [id, v] : voices_) {
            if (v.player || !v.looping || !v.rising || !isEngine(v.path) || laneOf(v.pan) != myLane) continue;
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
