#pragma once
// A private PostgreSQL server for tests:
//
//   std::string uri = PostgresCluster::Shared().CreateDatabase();   // postgresql://vantorix2@127.0.0.1:PORT/NAME
//
// The binaries come from VANTORIX2_POSTGRES_BINDIR, which tests/CMakeLists.txt
// finds (Debian keeps initdb and pg_ctl in /usr/lib/postgresql/VERSION/bin).
// As root every PostgreSQL program runs as the system user "postgres"
// through runuser, since PostgreSQL refuses to run as root.
//
// A watchdog process started with the cluster holds the reading end of a
// pipe whose other end only this process has: when this process ends in any
// way, a crash or SIGKILL too, the watchdog stops the server and removes its
// folder. Only a watchdog killed as well (e.g. kill -9 of every process)
// leaves the server behind; `pg_ctl stop -D FOLDER/data` ends it then.

#include <sys/types.h>

#include <filesystem>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

// A private PostgreSQL server: initdb in a temporary folder, listening on
// 127.0.0.1 only at a free port, run by an unprivileged user when the
// test runs as root (PostgreSQL refuses root); stopped and removed when
// destroyed. Throws std::runtime_error saying what failed.
class PostgresCluster {
public:
    // The database role every URI names; a superuser, trusted on 127.0.0.1.
    static constexpr const char* User = "vantorix2";

    PostgresCluster();
    ~PostgresCluster();
    PostgresCluster(const PostgresCluster&) = delete;
    PostgresCluster& operator=(const PostgresCluster&) = delete;

    // A new empty database on it; its postgresql:// URI (host 127.0.0.1, the port, the user, the database name).
    std::string CreateDatabase();
    int Port() const;
    // The server's processes: the postmaster and its children (to stop them
    // with SIGSTOP as a stalled database would be, and go on with SIGCONT).
    std::vector<pid_t> Processes() const;
    // One cluster for the whole test program, started on first use (gtest runs tests of a program in one process).
    static PostgresCluster& Shared();

private:
    // Stops the server and removes the folder when it ends: at the
    // destructor, or when this process ends without it.
    class Watchdog {
    public:
        Watchdog(const std::filesystem::path& folder, const std::vector<std::string>& stop);
        ~Watchdog();
        Watchdog(const Watchdog&) = delete;
        Watchdog& operator=(const Watchdog&) = delete;

    private:
        pid_t Pid = -1;
        int Pipe = -1;   // the writing end, close-on-exec
    };

    // The program of the server's binaries with its arguments, prefixed
    // with runuser as root.
    std::vector<std::string> Command(const std::string& program, std::vector<std::string> args) const;
    // Runs a command in the folder, its output in FOLDER/NAME.log; throws
    // with that output when it fails or outlasts the timeout.
    void Run(const std::string& name, const std::vector<std::string>& command, int timeoutSeconds) const;
    bool TryStart(int port);

    std::filesystem::path Folder;
    std::filesystem::path Data;
    int ServerPort = 0;
    std::mutex Lock;
    int Databases = 0;
    // Declared last, so destroyed first; also when the constructor gives
    // up half way.
    std::unique_ptr<Watchdog> Guard;
};

// A port on 127.0.0.1 free a moment ago; std::runtime_error when none is.
int FreeLoopbackPort();
