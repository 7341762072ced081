#include "verifier.h"

#include <httplib.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/mman.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <variant>

#include "text.h"
#include "wire.h"

namespace zorvan::scores {
namespace {

constexpr std::string_view kReportHeader = "zorvan-verify 1";

// AddressSanitizer reserves terabytes of address space for its shadow memory: a sanitized
// build (make test-sanitize) cannot run under an address-space limit.
#if defined(__SANITIZE_ADDRESS__)
constexpr bool limitAddressSpace = false;
#else
constexpr bool limitAddressSpace = true;
#endif
// A report holds a few URLs; anything near this is a child gone wrong.
constexpr std::size_t kMaxReportBytes = 4u << 20;

std::string oneLine(std::string_view text) {
    std::string out(text);
    for (char& c : out)
        if (c == '\n' || c == '\r') c = ' ';
    return out;
}

ReplayCheck failed(std::string why) {
    ReplayCheck c;
    c.error = std::move(why);
    return c;
}

std::string describe(std::int64_t points, int difficulty, std::int32_t level, const std::string& name) {
    return std::to_string(points) + " points on difficulty digit " + std::to_string(difficulty) + " at level " +
           std::to_string(level) + " as \"" + displayText(name) + "\"";
}

// The submissions among the URLs, read by the same parser as the server's own requests.
std::vector<Submission> submissionsOf(const std::vector<std::string>& urls) {
    std::vector<Submission> out;
    for (const std::string& url : urls) {
        auto q = url.find('?');
        if (q == std::string::npos) continue;
        httplib::Params params;
        httplib::detail::parse_query_text(url.substr(q + 1), params);
        auto parsed = parseUpdate(QueryParams(params.begin(), params.end()));
        if (auto* s = std::get_if<Submission>(&parsed)) out.push_back(std::move(*s));
    }
    return out;
}

}  // namespace

std::string formatReplayCheck(const ReplayCheck& check) {
    std::string out(kReportHeader);
    out += "\nran ";
    out += check.ran ? "1" : "0";
    out += "\n";
    if (!check.error.empty()) out += "error " + oneLine(check.error) + "\n";
    if (check.pendingAtStart) out += "pending " + oneLine(*check.pendingAtStart) + "\n";
    for (const std::string& url : check.submissionUrls) out += "url " + oneLine(url) + "\n";
    out += "end\n";
    return out;
}

ReplayCheck parseReplayCheck(std::string_view text) {
    ReplayCheck c;
    bool header = false, end = false;
    while (!text.empty() && !end) {
        auto nl = text.find('\n');
        if (nl == std::string_view::npos) break;  // a last line cut short counts as missing
        std::string_view line = text.substr(0, nl);
        text.remove_prefix(nl + 1);
        if (!header) {
            if (line != kReportHeader) break;
            header = true;
        } else if (line == "end") {
            end = true;
        } else if (line == "ran 1") {
            c.ran = true;
        } else if (line == "ran 0") {
            c.ran = false;
        } else if (line.starts_with("error ")) {
            c.error = line.substr(6);
        } else if (line.starts_with("pending ")) {
            c.pendingAtStart = std::string(line.substr(8));
        } else if (line.starts_with("url ")) {
            c.submissionUrls.emplace_back(line.substr(4));
        }
    }
    if (!header || !end) return failed("the replay gave no complete report");
    return c;
}

std::vector<Verdict> judge(const ReplayJob& job, const ReplayCheck& check) {
    std::vector<Verdict> verdicts;
    std::vector<Submission> made = submissionsOf(check.submissionUrls);
    for (const StoredSubmission& s : job.submissions) {
        Verdict v;
        v.submissionId = s.id;
        if (!check.ran) {
            v.reason = "the replay could not be played: " + (check.error.empty() ? std::string("no reason given") : check.error);
        } else if (!check.error.empty()) {
            v.reason = "the replay does not fit this game: " + check.error;
        } else {
            const Submission* same = nullptr;
            const Submission* sameTrans = nullptr;
            for (const Submission& m : made) {
                if (m.transId != s.transId) continue;
                if (!sameTrans) sameTrans = &m;
                if (m.points == s.points && m.difficulty == s.difficulty && m.level == s.level &&
                    m.userName == s.userName) {
                    same = &m;
                    break;
                }
            }
            if (!sameTrans) {
                v.reason = "the replayed run made no submission with TransID " + std::to_string(s.transId);
                if (!made.empty()) v.reason += " (it submitted TransID " + std::to_string(made.front().transId) + ")";
            } else if (!same) {
                v.reason = "the replayed run submitted " +
                           describe(sameTrans->points, sameTrans->difficulty, sameTrans->level, sameTrans->userName) +
                           ", not " + describe(s.points, s.difficulty, s.level, s.userName);
            } else if (check.pendingAtStart &&
                       *check.pendingAtStart == std::to_string(s.points) + std::to_string(s.difficulty)) {
                // The run submitted a score its settings already held: one earned (or written
                // into the settings) before the replay begins, which the replay cannot show.
                v.reason = "the score was already pending when the replayed run began; it was not earned in it";
            } else {
                v.verified = true;
            }
        }
        verdicts.push_back(std::move(v));
    }
    return verdicts;
}

ReplayCheck runReplayInChild(const std::string& replay, const std::filesystem::path& program,
                             const std::filesystem::path& gameFolder, const ChildLimits& limits) {
    namespace fs = std::filesystem;
    const int wallSeconds = limits.wallSeconds > 0 ? limits.wallSeconds : 2 * limits.cpuSeconds + 10;

    // The replay goes in through an anonymous file, so neither side ever waits on a full pipe.
    int input = ::memfd_create("zorvan-replay", MFD_CLOEXEC);
    if (input < 0) return failed(std::string("cannot hold the replay: ") + std::strerror(errno));
    for (std::size_t at = 0; at < replay.size();) {
        ssize_t n = ::write(input, replay.data() + at, replay.size() - at);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            ::close(input);
            return failed("cannot hold the replay");
        }
        at += static_cast<std::size_t>(n);
    }
    ::lseek(input, 0, SEEK_SET);

    std::string workTemplate = (fs::temp_directory_path() / "zorvan-verify-XXXXXX").string();
    if (!::mkdtemp(workTemplate.data())) {
        ::close(input);
        return failed(std::string("cannot make a work folder: ") + std::strerror(errno));
    }
    const std::string work = workTemplate;
    int out[2];
    if (::pipe2(out, O_CLOEXEC) != 0) {
        ::close(input);
        fs::remove_all(work);
        return failed("cannot start the replay");
    }

    // Everything the child needs is made before fork: after it, only async-signal-safe calls.
    const std::string programPath = program.string(), game = gameFolder.string();
    std::vector<std::string> args = {programPath, kVerifyChildFlag, "--game", game, "--work", work};
    std::vector<char*> argv;
    for (auto& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    const rlim_t cpu = static_cast<rlim_t>(limits.cpuSeconds);
    const rlim_t memory = static_cast<rlim_t>(limits.memoryBytes);

    pid_t pid = ::fork();
    if (pid == 0) {
        ::prctl(PR_SET_PDEATHSIG, SIGKILL);
        // The server blocks its stop signals and ignores SIGPIPE; exec would keep both.
        sigset_t none;
        sigemptyset(&none);
        ::sigprocmask(SIG_SETMASK, &none, nullptr);
        ::signal(SIGPIPE, SIG_DFL);
        // SIGXCPU at the limit, SIGKILL a second later should it be caught.
        rlimit r{cpu, cpu + 1};
        ::setrlimit(RLIMIT_CPU, &r);
        r = {memory, memory};
        if (limitAddressSpace) ::setrlimit(RLIMIT_AS, &r);
        r = {64u << 20, 64u << 20};  // the files the run writes in its work folder
        ::setrlimit(RLIMIT_FSIZE, &r);
        r = {0, 0};
        ::setrlimit(RLIMIT_CORE, &r);
        ::dup2(input, 0);
        ::dup2(out[1], 1);
        int devnull = ::open("/dev/null", O_WRONLY);
        if (devnull >= 0) ::dup2(devnull, 2);
        ::close_range(3, ~0U, 0);
        ::execv(argv[0], argv.data());
        _exit(127);
    }
    ::close(input);
    ::close(out[1]);
    if (pid < 0) {
        ::close(out[0]);
        fs::remove_all(work);
        return failed("cannot start the replay");
    }

    std::string report;
    bool timedOut = false, tooLong = false;
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(wallSeconds);
    char buf[65536];
    bool cancelled = false;
    for (;;) {
        if (limits.cancel && limits.cancel->load()) {
            cancelled = true;
            break;
        }
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) {
            timedOut = true;
            break;
        }
        pollfd p{out[0], POLLIN, 0};
        int ready = ::poll(&p, 1, static_cast<int>(std::min<std::int64_t>(left.count(), 200)));
        if (ready < 0 && errno != EINTR) break;
        if (ready <= 0) continue;
        ssize_t n = ::read(out[0], buf, sizeof buf);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        if (report.size() + static_cast<std::size_t>(n) > kMaxReportBytes) {
            tooLong = true;
            break;
        }
        report.append(buf, static_cast<std::size_t>(n));
    }
    if (timedOut || tooLong || cancelled) ::kill(pid, SIGKILL);
    ::close(out[0]);
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    std::error_code ec;
    fs::remove_all(work, ec);

    if (cancelled) {
        ReplayCheck c = failed("the server stopped");
        c.cancelled = true;
        return c;
    }
    if (timedOut) return failed("it ran longer than " + std::to_string(wallSeconds) + " s");
    if (tooLong) return failed("it wrote more than a report");
    if (WIFSIGNALED(status)) {
        int sig = WTERMSIG(status);
        if (sig == SIGXCPU || sig == SIGKILL)
            return failed("it used more than " + std::to_string(limits.cpuSeconds) + " s of processor time");
        return failed("the game core stopped on signal " + std::to_string(sig) + " (" + strsignal(sig) + ")");
    }
    ReplayCheck check = parseReplayCheck(report);
    if (WIFEXITED(status) && WEXITSTATUS(status) != 0 && (check.ran || check.error.empty() || report.empty()))
        return failed("the replay ended with status " + std::to_string(WEXITSTATUS(status)));
    return check;
}

Verifier::Verifier(ScoreStore& store, ReplayRunner runner, std::function<void(std::string_view)> log)
    : store_(store), runner_(std::move(runner)), log_(std::move(log)) {}

Verifier::~Verifier() { stop(); }

void Verifier::start(std::size_t workers) {
    for (std::size_t i = 0; i < workers; ++i) workers_.emplace_back([this] { work(); });
}

void Verifier::stop() {
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    cancel_ = true;
    wakeUp_.notify_all();
    for (auto& t : workers_) t.join();
    workers_.clear();
}

void Verifier::wake() {
    {
        std::lock_guard lock(mutex_);
        ++wakes_;
    }
    wakeUp_.notify_one();
}

bool Verifier::verifyOne() {
    std::optional<ReplayJob> job = store_.claimReplay();
    if (!job) return false;
    std::vector<Verdict> verdicts;
    if (job->attempts > kMaxVerifyAttempts) {
        // Claimed again and again by servers that never finished it: it stops them.
        for (const auto& s : job->submissions)
            verdicts.push_back({s.id, false, "the verification was interrupted " + std::to_string(job->attempts - 1) + " times"});
    } else {
        ReplayCheck check = runner_(job->body);
        if (check.cancelled) {
            // Left claimed: a server takes it up again once the claim is stale.
            if (log_) log_("verify TransID " + std::to_string(job->transId) + ": interrupted, taken up again later");
            return true;
        }
        verdicts = judge(*job, check);
    }
    // A verdict is worth keeping through a passing failure (a deadlock the database broke,
    // a dropped connection); otherwise the replay waits for its claim to go stale.
    for (int attempt = 1;; ++attempt) {
        try {
            store_.finishReplay(*job, verdicts);
            break;
        } catch (const std::exception&) {
            if (attempt == 3 || cancel_) throw;
            std::this_thread::sleep_for(std::chrono::milliseconds(200 * attempt));
        }
    }
    if (log_) {
        for (std::size_t i = 0; i < verdicts.size() && i < job->submissions.size(); ++i) {
            const auto& s = job->submissions[i];
            std::string line = "verify TransID " + std::to_string(job->transId) + " " + displayText(s.userName) + " " +
                               std::to_string(s.points) + " points: " +
                               (verdicts[i].verified ? std::string("verified") : "rejected: " + verdicts[i].reason);
            log_(line);
        }
    }
    return true;
}

void Verifier::work() {
    std::unique_lock lock(mutex_);
    while (!stopping_) {
        std::uint64_t seen = wakes_;
        lock.unlock();
        bool busy = false;
        try {
            busy = verifyOne();
        } catch (const std::exception& e) {
            // The database is unreachable: the replay stays queued (or is claimed again once
            // its claim is stale); try again in a while.
            if (log_) log_(std::string("verify: ") + e.what());
        }
        lock.lock();
        if (!busy && !stopping_)
            wakeUp_.wait_for(lock, std::chrono::seconds(1), [&] { return stopping_ || wakes_ != seen; });
    }
}

}  // namespace zorvan::scores
