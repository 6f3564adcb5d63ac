#pragma once
// An HTTP/1.1 server for a site of GET pages on one thread with epoll: any
// number of open connections costs memory, not threads, and no client can
// hold another up. Each connection has a deadline for the head of its next
// request and for taking each answer, bounded buffers, and answers in the
// order its requests came (pipelining). A body is read only where the site takes one (BodyLimit),
// whole, by its Content-Length and within the head's deadline; anywhere else
// it is refused (413) without being read. The site answers a request at once
// or later, from any thread (Complete).

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "server/http_request.h"

struct HttpResponse {
    int Status = 200;
    std::string ContentType = "text/plain; charset=utf-8";
    std::string Body;
    // Sent in place of Body when set: a large body held once for all the
    // answers that carry it, not copied into each.
    std::shared_ptr<const std::string> SharedBody;
    std::vector<std::pair<std::string, std::string>> Headers;   // beside Content-Type, -Length, Connection
    // The time the log line shows, when the site measured the part that
    // matters itself (a replay's check); else the time to the answer.
    std::optional<std::chrono::duration<double>> LogTime;
};

struct HttpSettings {
    HttpLimits Limits;
    // More open connections than this are answered 503 and closed at once.
    int MaxConnections = 4096;
    // The head of a request, and its body if it has one, must be complete
    // this long after the server began to wait for it (the connection's
    // start, or the last answer).
    std::chrono::milliseconds RequestDeadline{10000};
    // Answers not yet sent that one connection may have, and their bytes;
    // no more of its requests are read meanwhile. An answer the client does
    // not take whole within RequestDeadline of its socket filling up closes
    // the connection (nothing is read from it while it waits); each 64 KiB
    // of a long answer it takes gives it RequestDeadline again.
    std::size_t MaxPipelined = 16;
    std::size_t MaxWaitingBytes = 64 * 1024;
    // Peers whose X-Real-IP (or last X-Forwarded-For) names the client.
    std::vector<std::string> TrustedProxies;
    // Called on the server's thread about every 100 ms while connections
    // are open: for the site's own deadlines.
    std::function<void()> OnTick;
    // The body bytes a request may carry, given its head; none when unset
    // or 0. A request whose limit is above 0 must give its Content-Length
    // (411 otherwise); a longer one is refused 413 before a byte is read.
    std::function<std::size_t(const HttpRequest& head)> BodyLimit;
};

class HttpServer {
public:
    // Called on the server's thread for each request. An answer now, or
    // nothing: the site answers later with Complete(token, ...).
    using Handler = std::function<std::optional<HttpResponse>(const HttpRequest& request, std::uint64_t token)>;

    HttpServer(HttpSettings settings, Handler handler);
    ~HttpServer();
    HttpServer(const HttpServer&) = delete;
    HttpServer& operator=(const HttpServer&) = delete;

    // Binds and listens (SO_REUSEADDR, not SO_REUSEPORT: a second server
    // cannot share the port). The port bound (port 0: any free one), or 0.
    int Listen(const std::string& host, int port);
    // Serves until Stop().
    void Run();
    // From any thread, a signal handler's thread too.
    void Stop();
    // From any thread: the answer to a request the handler deferred.
    void Complete(std::uint64_t token, HttpResponse response);

    // One line per answered request: time, client, method, target, status,
    // time taken.
    // Written once per round of the loop, lines whole.
    std::function<void(const std::string& lines)> Log;

private:
    class Loop;
    std::unique_ptr<Loop> Impl;
};

// Bytes of a request as a log shows them: control bytes, the backslash and
// bytes above 0x7E as \xNN, so that a request can neither break a log line
// nor fake one.
std::string EscapeForLog(std::string_view text);
