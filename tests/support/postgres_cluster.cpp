#include "postgres_cluster.h"

#include "storage/temp_folder.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <libpq-fe.h>
#include <netinet/in.h>
#include <pwd.h>
#include <signal.h>
#include <spawn.h>
#include <stdlib.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <stdexcept>
#include <thread>

extern char** environ;

namespace {

#ifdef VANTORIX2_POSTGRES_BINDIR
const std::filesystem::path BinDir = VANTORIX2_POSTGRES_BINDIR;
#else
#error "VANTORIX2_POSTGRES_BINDIR: the folder of initdb, pg_ctl and postgres"
#endif

// PostgreSQL's programs refuse root; this system user comes with Debian's postgresql package.
constexpr const char* ServerAccount = "postgres";

std::string Tail(const std::string& text, std::size_t most = 2000)
{
    return text.size() <= most ? text : "..." + text.substr(text.size() - most);
}

std::string Runuser()
{
    for (const char* path : {"/usr/sbin/runuser", "/sbin/runuser", "/usr/bin/runuser"})
        if (::access(path, X_OK) == 0)
            return path;
    throw std::runtime_error("running as root, PostgreSQL needs runuser (Debian package util-linux)");
}

// Starts command in folder with stdin from in (or /dev/null), stdout and
// stderr into output (or /dev/null); in a session of its own when asked,
// so that a signal to the test's process group does not reach it.
pid_t Spawn(const std::vector<std::string>& command, const std::filesystem::path& folder, int in,
            const std::filesystem::path& output, bool session)
{
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addchdir_np(&actions, folder.c_str());
    if (in >= 0)
        posix_spawn_file_actions_adddup2(&actions, in, STDIN_FILENO);
    else
        posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    const std::string out = output.empty() ? std::string("/dev/null") : output.string();
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_adddup2(&actions, STDOUT_FILENO, STDERR_FILENO);

    // Whatever the test blocked or ignored, the child starts clean.
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    sigset_t none, defaults;
    sigemptyset(&none);
    sigemptyset(&defaults);
    for (int sig : {SIGPIPE, SIGINT, SIGTERM, SIGQUIT, SIGHUP, SIGCHLD})
        sigaddset(&defaults, sig);
    posix_spawnattr_setsigmask(&attributes, &none);
    posix_spawnattr_setsigdefault(&attributes, &defaults);
    posix_spawnattr_setflags(&attributes, static_cast<short>(POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF |
                                                             (session ? POSIX_SPAWN_SETSID : 0)));

    std::vector<std::string> all = command;
    std::vector<char*> argv;
    for (std::string& arg : all)
        argv.push_back(arg.data());
    argv.push_back(nullptr);
    pid_t pid = -1;
    const int spawned = ::posix_spawn(&pid, argv[0], &actions, &attributes, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attributes);
    if (spawned != 0)
        throw std::runtime_error("cannot start " + command[0]);
    return pid;
}

// The exit status (128 + signal when killed); -1 when it outlasted the
// timeout, then it is killed.
int Wait(pid_t pid, std::chrono::milliseconds timeout)
{
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    for (;;) {
        int raw = 0;
        const pid_t done = ::waitpid(pid, &raw, WNOHANG);
        if (done == pid)
            return WIFEXITED(raw) ? WEXITSTATUS(raw) : 128 + WTERMSIG(raw);
        if (done < 0)
            return -1;
        if (std::chrono::steady_clock::now() >= deadline) {
            ::kill(pid, SIGKILL);
            ::waitpid(pid, &raw, 0);
            return -1;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
}

}  // namespace

int FreeLoopbackPort()
{
    const int sock = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof address;
    int port = 0;
    if (sock >= 0 && ::bind(sock, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
        ::getsockname(sock, reinterpret_cast<sockaddr*>(&address), &size) == 0)
        port = ntohs(address.sin_port);
    if (sock >= 0)
        ::close(sock);
    if (port == 0)
        throw std::runtime_error("no free port on 127.0.0.1");
    return port;
}

namespace {

// A value for postgresql.conf, quoted.
std::string Quoted(const std::string& text)
{
    std::string quoted = "'";
    for (char ch : text)
        quoted += ch == '\'' ? std::string("''") : std::string(1, ch);
    return quoted + "'";
}

}  // namespace

PostgresCluster::Watchdog::Watchdog(const std::filesystem::path& folder, const std::vector<std::string>& stop)
{
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0)
        throw std::runtime_error("pipe failed");
    // cat ends when the last writer is gone: this process, however it ended.
    std::vector<std::string> command{"/bin/sh", "-c", "cat >/dev/null; \"$@\"; rm -rf -- \"$0\"", folder.string()};
    command.insert(command.end(), stop.begin(), stop.end());
    try {
        Pid = Spawn(command, "/", fds[0], {}, true);
    } catch (...) {
        ::close(fds[0]);
        ::close(fds[1]);
        throw;
    }
    ::close(fds[0]);
    Pipe = fds[1];
}

PostgresCluster::Watchdog::~Watchdog()
{
    ::close(Pipe);
    Wait(Pid, std::chrono::seconds(60));
}

PostgresCluster::PostgresCluster()
{
    std::string pattern = (std::filesystem::temp_directory_path() / "vantorix2-postgres-XXXXXX").string();
    if (!::mkdtemp(pattern.data()))
        throw std::runtime_error("cannot make a folder for PostgreSQL in " +
                                 std::filesystem::temp_directory_path().string());
    Folder = pattern;
    Data = Folder / "data";
    try {
        if (::geteuid() == 0) {
            const passwd* account = ::getpwnam(ServerAccount);
            if (!account)
                throw std::runtime_error("running as root, PostgreSQL needs the system user 'postgres' (Debian "
                                         "package postgresql)");
            if (::chown(Folder.c_str(), account->pw_uid, account->pw_gid) != 0)
                throw std::runtime_error("cannot give " + Folder.string() + " to the user postgres");
        }
        Guard = std::make_unique<Watchdog>(
            Folder, Command("pg_ctl", {"stop", "-D", Data.string(), "-m", "immediate", "-w"}));
    } catch (...) {
        std::error_code ignored;
        std::filesystem::remove_all(Folder, ignored);
        throw;
    }

    // Trust on 127.0.0.1 only: nothing else listens. No sync of the fresh
    // files, which only a crash of the machine could lose; the server
    // itself syncs every commit.
    Run("initdb",
        Command("initdb",
                {"-D", Data.string(), "--auth=trust", "-U", User, "-E", "UTF8", "--locale=C", "--no-sync"}),
        120);
    std::ofstream(Data / "postgresql.conf", std::ios::app)
        << "\n# A test's server: loopback only, small, quick to start.\n"
        << "listen_addresses = '127.0.0.1'\n"
        << "unix_socket_directories = " << Quoted(Folder.string()) << "\n"
        << "shared_buffers = 16MB\n"
        << "max_connections = 60\n"
        << "fsync = on\n"
        << "synchronous_commit = on\n"
        << "max_wal_size = 128MB\n"
        << "huge_pages = off\n"
        << "logging_collector = off\n";

    // The port may be taken between finding it free and the server's bind.
    std::string failure;
    for (int attempt = 0; attempt < 5 && ServerPort == 0; ++attempt) {
        const int port = FreeLoopbackPort();
        if (TryStart(port))
            ServerPort = port;
        else
            failure = ReadBytes(Folder / "postgres.log") + ReadBytes(Folder / "pg_ctl.log");
    }
    if (ServerPort == 0)
        throw std::runtime_error("PostgreSQL did not start: " + Tail(failure));
}

PostgresCluster::~PostgresCluster() = default;

std::vector<std::string> PostgresCluster::Command(const std::string& program, std::vector<std::string> args) const
{
    std::vector<std::string> command;
    if (::geteuid() == 0)
        command = {Runuser(), "-u", ServerAccount, "--"};
    command.push_back((BinDir / program).string());
    command.insert(command.end(), args.begin(), args.end());
    return command;
}

void PostgresCluster::Run(const std::string& name, const std::vector<std::string>& command, int timeoutSeconds) const
{
    const std::filesystem::path log = Folder / (name + ".log");
    const int status = Wait(Spawn(command, Folder, -1, log, false), std::chrono::seconds(timeoutSeconds));
    if (status != 0)
        throw std::runtime_error(name + (status < 0 ? " took too long" : " failed") + ": " + Tail(ReadBytes(log)));
}

bool PostgresCluster::TryStart(int port)
{
    const std::vector<std::string> command = Command(
        "pg_ctl", {"start", "-D", Data.string(), "-l", (Folder / "postgres.log").string(), "-w", "-t", "60", "-o",
                   "-p " + std::to_string(port)});
    return Wait(Spawn(command, Folder, -1, Folder / "pg_ctl.log", false), std::chrono::seconds(90)) == 0;
}

int PostgresCluster::Port() const
{
    return ServerPort;
}

std::string PostgresCluster::CreateDatabase()
{
    std::string name;
    {
        std::lock_guard lock(Lock);
        name = "vantorix2_" + std::to_string(++Databases);
    }
    const std::string options = "host=127.0.0.1 port=" + std::to_string(ServerPort) + " user=" + User +
                                " dbname=postgres connect_timeout=10";
    const std::unique_ptr<PGconn, void (*)(PGconn*)> connection(PQconnectdb(options.c_str()), PQfinish);
    if (!connection || PQstatus(connection.get()) != CONNECTION_OK)
        throw std::runtime_error("cannot connect to the test's PostgreSQL: " +
                                 std::string(connection ? PQerrorMessage(connection.get()) : "out of memory"));
    const std::unique_ptr<PGresult, void (*)(PGresult*)> result(
        PQexec(connection.get(), ("CREATE DATABASE " + name).c_str()), PQclear);
    if (!result || PQresultStatus(result.get()) != PGRES_COMMAND_OK)
        throw std::runtime_error("CREATE DATABASE " + name + " failed: " + PQerrorMessage(connection.get()));
    return "postgresql://" + std::string(User) + "@127.0.0.1:" + std::to_string(ServerPort) + "/" + name;
}

PostgresCluster& PostgresCluster::Shared()
{
    static PostgresCluster cluster;
    return cluster;
}

std::vector<pid_t> PostgresCluster::Processes() const
{
    std::ifstream lockFile(Data / "postmaster.pid");
    pid_t postmaster = 0;
    lockFile >> postmaster;
    std::vector<pid_t> found;
    if (postmaster <= 0)
        return found;
    found.push_back(postmaster);
    // Processes come and go while /proc is read: what cannot be read is passed.
    std::error_code error;
    for (std::filesystem::directory_iterator entry("/proc", error), end; !error && entry != end;
         entry.increment(error)) {
        const std::string pid = entry->path().filename();
        if (pid.empty() || pid.find_first_not_of("0123456789") != std::string::npos)
            continue;
        std::ifstream stat(entry->path() / "stat");
        std::string text((std::istreambuf_iterator<char>(stat)), std::istreambuf_iterator<char>());
        const std::size_t name = text.rfind(')');
        if (name == std::string::npos)
            continue;
        // After the name: the state, then the parent.
        const pid_t parent = pid_t(std::atoi(text.c_str() + text.find(' ', name + 2) + 1));
        if (parent == postmaster)
            found.push_back(pid_t(std::atoi(pid.c_str())));
    }
    return found;
}
