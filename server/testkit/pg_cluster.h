#pragma once
// A private PostgreSQL cluster for tests and benchmarks: initdb into a temporary folder, a
// server on a free loopback port with trust authentication, stopped and removed at the end.
// PostgreSQL refuses to run as root, so as root the cluster runs as "postgres" (or "nobody").

#include <memory>
#include <string>

namespace zorvan::scores::testkit {

class PgCluster {
public:
    // Null, with the reason in `why`, when no cluster can be started here (no PostgreSQL
    // binaries, no user to run them as, initdb or the server failing).
    static std::unique_ptr<PgCluster> start(std::string& why);
    // One cluster per process, started at first use and stopped at exit.
    static PgCluster* shared(std::string& why);

    ~PgCluster();
    PgCluster(const PgCluster&) = delete;
    PgCluster& operator=(const PgCluster&) = delete;

    // A new empty database; returns its connection URI. Throws std::runtime_error.
    std::string createDatabase();
    int port() const { return port_; }
    // Stops the server at once (to test a backend losing its database). Idempotent.
    void stopServer();

private:
    PgCluster() = default;
    std::string dir_;
    std::string binDir_;
    int port_ = 0;
    unsigned uid_ = 0, gid_ = 0;
    bool switchUser_ = false;
    bool running_ = false;
    int databases_ = 0;
    int watchdog_ = -1;  // writing end of the watchdog's pipe
};

}  // namespace zorvan::scores::testkit
