// Requests per second that zorvan-scores answers on loopback, for each storage backend:
//   bench_server [--benchmark_filter=...]
// Each client thread keeps one HTTP/1.1 connection open, as a busy front end would.

#include <benchmark/benchmark.h>
#include <curl/curl.h>
#include <unistd.h>

#include <atomic>
#include <filesystem>
#include <iostream>
#include <memory>
#include <mutex>
#include <string>

#include "pg_cluster.h"
#include "score_server.h"
#include "score_store.h"

namespace {

using namespace zorvan::scores;
namespace fs = std::filesystem;

constexpr int kPreloaded = 1000;  // submissions in the table before the first request

struct Backend {
    std::unique_ptr<ScoreStore> store;
    std::unique_ptr<ScoreServer> server;
    std::string base;
    std::string error;
};

Backend sqliteBackend, postgresBackend;

// Started at first use, by whichever benchmark thread comes first.
Backend& backend(const std::string& name) {
    static std::mutex mutex;
    std::lock_guard lock(mutex);
    fs::path folder = fs::temp_directory_path() / ("zorvan-bench-server-" + std::to_string(::getpid()));
    Backend& b = name == "sqlite" ? sqliteBackend : postgresBackend;
    if (b.server || !b.error.empty()) return b;
    try {
        if (name == "sqlite") {
            fs::create_directories(folder);
            b.store = openSqliteStore((folder / "scores.db").string());
        } else {
            std::string why;
            auto* cluster = testkit::PgCluster::shared(why);
            if (!cluster) throw std::runtime_error(why);
            b.store = openPostgresStore(cluster->createDatabase());
        }
        for (int i = 0; i < kPreloaded; ++i)
            b.store->add({i, "player " + std::to_string(i), "nun", "nl", 1000 + (i * 7919) % 50000, 9, 1 + i % 40});
        b.server = std::make_unique<ScoreServer>(*b.store);
        int port = b.server->bind("127.0.0.1", 0);
        if (port <= 0) throw std::runtime_error("cannot bind");
        b.server->start();
        b.base = "http://127.0.0.1:" + std::to_string(port);
    } catch (const std::exception& e) {
        b.error = e.what();
    }
    return b;
}

struct Client {
    CURL* curl = curl_easy_init();
    std::string body;
    Client() {
        curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
        curl_easy_setopt(curl, CURLOPT_TCP_NODELAY, 1L);
        curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, +[](char* p, size_t s, size_t n, void* out) -> size_t {
            static_cast<std::string*>(out)->append(p, s * n);
            return s * n;
        });
        curl_easy_setopt(curl, CURLOPT_WRITEDATA, &body);
    }
    ~Client() { curl_easy_cleanup(curl); }
    long get(const std::string& url) {
        body.clear();
        curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
        long status = 0;
        if (curl_easy_perform(curl) == CURLE_OK) curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &status);
        return status;
    }
};

void tableRequests(benchmark::State& state, const std::string& name) {
    Backend& b = backend(name);
    if (!b.error.empty()) return state.SkipWithError(b.error.c_str());
    Client c;
    std::string url = b.base + "/view_zelk.php?InTop=" + std::to_string(state.range(0)) +
                      "&GameName=zorvan&GameID=48zr517&GameDifficulty=9";
    for (auto _ : state) {
        if (c.get(url) != 200) return state.SkipWithError("table request failed");
    }
    state.counters["requests/s"] = benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
    state.counters["reply bytes"] = benchmark::Counter(static_cast<double>(c.body.size()), benchmark::Counter::kAvgThreads);
}

void submissions(benchmark::State& state, const std::string& name) {
    Backend& b = backend(name);
    if (!b.error.empty()) return state.SkipWithError(b.error.c_str());
    static std::atomic<int> nextTransId{1000000};
    Client c;
    for (auto _ : state) {
        int tid = nextTransId++;
        long points = 1000 + tid % 30000;
        std::string url = b.base + "/update_zelk.php?GameName=zorvan&UserName=Bench%20Player&UserEmail=nun" +
                          "&UserCountry=nl&GameID=48zr517&TransID=" + std::to_string(tid) +
                          "&UserScore=" + std::to_string(points) + "8&UserNameVerify=" + std::to_string(points + 538) +
                          "&GameDifficulty=8&GameLevel=5";
        if (c.get(url) != 200) return state.SkipWithError("submission failed");
    }
    state.counters["requests/s"] = benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
}

}  // namespace

BENCHMARK_CAPTURE(tableRequests, sqlite, std::string("sqlite"))->Arg(10)->Arg(500)->Threads(1)->Threads(4)->UseRealTime();
BENCHMARK_CAPTURE(tableRequests, postgresql, std::string("postgresql"))->Arg(10)->Arg(500)->Threads(1)->Threads(4)->UseRealTime();
BENCHMARK_CAPTURE(submissions, sqlite, std::string("sqlite"))->Threads(1)->Threads(4)->UseRealTime();
BENCHMARK_CAPTURE(submissions, postgresql, std::string("postgresql"))->Threads(1)->Threads(4)->UseRealTime();

int main(int argc, char** argv) {
    curl_global_init(CURL_GLOBAL_DEFAULT);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    for (Backend* b : {&sqliteBackend, &postgresBackend}) {
        b->server.reset();
        b->store.reset();
    }
    std::error_code ec;
    fs::remove_all(fs::temp_directory_path() / ("zorvan-bench-server-" + std::to_string(::getpid())), ec);
    return 0;
}
