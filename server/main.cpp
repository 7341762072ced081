// zorvan-scores: the score server the game submits to.
//   zorvan-scores [--db PATH|postgresql://...] [--port N] [--bind ADDR] [--threads N] [--quiet]

#include <pthread.h>
#include <signal.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <iostream>
#include <mutex>
#include <string>
#include <system_error>
#include <thread>

#include "score_server.h"
#include "score_store.h"

namespace {

namespace fs = std::filesystem;
using namespace zorvan::scores;

void usage(std::ostream& out) {
    out << "usage: zorvan-scores [--db PATH|postgresql://...] [--port N] [--bind ADDR] [--threads N] [--quiet]\n"
           "  --db     SQLite file (default $XDG_DATA_HOME/zorvan/scores.db)\n"
           "           or a PostgreSQL URI (postgresql://user@host:port/database)\n"
           "  --port   TCP port (default "
        << kDefaultPort
        << ")\n"
           "  --bind   address to listen on (default "
        << kDefaultBind
        << ", this machine only)\n"
           "  --threads  request threads, one per client connected at once (default "
        << defaultWorkers()
        << ")\n"
           "  --quiet  no access log on stdout\n";
}

// Where scores live when --db is not given: beside the player's other data, not in the
// game folder a rebuild may replace.
std::string defaultDatabase() {
    fs::path base;
    if (const char* x = std::getenv("XDG_DATA_HOME"); x && *x) {
        base = x;
    } else if (const char* h = std::getenv("HOME"); h && *h) {
        base = fs::path(h) / ".local" / "share";
    } else {
        base = ".";
    }
    fs::path dir = base / "zorvan";
    std::error_code ec;
    fs::create_directories(dir, ec);
    return (dir / "scores.db").string();
}

bool parsePort(const char* text, int& port) {
    char* end = nullptr;
    long v = std::strtol(text, &end, 10);
    if (!*text || *end || v < 0 || v > 65535) return false;
    port = static_cast<int>(v);
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    std::string db;
    std::string bindAddress = kDefaultBind;
    int port = kDefaultPort;
    bool quiet = false;
    std::size_t threads = defaultWorkers();
    for (int i = 1; i < argc; ++i) {
        std::string a = argv[i];
        auto value = [&]() -> const char* {
            if (i + 1 >= argc) {
                std::cerr << "zorvan-scores: " << a << " needs a value\n";
                std::exit(2);
            }
            return argv[++i];
        };
        if (a == "--db") {
            db = value();
        } else if (a == "--port") {
            if (!parsePort(value(), port)) {
                std::cerr << "zorvan-scores: --port needs a number from 0 to 65535\n";
                return 2;
            }
        } else if (a == "--bind") {
            bindAddress = value();
        } else if (a == "--threads") {
            char* end = nullptr;
            const char* text = value();
            long v = std::strtol(text, &end, 10);
            if (!*text || *end || v < 1 || v > 1024) {
                std::cerr << "zorvan-scores: --threads needs a number from 1 to 1024\n";
                return 2;
            }
            threads = static_cast<std::size_t>(v);
        } else if (a == "--quiet") {
            quiet = true;
        } else if (a == "--help" || a == "-h") {
            usage(std::cout);
            return 0;
        } else {
            std::cerr << "zorvan-scores: unknown argument " << a << "\n";
            usage(std::cerr);
            return 2;
        }
    }
    if (db.empty()) db = defaultDatabase();

    // Signals are taken by one thread with sigwait, so stopping never runs in a handler.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    sigaddset(&stopSignals, SIGHUP);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);
    signal(SIGPIPE, SIG_IGN);

    std::unique_ptr<ScoreStore> store;
    try {
        store = openStore(db);
    } catch (const std::exception& e) {
        std::cerr << "zorvan-scores: " << e.what() << "\n";
        return 1;
    }

    ScoreServer server(*store);
    server.setWorkers(threads);
    std::mutex logMutex;
    if (!quiet) {
        server.setLogger([&](std::string_view line) {
            std::lock_guard lock(logMutex);
            std::cout << line << std::endl;
        });
    }
    int bound = server.bind(bindAddress, port);
    if (bound < 0) {
        std::cerr << "zorvan-scores: cannot listen on " << bindAddress << " port " << port << ": "
                  << std::strerror(errno) << "\n";
        return 1;
    }
    std::cout << "zorvan-scores: " << store->backendName() << " store, listening on " << bindAddress << ":" << bound
              << std::endl;

    std::thread signals([&] {
        int sig = 0;
        sigwait(&stopSignals, &sig);
        server.stop();
    });
    bool ok = server.run();
    pthread_kill(signals.native_handle(), SIGTERM);  // wakes the signal thread when run() failed
    signals.join();
    if (!ok) {
        std::cerr << "zorvan-scores: serving failed\n";
        return 1;
    }
    return 0;
}
