#pragma once
// The head of one HTTP/1.x request, read from the bytes a connection has
// received so far. Strict and bounded: it never reads past the head, never
// holds more than the limits allow, and says which status refuses a head
// that breaks them. The body, where a path takes one, is the server's.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

struct HttpLimits {
    std::size_t RequestLine = 8192;   // longer: 414
    std::size_t HeaderBytes = 16384;  // the header lines together; more: 431
    std::size_t HeaderLines = 100;    // more: 431
};

struct HttpRequest {
    std::string Method;
    std::string Target;       // path and query as sent, not decoded (an absolute form's scheme and host taken off)
    bool KeepAlive = true;    // HTTP/1.1 unless "Connection: close"; 1.0 only with keep-alive
    bool HasBody = false;     // a Content-Length above 0, or any Transfer-Encoding
    std::optional<std::uint64_t> ContentLength;   // as given (a huge one saturates)
    bool TransferEncoding = false;                // any Transfer-Encoding
    bool ExpectContinue = false;                  // "Expect: 100-continue" on HTTP/1.1
    // What a proxy in front says of the client, as sent (trusted only from
    // a trusted proxy's address).
    std::string RealIp;       // X-Real-IP
    std::string ForwardedFor; // X-Forwarded-For, every line joined by ", "
    std::string IfNoneMatch;  // If-None-Match, every line joined by ", "
    std::string Body;         // where the path takes one: exactly ContentLength bytes
    // Set by the server: the client's address (a trusted proxy's client).
    std::string Client;
    std::string_view Path() const { return std::string_view(Target).substr(0, Target.find('?')); }
    std::string_view Query() const
    {
        const std::size_t mark = Target.find('?');
        return mark == std::string::npos ? std::string_view() : std::string_view(Target).substr(mark + 1);
    }
};

struct HeadRead {
    enum class State {
        Incomplete,   // more bytes are needed; Consumed is 0
        Complete,     // Request holds the head, which took Consumed bytes
        Refused,      // Status says why; the connection is to be closed after it
    } Outcome = State::Incomplete;
    HttpRequest Request;
    std::size_t Consumed = 0;
    int Status = 0;   // 400, 414, 417, 431 or 505 when refused
};

// Text without the blanks and tabs around it.
std::string_view TrimBlanks(std::string_view text);

// Reads the head at the start of received. Empty lines before the request
// line are skipped, as HTTP allows; a line ends at CRLF or LF. An HTTP/1.1
// request must name its Host once (400 otherwise); any request may name it
// at most once.
HeadRead ReadRequestHead(std::string_view received, const HttpLimits& limits);
