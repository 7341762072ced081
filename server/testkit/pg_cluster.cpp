#include "pg_cluster.h"

#include <libpq-fe.h>

#include <arpa/inet.h>
#include <fcntl.h>
#include <grp.h>
#include <netinet/in.h>
#include <pwd.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <sstream>
#include <stdexcept>
#include <vector>

namespace zorvan::scores::testkit {
namespace {

namespace fs = std::filesystem;

// ZORVAN_PG_BINDIR, else the newest /usr/lib/postgresql/<version>/bin with initdb and pg_ctl.
std::string findBinDir() {
    if (const char* d = std::getenv("ZORVAN_PG_BINDIR"); d && *d) return d;
    std::error_code ec;
    int best = -1;
    std::string found;
    for (const auto& e : fs::directory_iterator("/usr/lib/postgresql", ec)) {
        fs::path bin = e.path() / "bin";
        if (!fs::exists(bin / "initdb", ec) || !fs::exists(bin / "pg_ctl", ec)) continue;
        int version = std::atoi(e.path().filename().c_str());
        if (version > best) {
            best = version;
            found = bin.string();
        }
    }
    return found;
}

int freeLoopbackPort() {
    int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return 0;
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    a.sin_port = 0;
    socklen_t len = sizeof a;
    int port = 0;
    if (::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0 &&
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len) == 0)
        port = ntohs(a.sin_port);
    ::close(fd);
    return port;
}

std::string tail(const std::string& path) {
    std::ifstream in(path);
    std::stringstream s;
    s << in.rdbuf();
    std::string t = s.str();
    return t.size() > 2000 ? t.substr(t.size() - 2000) : t;
}

}  // namespace

// Runs a program to its end, as the cluster's user, output appended to `log`.
static int runAs(const std::vector<std::string>& args, const std::string& cwd, const std::string& log,
                 bool switchUser, uid_t uid, gid_t gid) {
    std::vector<char*> argv;
    for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    pid_t pid = ::fork();
    if (pid < 0) return -1;
    if (pid == 0) {
        // Only async-signal-safe calls between fork and exec.
        if (switchUser && (::setgroups(0, nullptr) != 0 || ::setgid(gid) != 0 || ::setuid(uid) != 0)) _exit(126);
        int fd = ::open(log.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
        if (fd >= 0) {
            ::dup2(fd, 1);
            ::dup2(fd, 2);
            ::close(fd);
        }
        int devnull = ::open("/dev/null", O_RDONLY);
        if (devnull >= 0) ::dup2(devnull, 0);
        // The server outlives this call: it must not keep the test's sockets and pipes
        // (the watchdog's pipe above all) open.
        ::close_range(3, ~0U, 0);
        if (::chdir(cwd.c_str()) != 0) _exit(126);
        ::execv(argv[0], argv.data());
        _exit(127);
    }
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0) {
        if (errno != EINTR) return -1;
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// A process that stops the cluster and removes its folder when the test process is gone,
// however it ended (a crash or a kill skips every destructor). It waits for the end of a
// pipe whose writing end only the test process holds.
static int startWatchdog(const std::string& binDir, const std::string& dir, bool switchUser, uid_t uid, gid_t gid) {
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0) return -1;
    const std::string pgCtl = binDir + "/pg_ctl", data = dir + "/data";
    const char* stopArgs[] = {pgCtl.c_str(), "-D", data.c_str(), "-m", "immediate", "-w", "stop", nullptr};
    const char* rmArgs[] = {"/bin/rm", "-rf", dir.c_str(), nullptr};
    pid_t pid = ::fork();
    if (pid < 0) {
        ::close(fds[0]);
        ::close(fds[1]);
        return -1;
    }
    if (pid == 0) {
        // Only async-signal-safe calls: the test process may have threads.
        ::setsid();
        ::dup2(fds[0], 3);
        ::close_range(4, ~0U, 0);
        int devnull = ::open("/dev/null", O_RDWR);
        ::dup2(devnull, 0);
        ::dup2(devnull, 1);
        ::dup2(devnull, 2);
        char c;
        while (::read(3, &c, 1) != 0) {
        }
        pid_t stopper = ::fork();
        if (stopper == 0) {
            if (switchUser && (::setgroups(0, nullptr) != 0 || ::setgid(gid) != 0 || ::setuid(uid) != 0)) _exit(126);
            ::execv(stopArgs[0], const_cast<char**>(stopArgs));
            _exit(127);
        }
        if (stopper > 0) ::waitpid(stopper, nullptr, 0);
        ::execv(rmArgs[0], const_cast<char**>(rmArgs));
        _exit(127);
    }
    ::close(fds[0]);
    return fds[1];
}

std::unique_ptr<PgCluster> PgCluster::start(std::string& why) {
    std::unique_ptr<PgCluster> c(new PgCluster);
    c->binDir_ = findBinDir();
    if (c->binDir_.empty()) {
        why = "no PostgreSQL server binaries (initdb, pg_ctl) found";
        return nullptr;
    }
    if (::geteuid() == 0) {
        const passwd* pw = ::getpwnam("postgres");
        if (!pw) pw = ::getpwnam("nobody");
        if (!pw) {
            why = "running as root and no user postgres or nobody to run PostgreSQL as";
            return nullptr;
        }
        c->switchUser_ = true;
        c->uid_ = pw->pw_uid;
        c->gid_ = pw->pw_gid;
    }
    char tmpl[] = "/tmp/zorvan-pg-XXXXXX";
    if (!::mkdtemp(tmpl)) {
        why = "cannot make a temporary folder";
        return nullptr;
    }
    c->dir_ = tmpl;
    if (c->switchUser_ && ::chown(tmpl, c->uid_, c->gid_) != 0) {
        why = "cannot hand the temporary folder to the PostgreSQL user";
        return nullptr;  // the destructor removes the folder
    }
    c->watchdog_ = startWatchdog(c->binDir_, c->dir_, c->switchUser_, c->uid_, c->gid_);
    const std::string data = c->dir_ + "/data";
    const std::string log = c->dir_ + "/setup.log";
    if (runAs({c->binDir_ + "/initdb", "-D", data, "-U", "zorvan", "-A", "trust", "-E", "UTF8", "--locale=C",
               "--no-sync"},
              c->dir_, log, c->switchUser_, c->uid_, c->gid_) != 0) {
        why = "initdb failed: " + tail(log);
        return nullptr;
    }
    // A free port may be taken between finding and binding it; try a few.
    for (int attempt = 0; attempt < 3 && !c->running_; ++attempt) {
        c->port_ = freeLoopbackPort();
        std::string options = "-p " + std::to_string(c->port_) + " -k " + c->dir_ +
                              " -c listen_addresses=127.0.0.1 -c max_connections=200";
        c->running_ = runAs({c->binDir_ + "/pg_ctl", "-D", data, "-l", c->dir_ + "/server.log", "-w", "-t", "60",
                             "-o", options, "start"},
                            c->dir_, log, c->switchUser_, c->uid_, c->gid_) == 0;
    }
    if (!c->running_) {
        why = "the PostgreSQL server did not start: " + tail(c->dir_ + "/server.log");
        return nullptr;
    }
    return c;
}

PgCluster* PgCluster::shared(std::string& why) {
    static std::mutex mutex;
    static std::unique_ptr<PgCluster> cluster;
    static std::string failure;
    static bool tried = false;
    std::lock_guard lock(mutex);
    if (!tried) {
        tried = true;
        cluster = start(failure);
    }
    why = failure;
    return cluster.get();
}

void PgCluster::stopServer() {
    if (!running_) return;
    running_ = false;
    runAs({binDir_ + "/pg_ctl", "-D", dir_ + "/data", "-m", "immediate", "-w", "stop"}, dir_, dir_ + "/setup.log",
          switchUser_, uid_, gid_);
}

PgCluster::~PgCluster() {
    stopServer();
    if (!dir_.empty()) {
        std::error_code ec;
        fs::remove_all(dir_, ec);
    }
    if (watchdog_ >= 0) ::close(watchdog_);  // the watchdog finds nothing left to do
}

std::string PgCluster::createDatabase() {
    std::string name = "zorvan_test_" + std::to_string(++databases_);
    std::string base = "postgresql://zorvan@127.0.0.1:" + std::to_string(port_) + "/";
    PGconn* pg = PQconnectdb((base + "postgres").c_str());
    if (PQstatus(pg) != CONNECTION_OK) {
        std::string why = PQerrorMessage(pg);
        PQfinish(pg);
        throw std::runtime_error("cannot connect to the test cluster: " + why);
    }
    PGresult* r = PQexec(pg, ("CREATE DATABASE " + name).c_str());
    bool ok = PQresultStatus(r) == PGRES_COMMAND_OK;
    std::string why = ok ? "" : PQerrorMessage(pg);
    PQclear(r);
    PQfinish(pg);
    if (!ok) throw std::runtime_error("cannot create a test database: " + why);
    return base + name;
}

}  // namespace zorvan::scores::testkit
