// Replays sent to the real vantorix2-records: genuine games of the engine
// verify the results they reach and nothing else; a body is read only where
// one is taken; a slow replay holds up nobody.

#include <gtest/gtest.h>

#include <sqlite3.h>

#include <atomic>
#include <map>
#include <regex>
#include <thread>

#include "common/score_text.h"
#include "engine/headless_host.h"
#include "replay/play_commands.h"
#include "server/sqlite_store.h"
#include "server_process.h"
#include "storage/temp_folder.h"

using namespace records_server_test;

namespace {

const std::string ReplayAt = "/datas/html/replay.php";

// An autopilot game played as vantorix2-sim plays it, with the name entered.
Replay PlayedGame(std::uint32_t seed, int landings, const std::string& name)
{
    HeadlessGame headless;
    PlayCommands play(headless.game, headless.loop);
    headless.game.Random.Seed(seed);
    play.SetAutopilot(true);
    play.StartGame();
    play.HardDrop();
    play.Started();
    for (int landed = 0; headless.game.Running;)
        if (play.Tick() && ++landed >= landings)
            play.Stop();
    Replay replay = play.TakeReplay().value();
    replay.Result.Name = name;
    return replay;
}

// Made once: the engine under the sanitizers is slow.
struct Games {
    Replay Ann = PlayedGame(1, 25, "Ann"), AnnLonger = PlayedGame(2, 40, "Ann"), Other = PlayedGame(3, 25, "Ann"),
           Autopilot = PlayedGame(4, 25, "AUTOPILOT");
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
    int PublishPlayer(const Replay& game) { return Publish("name=Ann&self=" + Score(game) + "&autopilot=-"); }
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

TEST_F(Replays, EachReplayIsAnsweredByWhatItProvesAndOnlyAGenuineOneIsMarked)
{
    const Games& games = Made();
    const Replay forged = With(games.Ann, [](Replay& r) { r.Result.Score += 1000; });
    const Replay tampered = With(games.Ann, [](Replay& r) {
        std::find_if(r.Events.begin(), r.Events.end(), [](const ReplayEvent& e) {
            return e.Kind == ReplayEventKind::FallTick;
        })->Kind = ReplayEventKind::MoveLeft;
    });
    std::string damaged = WriteReplay(games.Ann);
    damaged[damaged.size() / 2] ^= 0x55;
    ASSERT_EQ(PublishPlayer(forged), 200);
    ASSERT_EQ(PublishPlayer(games.Ann), 200);
    ASSERT_EQ(Publish("name=%C0%ED%FF&self=&autopilot=" + Score(games.Autopilot)), 200);
    const std::string ann = WriteReplay(games.Ann), autopilot = WriteReplay(games.Autopilot);
    const struct {
        const char* name;
        std::string publisher, file;
        int status;
        std::string says;
    } cases[] = {
        {"a forged score", "Ann", WriteReplay(forged), 422, "does not reach its score"},
        {"a tampered event", "Ann", WriteReplay(tampered), 422, ""},
        {"other rules", "Ann", WriteReplay(With(games.Ann, [](Replay& r) { r.Rules.BaseInterval = 900; })), 422,
         "not played by the standard rules"},
        {"far into the random source", "Ann",
         WriteReplay(With(games.Ann, [](Replay& r) { r.DrawsBefore = std::uint64_t(1) << 40; })), 422, "random source"},
        {"a damaged file", "Ann", damaged, 400, "checksum"},
        {"no replay", "Ann", "GIF89a", 400, "signature"},
        {"an empty body", "Ann", "", 400, ""},
        {"a game nobody published", "Ann", WriteReplay(games.Other), 404, "No published score matches"},
        {"the autopilot's, another publisher", "Bob", autopilot, 404, ""},
        {"a publisher out of the rules", "A%0Ab", autopilot, 400, "publisher"},
        {"the genuine game", "", ann, 200, "Verified: " + Score(games.Ann) + " of Ann.\n"},
        {"the autopilot's, its publisher", "%C0%ED%FF", autopilot, 200, "of AUTOPILOT.\n"},
        {"the genuine game again", "", ann, 200, "Verified"},
    };
    for (const auto& c : cases) {
        const LoopbackAnswer answer = Send(c.publisher, c.file);
        EXPECT_EQ(answer.Status, c.status) << c.name << ": " << answer.Body << answer.Error;
        EXPECT_NE(answer.Body.find(c.says), std::string::npos) << c.name << ": " << answer.Body;
    }
    EXPECT_EQ(SqliteStore(Database).Count().Replays, 2) << "a replay sent again is kept once";

    // The forged score is shown as the best, without a mark.
    EXPECT_EQ(Shown("players"), (Rows{{"1", "Ann", FormatScore(forged.Result.Score), ""}}));
    const Rows marked = Shown("autopilot");
    ASSERT_EQ(marked.size(), 1u);
    EXPECT_EQ(marked[0][2], "Аня");
    EXPECT_NE(marked[0][3], "");
    EXPECT_EQ(Shown("autopilot", "verified"), marked);
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
    for (const std::string query : {"?id=999", "?id=0", "?id=x", "", "?id=1&id=1"})
        EXPECT_EQ(LoopbackGet(Server->Port(), ReplayAt + query).Status, 404) << query;
    EXPECT_EQ(LoopbackGet(Server->Port(), "/view.php?v=verified&v=results").Status, 404);
    for (const char* method : {"HEAD", "PUT"}) {
        const LoopbackAnswer answer = LoopbackRequest(Server->Port(), method, ReplayAt + "?id=1", std::nullopt);
        EXPECT_EQ(answer.Status, 405) << method;
        EXPECT_EQ(answer.Header("allow"), "GET, POST") << method;
    }
    EXPECT_NE(LoopbackGet(Server->Port(), "/").Body.find("href=\"/view.php?v=verified\""), std::string::npos);
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
        {"the head, then silence", post + "Content-Length: 100\r\n\r\n", {408}},
        {"half the body, then silence", post + "Content-Length: 100\r\n\r\n" + std::string(50, 'x'), {408}},
        {"a body on a GET", "GET " + ReplayAt + "?id=1 HTTP/1.1\r\nContent-Length: 3\r\n\r\nabc", {413}},
        {"a body on the publish", "POST /datas/html/add.php HTTP/1.1\r\nContent-Length: 3\r\n\r\nabc", {413}},
        {"a page after the body", post + "Content-Length: 4\r\n\r\nVXRPGET / HTTP/1.1\r\nConnection: close\r\n\r\n",
         {400, 200}},
    };
    for (const auto& c : cases) {
        const int sock = Connect(Server->Port());
        ASSERT_TRUE(SendAll(sock, c.bytes));
        EXPECT_EQ(Statuses(ReadAll(sock)), c.statuses) << c.name;
        ::close(sock);
    }
    EXPECT_EQ(Send("Ann", std::string(64 * 1024 + 1, 'x')).Status, 413);

    // A genuine replay and a page, pipelined: the page shows the mark.
    ASSERT_EQ(PublishPlayer(Made().Ann), 200);
    const std::string file = WriteReplay(Made().Ann);
    const int sock = Connect(Server->Port());
    ASSERT_TRUE(SendAll(sock, post + "Content-Length: " + std::to_string(file.size()) + "\r\n\r\n" + file +
                                  "GET /view.php?v=verified HTTP/1.1\r\nConnection: close\r\n\r\n"));
    const std::string answers = ReadAll(sock);
    ::close(sock);
    EXPECT_EQ(Statuses(answers), (std::vector<int>{200, 200}));
    EXPECT_NE(answers.find(">Ann<"), std::string::npos);
}

// As far into the random source as a check goes, then billions of ticks of
// a paused game: refused at the check's bound, while pages and publishes are
// answered and replays beyond the few that may wait are turned away.
TEST_F(Replays, ASlowReplayIsRefusedAndHoldsUpNobody)
{
    const Replay slow = With(Made().Ann, [](Replay& r) {
        r.DrawsBefore = std::uint64_t(1) << 27;
        std::vector<ReplayEvent> paused(4, {ReplayEventKind::FallTick, 0xFFFFFFFFu});
        paused.insert(paused.begin(), {ReplayEventKind::Pause, 1});
        paused.push_back({ReplayEventKind::Resume, 1});
        const auto started = std::find_if(r.Events.begin(), r.Events.end(),
                                          [](const ReplayEvent& e) { return e.Kind == ReplayEventKind::Started; });
        r.Events.insert(started + 1, paused.begin(), paused.end());
    });
    ASSERT_EQ(PublishPlayer(slow), 200);
    std::atomic<int> order = 0, slowAnswered = 0;
    LoopbackAnswer refused;
    std::thread sender([&] {
        refused = Send("Ann", slow);
        slowAnswered = ++order;
    });
    std::this_thread::sleep_for(100ms);   // its check begins
    std::map<int, int> statuses;
    std::mutex lock;
    std::vector<std::thread> more;
    for (std::size_t k = 0; k < 8 + 2; ++k)
        more.emplace_back([&] {
            const int status = Send("Ann", "not a replay").Status;
            std::lock_guard guard(lock);
            ++statuses[status];
        });
    EXPECT_EQ(LoopbackGet(Server->Port(), "/view.php?v=results").Status, 200);
    EXPECT_EQ(Publish("name=Bob&self=1&autopilot=-"), 200);
    const int othersAnswered = ++order;
    for (std::thread& thread : more)
        thread.join();
    sender.join();

    EXPECT_LT(othersAnswered, slowAnswered);
    EXPECT_EQ(refused.Status, 422) << refused.Body;
    EXPECT_TRUE(std::regex_search(refused.Body, std::regex("events|too long"))) << refused.Body;
    EXPECT_GE(statuses[503], 1) << "more replays than may wait";
    EXPECT_EQ(statuses[400] + statuses[503], 10);
    EXPECT_EQ(Server->Stop(), 0);
    EXPECT_TRUE(std::regex_search(Server->Log(), std::regex("POST /datas/html/replay\\.php\\?publisher=Ann 422 [0-9.]+ms\n")));
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
    EXPECT_EQ(Query(Database, "PRAGMA user_version"), 2);
    EXPECT_EQ(Shown("players"), (Rows{{"1", "Ann", FormatScore(Made().Ann.Result.Score), ""}, {"2", "Bob", "7", ""}}));
    EXPECT_EQ(Shown("autopilot"), (Rows{{"1", "99", "Bob", ""}}));
    ASSERT_EQ(Send("", Made().Ann).Status, 200);
    EXPECT_EQ(Server->Stop(), 0);
    Server.emplace(Database);
    EXPECT_NE(Shown("players")[0][3], "");
    EXPECT_EQ(Shown("players", "verified").size(), 1u);
    EXPECT_EQ(SqliteStore(Database).Count().HumanResults, 2);
}

}  // namespace
