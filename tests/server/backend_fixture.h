#pragma once
// A running zorvan-scores (in-process, loopback, free port) over a fresh store of the
// backend named by the test parameter: "sqlite" or "postgresql".

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "http_get.h"
#include "pg_cluster.h"
#include "score_server.h"
#include "score_store.h"

namespace zorvan::scores::test {

// The keys of a submission, in the order the game sends them.
using Query = std::vector<std::pair<std::string, std::string>>;

inline Query submission(std::int32_t transId, const std::string& name, std::int64_t points, int digit,
                        std::int32_t level = 3) {
    return {{"GameName", "zorvan"},
            {"UserName", name},
            {"UserEmail", "player@example.org"},
            {"UserCountry", "nl"},
            {"GameID", "48zr517"},
            {"TransID", std::to_string(transId)},
            {"UserScore", std::to_string(points) + std::to_string(digit)},
            {"UserNameVerify", std::to_string(points + 538)},
            {"GameDifficulty", std::to_string(digit)},
            {"GameLevel", std::to_string(level)}};
}

inline Query statsPiece(std::int32_t transId, std::int64_t points, int digit, const std::string& text) {
    return {{"UserNameVerify", std::to_string(points + 538)},
            {"stats", "y"},
            {"StatText", text},
            {"GameName", "zorvan"},
            {"GameID", "48zr517"},
            {"TransID", std::to_string(transId)},
            {"UserScore", std::to_string(points) + std::to_string(digit)},
            {"GameDifficulty", std::to_string(digit)}};
}

inline Query table(int inTop, int digit) {
    return {{"InTop", std::to_string(inTop)},
            {"GameName", "zorvan"},
            {"GameID", "48zr517"},
            {"GameDifficulty", std::to_string(digit)}};
}

inline std::string target(const std::string& path, const Query& q) {
    std::string t = path;
    char sep = '?';
    for (const auto& [k, v] : q) {
        t += sep;
        t += enc(k) + "=" + enc(v);
        sep = '&';
    }
    return t;
}

inline bool postgresRequired() {
    const char* v = std::getenv("ZORVAN_REQUIRE_POSTGRES");
    return v && *v && std::string(v) != "0";
}

// Opens a fresh store of the backend; null, with the reason in `why`, when PostgreSQL
// cannot run here.
inline std::unique_ptr<ScoreStore> freshStore(const std::string& backend, const std::filesystem::path& folder,
                                              std::string& why, std::string* uri = nullptr) {
    if (backend == "sqlite") {
        std::string path = (folder / "scores.db").string();
        if (uri) *uri = path;
        return openSqliteStore(path);
    }
    testkit::PgCluster* cluster = testkit::PgCluster::shared(why);
    if (!cluster) return nullptr;
    std::string db = cluster->createDatabase();
    if (uri) *uri = db;
    return openPostgresStore(db);
}

class BackendTest : public ::testing::TestWithParam<std::string> {
protected:
    void SetUp() override {
        folder_ = std::filesystem::temp_directory_path() /
                  ("zorvan-scores-test-" + std::to_string(::getpid()) + "-" + std::to_string(counter()++));
        std::filesystem::create_directories(folder_);
        std::string why;
        store = freshStore(GetParam(), folder_, why, &dbUri);
        if (!store) {
            // CI sets ZORVAN_REQUIRE_POSTGRES, so a broken setup there fails instead of hiding.
            if (postgresRequired()) FAIL() << "PostgreSQL required but unavailable: " << why;
            GTEST_SKIP() << "no PostgreSQL server can be started here: " << why;
        }
        server = std::make_unique<ScoreServer>(*store);
        port = server->bind("127.0.0.1", 0);
        ASSERT_GT(port, 0);
        server->start();
    }
    void TearDown() override {
        server.reset();
        store.reset();
        std::error_code ec;
        std::filesystem::remove_all(folder_, ec);
    }

    std::string base() const { return "http://127.0.0.1:" + std::to_string(port); }
    Reply update(const Query& q) { return httpGet(base() + target("/update_zelk.php", q)); }
    Reply view(const Query& q) { return httpGet(base() + target("/view_zelk.php", q)); }
    Reply raw(const std::string& t) { return httpGet(base() + t); }

    // A server on the same store again, made with `setup` before it serves (options).
    void restartServer(const std::function<void(ScoreServer&)>& setup) {
        server.reset();
        server = std::make_unique<ScoreServer>(*store);
        setup(*server);
        port = server->bind("127.0.0.1", 0);
        ASSERT_GT(port, 0);
        server->start();
    }

    std::unique_ptr<ScoreStore> store;
    std::unique_ptr<ScoreServer> server;
    int port = 0;
    std::string dbUri;  // the SQLite file or PostgreSQL URI of `store`

private:
    static int& counter() {
        static int n = 0;
        return n;
    }
    std::filesystem::path folder_;
};

inline std::string backendName(const ::testing::TestParamInfo<std::string>& info) { return info.param; }

}  // namespace zorvan::scores::test
