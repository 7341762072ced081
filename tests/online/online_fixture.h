#pragma once
// The score client on the simulated platform (real settings store and files in a temporary
// folder) with a scripted HTTP port that records every URL asked for.

#include <gtest/gtest.h>
#include <unistd.h>

#include <deque>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "online/zelk_score.h"
#include "platform/sim/sim_platform.h"

namespace zorvan::test {

class ScriptedHttp final : public Http {
public:
    // Replies in order; when none is left, an empty 200 reply.
    std::deque<HttpReply> replies;
    bool online = true;
    std::vector<std::string> urls;
    std::vector<std::string> connectChecks;
    std::function<void()> duringRequest;  // runs inside get(), while the request is "under way"

    HttpReply get(const std::string& url) override {
        urls.push_back(url);
        if (duringRequest) duringRequest();
        if (replies.empty()) return {true, 200, "", ""};
        HttpReply r = replies.front();
        replies.pop_front();
        return r;
    }
    bool canConnect(const std::string& url, int timeoutMs) override {
        connectChecks.push_back(url + " " + std::to_string(timeoutMs));
        return online;
    }
    void answer(std::string body, int status = 200) { replies.push_back({true, status, std::move(body), ""}); }
    void refuse() { replies.push_back({false, 0, "", "Couldn't connect to server"}); }
};

class OnlineTest : public ::testing::Test {
protected:
    OnlineTest() {
        static int counter = 0;
        root_ = std::filesystem::temp_directory_path() /
                ("zorvan-online-" + std::to_string(::getpid()) + "-" + std::to_string(counter++));
        std::filesystem::create_directories(root_ / "game");
        std::filesystem::create_directories(root_ / "settings");
        SimOptions o;
        o.folder = root_ / "game";
        o.settingsFolder = root_ / "settings";
        o.http = &http;
        platform = std::make_unique<SimPlatform>(o);
        client = std::make_unique<zelkScore>(*platform, [this] {
            ++pumps;
            if (onPump) onPump();
        });
    }
    ~OnlineTest() override {
        client.reset();
        platform.reset();
        std::error_code ec;
        std::filesystem::remove_all(root_, ec);
    }

    std::string get(std::string_view app, std::string_view section, std::string_view key) {
        return platform->settings().get(app, section, key, "<missing>");
    }
    void set(std::string_view app, std::string_view section, std::string_view key, std::string_view value) {
        platform->settings().set(app, section, key, value);
    }
    std::string rgsv() { return get("zorvan", "installation", "rgsv"); }
    std::string setupInfo() { return get("w32csp", "settings", "setupInfo"); }
    void writeFile(const std::string& name, const std::string& bytes) { platform->files().write(name, bytes); }
    bool fileExists(const std::string& name) { return platform->files().exists(name); }

    // A pending score made the way the game makes one at the end of a game.
    void pending(std::int32_t points, std::int32_t difficulty = 1, std::int32_t level = 4) {
        ASSERT_TRUE(client->storeScore("data.KSR", points, difficulty, level, "", false));
    }
    void profile() {
        client->usercountry("nl");
        client->useremail("ann@example.org");
        client->userName("Ann Smith");
    }

    ScriptedHttp http;
    std::unique_ptr<SimPlatform> platform;
    std::unique_ptr<zelkScore> client;
    int pumps = 0;
    std::function<void()> onPump;

private:
    std::filesystem::path root_;
};

}  // namespace zorvan::test
