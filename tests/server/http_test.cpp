// Reading request heads: what is taken, what is refused and with which
// status, and where one head ends and the next begins.

#include <gtest/gtest.h>

#include "server/client_address.h"
#include "server/http_request.h"

namespace {

using S = HeadRead::State;

TEST(RequestHead, ReadsWhatAGetOrHeadNeedsAndRefusesTheRest)
{
    const HttpLimits limits{64, 128, 4};
    const std::string get = "GET /a?b=c HTTP/1.1\r\nHost: x\r\n";
    const struct {
        const char* name;
        std::string bytes;
        S outcome;
        int status;        // when refused
        bool keepAlive;    // when complete
        bool body;
    } cases[] = {
        {"a plain 1.1 request", get + "\r\n", S::Complete, 0, true, false},
        {"1.1 without a Host", "GET /a HTTP/1.1\r\n\r\n", S::Refused, 400, false, false},
        {"two Hosts", get + "host: y\r\n\r\n", S::Refused, 400, false, false},
        {"two Hosts on 1.0", "GET /a HTTP/1.0\r\nHost: x\r\nHost: x\r\n\r\n", S::Refused, 400, false, false},
        {"an expectation other than 100-continue", get + "Expect: 200-ok\r\n\r\n", S::Refused, 417, false, false},
        {"LF line ends, blank lines first", "\r\n\n" + std::string("GET /a HTTP/1.1\nHost: x\n\n"), S::Complete, 0, true,
         false},
        {"1.1 asking to close", get + "Connection: Upgrade, CLOSE\r\n\r\n", S::Complete, 0, false, false},
        {"1.0 closes by default", "GET /a HTTP/1.0\r\n\r\n", S::Complete, 0, false, false},
        {"1.0 asking to stay", "GET /a HTTP/1.0\r\nConnection: keep-alive\r\n\r\n", S::Complete, 0, true, false},
        {"Content-Length 00 is no body", get + "Content-Length: 00\r\n\r\n", S::Complete, 0, true, false},
        {"Content-Length 5 is one", get + "content-length: 5\r\n\r\n", S::Complete, 0, true, true},
        {"any Transfer-Encoding is one", get + "Transfer-Encoding: identity\r\n\r\n", S::Complete, 0, true, true},
        {"half a request line", "GET /a HT", S::Incomplete, 0, false, false},
        {"headers not ended yet", get + "X: y\r\n", S::Incomplete, 0, false, false},
        {"request line at its limit", "GET /" + std::string(49, 'a') + " HTTP/1.1\r\nHost: x\r\n\r\n", S::Complete, 0,
         true, false},
        {"request line over it", "GET /" + std::string(50, 'a') + " HTTP/1.1\r\n\r\n", S::Refused, 414, false, false},
        {"request line over it, unfinished", "GET /" + std::string(70, 'a'), S::Refused, 414, false, false},
        {"blank lines count", std::string(60, '\n') + "GET /a HTTP/1.1\r\nHost: x\r\n\r\n", S::Refused, 414, false,
         false},
        {"header bytes over", get + "X: " + std::string(130, 'a') + "\r\n\r\n", S::Refused, 431, false, false},
        {"header bytes over, unfinished", get + "X: " + std::string(130, 'a'), S::Refused, 431, false, false},
        {"too many header lines", get + "A: 1\r\nB: 1\r\nC: 1\r\nD: 1\r\n\r\n", S::Refused, 431, false, false},
        {"not from the root", "GET a HTTP/1.1\r\n\r\n", S::Refused, 400, false, false},
        {"blank in the target", "GET /a b HTTP/1.1\r\n\r\n", S::Refused, 400, false, false},
        {"another version", "GET /a HTTP/1.2\r\n\r\n", S::Refused, 505, false, false},
        {"no version", "GET /a\r\n\r\n", S::Refused, 400, false, false},
        {"a bad Content-Length", get + "Content-Length: 5x\r\n\r\n", S::Refused, 400, false, false},
        {"a header without a colon", get + "Accept x\r\n\r\n", S::Refused, 400, false, false},
        {"a blank before the colon", get + "Accept : x\r\n\r\n", S::Refused, 400, false, false},
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

// An absolute form names the path and query the origin form would; what a
// proxy says of its client and a client's wish to be asked for its body are
// kept for the server.
TEST(RequestHead, TakesEitherFormOfTargetAndWhatAProxyOrABodyNeeds)
{
    const struct {
        const char* name;
        std::string head;   // a request line and headers, without the empty line
        std::string target; // empty: refused 400
        std::string realIp, forwardedFor;
        bool expectContinue;
    } cases[] = {
        {"origin form", "GET /view.php?v=results HTTP/1.1\r\nHost: x", "/view.php?v=results", "", "", false},
        {"absolute form", "GET http://x:8642/view.php?v=results HTTP/1.1\r\nHost: y", "/view.php?v=results", "", "",
         false},
        {"absolute form, no path", "GET HTTPS://x HTTP/1.1\r\nHost: x", "/", "", "", false},
        {"absolute form, a query and no path", "GET http://x?v=1 HTTP/1.1\r\nHost: x", "/?v=1", "", "", false},
        {"absolute form without a host", "GET http:///a HTTP/1.1\r\nHost: x", "", "", "", false},
        {"absolute form with a user", "GET http://u:p@x/a HTTP/1.1\r\nHost: x", "", "", "", false},
        {"another scheme", "GET ftp://x/a HTTP/1.1\r\nHost: x", "", "", "", false},
        {"what a proxy says", "GET / HTTP/1.1\r\nHost: x\r\nX-Real-IP: 10.0.0.7\r\nX-Forwarded-For: 1.2.3.4\r\n"
         "x-forwarded-for:  10.0.0.7 ", "/", "10.0.0.7", "1.2.3.4, 10.0.0.7", false},
        {"a body asked for", "POST /r HTTP/1.1\r\nHost: x\r\nExpect: 100-Continue\r\nContent-Length: 3", "/r", "", "",
         true},
        {"no such thing in 1.0", "POST /r HTTP/1.0\r\nExpect: 100-continue\r\nContent-Length: 3", "/r", "", "", false},
    };
    for (const auto& c : cases) {
        const HeadRead read = ReadRequestHead(c.head + "\r\n\r\n", HttpLimits{});
        if (c.target.empty()) {
            EXPECT_EQ(read.Outcome, S::Refused) << c.name;
            EXPECT_EQ(read.Status, 400) << c.name;
            continue;
        }
        ASSERT_EQ(read.Outcome, S::Complete) << c.name;
        EXPECT_EQ(read.Request.Target, c.target) << c.name;
        EXPECT_EQ(read.Request.RealIp, c.realIp) << c.name;
        EXPECT_EQ(read.Request.ForwardedFor, c.forwardedFor) << c.name;
        EXPECT_EQ(read.Request.ExpectContinue, c.expectContinue) << c.name;
    }
}

// Whom a request is from: the peer, unless the peer is a trusted proxy that
// names an address.
TEST(ClientAddress, IsThePeersUnlessATrustedProxyNamesAnother)
{
    const std::vector<std::string> trusted{"127.0.0.1", "::1"};
    const struct {
        const char* peer;
        const char* realIp;
        const char* forwardedFor;
        const char* client;
    } cases[] = {
        {"127.0.0.1", "10.0.0.7", "", "10.0.0.7"},
        {"127.0.0.1", "", "1.2.3.4, 10.0.0.8", "10.0.0.8"},
        {"127.0.0.1", "10.0.0.7", "10.0.0.8", "10.0.0.7"},
        {"127.0.0.1", " 2001:DB8::1 ", "", "2001:db8::1"},
        {"127.0.0.1", "[2001:db8::1]", "", "2001:db8::1"},
        {"127.0.0.1", "::ffff:10.0.0.9", "", "10.0.0.9"},
        {"::1", "10.0.0.7", "", "10.0.0.7"},
        {"127.0.0.1", "somebody", "", "127.0.0.1"},
        {"127.0.0.1", "", "10.0.0.8, unknown", "127.0.0.1"},
        {"127.0.0.1", "10.0.0.7x", "", "127.0.0.1"},
        {"127.0.0.2", "10.0.0.7", "10.0.0.8", "127.0.0.2"},
    };
    for (const auto& c : cases) {
        HttpRequest request;
        request.RealIp = c.realIp;
        request.ForwardedFor = c.forwardedFor;
        EXPECT_EQ(ClientAddress(request, c.peer, trusted), c.client) << c.peer << " " << c.realIp << c.forwardedFor;
    }
}

TEST(RequestHead, OneHeadAtATimeWithItsPathAndQuery)
{
    const std::string first = "HEAD /view.php?v=results HTTP/1.1\r\nHost: x\r\n\r\n";
    const HeadRead read = ReadRequestHead(first + "GET /next HTTP/1.1\r\nHost: x\r\n\r\n", HttpLimits{});
    ASSERT_EQ(read.Outcome, S::Complete);
    EXPECT_EQ(read.Consumed, first.size());
    EXPECT_EQ(read.Request.Method, "HEAD");
    EXPECT_EQ(read.Request.Path(), "/view.php");
    EXPECT_EQ(read.Request.Query(), "v=results");
}

}  // namespace
