// Reading request heads: what is taken, what is refused and with which
// status, and where one head ends and the next begins.

#include <gtest/gtest.h>

#include "server/http_request.h"

namespace {

using S = HeadRead::State;

TEST(RequestHead, ReadsWhatAGetOrHeadNeedsAndRefusesTheRest)
{
    const HttpLimits limits{64, 128, 4};
    const std::string get = "GET /a?b=c HTTP/1.1\r\n";
    const struct {
        const char* name;
        std::string bytes;
        S outcome;
        int status;        // when refused
        bool keepAlive;    // when complete
        bool body;
    } cases[] = {
        {"a plain 1.1 request", get + "Host: x\r\n\r\n", S::Complete, 0, true, false},
        {"LF line ends, blank lines first", "\r\n\n" + std::string("GET /a HTTP/1.1\nHost: x\n\n"), S::Complete, 0, true, false},
        {"1.1 asking to close", get + "Connection: Upgrade, CLOSE\r\n\r\n", S::Complete, 0, false, false},
        {"1.0 closes by default", "GET /a HTTP/1.0\r\n\r\n", S::Complete, 0, false, false},
        {"1.0 asking to stay", "GET /a HTTP/1.0\r\nConnection: keep-alive\r\n\r\n", S::Complete, 0, true, false},
        {"Content-Length 00 is no body", get + "Content-Length: 00\r\n\r\n", S::Complete, 0, true, false},
        {"Content-Length 5 is one", get + "content-length: 5\r\n\r\n", S::Complete, 0, true, true},
        {"any Transfer-Encoding is one", get + "Transfer-Encoding: identity\r\n\r\n", S::Complete, 0, true, true},
        {"half a request line", "GET /a HT", S::Incomplete, 0, false, false},
        {"headers not ended yet", get + "Host: x\r\n", S::Incomplete, 0, false, false},
        {"request line at its limit", "GET /" + std::string(49, 'a') + " HTTP/1.1\r\n\r\n", S::Complete, 0, true, false},
        {"request line over it", "GET /" + std::string(50, 'a') + " HTTP/1.1\r\n\r\n", S::Refused, 414, false, false},
        {"request line over it, unfinished", "GET /" + std::string(70, 'a'), S::Refused, 414, false, false},
        {"blank lines count", std::string(60, '\n') + "GET /a HTTP/1.1\r\n\r\n", S::Refused, 414, false, false},
        {"header bytes over", get + "X: " + std::string(130, 'a') + "\r\n\r\n", S::Refused, 431, false, false},
        {"header bytes over, unfinished", get + "X: " + std::string(130, 'a'), S::Refused, 431, false, false},
        {"too many header lines", get + "A: 1\r\nB: 1\r\nC: 1\r\nD: 1\r\nE: 1\r\n\r\n", S::Refused, 431, false, false},
        {"not from the root", "GET a HTTP/1.1\r\n\r\n", S::Refused, 400, false, false},
        {"absolute form", "GET http://x/a HTTP/1.1\r\n\r\n", S::Refused, 400, false, false},
        {"blank in the target", "GET /a b HTTP/1.1\r\n\r\n", S::Refused, 400, false, false},
        {"another version", "GET /a HTTP/1.2\r\n\r\n", S::Refused, 505, false, false},
        {"no version", "GET /a\r\n\r\n", S::Refused, 400, false, false},
        {"a bad Content-Length", get + "Content-Length: 5x\r\n\r\n", S::Refused, 400, false, false},
        {"a header without a colon", get + "Host x\r\n\r\n", S::Refused, 400, false, false},
        {"a blank before the colon", get + "Host : x\r\n\r\n", S::Refused, 400, false, false},
    };
    for (const auto& c : cases) {
        const HeadRead read = ReadRequestHead(c.bytes, limits);
        ASSERT_EQ(read.Outcome, c.outcome) << c.name;
        if (c.outcome == S::Refused) {
            EXPECT_EQ(read.Status, c.status) << c.name;
        }
        if (c.outcome == S::Complete) {
            EXPECT_EQ(read.Consumed, c.bytes.size()) << c.name;
            EXPECT_EQ(read.Request.KeepAlive, c.keepAlive) << c.name;
            EXPECT_EQ(read.Request.HasBody, c.body) << c.name;
        }
    }
}

TEST(RequestHead, OneHeadAtATimeWithItsPathAndQuery)
{
    const std::string first = "HEAD /view.php?v=results HTTP/1.1\r\nHost: x\r\n\r\n";
    const HeadRead read = ReadRequestHead(first + "GET /next HTTP/1.1\r\n\r\n", HttpLimits{});
    ASSERT_EQ(read.Outcome, S::Complete);
    EXPECT_EQ(read.Consumed, first.size());
    EXPECT_EQ(read.Request.Method, "HEAD");
    EXPECT_EQ(read.Request.Path(), "/view.php");
    EXPECT_EQ(read.Request.Query(), "v=results");
}

}  // namespace
