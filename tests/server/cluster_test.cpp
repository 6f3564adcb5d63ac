// Two vantorix2-records on one PostgreSQL database behind nginx with the
// shipped site configuration, everything on 127.0.0.1.

#include <gtest/gtest.h>

#include <libpq-fe.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <map>
#include <regex>
#include <thread>

#include "server/records_store.h"
#include "server_process.h"
#include "storage/temp_folder.h"
#include "support/postgres_cluster.h"

using namespace records_server_test;

namespace {

const std::string Publish = "/datas/html/add.php?";
const std::string Results = "/view.php?v=results";

bool WaitFor(const std::function<bool()>& done, std::chrono::milliseconds limit = 5s)
{
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (!done()) {
        if (std::chrono::steady_clock::now() >= deadline)
            return false;
        std::this_thread::sleep_for(50ms);
    }
    return true;
}

bool Lists(const std::string& page, const std::string& name)
{
    return page.find("<td class=\"name\">" + name + "</td>") != std::string::npos;
}


// Replaces every match of pattern; throws when there is none, so that a
// site file changed out of this shape fails loudly.
std::string ReplaceAll(const std::string& text, const std::string& pattern, const std::string& replacement)
{
    const std::regex expression(pattern, std::regex::multiline);
    if (!std::regex_search(text, expression))
        throw std::runtime_error("the site file has no '" + pattern + "'");
    return std::regex_replace(text, expression, replacement);
}

// The commented-out HTTPS server of the site, uncommented as the operator would.
std::string UncommentHttps(const std::string& site)
{
    const std::size_t start = site.find("\n# server {\n");
    const std::size_t end = site.find("\n# }\n", start);
    if (start == std::string::npos || end == std::string::npos)
        throw std::runtime_error("the site file has no commented-out server block");
    std::string block = site.substr(start + 1, end + 4 - start);
    block = std::regex_replace(block, std::regex("^# ?", std::regex::multiline), "");
    return site.substr(0, start + 1) + block + site.substr(end + 5);
}

// nginx with the shipped site, on 127.0.0.1: the upstream's two instances
// replaced by the given ports, its listen line by a free port, and with
// Https its HTTPS server uncommented with a fresh self-signed certificate.
// The process ends with the test's process if that dies first.
class Nginx {
public:
    Nginx(int firstInstance, int secondInstance, bool https = false)
    {
        // Run as root, the workers are nobody's and need to get in.
        if (::geteuid() == 0)
            std::filesystem::permissions(Folder.Path, std::filesystem::perms(0755));
        std::string site = ReadBytes(VANTORIX2_NGINX_SITE);
        site = ReplaceAll(site, "127\\.0\\.0\\.1:8642\\b", "127.0.0.1:" + std::to_string(firstInstance));
        site = ReplaceAll(site, "127\\.0\\.0\\.1:8643\\b", "127.0.0.1:" + std::to_string(secondInstance));
        if (https) {
            const std::string make = std::string(VANTORIX2_OPENSSL) +
                                     " req -x509 -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes -days 2"
                                     " -subj /CN=127.0.0.1 -keyout '" + (Folder / "key.pem").string() + "' -out '" +
                                     (Folder / "cert.pem").string() + "' >/dev/null 2>&1";
            if (std::system(make.c_str()) != 0)
                throw std::runtime_error("openssl could not make a certificate");
            site = UncommentHttps(site);
            site = ReplaceAll(site, "ssl_certificate\\s+[^;]+;",
                              "ssl_certificate " + (Folder / "cert.pem").string() + ";");
            site = ReplaceAll(site, "ssl_certificate_key\\s+[^;]+;",
                              "ssl_certificate_key " + (Folder / "key.pem").string() + ";");
        }
        for (int attempt = 0; attempt < 5 && !Running; ++attempt) {
            HttpPort = FreeLoopbackPort();
            TlsPort = https ? FreeLoopbackPort() : 0;
            const std::string loopback = "$1listen 127.0.0.1:";
            std::string mine = ReplaceAll(site, "^(\\s*)listen\\s+[0-9]+;", loopback + std::to_string(HttpPort) + ";");
            if (https)
                mine = ReplaceAll(mine, "^(\\s*)listen\\s+443\\s+ssl;", loopback + std::to_string(TlsPort) + " ssl;");
            std::ofstream(Folder / "site.conf") << mine;
            WriteMainConfig();
            Start();
        }
        if (!Running)
            throw std::runtime_error("nginx did not start: " + ReadBytes(Folder / "error.log"));
    }
    // TERM: the master stops its workers too, which a KILL would leave behind.
    ~Nginx() { Process->Stop(SIGTERM, 10s); }
    Nginx(const Nginx&) = delete;
    Nginx& operator=(const Nginx&) = delete;

    int Port() const { return HttpPort; }
    int HttpsPort() const { return TlsPort; }

private:
    void WriteMainConfig()
    {
        const std::string dir = Folder.Path.string();
        std::ofstream conf(Folder / "nginx.conf");
        if (::geteuid() == 0)
            conf << "user nobody nogroup;\n";
        conf << "worker_processes 1;\n"
             << "pid " << dir << "/nginx.pid;\n"
             << "error_log " << dir << "/error.log warn;\n"
             << "events { worker_connections 512; }\n"
             << "http {\n"
             << "  access_log " << dir << "/access.log;\n"
             << "  client_body_temp_path " << dir << "/body;\n"
             << "  proxy_temp_path " << dir << "/proxy;\n"
             << "  fastcgi_temp_path " << dir << "/fastcgi;\n"
             << "  uwsgi_temp_path " << dir << "/uwsgi;\n"
             << "  scgi_temp_path " << dir << "/scgi;\n"
             << "  include " << dir << "/site.conf;\n"
             << "}\n";
    }

    void Start()
    {
        const std::string dir = Folder.Path.string();
        Process.emplace(VANTORIX2_NGINX, std::vector<std::string>{"-p", dir + "/", "-c", dir + "/nginx.conf", "-e",
                                                                   dir + "/error.log", "-g", "daemon off;"});
        Process->CollectStderr();
        // Up once both ports take connections; a port taken meanwhile ends it.
        Running = WaitFor([&] {
            if (Process->WaitExit(0ms))
                return true;
            for (int port : {HttpPort, TlsPort}) {
                const int sock = port ? Connect(port) : 0;
                if (sock < 0)
                    return false;
                if (port)
                    ::close(sock);
            }
            return true;
        }, 10s) && !Process->WaitExit(0ms);
        if (!Running)
            Process.reset();
    }

    TempFolder Folder;
    // Declared after the folder: stopped before it is removed.
    std::optional<ChildProcess> Process;
    int HttpPort = 0;
    int TlsPort = 0;
    bool Running = false;
};

// What comes back over TLS from 127.0.0.1:port for one request, through openssl s_client.
LoopbackAnswer HttpsGet(int port, const std::string& target)
{
    const std::string command = "printf 'GET " + target +
                                " HTTP/1.1\\r\\nHost: 127.0.0.1\\r\\nConnection: close\\r\\n\\r\\n' | timeout 20 " +
                                VANTORIX2_OPENSSL + " s_client -connect 127.0.0.1:" + std::to_string(port) +
                                " -quiet 2>/dev/null";
    LoopbackAnswer answer;
    std::string raw;
    if (FILE* pipe = ::popen(command.c_str(), "r")) {
        char buffer[4096];
        while (const std::size_t got = std::fread(buffer, 1, sizeof buffer, pipe))
            raw.append(buffer, got);
        ::pclose(pipe);
    }
    const std::size_t head = raw.find("\r\n\r\n");
    if (raw.rfind("HTTP/1.1 ", 0) == 0 && head != std::string::npos) {
        answer.Status = std::atoi(raw.c_str() + 9);
        answer.Body = raw.substr(head + 4);
    }
    return answer;
}

class RecordsCluster : public ::testing::Test {
protected:
    std::string Database = PostgresCluster::Shared().CreateDatabase();
    std::optional<RecordsServerProcess> First{std::in_place, Database};
    std::optional<RecordsServerProcess> Second{std::in_place, Database};

    std::string Page(int port)
    {
        const LoopbackAnswer page = LoopbackGet(port, Results);
        return page.Status == 200 ? page.Body : std::string();
    }
};

TEST_F(RecordsCluster, PublishesThroughNginxReachBothInstancesAndEveryPageShowsThem)
{
    const Nginx nginx(First->Port(), Second->Port());
    std::vector<std::string> names;
    for (int k = 0; k < 10; ++k) {
        names.push_back("Pub" + std::to_string(k));
        const LoopbackAnswer answer = LoopbackGet(nginx.Port(), Publish + "name=" + names.back() + "&self=" +
                                                                    std::to_string(100 + k) + "&autopilot=-");
        ASSERT_EQ(answer.Status, 200) << answer.Error << answer.Body;
    }
    for (RecordsServerProcess* instance : {&*First, &*Second})
        EXPECT_NE(instance->Log().find("GET /datas/html/add.php?"), std::string::npos)
            << "an instance took no publish:\n" << instance->Log();

    // The instance that did not store a row renders it within PageMaxAge.
    for (const int port : {nginx.Port(), First->Port(), Second->Port()}) {
        std::string page;
        EXPECT_TRUE(WaitFor([&] {
            page = Page(port);
            return std::all_of(names.begin(), names.end(), [&](const std::string& name) { return Lists(page, name); });
        })) << "port " << port << ":\n" << page;
    }
}

TEST_F(RecordsCluster, PassesOnlyTheSitesAddressesAndStopsOversizedRequestsAtNginx)
{
    const Nginx nginx(First->Port(), Second->Port());
    struct Case {
        std::string Method, Target;
        std::string Body;       // sent with its Content-Length when not empty
        std::string Headers;    // more header lines
        int Status;
        bool Reaches;           // an instance logs it
    };
    std::string manyHeaders;
    for (int k = 0; k < 20; ++k)
        manyHeaders += "X-Pad-" + std::to_string(k) + ": " + std::string(1000, 'p') + "\r\n";
    const std::string probe = "probe=";
    const std::vector<Case> all = {
        {"GET", "/?", "", "", 200, true},
        {"GET", "/view.php?v=nothing&", "", "", 404, true},   // the instance's own 404
        {"POST", "/datas/html/replay.php?publisher=A&", std::string(64 * 1024, 'x'), "", 400, true},
        {"GET", "/view.php?v=results&", "", "X-Pad: " + std::string(7000, 'p') + "\r\n", 200, true},
        {"GET", "/index.html?", "", "", 404, false},
        {"GET", "/datas/html/?", "", "", 404, false},
        {"GET", "/datas/html/add.php.bak?name=A&self=1&autopilot=-&", "", "", 404, false},
        {"GET", "/view.php/x?v=results&", "", "", 404, false},
        {"GET", "/datas/html/replay.phpx?id=1&", "", "", 404, false},
        {"GET", "/.git/config?", "", "", 404, false},
        {"POST", "/datas/html/replay.php?publisher=A&", std::string(64 * 1024 + 1, 'x'), "", 413, false},
        {"GET", "/datas/html/add.php?name=Big&self=1&autopilot=-&", std::string(2048, 'x'), "", 413, false},
        {"GET", "/view.php?v=results&pad=" + std::string(9000, 'a') + "&", "", "", 414, false},
        {"GET", "/view.php?v=results&", "", "X-Pad: " + std::string(9000, 'p') + "\r\n", 400, false},
        {"GET", "/view.php?v=results&", "", manyHeaders, 400, false},
    };

    for (std::size_t k = 0; k < all.size(); ++k) {
        const Case& c = all[k];
        const std::string target = c.Target + probe + std::to_string(k);
        std::string request =
            c.Method + " " + target + " HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n" + c.Headers;
        if (!c.Body.empty())
            request += "Content-Length: " + std::to_string(c.Body.size()) + "\r\n";
        request += "\r\n" + c.Body;
        const int sock = Connect(nginx.Port());
        ASSERT_GE(sock, 0);
        SendAll(sock, request);
        const std::vector<int> statuses = Statuses(ReadAll(sock, 10s));
        ::close(sock);
        ASSERT_FALSE(statuses.empty()) << c.Target.substr(0, 60);
        EXPECT_EQ(statuses.front(), c.Status) << c.Method << " " << c.Target.substr(0, 60);
    }
    auto logged = [&](std::size_t k) {
        const std::string mark = probe + std::to_string(k) + " ";
        return First->Log().find(mark) != std::string::npos || Second->Log().find(mark) != std::string::npos;
    };
    // Once the passed ones are logged, the others would have been too.
    EXPECT_TRUE(WaitFor([&] {
        for (std::size_t k = 0; k < all.size(); ++k)
            if (all[k].Reaches && !logged(k))
                return false;
        return true;
    })) << First->Log() << Second->Log();
    for (std::size_t k = 0; k < all.size(); ++k)
        EXPECT_EQ(logged(k), all[k].Reaches) << all[k].Method << " " << all[k].Target.substr(0, 60);
}

TEST_F(RecordsCluster, AnInstanceKilledUnderLoadLosesNoAcknowledgedPublish)
{
    const Nginx nginx(First->Port(), Second->Port());
    constexpr int Publishers = 8;
    struct Tally {
        std::vector<std::pair<std::string, int>> Acknowledged;
        std::atomic<int> AfterKill{0};
        std::map<int, int> Refused;   // status (0: no answer): how many
    };
    std::vector<Tally> tallies(Publishers);
    std::atomic<int> scores{0}, acknowledged{0};
    std::atomic<bool> killed{false}, stop{false};
    std::vector<std::thread> publishers;
    // Stopped and joined on any way out of the test.
    struct Join {
        std::atomic<bool>& Stop;
        std::vector<std::thread>& Threads;
        ~Join()
        {
            Stop = true;
            for (std::thread& thread : Threads)
                if (thread.joinable())
                    thread.join();
        }
    } join{stop, publishers};
    for (int t = 0; t < Publishers; ++t)
        publishers.emplace_back([&, t] {
            Tally& tally = tallies[std::size_t(t)];
            for (int n = 0; !stop; ++n) {
                const std::string name = "K" + std::to_string(t) + "n" + std::to_string(n);
                const int score = ++scores;
                const bool late = killed;
                const LoopbackAnswer answer = LoopbackGet(
                    nginx.Port(), Publish + "name=" + name + "&self=" + std::to_string(score) + "&autopilot=-");
                if (answer.Status != 200) {
                    ++tally.Refused[answer.Status];
                    continue;
                }
                tally.Acknowledged.emplace_back(name, score);
                ++acknowledged;
                if (late)
                    ++tally.AfterKill;
            }
        });
    ASSERT_TRUE(WaitFor([&] { return acknowledged >= 60; }, 20s));
    EXPECT_EQ(First->Stop(SIGKILL), 128 + SIGKILL);
    killed = true;
    // Publishing goes on through the other instance.
    EXPECT_TRUE(WaitFor([&] {
        return std::all_of(tallies.begin(), tallies.end(), [](const Tally& tally) { return tally.AfterKill >= 5; });
    }, 20s));
    stop = true;
    for (std::thread& publisher : publishers)
        publisher.join();

    std::vector<std::pair<std::string, int>> all;
    for (const Tally& tally : tallies) {
        all.insert(all.end(), tally.Acknowledged.begin(), tally.Acknowledged.end());
        for (const auto& [status, count] : tally.Refused)
            ADD_FAILURE() << count << " publishes answered " << status << ", not passed to the live instance";
    }
    // Each name was published once: each acknowledged one is stored with its score.
    std::map<std::string, int> stored;
    for (const HumanResult& row : OpenRecordsStore(Database)->BestPlayers(1 << 20))
        stored[row.Name] = row.Score;
    for (const auto& [name, score] : all) {
        const auto found = stored.find(name);
        EXPECT_TRUE(found != stored.end() && found->second == score) << name << " " << score << " acknowledged, lost";
    }
    // A row stored twice is a publish the killed instance committed but
    // never answered, passed on again: one per publisher at most.
    EXPECT_LE(OpenRecordsStore(Database)->Count().HumanResults, std::int64_t(all.size()) + Publishers);
    // The page through nginx shows the best thirty of them.
    std::sort(all.begin(), all.end(), [](const auto& a, const auto& b) { return a.second > b.second; });
    all.resize(std::min<std::size_t>(all.size(), 30));
    std::string page;
    EXPECT_TRUE(WaitFor([&] {
        page = Page(nginx.Port());
        return std::all_of(all.begin(), all.end(), [&](const auto& row) { return Lists(page, row.first); });
    })) << page;
}

TEST_F(RecordsCluster, TheHttpsServerUncommentedServesThePagesButNoPublish)
{
    const Nginx nginx(First->Port(), Second->Port(), true);
    ASSERT_EQ(LoopbackGet(nginx.Port(), Publish + "name=Tls&self=77&autopilot=-").Status, 200);
    LoopbackAnswer page;
    EXPECT_TRUE(WaitFor([&] {
        page = HttpsGet(nginx.HttpsPort(), Results);
        return page.Status == 200 && Lists(page.Body, "Tls");
    })) << page.Status << page.Body;
    EXPECT_EQ(HttpsGet(nginx.HttpsPort(), Publish + "name=Tls2&self=78&autopilot=-").Status, 404);
}

}  // namespace
