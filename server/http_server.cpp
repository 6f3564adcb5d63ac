#include "http_server.h"

#include "server/client_address.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/epoll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <sys/uio.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <ctime>
#include <deque>
#include <mutex>
#include <unordered_map>

namespace {

using Clock = std::chrono::steady_clock;

// How long a refused or closing connection's unread bytes are still taken
// and dropped after the answer, so that the answer is not lost to a reset.
constexpr std::chrono::milliseconds Linger{1000};
// Deadlines are looked at this often while any connection is open.
constexpr int CheckMilliseconds = 100;
// Received bytes a connection holds at most: one head at its longest, and
// some of the next.
constexpr std::size_t ReadChunk = 65536;
// Connections beyond the limit that are still being told 503; more than
// these are closed unanswered.
constexpr int RefusalRoom = 64;
// Each share this long of an answer that the client takes gives it the
// deadline again: a slow link gets a long answer (the web edition's code)
// whole, a client that takes next to nothing is still closed.
constexpr std::size_t SendProgress = 65536;

const char* Reason(int status)
{
    switch (status) {
    case 200: return "OK";
    case 304: return "Not Modified";
    case 400: return "Bad Request";
    case 404: return "Not Found";
    case 405: return "Method Not Allowed";
    case 408: return "Request Timeout";
    case 409: return "Conflict";
    case 411: return "Length Required";
    case 413: return "Content Too Large";
    case 414: return "URI Too Long";
    case 417: return "Expectation Failed";
    case 422: return "Unprocessable Content";
    case 431: return "Request Header Fields Too Large";
    case 500: return "Internal Server Error";
    case 503: return "Service Unavailable";   // a full house
    case 505: return "HTTP Version Not Supported";
    default: return "Error";
    }
}

std::string UtcNow()
{
    const auto now = std::chrono::system_clock::now();
    const std::time_t seconds = std::chrono::system_clock::to_time_t(now);
    const auto millis = std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count() % 1000;
    std::tm utc{};
    gmtime_r(&seconds, &utc);
    char text[48];
    const std::size_t length = std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%S", &utc);
    std::snprintf(text + length, sizeof text - length, ".%03dZ", int(millis));
    return text;
}

// The head, and the body unless it is shared (sent after the head) or
// there is none to send.
std::string Serialise(const HttpResponse& response, bool head, bool close)
{
    std::string bytes = "HTTP/1.1 " + std::to_string(response.Status) + " " + Reason(response.Status) + "\r\n";
    // A 304 has no body, and a length there would have to be the 200's.
    const bool notModified = response.Status == 304;
    if (!notModified) {
        const std::size_t length = response.SharedBody ? response.SharedBody->size() : response.Body.size();
        bytes += "Content-Type: " + response.ContentType + "\r\nContent-Length: " + std::to_string(length) + "\r\n";
    }
    for (const auto& [name, value] : response.Headers)
        bytes += name + ": " + value + "\r\n";
    bytes += close ? "Connection: close\r\n\r\n" : "Connection: keep-alive\r\n\r\n";
    if (!head && !notModified && !response.SharedBody)
        bytes += response.Body;
    return bytes;
}

HttpResponse Plain(int status, const std::string& text)
{
    HttpResponse response;
    response.Status = status;
    response.Body = text + "\n";
    response.Headers = {{"Cache-Control", "no-store"}};
    return response;
}

constexpr std::string_view Continue = "HTTP/1.1 100 Continue\r\n\r\n";

// One request's answer, kept in the order the requests came.
struct Answer {
    std::uint64_t Token = 0;
    bool Ready = false;
    bool Head = false;
    bool CloseAfter = false;
    std::string Bytes;
    std::shared_ptr<const std::string> Body;   // a shared body, sent after Bytes
    std::string Client, Method, Target;
    Clock::time_point Started;
    std::size_t Size() const { return Bytes.size() + (Body ? Body->size() : 0); }
};

struct Connection {
    int Fd = -1;
    std::uint64_t Id = 0;
    std::string Peer;
    std::string In;
    // A request whose head has come and whose body is still coming.
    std::optional<HttpRequest> Awaiting;
    std::size_t BodyLength = 0;
    std::deque<Answer> Out;
    std::size_t SentOfFront = 0;
    Clock::time_point Deadline;     // for the next head and its body, while no answer is due
    bool SendBlocked = false;       // the socket took no more of the front answer
    Clock::time_point SendDeadline; // the front answer must be taken by then
    std::size_t SentSinceDeadline = 0;   // of it since SendDeadline was set
    bool Closing = false;           // no more requests: the answers due, then close
    bool Lingering = false;         // answered and shut for writing: input dropped until LingerUntil
    Clock::time_point LingerUntil;
    std::uint32_t Interest = 0;
};

}  // namespace

std::string EscapeForLog(std::string_view text)
{
    static constexpr char Hex[] = "0123456789abcdef";
    std::string out;
    out.reserve(text.size());
    for (const char c : text.substr(0, 2048)) {
        const auto u = static_cast<unsigned char>(c);
        if (u < 0x20 || u > 0x7E || c == '\\') {
            out += "\\x";
            out += Hex[u >> 4];
            out += Hex[u & 15];
        } else {
            out += c;
        }
    }
    return out;
}

class HttpServer::Loop {
public:
    Loop(HttpSettings settings, Handler handler, std::function<void(const std::string&)>& log)
        : Settings(std::move(settings)), Handle(std::move(handler)), Log(log)
    {
        Epoll = ::epoll_create1(EPOLL_CLOEXEC);
        Wake = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
        Spare = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
        Watch(Wake, EPOLLIN);
    }
    ~Loop()
    {
        for (auto& [fd, connection] : Connections)
            ::close(fd);
        for (int fd : {ListenFd, Wake, Epoll, Spare})
            if (fd >= 0)
                ::close(fd);
    }

    int Listen(const std::string& host, int port)
    {
        addrinfo hints{};
        hints.ai_family = AF_UNSPEC;
        hints.ai_socktype = SOCK_STREAM;
        hints.ai_flags = AI_PASSIVE | AI_NUMERICSERV;
        addrinfo* found = nullptr;
        if (::getaddrinfo(host.c_str(), std::to_string(port).c_str(), &hints, &found) != 0)
            return 0;
        for (addrinfo* at = found; at && ListenFd < 0; at = at->ai_next) {
            const int fd = ::socket(at->ai_family, at->ai_socktype | SOCK_NONBLOCK | SOCK_CLOEXEC, at->ai_protocol);
            const int yes = 1;
            if (fd < 0)
                continue;
            ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
            if (::bind(fd, at->ai_addr, at->ai_addrlen) == 0 && ::listen(fd, SOMAXCONN) == 0)
                ListenFd = fd;
            else
                ::close(fd);
        }
        ::freeaddrinfo(found);
        if (ListenFd < 0)
            return 0;
        sockaddr_storage bound{};
        socklen_t length = sizeof bound;
        ::getsockname(ListenFd, reinterpret_cast<sockaddr*>(&bound), &length);
        Watch(ListenFd, EPOLLIN);
        return bound.ss_family == AF_INET6 ? ntohs(reinterpret_cast<sockaddr_in6*>(&bound)->sin6_port)
                                           : ntohs(reinterpret_cast<sockaddr_in*>(&bound)->sin_port);
    }

    void Run()
    {
        epoll_event events[256];
        Clock::time_point nextCheck = Clock::now();
        while (!Stopping) {
            // An idle server sleeps: deadlines need looking at only while
            // connections are open.
            const int timeout = Connections.empty() ? -1 : CheckMilliseconds;
            const int count = ::epoll_wait(Epoll, events, 256, timeout);
            if (count < 0 && errno != EINTR)
                break;
            for (int i = 0; i < count; ++i) {
                const int fd = events[i].data.fd;
                if (fd == ListenFd)
                    AcceptAll();
                else if (fd == Wake)
                    TakeCompletions();
                else if (auto found = Connections.find(fd); found != Connections.end())
                    OnEvents(found->second, events[i].events);
            }
            const Clock::time_point now = Clock::now();
            if (now >= nextCheck) {
                CheckDeadlines(now);
                if (Settings.OnTick)
                    Settings.OnTick();
                nextCheck = now + std::chrono::milliseconds(CheckMilliseconds);
            }
            FlushLog();
        }
        FlushLog();
    }

    void Stop()
    {
        Stopping = true;
        const std::uint64_t one = 1;
        [[maybe_unused]] const ssize_t ignored = ::write(Wake, &one, sizeof one);
    }

    void Complete(std::uint64_t token, HttpResponse response)
    {
        bool first = false;
        {
            std::lock_guard lock(CompletedLock);
            first = Completed.empty();
            Completed.emplace_back(token, std::move(response));
        }
        // The loop takes the whole list at one wake: a list already waiting
        // has woken it.
        if (first) {
            const std::uint64_t one = 1;
            [[maybe_unused]] const ssize_t ignored = ::write(Wake, &one, sizeof one);
        }
    }

private:
    void Watch(int fd, std::uint32_t events)
    {
        epoll_event event{};
        event.events = events;
        event.data.fd = fd;
        ::epoll_ctl(Epoll, EPOLL_CTL_ADD, fd, &event);
    }

    void SetInterest(Connection& c, std::uint32_t events)
    {
        if (c.Interest == events)
            return;
        c.Interest = events;
        epoll_event event{};
        event.events = events;
        event.data.fd = c.Fd;
        ::epoll_ctl(Epoll, EPOLL_CTL_MOD, c.Fd, &event);
    }

    void AcceptAll()
    {
        for (;;) {
            sockaddr_storage peer{};
            socklen_t peerLength = sizeof peer;
            int fd = ::accept4(ListenFd, reinterpret_cast<sockaddr*>(&peer), &peerLength, SOCK_NONBLOCK | SOCK_CLOEXEC);
            if (fd < 0 && (errno == EMFILE || errno == ENFILE) && Spare >= 0) {
                // Out of descriptors: take the connection on the spare one
                // only to close it, rather than leave it waiting for ever.
                ::close(Spare);
                fd = ::accept4(ListenFd, nullptr, nullptr, SOCK_CLOEXEC);
                if (fd >= 0)
                    ::close(fd);
                Spare = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
                continue;
            }
            if (fd < 0)
                return;   // EAGAIN: all taken; anything else: the next round
            const bool full = int(Connections.size()) >= Settings.MaxConnections;
            if (full && int(Connections.size()) >= Settings.MaxConnections + RefusalRoom) {
                ::close(fd);
                continue;
            }
            const int yes = 1;
            ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &yes, sizeof yes);
            Connection& c = Connections[fd];
            c.Fd = fd;
            c.Id = NextId++;
            c.Peer = AddressText(reinterpret_cast<const sockaddr*>(&peer));
            c.Deadline = Clock::now() + Settings.RequestDeadline;
            c.Interest = EPOLLIN | EPOLLRDHUP;
            Watch(fd, c.Interest);
            if (full) {
                // Refused at once, never queued; answered like any refusal,
                // so that the client reads the 503 rather than a reset.
                Refuse(c, 503, "-", "-");
                Write(c);
            }
        }
    }

    void OnEvents(Connection& c, std::uint32_t events)
    {
        if (events & (EPOLLERR | EPOLLHUP)) {
            Close(c);
            return;
        }
        const int fd = c.Fd;
        if (events & (EPOLLIN | EPOLLRDHUP))
            if (!ReadSome(c))
                return;
        if (Connections.count(fd) && (events & EPOLLOUT))
            Write(c);
    }

    // False when the connection was closed.
    bool ReadSome(Connection& c)
    {
        char buffer[ReadChunk];
        bool peerDone = false;
        for (;;) {
            // A full buffer waits for its requests to be answered; a body
            // being read may fill it to its own length.
            if (!c.Lingering && c.In.size() >= std::max(ReadChunk, c.BodyLength))
                break;
            const ssize_t got = ::recv(c.Fd, buffer, sizeof buffer, 0);
            if (got > 0) {
                if (!c.Lingering)
                    c.In.append(buffer, std::size_t(got));
                // A short read emptied the socket; the poll is level-triggered,
                // so whatever comes next is reported anyway. Input dropped
                // while lingering is read a chunk a round: a fast sender
                // cannot keep the loop to itself.
                if (std::size_t(got) < sizeof buffer || c.Lingering)
                    break;
                continue;
            }
            if (got == 0)
                peerDone = true;
            else if (errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR)
                peerDone = true;
            break;
        }
        if (c.Lingering) {
            if (peerDone)
                Close(c);
            return !peerDone;
        }
        Parse(c);
        if (peerDone) {
            // Nothing more will come: the answers due, then close.
            c.Closing = true;
            c.In.clear();
            c.Awaiting.reset();
        }
        return Write(c);
    }

    void Parse(Connection& c)
    {
        // A request waits while one before it is being handled elsewhere
        // (a publish being stored): a page asked for after a publish on the
        // same connection shows it.
        while (!c.Closing && Room(c) && (c.Out.empty() || c.Out.back().Ready)) {
            if (!c.Awaiting) {
                if (c.In.empty())
                    break;
                HeadRead read = ReadRequestHead(c.In, Settings.Limits);
                if (read.Outcome == HeadRead::State::Incomplete)
                    break;
                if (read.Outcome == HeadRead::State::Refused) {
                    Refuse(c, read.Status, "-", "-");
                    break;
                }
                c.In.erase(0, read.Consumed);
                read.Request.Client = ClientAddress(read.Request, c.Peer, Settings.TrustedProxies);
                if (const int status = BodyRefusal(read.Request, c.BodyLength)) {
                    Refuse(c, status, read.Request.Method, read.Request.Target, read.Request.Client);
                    break;
                }
                // A client that waits to be asked for its body is asked at once.
                if (read.Request.ExpectContinue && c.BodyLength > c.In.size()) {
                    Answer asked;
                    asked.Ready = true;
                    asked.Bytes = Continue;
                    c.Out.push_back(std::move(asked));
                }
                c.Awaiting = std::move(read.Request);
            }
            // The body, whole, before the request is handled.
            if (c.In.size() < c.BodyLength)
                break;
            HttpRequest request = std::move(*c.Awaiting);
            c.Awaiting.reset();
            request.Body.assign(c.In, 0, c.BodyLength);
            c.In.erase(0, c.BodyLength);
            c.BodyLength = 0;
            Dispatch(c, request);
        }
    }

    // Whether more of the connection's requests may be taken: few enough
    // answers wait, and few enough bytes of them.
    bool Room(const Connection& c) const
    {
        std::size_t bytes = 0;
        for (const Answer& answer : c.Out)
            bytes += answer.Size();
        return c.Out.size() < Settings.MaxPipelined && bytes - c.SentOfFront < Settings.MaxWaitingBytes;
    }

    // The status that refuses the request's body, or 0; length: the body's
    // bytes to read.
    int BodyRefusal(const HttpRequest& request, std::size_t& length) const
    {
        length = 0;
        const std::size_t limit = Settings.BodyLimit ? Settings.BodyLimit(request) : 0;
        if (limit == 0)
            return request.HasBody ? 413 : 0;
        // A body is read only by its Content-Length, so that its end is known
        // and held against the limit before a byte of it is read. A chunked
        // one is refused 411, not 501: the client can send it again with a
        // length, and no chunk parser is exposed to hostile bytes.
        if (request.TransferEncoding || !request.ContentLength)
            return 411;
        if (*request.ContentLength > limit)
            return 413;
        length = std::size_t(*request.ContentLength);
        return 0;
    }

    void Dispatch(Connection& c, const HttpRequest& request)
    {
        Answer answer;
        answer.Client = request.Client;
        answer.Method = request.Method;
        answer.Target = request.Target;
        answer.Started = Clock::now();
        answer.Head = request.Method == "HEAD";
        answer.CloseAfter = !request.KeepAlive;
        const std::uint64_t token = NextToken++;
        std::optional<HttpResponse> now = Handle(request, token);
        if (now) {
            Finish(answer, *now);
        } else {
            answer.Token = token;
            Deferred[token] = {c.Fd, c.Id};
        }
        c.Out.push_back(std::move(answer));
        if (!request.KeepAlive)
            c.Closing = true;
    }

    // started: when the refused request began to come (for the log).
    void Refuse(Connection& c, int status, const std::string& method, const std::string& target,
                const std::string& client = {}, std::optional<Clock::time_point> started = std::nullopt)
    {
        Answer answer;
        answer.Client = client.empty() ? c.Peer : client;
        answer.Method = method;
        answer.Target = target;
        answer.Started = started.value_or(Clock::now());
        answer.CloseAfter = true;
        Finish(answer, Plain(status, Reason(status)));
        c.Out.push_back(std::move(answer));
        c.Closing = true;
        c.In.clear();
        c.Awaiting.reset();
        c.BodyLength = 0;
    }

    void Finish(Answer& answer, const HttpResponse& response)
    {
        answer.Bytes = Serialise(response, answer.Head, answer.CloseAfter);
        if (!answer.Head && response.Status != 304)
            answer.Body = response.SharedBody;
        answer.Ready = true;
        LogLine(answer.Client, answer.Method, answer.Target, response.Status,
                response.LogTime ? *response.LogTime : Clock::now() - answer.Started);
    }

    // Sends what is ready, in order. False when the connection was closed.
    bool Write(Connection& c)
    {
        bool answered = false;
        while (!c.Out.empty() && c.Out.front().Ready) {
            Answer& front = c.Out.front();
            // The rest of the head and the shared body, in one call.
            iovec pieces[2];
            std::size_t count = 0, at = c.SentOfFront;
            if (at < front.Bytes.size()) {
                pieces[count++] = {front.Bytes.data() + at, front.Bytes.size() - at};
                at = 0;
            } else {
                at -= front.Bytes.size();
            }
            if (front.Body && at < front.Body->size())
                pieces[count++] = {const_cast<char*>(front.Body->data()) + at, front.Body->size() - at};
            msghdr message{};
            message.msg_iov = pieces;
            message.msg_iovlen = count;
            const ssize_t sent = ::sendmsg(c.Fd, &message, MSG_NOSIGNAL);
            if (sent < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
                // Nothing more is read until the client takes what waits.
                if (!c.SendBlocked) {
                    c.SendBlocked = true;
                    c.SendDeadline = Clock::now() + Settings.RequestDeadline;
                    c.SentSinceDeadline = 0;
                }
                SetInterest(c, EPOLLRDHUP | EPOLLOUT);
                return true;
            }
            if (sent < 0) {
                Close(c);
                return false;
            }
            c.SentOfFront += std::size_t(sent);
            if (c.SendBlocked && (c.SentSinceDeadline += std::size_t(sent)) >= SendProgress) {
                c.SendDeadline = Clock::now() + Settings.RequestDeadline;
                c.SentSinceDeadline = 0;
            }
            if (c.SentOfFront < front.Size())
                continue;
            const bool closeAfter = front.CloseAfter;
            c.Out.pop_front();
            c.SentOfFront = 0;
            c.SendBlocked = false;
            answered = true;
            if (closeAfter) {
                StartLinger(c);
                return true;
            }
            // Room again for requests that were held back.
            Parse(c);
        }
        if (c.Out.empty()) {
            if (c.Closing) {
                StartLinger(c);
                return true;
            }
            // The next head's time starts when the last answer has gone.
            if (answered)
                c.Deadline = Clock::now() + Settings.RequestDeadline;
        }
        // Read only while there is room for the answers.
        SetInterest(c, (Room(c) ? EPOLLIN | EPOLLRDHUP : EPOLLRDHUP) |
                           (!c.Out.empty() && c.Out.front().Ready ? EPOLLOUT : 0u));
        return true;
    }

    void StartLinger(Connection& c)
    {
        ::shutdown(c.Fd, SHUT_WR);
        c.Lingering = true;
        c.LingerUntil = Clock::now() + Linger;
        c.Out.clear();
        c.In.clear();
        SetInterest(c, EPOLLIN | EPOLLRDHUP);
    }

    void Close(Connection& c)
    {
        for (const Answer& answer : c.Out)
            if (!answer.Ready)
                Deferred.erase(answer.Token);
        ::close(c.Fd);
        Connections.erase(c.Fd);
    }

    void CheckDeadlines(Clock::time_point now)
    {
        std::vector<int> expired;
        for (auto& [fd, c] : Connections)
            if ((c.Lingering && now >= c.LingerUntil) || (c.SendBlocked && now >= c.SendDeadline) ||
                (!c.Lingering && !c.Closing && c.Out.empty() && now >= c.Deadline))
                expired.push_back(fd);
        for (int fd : expired) {
            Connection& c = Connections.at(fd);
            if (c.Lingering || c.SendBlocked || (c.In.empty() && !c.Awaiting)) {
                // Nothing of a request came, or the client takes no answers:
                // closed without a word.
                Close(c);
            } else {
                // Part of a head, or a head and part of its body.
                const std::string method = c.Awaiting ? c.Awaiting->Method : "-",
                                  target = c.Awaiting ? c.Awaiting->Target : "-",
                                  client = c.Awaiting ? c.Awaiting->Client : c.Peer;
                Refuse(c, 408, method, target, client, c.Deadline - Settings.RequestDeadline);
                Write(c);
            }
        }
    }

    void TakeCompletions()
    {
        std::uint64_t count = 0;
        [[maybe_unused]] const ssize_t ignored = ::read(Wake, &count, sizeof count);
        std::vector<std::pair<std::uint64_t, HttpResponse>> done;
        {
            std::lock_guard lock(CompletedLock);
            done.swap(Completed);
        }
        for (auto& [token, response] : done) {
            const auto owner = Deferred.find(token);
            if (owner == Deferred.end())
                continue;   // its connection is gone
            const auto [fd, id] = owner->second;
            Deferred.erase(owner);
            const auto found = Connections.find(fd);
            if (found == Connections.end() || found->second.Id != id)
                continue;
            Connection& c = found->second;
            for (Answer& answer : c.Out)
                if (!answer.Ready && answer.Token == token)
                    Finish(answer, response);
            Write(c);
        }
    }

    void LogLine(const std::string& client, const std::string& method, const std::string& target, int status,
                 std::chrono::duration<double> took)
    {
        if (!Log)
            return;
        char elapsed[32];
        std::snprintf(elapsed, sizeof elapsed, "%.3fms", std::chrono::duration<double, std::milli>(took).count());
        LogLines += UtcNow() + " " + client + " " + EscapeForLog(method) + " " + EscapeForLog(target) + " " +
                    std::to_string(status) + " " + elapsed + "\n";
    }

    void FlushLog()
    {
        if (LogLines.empty() || !Log)
            return;
        Log(LogLines);
        LogLines.clear();
    }

    HttpSettings Settings;
    Handler Handle;
    std::function<void(const std::string&)>& Log;
    int Epoll = -1, Wake = -1, ListenFd = -1, Spare = -1;
    std::unordered_map<int, Connection> Connections;
    std::unordered_map<std::uint64_t, std::pair<int, std::uint64_t>> Deferred;   // token: descriptor, connection
    std::uint64_t NextToken = 1, NextId = 1;
    std::atomic<bool> Stopping = false;
    std::mutex CompletedLock;
    std::vector<std::pair<std::uint64_t, HttpResponse>> Completed;
    std::string LogLines;
};

HttpServer::HttpServer(HttpSettings settings, Handler handler)
    : Impl(std::make_unique<Loop>(std::move(settings), std::move(handler), Log))
{
}

HttpServer::~HttpServer() = default;

int HttpServer::Listen(const std::string& host, int port)
{
    return Impl->Listen(host, port);
}

void HttpServer::Run()
{
    Impl->Run();
}

void HttpServer::Stop()
{
    Impl->Stop();
}

void HttpServer::Complete(std::uint64_t token, HttpResponse response)
{
    Impl->Complete(token, std::move(response));
}
