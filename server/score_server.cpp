#include "score_server.h"

#include <httplib.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <exception>
#include <thread>

#include "table_cache.h"
#include "web.h"
#include "wire.h"

namespace zorvan::scores {

namespace {
constexpr const char* kText = "text/plain; charset=windows-1252";
// The largest body anything sends is a replay; a bigger one is refused before it is read
// (by its Content-Length, or as soon as a body sent without one passes the limit).
constexpr std::size_t kMaxBodyBytes = kMaxReplayBytes;

// The value of a Content-Length header, or 0 when there is none or it is not a number.
std::uint64_t contentLength(const httplib::Request& req) {
    std::string v = req.get_header_value("Content-Length");
    std::uint64_t n = 0;
    for (char c : v) {
        if (c < '0' || c > '9' || n > (UINT64_MAX - 9) / 10) return 0;
        n = n * 10 + static_cast<std::uint64_t>(c - '0');
    }
    return n;
}

// The library closes its listening socket only at the end of its accept loop; a server that
// was bound but never ran must close it itself, or clients would connect and wait forever.
class HttpServer : public httplib::Server {
public:
    // The library listens with a backlog of 5: clients that reconnect together (after
    // keep_alive_max_count requests each) overflow it, and a dropped SYN waits a whole
    // second to be sent again. Listening again on the bound socket only changes the backlog.
    void widenBacklog() {
        socket_t sock = svr_sock_;
        if (sock != INVALID_SOCKET) ::listen(sock, SOMAXCONN);
    }

    void closeListeningSocket() {
        socket_t sock = svr_sock_.exchange(INVALID_SOCKET);
        if (sock != INVALID_SOCKET) {
            ::shutdown(sock, SHUT_RDWR);
            ::close(sock);
        }
    }
};

void answer(httplib::Response& res, int status, std::string body) {
    res.status = status;
    res.set_content(std::move(body), kText);
}

void answer(httplib::Response& res, const WebReply& reply) {
    res.status = reply.status;
    res.set_content(*reply.body, reply.contentType.c_str());
    // Nothing on these pages runs a script, loads from elsewhere or may be framed.
    res.set_header("Content-Security-Policy",
                   "default-src 'none'; style-src 'unsafe-inline'; form-action 'self'; base-uri 'none'; "
                   "frame-ancestors 'none'");
    res.set_header("X-Content-Type-Options", "nosniff");
    res.set_header("Referrer-Policy", "no-referrer");
}

QueryParams paramsOf(const httplib::Request& req) {
    return QueryParams(req.params.begin(), req.params.end());
}

}  // namespace

std::size_t defaultWorkers() {
    // A kept-alive connection holds its worker between requests, so the pool must cover the
    // clients expected at once; beyond that, threads only add switching on a small machine.
    unsigned cores = std::max(1u, std::thread::hardware_concurrency());
    return std::clamp<std::size_t>(8 * cores, 16, 64);
}

struct ScoreServer::Impl {
    ScoreStore& store;
    TableCache cache;
    WebPages web;
    bool cacheTables = true;
    std::size_t workers = defaultWorkers();
    HttpServer http;
    std::thread thread;
    std::atomic<bool> stopRequested{false};
    std::atomic<bool> inRun{false};
    std::function<void(std::string_view)> logger;
    std::function<void()> replayQueued;

    explicit Impl(ScoreStore& s) : store(s), cache(s), web(s, cache) {
        http.set_payload_max_length(kMaxBodyBytes);
        http.set_read_timeout(5, 0);
        http.set_write_timeout(5, 0);
        http.set_keep_alive_timeout(5);
        http.set_keep_alive_max_count(100);
        // A connection holds its worker while it is kept alive or slow to send its request
        // (up to the 5 s time-outs), so a handful of idle clients must not starve the rest.
        http.new_task_queue = [this] { return new httplib::ThreadPool(workers); };
        http.set_tcp_nodelay(true);
        // The library's default adds SO_REUSEPORT, which would let a second server take the
        // same port silently; reusing a port in TIME_WAIT after a restart is all we want.
        http.set_socket_options([](socket_t sock) {
            int yes = 1;
            ::setsockopt(sock, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
        });

        http.Get("/update_zelk.php", [this](const httplib::Request& req, httplib::Response& res) { update(req, res); });
        http.Get("/view_zelk.php", [this](const httplib::Request& req, httplib::Response& res) { view(req, res); });
        http.Post("/replay_zelk.php", [this](const httplib::Request& req, httplib::Response& res,
                                             const httplib::ContentReader& reader) { replay(req, res, reader); });
        // A client that waits for "100 Continue" before a body too large hears so at once.
        http.set_expect_100_continue_handler([](const httplib::Request& req, httplib::Response& res) {
            if (contentLength(req) <= kMaxBodyBytes) return 100;
            answer(res, 413, "replay too large: at most " + std::to_string(kMaxBodyBytes) + " bytes\n");
            return 413;
        });

        http.Get("/", [this](const httplib::Request&, httplib::Response& res) { answer(res, web.home()); });
        http.Get("/table", [this](const httplib::Request& req, httplib::Response& res) {
            answer(res, web.table(paramsOf(req)));
        });
        http.Get("/player", [this](const httplib::Request& req, httplib::Response& res) {
            answer(res, web.player(paramsOf(req)));
        });
        http.Get("/api/table", [this](const httplib::Request& req, httplib::Response& res) {
            answer(res, web.apiTable(paramsOf(req)));
        });
        // Any other address gets a readable page; answers the handlers wrote stay as they are.
        http.set_error_handler(httplib::Server::HandlerWithResponse([this](const httplib::Request&,
                                                                           httplib::Response& res) {
            if (res.status != 404 || !res.body.empty()) return httplib::Server::HandlerResponse::Unhandled;
            answer(res, web.notFound());
            return httplib::Server::HandlerResponse::Handled;
        }));

        http.set_exception_handler([](const httplib::Request& req, httplib::Response& res, std::exception_ptr ep) {
            // A visitor of the web pages gets a readable page, without the database's words.
            if (req.path != "/update_zelk.php" && req.path != "/view_zelk.php" && req.path != "/replay_zelk.php")
                return answer(res, WebPages::serverError());
            std::string why = "internal error";
            try {
                if (ep) std::rethrow_exception(ep);
            } catch (const std::exception& e) {
                why = e.what();
            } catch (...) {
            }
            answer(res, 500, "error: " + why + "\n");
        });
        http.set_logger([this](const httplib::Request& req, const httplib::Response& res) {
            if (logger) logger(req.method + " " + req.path + " " + std::to_string(res.status));
        });
    }

    void update(const httplib::Request& req, httplib::Response& res) {
        auto parsed = parseUpdate(paramsOf(req));
        if (auto* bad = std::get_if<BadRequest>(&parsed)) return answer(res, 400, "bad request: " + bad->why + "\n");
        if (auto* s = std::get_if<Submission>(&parsed)) {
            AddResult r = store.add(*s);
            return answer(res, 200, r == AddResult::Stored ? "stored\n" : "already stored\n");
        }
        auto& piece = std::get<StatsPiece>(parsed);
        switch (store.appendStats(piece.transId, piece.points, piece.difficulty, piece.text)) {
        case AppendResult::Appended:
            return answer(res, 200, "stats stored\n");
        case AppendResult::NoSuchSubmission:
            return answer(res, 404, "no such submission\n");
        case AppendResult::TooLong:
            return answer(res, 400, "bad request: statistics too long\n");
        }
    }

    // The replay of the run that made a submission: stored and queued, answered at once.
    void replay(const httplib::Request& req, httplib::Response& res, const httplib::ContentReader& reader) {
        // Read even when the announced length is too large: the library then skips the body
        // without keeping it, and the connection stays usable for the next request.
        std::string body;
        bool tooLarge = contentLength(req) > kMaxBodyBytes;
        bool read = reader([&](const char* data, std::size_t n) {
            if (n > kMaxBodyBytes - body.size()) {
                tooLarge = true;
                return false;
            }
            body.append(data, n);
            return true;
        });
        if (tooLarge || res.status == 413)
            return answer(res, 413, "replay too large: at most " + std::to_string(kMaxBodyBytes) + " bytes\n");
        if (!read) return answer(res, 400, "bad request: the replay was cut short\n");

        auto [lo, hi] = req.params.equal_range("TransID");
        std::int32_t transId = 0;
        if (lo == hi) return answer(res, 400, "bad request: TransID missing\n");
        if (std::next(lo) != hi) return answer(res, 400, "bad request: TransID given more than once\n");
        if (!parseCanonicalInt32(lo->second, transId)) return answer(res, 400, "bad request: TransID is not a number\n");
        if (body.empty()) return answer(res, 400, "bad request: the replay is empty\n");

        switch (store.addReplay(transId, body)) {
        case ReplayResult::Queued:
            if (replayQueued) replayQueued();
            return answer(res, 200, "replay queued\n");
        case ReplayResult::AlreadyVerified:
            return answer(res, 200, "already verified\n");
        case ReplayResult::NoSuchSubmission:
            return answer(res, 404, "no such submission\n");
        case ReplayResult::TooMany:
            return answer(res, 429, "too many replays for this TransID\n");
        }
    }

    void view(const httplib::Request& req, httplib::Response& res) {
        auto parsed = parseView(paramsOf(req));
        if (auto* bad = std::get_if<BadRequest>(&parsed)) return answer(res, 400, "bad request: " + bad->why + "\n");
        auto& t = std::get<TableRequest>(parsed);
        if (!cacheTables) return answer(res, 200, formatTable(store.top(t.difficulty, t.inTop)));
        auto snap = cache.get(t.difficulty, store.changeStamp());
        answer(res, 200, std::string(snap->replyFor(t.inTop)));
    }
};

ScoreServer::ScoreServer(ScoreStore& store) : impl_(std::make_unique<Impl>(store)) {}

ScoreServer::~ScoreServer() {
    stop();
    if (impl_->thread.joinable()) impl_->thread.join();
    impl_->http.closeListeningSocket();
}

int ScoreServer::bind(const std::string& address, int port) {
    int bound = port == 0 ? impl_->http.bind_to_any_port(address) : impl_->http.bind_to_port(address, port) ? port : -1;
    if (bound > 0) impl_->http.widenBacklog();
    return bound;
}

bool ScoreServer::run() {
    // inRun is raised before stopRequested is looked at, and stop() raises stopRequested
    // before it looks at inRun: one of the two always sees the other.
    impl_->inRun = true;
    bool ok = impl_->stopRequested || impl_->http.listen_after_bind();
    impl_->inRun = false;
    impl_->http.closeListeningSocket();
    return ok;
}

void ScoreServer::start() {
    // The socket listens since bind(), so clients may connect before the thread accepts.
    impl_->thread = std::thread([this] { run(); });
}

void ScoreServer::stop() {
    impl_->stopRequested = true;
    // The library ignores stop() until its accept loop runs; wait for that, or for run() to
    // give up.
    while (impl_->inRun && !impl_->http.is_running()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    impl_->http.stop();
}

void ScoreServer::setWorkers(std::size_t n) { impl_->workers = std::max<std::size_t>(1, n); }

void ScoreServer::setVerifiedOnly(bool on) {
    impl_->store.setVerifiedOnly(on);
    impl_->web.setVerifiedOnly(on);
}

void ScoreServer::setTableCache(bool on) { impl_->cacheTables = on; }

void ScoreServer::addFixedReply(const std::string& path, std::string body) {
    impl_->http.Get(path, [body = std::move(body)](const httplib::Request&, httplib::Response& res) {
        answer(res, 200, body);
    });
}

void ScoreServer::setReplayListener(std::function<void()> listener) { impl_->replayQueued = std::move(listener); }

void ScoreServer::setLogger(std::function<void(std::string_view)> logger) { impl_->logger = std::move(logger); }

}  // namespace zorvan::scores
