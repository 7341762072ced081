// Table requests and web pages of zorvan-scores under load on loopback: requests per second
// and latency percentiles at N clients, each keeping one HTTP/1.1 connection open, beside the
// HTTP layer's own speed for a fixed reply of the same size, all in one run:
//   bench_server_load [--clients 16] [--seconds 3] [--rows 1000] [--no-postgres]

#include <curl/curl.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "pg_cluster.h"
#include "score_server.h"
#include "score_store.h"
#include "wire.h"

namespace {

using namespace zorvan::scores;
namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

struct Options {
    int clients = 16;
    double seconds = 3;
    int rows = 1000;
    bool postgres = true;
};

struct Result {
    double perSecond = 0;
    double p50 = 0, p99 = 0, max = 0;  // milliseconds
    long failures = 0;
    std::size_t bytes = 0;
};

Result load(const std::string& url, const Options& o) {
    std::atomic<bool> measuring{false}, stop{false};
    std::vector<std::vector<double>> latencies(static_cast<std::size_t>(o.clients));
    std::vector<long> failures(static_cast<std::size_t>(o.clients), 0);
    std::vector<std::size_t> bytes(static_cast<std::size_t>(o.clients), 0);
    std::vector<std::thread> threads;
    for (int c = 0; c < o.clients; ++c) {
        threads.emplace_back([&, c] {
            CURL* curl = curl_easy_init();
            std::string body;
            curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
            curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
            curl_easy_setopt(curl, CURLOPT_TCP_NODELAY, 1L);
            curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, +[](char* p, size_t s, size_t n, void* out) -> size_t {
                static_cast<std::string*>(out)->append(p, s * n);
                return s * n;
            });
            curl_easy_setopt(curl, CURLOPT_WRITEDATA, &body);
            auto& mine = latencies[static_cast<std::size_t>(c)];
            mine.reserve(200000);
            while (!stop) {
                body.clear();
                auto t0 = Clock::now();
                long status = 0;
                if (curl_easy_perform(curl) == CURLE_OK) curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &status);
                double ms = std::chrono::duration<double, std::milli>(Clock::now() - t0).count();
                if (!measuring) continue;
                if (status != 200) ++failures[static_cast<std::size_t>(c)];
                mine.push_back(ms);
                bytes[static_cast<std::size_t>(c)] = body.size();
            }
            curl_easy_cleanup(curl);
        });
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(500));  // connections up, caches warm
    auto t0 = Clock::now();
    measuring = true;
    std::this_thread::sleep_for(std::chrono::duration<double>(o.seconds));
    measuring = false;
    double elapsed = std::chrono::duration<double>(Clock::now() - t0).count();
    stop = true;
    for (auto& t : threads) t.join();

    std::vector<double> all;
    Result r;
    for (int c = 0; c < o.clients; ++c) {
        all.insert(all.end(), latencies[static_cast<std::size_t>(c)].begin(), latencies[static_cast<std::size_t>(c)].end());
        r.failures += failures[static_cast<std::size_t>(c)];
        r.bytes = std::max(r.bytes, bytes[static_cast<std::size_t>(c)]);
    }
    std::sort(all.begin(), all.end());
    if (all.empty()) return r;
    r.perSecond = static_cast<double>(all.size()) / elapsed;
    r.p50 = all[all.size() / 2];
    r.p99 = all[std::min(all.size() - 1, all.size() * 99 / 100)];
    r.max = all.back();
    return r;
}

struct Served {
    std::unique_ptr<ScoreServer> server;
    std::string base;
};

Served serve(ScoreStore& store, std::size_t workers, bool cache, const std::string& fixedBody) {
    Served s;
    s.server = std::make_unique<ScoreServer>(store);
    s.server->setWorkers(workers);
    s.server->setTableCache(cache);
    s.server->addFixedReply("/fixed", fixedBody);
    int port = s.server->bind("127.0.0.1", 0);
    if (port <= 0) throw std::runtime_error("cannot bind");
    s.server->start();
    s.base = "http://127.0.0.1:" + std::to_string(port);
    return s;
}

void line(const char* backend, const std::string& what, const Result& r, double fixed) {
    std::printf("%-10s %-44s %9.0f %8.2f %8.2f %8.2f %8zu %6s %5ld\n", backend, what.c_str(), r.perSecond, r.p50, r.p99,
                r.max, r.bytes, fixed > 0 ? (std::to_string(r.perSecond / fixed).substr(0, 4)).c_str() : "", r.failures);
    std::fflush(stdout);
}

void runBackend(const char* name, ScoreStore& store, const Options& o) {
    for (int i = 0; i < o.rows; ++i)
        store.add({i, "player " + std::to_string(i), "nun", "nl", 1000 + (i * 7919) % 50000, 9, 1 + i % 40});
    const std::string view = "/view_zelk.php?InTop=500&GameName=zorvan&GameID=48zr517&GameDifficulty=9";
    const std::string fixedBody = formatTable(store.top(9, 500));

    // Before: a query per table request, 32 request threads.
    {
        Served s = serve(store, 32, false, fixedBody);
        Result fixed = load(s.base + "/fixed", o);
        line(name, "before: fixed reply, 32 workers", fixed, 0);
        line(name, "before: top-500 from the store, 32 workers", load(s.base + view, o), fixed.perSecond);
    }
    // After: the snapshot, the default worker count.
    {
        Served s = serve(store, defaultWorkers(), true, fixedBody);
        Result fixed = load(s.base + "/fixed", o);
        std::string w = std::to_string(defaultWorkers()) + " workers";
        line(name, "after: fixed reply, " + w, fixed, 0);
        line(name, "after: top-500 from the snapshot, " + w, load(s.base + view, o), fixed.perSecond);
        line(name, "after: page /table?difficulty=easy", load(s.base + "/table?difficulty=easy", o), 0);
        line(name, "after: page /", load(s.base + "/", o), 0);
        line(name, "after: /api/table?difficulty=easy", load(s.base + "/api/table?difficulty=easy", o), 0);
        line(name, "after: page /table (offset 600, from store)",
             load(s.base + "/table?difficulty=easy&offset=600", o), 0);
    }
}

}  // namespace

int main(int argc, char** argv) {
    Options o;
    for (int i = 1; i < argc; ++i) {
        std::string a = argv[i];
        auto next = [&]() -> const char* { return i + 1 < argc ? argv[++i] : "0"; };
        if (a == "--clients") o.clients = std::max(1, std::atoi(next()));
        else if (a == "--seconds") o.seconds = std::max(0.2, std::atof(next()));
        else if (a == "--rows") o.rows = std::max(1, std::atoi(next()));
        else if (a == "--no-postgres") o.postgres = false;
        else {
            std::fprintf(stderr, "usage: bench_server_load [--clients N] [--seconds S] [--rows N] [--no-postgres]\n");
            return 2;
        }
    }
    curl_global_init(CURL_GLOBAL_DEFAULT);
    std::printf("%d clients, %.1f s each, %d rows; %u cores\n", o.clients, o.seconds, o.rows,
                std::thread::hardware_concurrency());
    std::printf("%-10s %-44s %9s %8s %8s %8s %8s %6s %5s\n", "backend", "request", "req/s", "p50 ms", "p99 ms",
                "max ms", "bytes", "/fixed", "fail");
    fs::path folder = fs::temp_directory_path() / ("zorvan-bench-load-" + std::to_string(::getpid()));
    fs::create_directories(folder);
    {
        auto store = openSqliteStore((folder / "scores.db").string());
        runBackend("sqlite", *store, o);
    }
    if (o.postgres) {
        std::string why;
        if (auto* cluster = zorvan::scores::testkit::PgCluster::shared(why)) {
            auto store = openPostgresStore(cluster->createDatabase());
            runBackend("postgresql", *store, o);
        } else {
            std::printf("postgresql skipped: %s\n", why.c_str());
        }
    }
    std::error_code ec;
    fs::remove_all(folder, ec);
    return 0;
}
