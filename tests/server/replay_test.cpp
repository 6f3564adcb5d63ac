// Replays sent to the real vantorix2-records: genuine games of the engine
// verify the results they reach and nothing else; a body is read only where
// one is taken; a slow replay holds up nobody.

#include <gtest/gtest.h>

#include <sqlite3.h>
#include <zlib.h>

#include <atomic>
#include <map>
#include <regex>
#include <thread>

#include "common/score_text.h"
#include "games.h"
#include "server/records_service.h"
#include "server/sqlite_store.h"
#include "server_process.h"
#include "storage/temp_folder.h"

using namespace records_server_test;

namespace {

const std::string ReplayAt = "/datas/html/replay.php";

// Made once: the engine under the sanitizers is slow.
struct Games {
    Replay Ann = PlayerGame(1, 40, "Ann"), AnnShorter = PlayerGame(1, 25, "Ann"), Other = PlayerGame(3, 25, "Ann"),
           Autopilot = AutopilotGame(4, 25);
};
const Games& Made()
{
    static const Games games;
    return games;
}

Replay With(Replay replay, const std::function<void(Replay&)>& change)
{
    change(replay);
    return replay;
}

std::string Score(const Replay& replay)
{
    return std::to_string(replay.Result.Score);
}

using Rows = std::vector<std::vector<std::string>>;

// The data rows of the page's table id ("players", "autopilot"); the last
// cell is the id of the replay its mark downloads, "" when unmarked.
Rows MarkedRows(const std::string& html, const std::string& id)
{
    const std::size_t start = html.find("<table id=\"" + id + "\">");
    const std::string table = html.substr(start, html.find("</table>", start) - start);
    const std::regex row("<tr><td class=\"place\">.*?</tr>"), cell("<td[^>]*>(.*?)</td>"),
        mark("<a href=\"/datas/html/replay\\.php\\?id=([0-9]+)\" title=\"verified: [^\"]+\">\u2713</a>");
    Rows rows;
    for (auto r = std::sregex_iterator(table.begin(), table.end(), row); r != std::sregex_iterator(); ++r) {
        const std::string text = (*r)[0];
        rows.emplace_back();
        for (auto c = std::sregex_iterator(text.begin(), text.end(), cell); c != std::sregex_iterator(); ++c)
            rows.back().push_back((*c)[1]);
        std::smatch found;
        const std::string last = rows.back().back();
        rows.back().back() = std::regex_match(last, found, mark) ? found[1].str() : last;
    }
    return rows;
}

// One number from the database, behind the server's back.
std::int64_t Query(const std::filesystem::path& database, const char* sql)
{
    sqlite3* db = nullptr;
    sqlite3_stmt* statement = nullptr;
    std::int64_t value = -1;
    if (sqlite3_open_v2(database.c_str(), &db, SQLITE_OPEN_READONLY, nullptr) == SQLITE_OK &&
        sqlite3_prepare_v2(db, sql, -1, &statement, nullptr) == SQLITE_OK && sqlite3_step(statement) == SQLITE_ROW)
        value = sqlite3_column_int64(statement, 0);
    sqlite3_finalize(statement);
    sqlite3_close(db);
    return value;
}

class Replays : public ::testing::Test {
protected:
    TempFolder Folder;
    std::filesystem::path Database = Folder / "records.db";
    std::optional<RecordsServerProcess> Server;

    void SetUp() override
    {
        Made();
        Server.emplace(Database, RecordsBinary, std::vector<std::string>{"--request-deadline", "700"});
    }
    int Publish(const std::string& query) { return LoopbackGet(Server->Port(), "/datas/html/add.php?" + query).Status; }
    int PublishPlayer(const Replay& game, const std::string& name = "Ann")
    {
        return Publish("name=" + name + "&self=" + Score(game) + "&autopilot=-");
    }
    LoopbackAnswer Send(const std::string& publisher, const std::string& file)
    {
        return LoopbackPost(Server->Port(), ReplayAt + "?publisher=" + publisher, file);
    }
    LoopbackAnswer Send(const std::string& publisher, const Replay& game) { return Send(publisher, WriteReplay(game)); }
    Rows Shown(const std::string& table, const std::string& view = "results")
    {
        return MarkedRows(LoopbackGet(Server->Port(), "/view.php?v=" + view).Body, table);
    }
};

// A varint of the file written in a longer form, the checksum made good.
std::string Lengthened(const std::string& file)
{
    std::string body = file.substr(0, file.size() - 4);
    const std::size_t seed = 5;   // after the signature and version
    std::size_t end = seed;
    while (static_cast<unsigned char>(body[end]) & 0x80)
        ++end;
    body[end] = static_cast<char>(body[end] | 0x80);
    body.insert(end + 1, 1, '\0');
    const auto sum = crc32(crc32(0, nullptr, 0), reinterpret_cast<const Bytef*>(body.data()), uInt(body.size()));
    for (int k = 0; k < 4; ++k)
        body.push_back(static_cast<char>((sum >> (8 * k)) & 0xFF));
    return body;
}

TEST_F(Replays, EachReplayIsAnsweredByWhatItProvesAndOnlyAGenuineOneIsMarked)
{
    const Games& games = Made();
    const Replay forged = With(games.Ann, [](Replay& r) { r.Result.Score += 1000; });
    const Replay tampered = With(games.Ann, [](Replay& r) {
        std::find_if(r.Events.begin(), r.Events.end(), [](const ReplayEvent& e) {
            return e.Kind == ReplayEventKind::MoveLeft;
        })->Kind = ReplayEventKind::MoveRight;
    });
    const Replay stolen = With(games.Ann, [](Replay& r) { r.Result.Name = "Mallory"; });
    const Replay renumbered = With(stolen, [](Replay& r) { r.GameNumber += 1; });
    const Replay cutShort = With(games.AnnShorter, [](Replay& r) { r.Result.Name = "Mallory"; });
    const Replay autopilotAsPlayer = With(games.Autopilot, [](Replay& r) { r.Result.Name = "Alice"; });
    std::string damaged = WriteReplay(games.Ann);
    damaged[damaged.size() / 2] ^= 0x55;
    for (const auto& [name, game] : std::vector<std::pair<std::string, const Replay*>>{
             {"Ann", &forged}, {"Ann", &games.Ann}, {"Mallory", &stolen}, {"Mallory", &cutShort},
             {"Alice", &autopilotAsPlayer}})
        ASSERT_EQ(PublishPlayer(*game, name), 200) << name;
    for (const char* publisher : {"%C0%ED%FF", "Eve"})
        ASSERT_EQ(Publish(std::string("name=") + publisher + "&self=&autopilot=" + Score(games.Autopilot)), 200);
    const std::string ann = WriteReplay(games.Ann), autopilot = WriteReplay(games.Autopilot);
    const struct {
        const char* name;
        std::string publisher, file;
        int status;
        std::string says;
    } cases[] = {
        {"a forged score", "Ann", WriteReplay(forged), 422, "score " + Score(games.Ann) + " (it says "},
        {"a tampered event", "Ann", WriteReplay(tampered), 422, ""},
        {"other rules", "Ann", WriteReplay(With(games.Ann, [](Replay& r) { r.Rules.BaseInterval = 900; })), 422,
         "not played by the standard rules"},
        {"far into the random source", "Ann",
         WriteReplay(With(games.Ann, [](Replay& r) { r.DrawsBefore = std::uint64_t(1) << 40; })), 422, "random source"},
        {"claims its events cannot reach", "Ann",
         WriteReplay(With(games.Ann, [](Replay& r) { r.Result.Landings += 1; })), 422, "landing reactions"},
        {"a damaged file", "Ann", damaged, 400, "checksum"},
        {"the file with a number in a longer form", "", Lengthened(ann), 400, "shortest form"},
        {"no replay", "Ann", "GIF89a", 400, "signature"},
        {"an empty body", "Ann", "", 400, ""},
        {"a game nobody published", "Ann", WriteReplay(games.Other), 404, "No published score matches"},
        {"the autopilot's, another publisher", "Bob", autopilot, 404, ""},
        {"a publisher out of the rules", "A%0Ab", autopilot, 400, "publisher"},
        {"an autopilot game as a player's", "Alice", WriteReplay(autopilotAsPlayer), 422, "autopilot played"},
        {"the genuine game", "", ann, 200, "Verified: " + Score(games.Ann) + " of Ann.\n"},
        {"the autopilot's, its publisher", "%C0%ED%FF", autopilot, 200, "of AUTOPILOT.\n"},
        {"the genuine game again", "", ann, 200, "Verified"},
        {"the same game renumbered", "", WriteReplay(With(games.Ann, [](Replay& r) { r.GameNumber += 3; })), 200,
         "Verified"},
        {"the genuine game under another name", "", WriteReplay(stolen), 409, "another result"},
        {"that, renumbered", "", WriteReplay(renumbered), 409, "another result"},
        {"that, cut short", "", WriteReplay(cutShort), 409, "another result"},
        {"the autopilot's, for another publisher", "Eve", autopilot, 409, "another result"},
    };
    for (const auto& c : cases) {
        const LoopbackAnswer answer = Send(c.publisher, c.file);
        EXPECT_EQ(answer.Status, c.status) << c.name << ": " << answer.Body << answer.Error;
        EXPECT_NE(answer.Body.find(c.says), std::string::npos) << c.name << ": " << answer.Body;
    }
    EXPECT_EQ(SqliteStore(Database).Count().Replays, 2) << "each game is kept once";

    // The forged score is shown as the best, without a mark; nobody else's is marked.
    const Rows verified = Shown("players", "verified");
    ASSERT_EQ(verified.size(), 1u);
    EXPECT_EQ(verified[0][2], FormatScore(games.Ann.Result.Score));
    EXPECT_NE(verified[0][3], "");
    const Rows players = Shown("players");
    ASSERT_EQ(players.size(), 3u);
    for (const auto& row : players) {
        EXPECT_EQ(row[3], "") << row[1];
        if (row[1] == "Ann") {
            EXPECT_EQ(row[2], FormatScore(forged.Result.Score));
        }
    }
    const Rows marked = Shown("autopilot");
    ASSERT_EQ(marked.size(), 2u);
    EXPECT_EQ(marked[0][2], "Аня");
    EXPECT_NE(marked[0][3], "");
    EXPECT_EQ(marked[1][3], "");
}

// Which row a replay marks is the store's rule (store_test.cpp); here what
// the site shows of it.
TEST_F(Replays, AVerifiedRowShowsAtOnceAndItsReplayDownloadsAsSent)
{
    const Replay& game = Made().Ann;
    ASSERT_EQ(PublishPlayer(game), 200);
    const std::string first = WriteReplay(game);
    ASSERT_EQ(Send("", first).Status, 200);
    const Rows shown = Shown("players");
    ASSERT_EQ(shown.size(), 1u);
    ASSERT_NE(shown[0][3], "") << "the mark shows on the next page";

    const LoopbackAnswer download = LoopbackGet(Server->Port(), ReplayAt + "?id=" + shown[0][3]);
    EXPECT_EQ(download.Status, 200);
    EXPECT_EQ(download.Body, first);
    EXPECT_EQ(download.ContentType, "application/octet-stream");
    EXPECT_EQ(download.Header("content-disposition"), "attachment; filename=\"vantorix2-" + shown[0][3] + ".vxr\"");
    for (const std::string& query : std::vector<std::string>{"?id=999", "?id=0", "?id=0" + shown[0][3], "?id=x", "", "?id=1&id=1"})
        EXPECT_EQ(LoopbackGet(Server->Port(), ReplayAt + query).Status, 404) << query;
    EXPECT_EQ(LoopbackGet(Server->Port(), "/view.php?v=verified&v=results").Status, 404);
    for (const char* method : {"HEAD", "PUT"}) {
        const LoopbackAnswer answer = LoopbackRequest(Server->Port(), method, ReplayAt + "?id=1", std::nullopt);
        EXPECT_EQ(answer.Status, 405) << method;
        EXPECT_EQ(answer.Header("allow"), "GET, POST") << method;
    }
    EXPECT_NE(LoopbackGet(Server->Port(), "/").Body.find("href=\"/view.php?v=verified\""), std::string::npos);
}

// With the web edition served, the mark plays the game in the browser and
// the download of the same replay stays beside it.
TEST_F(Replays, WithTheWebEditionTheMarkWatchesTheGameAndTheDownloadStays)
{
    std::filesystem::create_directories(Folder / "web");
    WriteBytes(Folder / "web" / "watch.html", "<!DOCTYPE html><p>watch</p>");
    ASSERT_EQ(Server->Stop(), 0);
    Server.emplace(Database, RecordsBinary,
                   std::vector<std::string>{"--request-deadline", "700", "--web", (Folder / "web").string()});
    const Replay& game = Made().Ann;
    ASSERT_EQ(PublishPlayer(game), 200);
    const std::string file = WriteReplay(game);
    ASSERT_EQ(Send("", file).Status, 200);
    const std::regex mark("<td class=\"mark\"><a href=\"(/watch\\.html\\?id=([0-9]+))\" title=\"verified: [^\"]+ "
                          "\\(play the game in the browser\\)\">\u2713</a><a class=\"download\" "
                          "href=\"(/datas/html/replay\\.php\\?id=([0-9]+))\" title=\"download the replay\">\u2193</a></td>");
    for (const char* view : {"results", "verified"}) {
        const std::string page = LoopbackGet(Server->Port(), std::string("/view.php?v=") + view).Body;
        std::smatch found;
        ASSERT_TRUE(std::regex_search(page, found, mark)) << page;
        EXPECT_EQ(found[2], found[4]) << "the same replay";
        const LoopbackAnswer watch = LoopbackGet(Server->Port(), found[1]);
        EXPECT_EQ(watch.Status, 200);
        EXPECT_EQ(watch.Body, "<!DOCTYPE html><p>watch</p>");
        const LoopbackAnswer download = LoopbackGet(Server->Port(), found[3]);
        EXPECT_EQ(download.Status, 200);
        EXPECT_EQ(download.Body, file);
    }
}

TEST_F(Replays, ABodyIsReadOnlyWhereTakenWholeAndInTime)
{
    const std::string post = "POST " + ReplayAt + "?publisher=Ann HTTP/1.1\r\nHost: x\r\n";
    const std::string chunked = "Transfer-Encoding: chunked\r\n\r\n5\r\nhello\r\n0\r\n\r\n";
    const struct {
        const char* name;
        std::string bytes;
        std::vector<int> statuses;
    } cases[] = {
        {"a length over 64 KiB, no body sent", post + "Content-Length: 65537\r\n\r\n", {413}},
        {"chunked", post + chunked, {411}},
        {"chunked with a length too", post + "Content-Length: 5\r\n" + chunked, {411}},
        {"no length", post + "\r\n", {411}},
        {"two lengths", post + "Content-Length: 4\r\nContent-Length: 5\r\n\r\nVXRPx", {400}},
        {"two lengths on a GET", "GET / HTTP/1.1\r\nHost: x\r\nContent-Length: 0\r\nContent-Length: 5\r\n\r\nabcde",
         {400}},
        {"the head, then silence", post + "Content-Length: 100\r\n\r\n", {408}},
        {"half the body, then silence", post + "Content-Length: 100\r\n\r\n" + std::string(50, 'x'), {408}},
        {"a body on a GET", "GET " + ReplayAt + "?id=1 HTTP/1.1\r\nHost: x\r\nContent-Length: 3\r\n\r\nabc", {413}},
        {"a body on the publish", "POST /datas/html/add.php HTTP/1.1\r\nHost: x\r\nContent-Length: 3\r\n\r\nabc",
         {413}},
        {"a page after the body",
         post + "Content-Length: 4\r\n\r\nVXRPGET / HTTP/1.1\r\nHost: x\r\nConnection: close\r\n\r\n", {400, 200}},
    };
    for (const auto& c : cases) {
        const int sock = Connect(Server->Port());
        ASSERT_TRUE(SendAll(sock, c.bytes));
        EXPECT_EQ(Statuses(ReadAll(sock)), c.statuses) << c.name;
        ::close(sock);
    }
    EXPECT_EQ(Send("Ann", std::string(64 * 1024 + 1, 'x')).Status, 413);
    // A late request's log line gives the time it had.
    const std::regex late("POST /datas/html/replay\\.php\\?publisher=Ann 408 ([0-9.]+)ms");
    const std::string log = Server->Log();
    int lateOnes = 0;
    for (auto m = std::sregex_iterator(log.begin(), log.end(), late); m != std::sregex_iterator(); ++m, ++lateOnes)
        EXPECT_GE(std::stod((*m)[1]), 600) << (*m)[0];
    EXPECT_EQ(lateOnes, 2);

    // A client that waits to be asked for its body is asked at once; then a
    // page pipelined after it shows the mark.
    ASSERT_EQ(PublishPlayer(Made().Ann), 200);
    const std::string file = WriteReplay(Made().Ann);
    const int sock = Connect(Server->Port());
    ASSERT_TRUE(SendAll(sock, post + "Expect: 100-continue\r\nContent-Length: " + std::to_string(file.size()) + "\r\n\r\n"));
    pollfd asked{sock, POLLIN, 0};
    ASSERT_EQ(::poll(&asked, 1, 2000), 1) << "no 100 Continue";
    char interim[64] = {};
    const ssize_t got = ::recv(sock, interim, sizeof interim - 1, 0);
    EXPECT_EQ(std::string(interim, std::size_t(std::max<ssize_t>(got, 0))), "HTTP/1.1 100 Continue\r\n\r\n");
    ASSERT_TRUE(SendAll(sock, file + "GET /view.php?v=verified HTTP/1.1\r\nHost: x\r\nConnection: close\r\n\r\n"));
    const std::string answers = ReadAll(sock);
    ::close(sock);
    EXPECT_EQ(Statuses(answers), (std::vector<int>{200, 200}));
    EXPECT_NE(answers.find(">Ann<"), std::string::npos);
}

// One client sends at once as many of the costliest replays it can make
// (as far into the random source as a check goes, then the grace after a
// drop held for ever): a genuine replay from another client is verified
// within 5 s all the same, and the flood is answered by its check's bounds
// and, beyond its share of the queue, 503.
TEST_F(Replays, AClientFloodingTheVerifierHoldsUpAnotherByOneCheckAtMost)
{
    Replay costly;
    costly.DrawsBefore = std::uint64_t(1) << 24;
    costly.Events = {{ReplayEventKind::Started, 1}, {ReplayEventKind::HardDrop, 1},
                     {ReplayEventKind::DropTickAfterKeys, 0xFFFFFFFFu}, {ReplayEventKind::Stop, 1}};
    costly.Result = {0, 1, 0, 0, true, "Eve"};
    ASSERT_EQ(Publish("name=Eve&self=0&autopilot=-"), 200);
    ASSERT_EQ(PublishPlayer(Made().Ann), 200);
    const std::string flood = WriteReplay(costly), genuine = WriteReplay(Made().Ann);
    std::map<int, int> statuses;
    std::mutex lock;
    std::vector<std::thread> flooders;
    for (int k = 0; k < 12; ++k)
        flooders.emplace_back([&] {
            // The last of the five checked waits for four checks and the genuine one before it.
            const int status =
                StatusFrom("127.0.0.2", Server->Port(), "POST", ReplayAt + "?publisher=Eve", "", flood, 30s);
            std::lock_guard guard(lock);
            ++statuses[status];
        });
    std::this_thread::sleep_for(300ms);
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(StatusFrom("127.0.0.3", Server->Port(), "POST", ReplayAt + "?publisher=Ann", "", genuine), 200);
    EXPECT_LT(std::chrono::steady_clock::now() - start, 5s);
    for (std::thread& flooder : flooders)
        flooder.join();
    EXPECT_EQ(statuses[503], 12 - 1 - int(RecordsService::MaxWaitingReplaysOfOne)) << "one checked, a share waiting";
    EXPECT_EQ(statuses[422], 1 + int(RecordsService::MaxWaitingReplaysOfOne));
}

// The first schema, as the server before replays wrote it.
TEST_F(Replays, ADatabaseOfTheFirstSchemaIsUpgradedInPlace)
{
    Server.reset();
    Database = Folder / "old.db";
    const std::string score = Score(Made().Ann);
    const std::string old = R"(
CREATE TABLE human_results(id INTEGER PRIMARY KEY, name TEXT NOT NULL, score INTEGER NOT NULL,
    published_at TEXT NOT NULL DEFAULT CURRENT_TIMESTAMP);
CREATE TABLE autopilot_results(id INTEGER PRIMARY KEY, score INTEGER NOT NULL, publisher TEXT NOT NULL,
    published_at TEXT NOT NULL DEFAULT CURRENT_TIMESTAMP);
CREATE TABLE best_players(name TEXT PRIMARY KEY, score INTEGER NOT NULL, result_id INTEGER NOT NULL) WITHOUT ROWID;
CREATE INDEX best_players_rank ON best_players(score DESC, result_id);
CREATE TABLE best_autopilot(score INTEGER NOT NULL, publisher TEXT NOT NULL, result_id INTEGER NOT NULL,
    PRIMARY KEY(score, publisher)) WITHOUT ROWID;
CREATE INDEX best_autopilot_rank ON best_autopilot(score DESC, result_id);
INSERT INTO human_results(name, score) VALUES('Ann', )" + score + R"(), ('Bob', 7);
INSERT INTO best_players VALUES('Ann', )" + score + R"(, 1), ('Bob', 7, 2);
INSERT INTO autopilot_results(score, publisher) VALUES(99, 'Bob');
INSERT INTO best_autopilot VALUES(99, 'Bob', 1);
PRAGMA user_version=1;)";
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(Database.c_str(), &db), SQLITE_OK);
    EXPECT_EQ(sqlite3_exec(db, old.c_str(), nullptr, nullptr, nullptr), SQLITE_OK) << sqlite3_errmsg(db);
    sqlite3_close(db);

    Server.emplace(Database);
    EXPECT_EQ(Query(Database, "PRAGMA user_version"), 3);
    EXPECT_EQ(Shown("players"), (Rows{{"1", "Ann", FormatScore(Made().Ann.Result.Score), ""}, {"2", "Bob", "7", ""}}));
    EXPECT_EQ(Shown("autopilot"), (Rows{{"1", "99", "Bob", ""}}));
    ASSERT_EQ(Send("", Made().Ann).Status, 200);
    EXPECT_EQ(Server->Stop(), 0);
    // As a server before games had keys kept it: its game is keyed when opened.
    sqlite3_open(Database.c_str(), &db);
    EXPECT_EQ(sqlite3_exec(db, "UPDATE replays SET game = NULL", nullptr, nullptr, nullptr), SQLITE_OK);
    sqlite3_close(db);
    Server.emplace(Database);
    EXPECT_NE(Shown("players")[0][3], "");
    EXPECT_EQ(Shown("players", "verified").size(), 1u);
    EXPECT_EQ(SqliteStore(Database).Count().HumanResults, 2);
    ASSERT_EQ(PublishPlayer(Made().Ann, "Mallory"), 200);
    EXPECT_EQ(Send("", With(Made().Ann, [](Replay& r) { r.Result.Name = "Mallory"; })).Status, 409);
}

}  // namespace
