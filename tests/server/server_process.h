#pragma once
// The real vantorix2-records, started for a test on 127.0.0.1 with a free
// port, and a tiny HTTP client for it (GET, and POST with a body).
// Header-only, POSIX only, no library needed:
//
//   RecordsServerProcess server(folder / "records.db");   // throws if it does not come up
//   LoopbackAnswer page = LoopbackGet(server.Port(), "/view.php?v=results");
//   EXPECT_EQ(server.Stop(), 0);                           // SIGTERM, then the exit status
//
// The binary is VANTORIX2_RECORDS_BINARY, a compile definition of the test
// target, e.g. VANTORIX2_RECORDS_BINARY="$<TARGET_FILE:vantorix2-records>"
// (add_dependencies on vantorix2-records too), or a path given explicitly.
//
// The server's first stderr line is "vantorix2-records: listening on
// http://127.0.0.1:PORT/"; the rest (one line per request) is collected in
// the background, see Log(). Stop() sends SIGTERM and waits; a server that
// has not ended after the grace time is killed with SIGKILL.

#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <sys/wait.h>
#include <unistd.h>

#include <arpa/inet.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <mutex>
#include <optional>
#include <stdexcept>
#include <string>
#include <thread>
#include <utility>
#include <vector>

extern char** environ;

namespace records_server_test {

using namespace std::chrono_literals;

// A child process whose stderr is read through a pipe.
class ChildProcess {
public:
    ChildProcess(const std::string& binary, const std::vector<std::string>& args)
    {
        int fds[2];
        if (::pipe2(fds, O_CLOEXEC) != 0)
            throw std::runtime_error("pipe failed");
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
        posix_spawn_file_actions_adddup2(&actions, fds[1], STDERR_FILENO);
        std::vector<std::string> all{binary};
        all.insert(all.end(), args.begin(), args.end());
        std::vector<char*> argv;
        for (std::string& arg : all)
            argv.push_back(arg.data());
        argv.push_back(nullptr);
        const int spawned = ::posix_spawn(&Pid, binary.c_str(), &actions, nullptr, argv.data(), environ);
        posix_spawn_file_actions_destroy(&actions);
        ::close(fds[1]);
        Stderr = fds[0];
        if (spawned != 0) {
            ::close(Stderr);
            throw std::runtime_error("cannot start " + binary);
        }
    }
    ~ChildProcess()
    {
        if (!Ended)
            Stop(SIGKILL, 5s);
        if (Drain.joinable())
            Drain.join();
        if (Stderr >= 0)
            ::close(Stderr);
    }
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    pid_t Pid = -1;

    // The next stderr line without its newline; empty at the end of the
    // stream or after the timeout.
    std::string ReadLine(std::chrono::milliseconds timeout = 10s)
    {
        const auto deadline = std::chrono::steady_clock::now() + timeout;
        for (;;) {
            if (const std::size_t end = Pending.find('\n'); end != std::string::npos) {
                std::string line = Pending.substr(0, end);
                Pending.erase(0, end + 1);
                return line;
            }
            if (!ReadSome(deadline))
                return {};
        }
    }

    // The rest of stderr up to its end or the deadline.
    std::string ReadToEnd(std::chrono::steady_clock::time_point deadline)
    {
        while (ReadSome(deadline)) {
        }
        return std::exchange(Pending, {});
    }

    // Everything the child writes to stderr from now on, read in the
    // background (a full pipe would block the child).
    void CollectStderr()
    {
        Drain = std::thread([this] {
            while (ReadSome(std::chrono::steady_clock::time_point::max())) {
            }
        });
    }
    std::string Collected()
    {
        std::lock_guard guard(Lock);
        return Pending;
    }

    // Sends sig and waits for the exit; SIGKILL after grace. The exit
    // status, or 128 + the signal that ended it.
    int Stop(int sig, std::chrono::milliseconds grace)
    {
        if (Ended)
            return Status;
        ::kill(Pid, sig);
        if (!WaitExit(grace)) {
            ::kill(Pid, SIGKILL);
            WaitExit(60s);
        }
        return Status;
    }

    // Waits for the child to end by itself; false after the timeout.
    bool WaitExit(std::chrono::milliseconds timeout)
    {
        const auto deadline = std::chrono::steady_clock::now() + timeout;
        while (!Ended) {
            int raw = 0;
            const pid_t done = ::waitpid(Pid, &raw, WNOHANG);
            if (done == Pid) {
                Ended = true;
                Status = WIFEXITED(raw) ? WEXITSTATUS(raw) : 128 + WTERMSIG(raw);
            } else if (done < 0 || std::chrono::steady_clock::now() >= deadline) {
                return false;
            } else {
                std::this_thread::sleep_for(2ms);
            }
        }
        return true;
    }
    int ExitStatus() const { return Status; }

private:
    // Appends what the pipe holds; false at the end of the stream or the
    // deadline.
    bool ReadSome(std::chrono::steady_clock::time_point deadline)
    {
        const auto now = std::chrono::steady_clock::now();
        int wait = -1;
        if (deadline != std::chrono::steady_clock::time_point::max())
            wait = now >= deadline
                       ? 0
                       : int(std::chrono::duration_cast<std::chrono::milliseconds>(deadline - now).count()) + 1;
        pollfd ready{Stderr, POLLIN, 0};
        if (::poll(&ready, 1, wait) <= 0)
            return false;
        char buffer[4096];
        const ssize_t got = ::read(Stderr, buffer, sizeof buffer);
        if (got <= 0)
            return false;
        std::lock_guard guard(Lock);
        Pending.append(buffer, std::size_t(got));
        return true;
    }

    int Stderr = -1;
    std::string Pending;
    std::mutex Lock;
    std::thread Drain;
    bool Ended = false;
    int Status = -1;
};

#ifdef VANTORIX2_RECORDS_BINARY
inline const std::string RecordsBinary = VANTORIX2_RECORDS_BINARY;
#else
inline const std::string RecordsBinary;
#endif

// Runs the binary to its end (bounded): the exit status and all of stderr.
struct FinishedRun {
    int ExitStatus = -1;
    std::string Stderr;
};
inline FinishedRun RunRecordsBinary(const std::vector<std::string>& args, std::chrono::milliseconds timeout = 20s,
                                    const std::string& binary = RecordsBinary)
{
    ChildProcess child(binary, args);
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    FinishedRun run;
    run.Stderr = child.ReadToEnd(deadline);
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    child.WaitExit(std::max(left, 0ms));
    run.ExitStatus = child.Stop(SIGKILL, 5s);
    return run;
}

class RecordsServerProcess {
public:
    static constexpr const char* ListeningPrefix = "vantorix2-records: listening on http://127.0.0.1:";

    explicit RecordsServerProcess(const std::filesystem::path& database, const std::string& binary = RecordsBinary,
                                  const std::vector<std::string>& more = {})
        : Child(binary, Arguments(database, more))
    {
        FirstLine = Child.ReadLine(20s);
        const std::string prefix = ListeningPrefix;
        if (FirstLine.rfind(prefix, 0) != 0 || FirstLine.back() != '/')
            throw std::runtime_error("vantorix2-records did not start: '" + FirstLine + "'");
        ServerPort = std::stoi(FirstLine.substr(prefix.size()));
        Child.CollectStderr();
    }

    int Port() const { return ServerPort; }
    pid_t Pid() const { return Child.Pid; }
    const std::string& ListeningLine() const { return FirstLine; }
    // stderr after the first line: one line per answered request.
    std::string Log() { return Child.Collected(); }

    // SIGTERM (or sig); the exit status, 128 + signal when killed.
    int Stop(int sig = SIGTERM, std::chrono::milliseconds grace = 10s) { return Child.Stop(sig, grace); }

private:
    static std::vector<std::string> Arguments(const std::filesystem::path& database, const std::vector<std::string>& more)
    {
        std::vector<std::string> args{"--listen", "127.0.0.1:0", "--db", database.string()};
        args.insert(args.end(), more.begin(), more.end());
        return args;
    }

    ChildProcess Child;
    std::string FirstLine;
    int ServerPort = 0;
};

struct LoopbackAnswer {
    int Status = 0;  // 0: no answer, Error says why
    std::string ContentType;
    std::string Body;
    std::string Error;
    std::vector<std::pair<std::string, std::string>> Headers;   // names in lower case
    std::string Header(const std::string& lowerName) const
    {
        for (const auto& [name, value] : Headers)
            if (name == lowerName)
                return value;
        return {};
    }
};

// method target (path and query, already encoded) to 127.0.0.1:port, one
// request on a fresh connection; a body goes with its Content-Length, and
// headers ("Name: value\r\n" lines) with the head. Never any other address.
inline LoopbackAnswer LoopbackRequest(int port, const std::string& method, const std::string& target,
                                      const std::optional<std::string>& body, std::chrono::milliseconds timeout = 10s,
                                      const std::string& headers = "")
{
    LoopbackAnswer answer;
    const int sock = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (sock < 0) {
        answer.Error = "socket failed";
        return answer;
    }
    timeval limit{timeout.count() / 1000, (timeout.count() % 1000) * 1000};
    ::setsockopt(sock, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
    ::setsockopt(sock, SOL_SOCKET, SO_SNDTIMEO, &limit, sizeof limit);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<std::uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    std::string request = method + " " + target + " HTTP/1.1\r\nHost: 127.0.0.1:" + std::to_string(port) +
                          "\r\nConnection: close\r\n" + headers;
    if (body)
        request += "Content-Type: application/octet-stream\r\nContent-Length: " + std::to_string(body->size()) +
                   "\r\n\r\n" + *body;
    else
        request += "\r\n";
    std::string raw;
    if (::connect(sock, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
        answer.Error = "cannot connect";
    } else if (::send(sock, request.data(), request.size(), MSG_NOSIGNAL) != ssize_t(request.size())) {
        answer.Error = "cannot send";
    } else {
        char buffer[8192];
        ssize_t got = 0;
        while ((got = ::recv(sock, buffer, sizeof buffer, 0)) > 0)
            raw.append(buffer, std::size_t(got));
        if (got < 0)
            answer.Error = "no complete answer in time";
    }
    ::close(sock);

    const std::size_t headEnd = raw.find("\r\n\r\n");
    if (!answer.Error.empty() || raw.rfind("HTTP/1.", 0) != 0 || headEnd == std::string::npos) {
        if (answer.Error.empty())
            answer.Error = "not an HTTP answer";
        return answer;
    }
    answer.Status = std::atoi(raw.c_str() + raw.find(' ') + 1);
    answer.Body = raw.substr(headEnd + 4);
    std::size_t line = raw.find("\r\n") + 2;
    while (line < headEnd) {
        const std::size_t end = raw.find("\r\n", line);
        const std::string header = raw.substr(line, end - line);
        const std::size_t colon = header.find(':');
        std::string key = header.substr(0, colon);
        for (char& ch : key)
            ch = char(std::tolower(static_cast<unsigned char>(ch)));
        std::string value = colon == std::string::npos ? std::string() : header.substr(colon + 1);
        value.erase(0, value.find_first_not_of(' '));
        if (key == "content-type")
            answer.ContentType = value;
        answer.Headers.emplace_back(key, value);
        if (key == "content-length" && std::size_t(std::atoll(value.c_str())) < answer.Body.size())
            answer.Body.resize(std::size_t(std::atoll(value.c_str())));
        line = end + 2;
    }
    return answer;
}

// Raw connections for requests no well-behaved client sends.

// A connection to 127.0.0.1:port, or -1; prepare sets the socket up before
// it connects (buffer sizes count only then).
inline int Connect(int port, const std::function<void(int)>& prepare = {})
{
    const int sock = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (prepare)
        prepare(sock);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<std::uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::connect(sock, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
        ::close(sock);
        return -1;
    }
    return sock;
}

// A connection to 127.0.0.1:port from the loopback address source
// (127.x.y.z), as a client elsewhere would come; -1 when it fails.
inline int ConnectFrom(const std::string& source, int port)
{
    const int sock = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in local{};
    local.sin_family = AF_INET;
    sockaddr_in peer{};
    peer.sin_family = AF_INET;
    peer.sin_port = htons(static_cast<std::uint16_t>(port));
    peer.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (sock < 0 || ::inet_pton(AF_INET, source.c_str(), &local.sin_addr) != 1 ||
        ::bind(sock, reinterpret_cast<const sockaddr*>(&local), sizeof local) != 0 ||
        ::connect(sock, reinterpret_cast<const sockaddr*>(&peer), sizeof peer) != 0) {
        if (sock >= 0)
            ::close(sock);
        return -1;
    }
    return sock;
}

// Everything the server sends until it closes, or until the time is up.
inline std::string ReadAll(int sock, std::chrono::milliseconds limit = 5s)
{
    const auto end = std::chrono::steady_clock::now() + limit;
    std::string got;
    char buffer[8192];
    for (;;) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - std::chrono::steady_clock::now());
        pollfd ready{sock, POLLIN, 0};
        if (left.count() <= 0 || ::poll(&ready, 1, int(left.count())) <= 0)
            return got;
        const ssize_t n = ::recv(sock, buffer, sizeof buffer, 0);
        if (n <= 0)
            return got;
        got.append(buffer, std::size_t(n));
    }
}

// Sends as much of bytes as the server takes; false when it stopped taking.
inline bool SendAll(int sock, const std::string& bytes)
{
    std::size_t sent = 0;
    while (sent < bytes.size()) {
        const ssize_t n = ::send(sock, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
        if (n <= 0)
            return false;
        sent += std::size_t(n);
    }
    return true;
}

// The status of each answer in the bytes, in order.
inline std::vector<int> Statuses(const std::string& answers)
{
    std::vector<int> statuses;
    for (std::size_t at = answers.find("HTTP/1.1 "); at != std::string::npos; at = answers.find("HTTP/1.1 ", at + 1))
        statuses.push_back(std::atoi(answers.c_str() + at + 9));
    return statuses;
}

// One request from source; the status of the answer, 0 for none within the wait.
inline int StatusFrom(const std::string& source, int port, const std::string& method, const std::string& target,
                      const std::string& headers = "", const std::string& body = "",
                      std::chrono::milliseconds wait = 10s)
{
    const int sock = ConnectFrom(source, port);
    if (sock < 0)
        return 0;
    std::string request = method + " " + target + " HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n" + headers;
    if (!body.empty())
        request += "Content-Length: " + std::to_string(body.size()) + "\r\n";
    SendAll(sock, request + "\r\n" + body);
    const std::vector<int> statuses = Statuses(ReadAll(sock, wait));
    ::close(sock);
    return statuses.empty() ? 0 : statuses.front();
}

// Threads told to stop (the flag set) and joined on any way out of a test.
struct StopAndJoin {
    std::atomic<bool>& Stop;
    std::vector<std::thread>& Threads;
    ~StopAndJoin()
    {
        Stop = true;
        for (std::thread& thread : Threads)
            if (thread.joinable())
                thread.join();
    }
};

// GET target from 127.0.0.1:port, as above.
inline LoopbackAnswer LoopbackGet(int port, const std::string& target, std::chrono::milliseconds timeout = 10s)
{
    return LoopbackRequest(port, "GET", target, std::nullopt, timeout);
}

// POST body to target on 127.0.0.1:port, as above.
inline LoopbackAnswer LoopbackPost(int port, const std::string& target, const std::string& body,
                                   std::chrono::milliseconds timeout = 10s)
{
    return LoopbackRequest(port, "POST", target, body, timeout);
}

}  // namespace records_server_test
