// What one hostile client on loopback tries against the real
// vantorix2-records: each attack is answered with its status, nothing is
// stored, memory stays small, and a normal client is served meanwhile.

#include <gtest/gtest.h>

#include <sqlite3.h>

#include <atomic>
#include <fstream>
#include <sstream>

#include "server/sqlite_store.h"
#include "server_process.h"
#include "storage/temp_folder.h"

using namespace records_server_test;

namespace {

const std::string PublishAnn = "/datas/html/add.php?name=Ann&self=1&autopilot=-";
constexpr int MaxConnections = 64;
constexpr auto Deadline = 500ms;

// The server's peak resident memory so far, in MB.
double PeakMegabytes(pid_t pid)
{
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind("VmHWM:", 0) == 0)
            return std::atof(line.c_str() + 6) / 1024;
    return 0;
}

// The CPU time the process has had so far.
double CpuSeconds(pid_t pid)
{
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string text((std::istreambuf_iterator<char>(stat)), std::istreambuf_iterator<char>());
    std::istringstream fields(text.substr(text.rfind(')') + 2));
    std::string field;
    double ticks = 0;
    for (int k = 3; k <= 15 && fields >> field; ++k)
        if (k >= 14)
            ticks += std::atof(field.c_str());   // user and system time
    return ticks / double(::sysconf(_SC_CLK_TCK));
}

class Attacks : public ::testing::Test {
protected:
    TempFolder Folder;
    std::filesystem::path Database = Folder / "records.db";
    RecordsServerProcess Server{Database, RecordsBinary,
                                {"--max-connections", std::to_string(MaxConnections), "--request-deadline",
                                 std::to_string(Deadline.count())}};

    std::int64_t Stored() { return SqliteStore(Database).Count().HumanResults; }

    // A normal client's publish, and how long its answer took.
    std::chrono::milliseconds NormalPublish(int& status)
    {
        const auto start = std::chrono::steady_clock::now();
        status = LoopbackGet(Server.Port(), PublishAnn, 5s).Status;
        return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start);
    }
};

TEST_F(Attacks, EachMalformedOrOversizedRequestGetsItsStatusAndStoresNothing)
{
    const std::string head = "GET " + PublishAnn + " HTTP/1.1\r\nHost: x\r\n";
    const struct {
        const char* name;
        std::string bytes;
        std::vector<int> statuses;
    } cases[] = {
        {"a body announced on a GET path", head + "Content-Length: 500000000\r\n\r\n" + std::string(65536, 'x'), {413}},
        {"a chunked body", head + "Transfer-Encoding: chunked\r\n\r\n5\r\nhello\r\n0\r\n\r\n", {413}},
        {"a header block over 16 KB", head + "X-Big: " + std::string(20000, 'a') + "\r\n\r\n", {431}},
        {"too many header lines", [&] {
             std::string many = head;
             for (int i = 0; i < 200; ++i)
                 many += "X-" + std::to_string(i) + ": 1\r\n";
             return many + "\r\n";
         }(), {431}},
        {"a URL over 8 KB", "GET /datas/html/add.php?name=" + std::string(9000, 'a') + " HTTP/1.1\r\n\r\n", {414}},
        {"HEAD on the publish address", "HEAD " + PublishAnn + " HTTP/1.1\r\nHost: x\r\nConnection: close\r\n\r\n", {405}},
        {"no Host", "GET " + PublishAnn + " HTTP/1.1\r\n\r\n", {400}},
        {"no version", "GET " + PublishAnn + "\r\n\r\n", {400}},
        {"HTTP/2.0", "GET " + PublishAnn + " HTTP/2.0\r\n\r\n", {505}},
        {"a folded header", head + "X-A: 1\r\n  folded\r\n\r\n", {400}},
        {"a control byte in a header", head + "X-A: a\x01" "b\r\n\r\n", {400}},
    };
    for (const auto& c : cases) {
        const int sock = Connect(Server.Port());
        ASSERT_GE(sock, 0);
        SendAll(sock, c.bytes);
        const std::string answer = ReadAll(sock);
        ::close(sock);
        EXPECT_EQ(Statuses(answer), c.statuses) << c.name << "\n" << answer.substr(0, 200);
        EXPECT_NE(answer.find("Connection: close"), std::string::npos) << c.name;
    }
    EXPECT_EQ(Stored(), 0);
    EXPECT_LT(PeakMegabytes(Server.Pid()), 64);
}

TEST_F(Attacks, PipelinedRequestsAreAllAnsweredInOrder)
{
    const int sock = Connect(Server.Port());
    ASSERT_GE(sock, 0);
    const std::string page = "GET /view.php?v=results HTTP/1.1\r\nHost: x\r\n\r\n";
    const std::string requests = page + "GET " + PublishAnn + " HTTP/1.1\r\nHost: x\r\n\r\n" + page +
                                 "GET /nothing HTTP/1.1\r\nHost: x\r\n\r\n"
                                 "HEAD / HTTP/1.1\r\nHost: x\r\nConnection: close\r\n\r\n";
    ASSERT_TRUE(SendAll(sock, requests));
    const std::string answers = ReadAll(sock);
    ::close(sock);
    EXPECT_EQ(Statuses(answers), (std::vector<int>{200, 200, 200, 404, 200}));
    const std::size_t stored = answers.find("Stored"), shown = answers.find(">Ann<");
    EXPECT_LT(stored, answers.find("Not found")) << "the publish's answer before the next";
    EXPECT_TRUE(shown != std::string::npos && shown > stored) << "the page asked for after the publish shows it";
    EXPECT_EQ(answers.substr(answers.size() - 4), "\r\n\r\n") << "HEAD: no body";
    EXPECT_EQ(Stored(), 1);
}

// Whether the server closes the connection within the time, saying nothing.
bool ClosedQuietly(int sock, std::chrono::milliseconds limit)
{
    pollfd ready{sock, POLLIN, 0};
    char byte;
    return ::poll(&ready, 1, int(limit.count())) == 1 && ::recv(sock, &byte, 1, 0) == 0;
}

// A full house, silent connections, and clients that send their heads a
// byte at a time: one connection too many is turned away at once, a normal
// client is served at once all the while, the slow ones get 408 at their
// deadline and the silent ones are let go without a word.
TEST_F(Attacks, SilentAndSlowClientsHoldUpNobody)
{
    std::vector<int> silent, slow, more;
    for (int i = 0; i < MaxConnections - 8; ++i)
        silent.push_back(Connect(Server.Port()));
    for (int i = 0; i < 4; ++i)
        slow.push_back(Connect(Server.Port()));
    for (int i = 0; i < 4; ++i)
        more.push_back(Connect(Server.Port()));
    const int extra = Connect(Server.Port());
    EXPECT_EQ(Statuses(ReadAll(extra, 1s)), std::vector<int>{503}) << "the house is full";
    ::close(extra);
    for (int sock : more)
        ::close(sock);
    std::this_thread::sleep_for(50ms);   // the server sees them go

    const std::string head = "GET " + PublishAnn + " HTTP/1.1\r\nHost: x\r\n\r\n";
    std::atomic<bool> dripping = true;
    std::thread drip([&] {
        for (std::size_t at = 0; dripping && at < head.size(); ++at) {
            for (int sock : slow)
                ::send(sock, head.data() + at, 1, MSG_NOSIGNAL);
            std::this_thread::sleep_for(100ms);
        }
    });
    int status = 0;
    for (int i = 0; i < 3; ++i) {
        EXPECT_LT(NormalPublish(status).count(), 200) << "a normal client is not held up";
        EXPECT_EQ(status, 200);
    }
    for (int sock : slow)
        EXPECT_EQ(Statuses(ReadAll(sock, 3s)), std::vector<int>{408}) << "a head must come in time";
    dripping = false;
    drip.join();
    for (int sock : silent)
        EXPECT_TRUE(ClosedQuietly(sock, 3s));
    EXPECT_LT(NormalPublish(status).count(), 200);
    EXPECT_EQ(status, 200);
    for (const auto& list : {silent, slow})
        for (int sock : list)
            ::close(sock);
    EXPECT_EQ(Stored(), 4);
}

// Clients that pipeline page after page and never read what comes back:
// each is read no further while its answers wait, and let go once it has
// not taken an answer within the deadline, so the server stays small and a
// normal client is served again within seconds.
TEST(NonReadingClients, AreLetGoAtTheirDeadlineAndHoldNoMemory)
{
    TempFolder folder;
    // Memory the sanitizer keeps back after it is freed is not the server's.
    const char* const before = std::getenv("ASAN_OPTIONS");
    const std::string sanitizer = before ? before : "";
    ::setenv("ASAN_OPTIONS", (sanitizer + (sanitizer.empty() ? "" : ":") + "quarantine_size_mb=4").c_str(), 1);
    RecordsServerProcess server(folder / "records.db", RecordsBinary,
                                {"--max-connections", "64", "--request-deadline", "2000"});
    ::setenv("ASAN_OPTIONS", sanitizer.c_str(), 1);
    // A page of thirty rows: answers the kernel's buffers cannot all take.
    for (int k = 0; k < 30; ++k)
        ASSERT_EQ(LoopbackGet(server.Port(), "/datas/html/add.php?name=Player" + std::to_string(k) + "&self=" +
                                                 std::to_string(k) + "&autopilot=-")
                      .Status,
                  200);
    const auto pipelined = [](int requests) {
        std::string pipeline;
        for (int k = 0; k < requests; ++k)
            pipeline += "GET /view.php?v=results HTTP/1.1\r\nHost: x\r\n\r\n";
        return pipeline;
    };
    const auto nonReader = [&](const std::string& pipeline) {
        const int sock = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        const int small = 4096;
        ::setsockopt(sock, SOL_SOCKET, SO_RCVBUF, &small, sizeof small);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(static_cast<std::uint16_t>(server.Port()));
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        EXPECT_EQ(::connect(sock, reinterpret_cast<const sockaddr*>(&address), sizeof address), 0);
        // As much of it as the server takes.
        ::fcntl(sock, F_SETFL, O_NONBLOCK);
        for (std::size_t sent = 0; sent < pipeline.size();) {
            const ssize_t n = ::send(sock, pipeline.data() + sent, pipeline.size() - sent, MSG_NOSIGNAL);
            if (n <= 0)
                break;
            sent += std::size_t(n);
        }
        return sock;
    };
    // One whose answers wait, with more requests than the server holds: the
    // server sleeps meanwhile, reading nothing.
    const int first = nonReader(pipelined(10000));
    std::this_thread::sleep_for(700ms);
    const double cpu = CpuSeconds(server.Pid());
    std::this_thread::sleep_for(1s);
    EXPECT_LT(CpuSeconds(server.Pid()) - cpu, 0.5) << "seconds of CPU in a second of waiting";
    ::close(first);

    std::vector<int> writers;
    const std::string pipeline = pipelined(2000);
    for (int k = 0; k < 64; ++k)
        writers.push_back(nonReader(pipeline));
    const auto start = std::chrono::steady_clock::now();
    int status = 0;
    while (status != 200 && std::chrono::steady_clock::now() - start < 8s) {
        status = LoopbackGet(server.Port(), "/view.php?v=results", 2s).Status;
        if (status != 200)
            std::this_thread::sleep_for(100ms);
    }
    EXPECT_EQ(status, 200);
    EXPECT_LT(std::chrono::steady_clock::now() - start, 5s);
    EXPECT_LT(PeakMegabytes(server.Pid()), 64) << "MB at the peak";
    for (int sock : writers)
        ::close(sock);
}

// Another program holds the database's write lock: publishes wait for it,
// the page does not.
TEST_F(Attacks, APageNeverWaitsBehindAWrite)
{
    sqlite3* other = nullptr;
    ASSERT_EQ(sqlite3_open(Database.c_str(), &other), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(other, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr), SQLITE_OK);
    std::atomic<int> publishStatus = 0;
    std::thread publisher([&] { publishStatus = LoopbackGet(Server.Port(), PublishAnn, 10s).Status; });
    std::this_thread::sleep_for(200ms);
    const auto start = std::chrono::steady_clock::now();
    const LoopbackAnswer page = LoopbackGet(Server.Port(), "/view.php?v=results", 5s);
    EXPECT_EQ(page.Status, 200) << page.Error;
    EXPECT_LT(std::chrono::steady_clock::now() - start, 200ms);
    EXPECT_EQ(publishStatus, 0) << "the publish waits for the lock";
    sqlite3_exec(other, "COMMIT", nullptr, nullptr, nullptr);
    sqlite3_close(other);
    publisher.join();
    EXPECT_EQ(publishStatus, 200);
    EXPECT_EQ(Stored(), 1);
}

// Publishes from many clients at once go in shared transactions; each
// acknowledged one is in the database even when the server is killed.
TEST_F(Attacks, NoAcknowledgedPublishIsLostToSigkill)
{
    std::atomic<int> acknowledged = 0;
    std::atomic<bool> going = true;
    std::vector<std::thread> clients;
    for (int c = 0; c < 8; ++c)
        clients.emplace_back([&, c] {
            for (int i = 0; going && i < 400; ++i) {
                const std::string name = std::string("P").append(std::to_string(c)).append("x").append(std::to_string(i));
                if (LoopbackGet(Server.Port(), "/datas/html/add.php?name=" + name + "&self=1&autopilot=-", 2s)
                        .Status == 200)
                    ++acknowledged;
            }
        });
    std::this_thread::sleep_for(400ms);
    Server.Stop(SIGKILL);
    going = false;
    for (std::thread& client : clients)
        client.join();
    EXPECT_GT(acknowledged, 0);
    EXPECT_GE(Stored(), acknowledged);
}

TEST_F(Attacks, RequestBytesAreEscapedInTheLog)
{
    LoopbackGet(Server.Port(), "/caf\xc3\xa9\\x0a", 2s);
    std::this_thread::sleep_for(100ms);
    EXPECT_NE(Server.Log().find("GET /caf\\xc3\\xa9\\x5cx0a 404 "), std::string::npos) << Server.Log();
}

// The web edition's code, a file of megabytes, to clients on slow links and
// to clients that take none of it.
constexpr std::size_t CodeBytes = 7u << 20;

std::string Code()
{
    std::string code(CodeBytes, '\0');
    for (std::size_t k = 0; k < code.size(); ++k)
        code[k] = char(k * 131 % 251);
    return code;
}

// A client whose socket takes little at a time, in small segments (so
// that the server's socket does not grow to hold most of a long answer);
// the request sent.
int AskWithSmallWindow(int port, const std::string& request)
{
    const int sock = Connect(port, [](int fresh) {
        const int small = 65536, segment = 1024;
        ::setsockopt(fresh, SOL_SOCKET, SO_RCVBUF, &small, sizeof small);
        ::setsockopt(fresh, IPPROTO_TCP, TCP_MAXSEG, &segment, sizeof segment);
    });
    EXPECT_GE(sock, 0);
    EXPECT_TRUE(SendAll(sock, request));
    return sock;
}

const std::string AskCode = "GET /vantorix2.wasm HTTP/1.1\r\nHost: x\r\nConnection: close\r\n\r\n";

// Seconds in all, far longer than the deadline and than the server's socket
// holds, but never a deadline without taking some.
TEST(LongWebFile, ComesWholeToAClientThatTakesItSlowly)
{
    TempFolder folder;
    std::filesystem::create_directories(folder / "web");
    WriteBytes(folder / "web" / "vantorix2.wasm", Code());
    RecordsServerProcess server(folder / "records.db", RecordsBinary,
                                {"--request-deadline", "500", "--web", (folder / "web").string()});
    const int sock = AskWithSmallWindow(server.Port(), AskCode);
    std::string got;
    char buffer[131072];
    for (const auto end = std::chrono::steady_clock::now() + 60s; std::chrono::steady_clock::now() < end;) {
        pollfd ready{sock, POLLIN, 0};
        if (::poll(&ready, 1, 5000) <= 0)
            break;
        const ssize_t n = ::recv(sock, buffer, sizeof buffer, 0);
        if (n <= 0)
            break;
        got.append(buffer, std::size_t(n));
        std::this_thread::sleep_for(50ms);
    }
    ::close(sock);
    const std::size_t body = got.find("\r\n\r\n");
    ASSERT_NE(body, std::string::npos);
    EXPECT_EQ(got.size() - body - 4, CodeBytes) << "bytes of the file taken before the server let go";
    EXPECT_TRUE(got.compare(body + 4, std::string::npos, Code()) == 0);
}

TEST(LongWebFile, IsHeldOnceForAllTheClientsThatTakeNoneOfIt)
{
    TempFolder folder;
    std::filesystem::create_directories(folder / "web");
    WriteBytes(folder / "web" / "vantorix2.wasm", Code());
    const char* const before = std::getenv("ASAN_OPTIONS");
    const std::string sanitizer = before ? before : "";
    ::setenv("ASAN_OPTIONS", (sanitizer + (sanitizer.empty() ? "" : ":") + "quarantine_size_mb=4").c_str(), 1);
    RecordsServerProcess server(folder / "records.db", RecordsBinary,
                                {"--max-connections", "64", "--request-deadline", "2000", "--web",
                                 (folder / "web").string()});
    ::setenv("ASAN_OPTIONS", sanitizer.c_str(), 1);
    std::vector<int> stalled;
    for (int k = 0; k < 48; ++k)
        stalled.push_back(AskWithSmallWindow(server.Port(), AskCode));
    std::this_thread::sleep_for(500ms);
    // A copy each would be 336 MB.
    EXPECT_LT(PeakMegabytes(server.Pid()), 64) << "MB at the peak";
    const LoopbackAnswer whole = LoopbackGet(server.Port(), "/vantorix2.wasm");
    EXPECT_EQ(whole.Status, 200) << whole.Error;
    EXPECT_TRUE(whole.Body == Code()) << whole.Body.size() << " bytes";
    for (int sock : stalled)
        ::close(sock);
}

}  // namespace
