#include "http_request.h"

#include <algorithm>

namespace {

bool IsTokenChar(char c)
{
    const auto u = static_cast<unsigned char>(c);
    if ((u >= '0' && u <= '9') || (u >= 'a' && u <= 'z') || (u >= 'A' && u <= 'Z'))
        return true;
    return std::string_view("!#$%&'*+-.^_`|~").find(c) != std::string_view::npos;
}

bool IsControl(char c)
{
    const auto u = static_cast<unsigned char>(c);
    return u < 0x20 || u == 0x7F;
}

bool SameLetters(std::string_view a, std::string_view b)
{
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return (x | 0x20) == (y | 0x20);
           });
}

// One line without its end; the end is LF or CRLF.
std::string_view WithoutEnd(std::string_view line)
{
    if (!line.empty() && line.back() == '\r')
        line.remove_suffix(1);
    return line;
}

// Decimal digits; beyond 2^64-1 it stays there (such a body is refused anyway).
std::uint64_t ReadLength(std::string_view digits)
{
    constexpr std::uint64_t Most = ~std::uint64_t(0);
    std::uint64_t value = 0;
    for (char c : digits) {
        const auto digit = std::uint64_t(c - '0');
        if (value > (Most - digit) / 10)
            return Most;
        value = value * 10 + digit;
    }
    return value;
}

HeadRead Refuse(int status)
{
    HeadRead read;
    read.Outcome = HeadRead::State::Refused;
    read.Status = status;
    return read;
}

// "METHOD /target HTTP/1.x"; nothing when it is not one (Status says why).
bool ReadRequestLine(std::string_view line, HttpRequest& request, bool& http10, int& status)
{
    status = 400;
    const std::size_t firstSpace = line.find(' ');
    const std::size_t lastSpace = line.rfind(' ');
    if (firstSpace == std::string_view::npos || firstSpace == lastSpace)
        return false;
    const std::string_view method = line.substr(0, firstSpace);
    const std::string_view version = line.substr(lastSpace + 1);
    if (method.empty() || method.size() > 16 || !std::all_of(method.begin(), method.end(), IsTokenChar))
        return false;
    std::string_view target = line.substr(firstSpace + 1, lastSpace - firstSpace - 1);
    if (std::any_of(target.begin(), target.end(), [](char c) { return c == ' ' || IsControl(c); }))
        return false;
    // The absolute form (what a client says to a proxy) names the same
    // resource as the origin form of its path and query.
    std::string path;
    for (const std::string_view scheme : {std::string_view("http://"), std::string_view("https://")}) {
        if (target.size() <= scheme.size() || !SameLetters(target.substr(0, scheme.size()), scheme))
            continue;
        const std::string_view rest = target.substr(scheme.size());
        const std::size_t end = std::min(rest.find_first_of("/?"), rest.size());
        if (end == 0 || rest.substr(0, end).find('@') != std::string_view::npos)
            return false;   // no host, or a user's name and password
        path = (end == rest.size() || rest[end] == '?' ? "/" : "") + std::string(rest.substr(end));
        target = path;
        break;
    }
    // Else the origin form: a path from the root.
    if (target.empty() || target.front() != '/')
        return false;
    if (version == "HTTP/1.1") {
        http10 = false;
    } else if (version == "HTTP/1.0") {
        http10 = true;
    } else {
        if (version.size() == 8 && version.substr(0, 5) == "HTTP/" && version[6] == '.')
            status = 505;
        return false;
    }
    request.Method = std::string(method);
    request.Target = std::string(target);
    return true;
}

}  // namespace

std::string_view TrimBlanks(std::string_view text)
{
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t'))
        text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t'))
        text.remove_suffix(1);
    return text;
}

HeadRead ReadRequestHead(std::string_view received, const HttpLimits& limits)
{
    // Blank lines before a request (left over from a client's last one).
    std::size_t start = 0;
    while (start < received.size() && (received[start] == '\r' || received[start] == '\n'))
        ++start;
    const std::size_t lineEnd = received.find('\n', start);
    if (lineEnd == std::string_view::npos)
        return received.size() > limits.RequestLine ? Refuse(414) : HeadRead{};
    // Blank lines before it count: they cannot be sent without end either.
    if (lineEnd > limits.RequestLine)
        return Refuse(414);

    HeadRead read;
    bool http10 = false;
    int status = 0;
    if (!ReadRequestLine(WithoutEnd(received.substr(start, lineEnd - start)), read.Request, http10, status))
        return Refuse(status);
    bool keepAliveAsked = false, closeAsked = false;
    int hosts = 0;

    std::size_t at = lineEnd + 1;
    std::size_t lines = 0;
    for (;;) {
        const std::size_t end = received.find('\n', at);
        if (end == std::string_view::npos)
            return received.size() - (lineEnd + 1) > limits.HeaderBytes ? Refuse(431) : HeadRead{};
        const std::string_view line = WithoutEnd(received.substr(at, end - at));
        at = end + 1;
        if (line.empty())
            break;
        if (++lines > limits.HeaderLines || at - (lineEnd + 1) > limits.HeaderBytes)
            return Refuse(431);
        const std::size_t colon = line.find(':');
        // A folded line (one beginning with a blank) is refused, as HTTP/1.1 asks.
        if (colon == std::string_view::npos || colon == 0 ||
            !std::all_of(line.begin(), line.begin() + std::ptrdiff_t(colon), IsTokenChar))
            return Refuse(400);
        const std::string_view name = line.substr(0, colon);
        const std::string_view value = TrimBlanks(line.substr(colon + 1));
        if (std::any_of(value.begin(), value.end(), [](char c) { return c != '\t' && IsControl(c); }))
            return Refuse(400);
        if (SameLetters(name, "Content-Length")) {
            if (value.empty() || !std::all_of(value.begin(), value.end(), [](char c) { return c >= '0' && c <= '9'; }))
                return Refuse(400);
            const std::uint64_t length = ReadLength(value);
            // Two lengths that differ leave the body's end in doubt (the
            // way requests are smuggled past a proxy).
            if (read.Request.ContentLength && *read.Request.ContentLength != length)
                return Refuse(400);
            read.Request.ContentLength = length;
            if (length > 0)
                read.Request.HasBody = true;
        } else if (SameLetters(name, "Transfer-Encoding")) {
            read.Request.HasBody = true;
            read.Request.TransferEncoding = true;
        } else if (SameLetters(name, "Host")) {
            // Two hosts leave it in doubt which site is asked for.
            if (++hosts > 1)
                return Refuse(400);
        } else if (SameLetters(name, "Expect")) {
            // HTTP/1.0 knows no Expect: it is ignored there.
            if (!http10 && !SameLetters(value, "100-continue"))
                return Refuse(417);
            read.Request.ExpectContinue = !http10;
        } else if (SameLetters(name, "X-Real-IP")) {
            read.Request.RealIp = std::string(value);
        } else if (SameLetters(name, "X-Forwarded-For")) {
            if (!read.Request.ForwardedFor.empty())
                read.Request.ForwardedFor += ", ";
            read.Request.ForwardedFor += value;
        } else if (SameLetters(name, "If-None-Match")) {
            if (!read.Request.IfNoneMatch.empty())
                read.Request.IfNoneMatch += ", ";
            read.Request.IfNoneMatch += value;
        } else if (SameLetters(name, "Connection")) {
            std::string_view rest = value;
            while (!rest.empty()) {
                const std::size_t comma = rest.find(',');
                const std::string_view option = TrimBlanks(rest.substr(0, comma));
                closeAsked = closeAsked || SameLetters(option, "close");
                keepAliveAsked = keepAliveAsked || SameLetters(option, "keep-alive");
                rest = comma == std::string_view::npos ? std::string_view() : rest.substr(comma + 1);
            }
        }
    }
    if (hosts == 0 && !http10)
        return Refuse(400);
    read.Request.KeepAlive = !closeAsked && (!http10 || keepAliveAsked);
    read.Outcome = HeadRead::State::Complete;
    read.Consumed = at;
    return read;
}
