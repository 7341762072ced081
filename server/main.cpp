// zorvan-scores: the score server the game submits to.
//   zorvan-scores [--db PATH|postgresql://...] [--port N] [--bind ADDR] [--threads N] [--quiet]
//                 [--game DIR] [--verified-only] [--verifiers N] [--verify-cpu SECONDS]
//                 [--verify-memory MIB]

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
#include "verifier.h"
#include "verify_child.h"

namespace {

namespace fs = std::filesystem;
using namespace zorvan::scores;

void usage(std::ostream& out) {
    out << "usage: zorvan-scores [--db PATH|postgresql://...] [--port N] [--bind ADDR] [--threads N] [--quiet]\n"
           "                     [--game DIR] [--verified-only] [--verifiers N] [--verify-cpu SECONDS]\n"
           "                     [--verify-memory MIB]\n"
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
           "  --quiet  no access log on stdout\n"
           "  --game   the game folder replays are played with (default: this program's folder)\n"
           "  --verified-only  list only scores whose replay was verified\n"
           "  --verifiers  replays verified at once (default 1; 0: none here)\n"
           "  --verify-cpu  processor seconds one replay may use (default 20)\n"
           "  --verify-memory  MiB of address space one replay may use (default 512)\n";
}

// The folder this program lies in: the game folder of a build or of the installed game.
fs::path programFolder() {
    std::error_code ec;
    fs::path exe = fs::canonical("/proc/self/exe", ec);
    return ec ? fs::path(".") : exe.parent_path();
}

bool parseCount(const char* text, long lo, long hi, long& out) {
    char* end = nullptr;
    long v = std::strtol(text, &end, 10);
    if (!*text || *end || v < lo || v > hi) return false;
    out = v;
    return true;
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
    if (argc >= 2 && std::strcmp(argv[1], kVerifyChildFlag) == 0) return verifyChildMain(argc, argv);
    std::string db;
    fs::path game;
    bool verifiedOnly = false;
    long verifiers = 1;
    ChildLimits limits;
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
        } else if (a == "--game") {
            game = value();
        } else if (a == "--verified-only") {
            verifiedOnly = true;
        } else if (a == "--verifiers") {
            if (!parseCount(value(), 0, 64, verifiers)) {
                std::cerr << "zorvan-scores: --verifiers needs a number from 0 to 64\n";
                return 2;
            }
        } else if (a == "--verify-cpu") {
            long v = 0;
            if (!parseCount(value(), 1, 3600, v)) {
                std::cerr << "zorvan-scores: --verify-cpu needs a number of seconds from 1 to 3600\n";
                return 2;
            }
            limits.cpuSeconds = static_cast<int>(v);
        } else if (a == "--verify-memory") {
            long v = 0;
            if (!parseCount(value(), 64, 1 << 20, v)) {
                std::cerr << "zorvan-scores: --verify-memory needs a number of MiB from 64 to 1048576\n";
                return 2;
            }
            limits.memoryBytes = static_cast<std::uint64_t>(v) << 20;
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
    if (game.empty()) game = programFolder();

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
    server.setVerifiedOnly(verifiedOnly);
    std::mutex logMutex;
    auto print = [&](std::string_view line) {
        std::lock_guard lock(logMutex);
        std::cout << line << std::endl;
    };
    if (!quiet) server.setLogger(print);

    // Without the game's sounds every replay would fail; replays then wait in the queue for a
    // server that has them, rather than being rejected for want of a game.
    std::error_code ec;
    if (verifiers > 0 && !fs::is_directory(game / "sounds", ec)) {
        std::cerr << "zorvan-scores: " << game.string()
                  << " holds no game (no sounds folder): replays are stored but not verified here; give --game DIR\n";
        verifiers = 0;
    }
    const fs::path self = fs::canonical("/proc/self/exe", ec);
    Verifier verifier(
        *store,
        [&](const std::string& replay) {
            ChildLimits l = limits;
            l.cancel = &verifier.stopping();
            return runReplayInChild(replay, self, game, l);
        },
        print);
    server.setReplayListener([&] { verifier.wake(); });
    int bound = server.bind(bindAddress, port);
    if (bound < 0) {
        std::cerr << "zorvan-scores: cannot listen on " << bindAddress << " port " << port << ": "
                  << std::strerror(errno) << "\n";
        return 1;
    }
    std::cout << "zorvan-scores: " << store->backendName() << " store, listening on " << bindAddress << ":" << bound
              << std::endl;

    verifier.start(static_cast<std::size_t>(verifiers));

    std::thread signals([&] {
        int sig = 0;
        sigwait(&stopSignals, &sig);
        server.stop();
    });
    bool ok = server.run();
    pthread_kill(signals.native_handle(), SIGTERM);  // wakes the signal thread when run() failed
    signals.join();
    verifier.stop();
    if (!ok) {
        std::cerr << "zorvan-scores: serving failed\n";
        return 1;
    }
    return 0;
}
