// Publishing load on the real vantorix2-records, run by hand (Release):
//
//   records_server_bench [--publishes N] [--clients C] [--log file|null|both]
//
// Starts the server on 127.0.0.1 with a fresh database, sends N distinct
// valid publishes from C threads on keep-alive connections, and prints the
// rate, the latencies and the rows found in the database afterwards. The
// server's request log goes to a file or to /dev/null.

#include <fcntl.h>
#include <httplib.h>
#include <netinet/in.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <string>
#include <thread>
#include <vector>

#include "server/sqlite_store.h"

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;

// A port that was free a moment ago (the server binds it right after).
int FreeLoopbackPort()
{
    const int sock = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    ::bind(sock, reinterpret_cast<sockaddr*>(&address), sizeof address);
    ::getsockname(sock, reinterpret_cast<sockaddr*>(&address), &length);
    ::close(sock);
    return ntohs(address.sin_port);
}

pid_t StartServer(const std::filesystem::path& database, int port, const std::string& logFile)
{
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, logFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    std::vector<std::string> args = {VANTORIX2_RECORDS_BINARY, "--listen", "127.0.0.1:" + std::to_string(port),
                                     "--db", database.string()};
    std::vector<char*> argv;
    for (std::string& arg : args)
        argv.push_back(arg.data());
    argv.push_back(nullptr);
    pid_t pid = -1;
    if (::posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ) != 0)
        pid = -1;
    posix_spawn_file_actions_destroy(&actions);
    return pid;
}

int StopServer(pid_t pid)
{
    ::kill(pid, SIGTERM);
    int raw = 0;
    for (int waited = 0; waited < 10000; waited += 5) {
        if (::waitpid(pid, &raw, WNOHANG) == pid)
            return WIFEXITED(raw) ? WEXITSTATUS(raw) : 128 + WTERMSIG(raw);
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    ::kill(pid, SIGKILL);
    ::waitpid(pid, &raw, 0);
    return 128 + SIGKILL;
}

double Percentile(const std::vector<double>& sorted, double p)
{
    return sorted[std::min(sorted.size() - 1, std::size_t(p * double(sorted.size())))];
}

void Run(int publishes, int clients, bool logToFile)
{
    const std::filesystem::path folder =
        std::filesystem::temp_directory_path() / ("vantorix2-bench-" + std::to_string(::getpid()));
    std::filesystem::remove_all(folder);
    std::filesystem::create_directories(folder);
    const std::filesystem::path database = folder / "records.db";
    const std::string logFile = logToFile ? (folder / "server.log").string() : "/dev/null";

    const int port = FreeLoopbackPort();
    const pid_t pid = StartServer(database, port, logFile);
    if (pid < 0) {
        std::cerr << "cannot start " << VANTORIX2_RECORDS_BINARY << "\n";
        return;
    }
    bool up = false;
    for (int tries = 0; tries < 1000 && !up; ++tries) {
        httplib::Client probe("127.0.0.1", port);
        up = bool(probe.Get("/"));
        if (!up)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    if (!up) {
        std::cerr << "the server did not come up on port " << port << "\n";
        StopServer(pid);
        return;
    }

    std::vector<std::vector<double>> latencies(static_cast<std::size_t>(clients));
    std::atomic<int> failures = 0;
    const auto start = Clock::now();
    std::vector<std::thread> threads;
    for (int c = 0; c < clients; ++c) {
        threads.emplace_back([&, c] {
            httplib::Client client("127.0.0.1", port);
            client.set_keep_alive(true);
            client.set_tcp_nodelay(true);
            client.set_connection_timeout(5);
            client.set_read_timeout(10);
            for (int k = c; k < publishes; k += clients) {
                const std::string n = std::to_string(k);
                const std::string target = "/datas/html/add.php?name=b" + n + "&self=" + n + "&autopilot=" + n;
                const auto sent = Clock::now();
                const auto answer = client.Get(target);
                latencies[std::size_t(c)].push_back(std::chrono::duration<double, std::milli>(Clock::now() - sent).count());
                if (!answer || answer->status != 200)
                    ++failures;
            }
        });
    }
    for (std::thread& t : threads)
        t.join();
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    const int exitStatus = StopServer(pid);

    std::vector<double> all;
    for (const auto& part : latencies)
        all.insert(all.end(), part.begin(), part.end());
    std::sort(all.begin(), all.end());
    const RecordsStore::Counts counts = SqliteStore(database).Count();
    std::size_t logLines = 0;
    if (logToFile) {
        std::ifstream log(logFile);
        for (std::string line; std::getline(log, line);)
            ++logLines;
    }

    std::printf("log %-9s %d publishes, %d clients: %.0f publishes/s, p50 %.3f ms, p99 %.3f ms, max %.3f ms, "
                "failed %d, rows %lld human + %lld autopilot for %d sent, exit %d",
                logToFile ? "to a file" : "off", publishes, clients, double(publishes) / seconds,
                Percentile(all, 0.50), Percentile(all, 0.99), all.back(), failures.load(),
                static_cast<long long>(counts.HumanResults), static_cast<long long>(counts.AutopilotResults),
                publishes, exitStatus);
    if (logToFile)
        std::printf(", %zu log lines", logLines);
    std::printf("\n");
    std::filesystem::remove_all(folder);
}

}  // namespace

int main(int argc, char** argv)
{
    int publishes = 10000;
    int clients = 8;
    std::string log = "both";
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string flag = argv[i];
        if (flag == "--publishes")
            publishes = std::max(1, std::atoi(argv[i + 1]));
        else if (flag == "--clients")
            clients = std::max(1, std::atoi(argv[i + 1]));
        else if (flag == "--log")
            log = argv[i + 1];
    }
    if (log == "file" || log == "both")
        Run(publishes, clients, true);
    if (log == "null" || log == "both")
        Run(publishes, clients, false);
}
