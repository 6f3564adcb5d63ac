#include "server/sqlite_store.h"

#include <sqlite3.h>

namespace {

// WAL: readers (the page) never wait for the writer, and a commit appends
// to one file instead of rewriting pages in place.
//
// synchronous=NORMAL: a commit is in the log file before the answer goes
// out, so a crash or kill of the server loses nothing; a power cut or a
// kernel crash may take back the commits since the log was last synced (at
// each checkpoint). FULL syncs every commit: measured here at about 4 000
// publishes a second against 9 000 with NORMAL, short of the 5 000 the
// server has to take (bench/records_server_bench.cpp).
constexpr const char* SchemaVersion1 = R"(
CREATE TABLE IF NOT EXISTS human_results(
    id INTEGER PRIMARY KEY,
    name TEXT NOT NULL,
    score INTEGER NOT NULL,
    published_at TEXT NOT NULL DEFAULT CURRENT_TIMESTAMP);
CREATE TABLE IF NOT EXISTS autopilot_results(
    id INTEGER PRIMARY KEY,
    score INTEGER NOT NULL,
    publisher TEXT NOT NULL,
    published_at TEXT NOT NULL DEFAULT CURRENT_TIMESTAMP);
CREATE TABLE IF NOT EXISTS best_players(
    name TEXT PRIMARY KEY,
    score INTEGER NOT NULL,
    result_id INTEGER NOT NULL) WITHOUT ROWID;
CREATE INDEX IF NOT EXISTS best_players_rank ON best_players(score DESC, result_id);
CREATE TABLE IF NOT EXISTS best_autopilot(
    score INTEGER NOT NULL,
    publisher TEXT NOT NULL,
    result_id INTEGER NOT NULL,
    PRIMARY KEY(score, publisher)) WITHOUT ROWID;
CREATE INDEX IF NOT EXISTS best_autopilot_rank ON best_autopilot(score DESC, result_id);
)";

// Version 2: results verified by a replay. A result row is marked, its
// replay kept by (kind, result_id); a best row holds the replay that
// verified its name's score (reset when a higher score takes its place), and
// the best verified score of each name is kept apart. A list of verified
// results is then thirty rows of an index, like the others.
constexpr const char* UpgradeTo2 = R"(
ALTER TABLE human_results ADD COLUMN verified INTEGER NOT NULL DEFAULT 0;
ALTER TABLE autopilot_results ADD COLUMN verified INTEGER NOT NULL DEFAULT 0;
CREATE INDEX IF NOT EXISTS human_results_match ON human_results(name, score, verified);
CREATE INDEX IF NOT EXISTS autopilot_results_match ON autopilot_results(publisher, score, verified);
CREATE TABLE IF NOT EXISTS replays(
    id INTEGER PRIMARY KEY,
    kind INTEGER NOT NULL,
    result_id INTEGER NOT NULL,
    bytes BLOB NOT NULL,
    verified_at TEXT NOT NULL DEFAULT CURRENT_TIMESTAMP,
    UNIQUE(kind, result_id));
ALTER TABLE best_players ADD COLUMN replay_id INTEGER;
ALTER TABLE best_autopilot ADD COLUMN replay_id INTEGER;
CREATE INDEX IF NOT EXISTS best_autopilot_verified ON best_autopilot(score DESC, result_id) WHERE replay_id IS NOT NULL;
CREATE TABLE IF NOT EXISTS best_verified_players(
    name TEXT PRIMARY KEY,
    score INTEGER NOT NULL,
    result_id INTEGER NOT NULL,
    replay_id INTEGER NOT NULL) WITHOUT ROWID;
CREATE INDEX IF NOT EXISTS best_verified_players_rank ON best_verified_players(score DESC, result_id);
)";

// Version 3: a replay keeps its game's key, unique, so that one game
// verifies one result. Replays kept before have none until given theirs.
constexpr const char* UpgradeTo3 = R"(
ALTER TABLE replays ADD COLUMN game BLOB;
CREATE UNIQUE INDEX IF NOT EXISTS replays_game ON replays(game);
)";

constexpr int SchemaVersion = 3;
constexpr int BusyTimeoutMs = 5000;

}  // namespace

// A prepared statement, reset after every use so that it holds no lock.
class SqliteStore::Statement {
public:
    Statement(SqliteStore& store, const char* sql) : Store(store)
    {
        if (sqlite3_prepare_v3(store.Db.get(), sql, -1, SQLITE_PREPARE_PERSISTENT, &Handle, nullptr) != SQLITE_OK)
            store.Fail("cannot prepare a statement");
    }
    ~Statement() { sqlite3_finalize(Handle); }
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;

    Statement& Bind(int index, std::int64_t value)
    {
        Check(sqlite3_bind_int64(Handle, index, value));
        return *this;
    }
    // The text must outlive the use of the statement.
    Statement& Bind(int index, const std::string& text)
    {
        Check(sqlite3_bind_text(Handle, index, text.data(), int(text.size()), SQLITE_STATIC));
        return *this;
    }
    // The bytes must outlive the use of the statement.
    Statement& BindBytes(int index, std::string_view bytes)
    {
        Check(sqlite3_bind_blob64(Handle, index, bytes.data(), bytes.size(), SQLITE_STATIC));
        return *this;
    }
    // Whether a row came; false when done.
    bool Step()
    {
        const int result = sqlite3_step(Handle);
        if (result == SQLITE_ROW)
            return true;
        if (result != SQLITE_DONE) {
            Reset();
            Store.Fail("statement failed");
        }
        return false;
    }
    void Run()
    {
        while (Step()) {
        }
        Reset();
    }
    // Calls read(*this) for each row.
    template <class Read>
    void Rows(Read read)
    {
        struct ResetOnExit {
            Statement& S;
            ~ResetOnExit() { S.Reset(); }
        } reset{*this};
        while (Step())
            read(*this);
    }
    std::int64_t Integer(int column) const { return sqlite3_column_int64(Handle, column); }
    std::string Text(int column) const
    {
        const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(Handle, column));
        return text ? std::string(text, std::size_t(sqlite3_column_bytes(Handle, column))) : std::string();
    }
    std::string Bytes(int column) const
    {
        const auto* bytes = static_cast<const char*>(sqlite3_column_blob(Handle, column));
        return bytes ? std::string(bytes, std::size_t(sqlite3_column_bytes(Handle, column))) : std::string();
    }
    void Reset()
    {
        sqlite3_reset(Handle);
        sqlite3_clear_bindings(Handle);
    }

private:
    void Check(int result)
    {
        if (result != SQLITE_OK) {
            Reset();
            Store.Fail("cannot bind a value");
        }
    }

    SqliteStore& Store;
    sqlite3_stmt* Handle = nullptr;
};

SqliteStore::SqliteStore(const std::filesystem::path& file)
{
    sqlite3* db = nullptr;
    // A handle comes back even when opening fails; it is closed all the same.
    const int opened =
        sqlite3_open_v2(file.c_str(), &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX, nullptr);
    Db.reset(db);
    {
        if (opened != SQLITE_OK)
            Fail("cannot open " + file.string());
        sqlite3_extended_result_codes(Db.get(), 1);
        sqlite3_busy_timeout(Db.get(), BusyTimeoutMs);
        {
            Statement walMode(*this, "PRAGMA journal_mode=WAL");
            if (!walMode.Step() || walMode.Text(0) != "wal")
                throw StoreError(file.string() + ": cannot switch to write-ahead logging");
        }
        Execute("PRAGMA synchronous=NORMAL");
        Upgrade(file.string());

        Begin = std::make_unique<Statement>(*this, "BEGIN IMMEDIATE");
        Commit = std::make_unique<Statement>(*this, "COMMIT");
        Rollback = std::make_unique<Statement>(*this, "ROLLBACK");
        InsertHuman = std::make_unique<Statement>(*this, "INSERT INTO human_results(name, score) VALUES(?1, ?2)");
        UpdateBestPlayer = std::make_unique<Statement>(
            *this,
            "INSERT INTO best_players(name, score, result_id) VALUES(?1, ?2, ?3) ON CONFLICT(name) DO UPDATE SET "
            "score = excluded.score, result_id = excluded.result_id, replay_id = NULL "
            "WHERE excluded.score > best_players.score");
        InsertAutopilot =
            std::make_unique<Statement>(*this, "INSERT INTO autopilot_results(score, publisher) VALUES(?1, ?2)");
        InsertBestAutopilot = std::make_unique<Statement>(
            *this, "INSERT INTO best_autopilot(score, publisher, result_id) VALUES(?1, ?2, ?3) ON CONFLICT DO NOTHING");
        SelectBestPlayers = std::make_unique<Statement>(
            *this, "SELECT name, score, replay_id FROM best_players ORDER BY score DESC, result_id LIMIT ?1");
        SelectBestAutopilot = std::make_unique<Statement>(
            *this, "SELECT score, publisher, replay_id FROM best_autopilot ORDER BY score DESC, result_id LIMIT ?1");
        CountResults = std::make_unique<Statement>(*this, "SELECT (SELECT count(*) FROM human_results), "
                                                          "(SELECT count(*) FROM autopilot_results), "
                                                          "(SELECT count(*) FROM replays)");

        // Per kind: the table of results and the column its name is in.
        const char* const tables[2][2] = {{"human_results", "name"}, {"autopilot_results", "publisher"}};
        for (int kind = 0; kind < 2; ++kind) {
            const std::string table = tables[kind][0], name = tables[kind][1], k = std::to_string(kind);
            FindVerifiedBy[kind] = std::make_unique<Statement>(
                *this, ("SELECT r.id FROM " + table + " t JOIN replays r ON r.kind = " + k +
                        " AND r.result_id = t.id WHERE t." + name +
                        " = ?1 AND t.score = ?2 AND t.verified = 1 AND r.game = ?3 LIMIT 1")
                           .c_str());
            FindResult[kind] = std::make_unique<Statement>(
                *this, ("SELECT 1 FROM " + table + " WHERE " + name + " = ?1 AND score = ?2 LIMIT 1").c_str());
            FindUnverified[kind] = std::make_unique<Statement>(
                *this, ("SELECT id FROM " + table + " WHERE " + name +
                        " = ?1 AND score = ?2 AND verified = 0 ORDER BY id DESC LIMIT 1")
                           .c_str());
            MarkVerified[kind] =
                std::make_unique<Statement>(*this, ("UPDATE " + table + " SET verified = 1 WHERE id = ?1").c_str());
        }
        InsertReplay = std::make_unique<Statement>(
            *this, "INSERT INTO replays(kind, result_id, bytes, game) VALUES(?1, ?2, ?3, ?4)");
        FindGame = std::make_unique<Statement>(*this, "SELECT id FROM replays WHERE game = ?1 LIMIT 1");
        SelectUnkeyed = std::make_unique<Statement>(*this, "SELECT id, bytes FROM replays WHERE game IS NULL ORDER BY id");
        SetGame = std::make_unique<Statement>(*this, "UPDATE replays SET game = ?2 WHERE id = ?1 AND game IS NULL");
        MarkBestPlayer = std::make_unique<Statement>(
            *this, "UPDATE best_players SET replay_id = ?3 WHERE name = ?1 AND score = ?2 AND replay_id IS NULL");
        UpdateBestVerifiedPlayer = std::make_unique<Statement>(
            *this, "INSERT INTO best_verified_players(name, score, result_id, replay_id) VALUES(?1, ?2, ?3, ?4) "
                   "ON CONFLICT(name) DO UPDATE SET score = excluded.score, result_id = excluded.result_id, "
                   "replay_id = excluded.replay_id WHERE excluded.score > best_verified_players.score");
        MarkBestAutopilot = std::make_unique<Statement>(
            *this, "UPDATE best_autopilot SET replay_id = ?3 WHERE score = ?1 AND publisher = ?2 AND replay_id IS NULL");
        SelectBestVerifiedPlayers = std::make_unique<Statement>(
            *this, "SELECT name, score, replay_id FROM best_verified_players ORDER BY score DESC, result_id LIMIT ?1");
        SelectBestVerifiedAutopilot = std::make_unique<Statement>(
            *this, "SELECT score, publisher, replay_id FROM best_autopilot WHERE replay_id IS NOT NULL "
                   "ORDER BY score DESC, result_id LIMIT ?1");
        SelectReplay = std::make_unique<Statement>(*this, "SELECT bytes FROM replays WHERE id = ?1");
    }
}

SqliteStore::~SqliteStore() = default;

void SqliteStore::Upgrade(const std::string& file)
{
    const auto version = [&] {
        Statement read(*this, "PRAGMA user_version");
        return read.Step() ? read.Integer(0) : 0;
    };
    const auto refuseNewer = [&](std::int64_t found) {
        if (found > SchemaVersion)
            throw StoreError(file + ": written by a newer version of the server");
    };
    const std::int64_t before = version();
    refuseNewer(before);
    if (before == SchemaVersion)
        return;   // no write lock taken: the usual case
    Execute("BEGIN IMMEDIATE");
    try {
        // Read again under the lock: another process may have upgraded it.
        const std::int64_t found = version();
        refuseNewer(found);
        if (found < 1)
            Execute(SchemaVersion1);
        if (found < 2)
            Execute(UpgradeTo2);
        if (found < 3)
            Execute(UpgradeTo3);
        Execute(("PRAGMA user_version=" + std::to_string(SchemaVersion)).c_str());
        Execute("COMMIT");
    } catch (...) {
        if (!sqlite3_get_autocommit(Db.get()))
            sqlite3_exec(Db.get(), "ROLLBACK", nullptr, nullptr, nullptr);
        throw;
    }
}

void SqliteStore::LeaveCheckpointsToCaller()
{
    std::lock_guard guard(Lock);
    // A hook of our own replaces the automatic checkpoint.
    sqlite3_wal_hook(
        Db.get(),
        [](void* store, sqlite3*, const char*, int frames) {
            static_cast<SqliteStore*>(store)->Frames.store(frames, std::memory_order_relaxed);
            return SQLITE_OK;
        },
        this);
}

bool SqliteStore::Checkpoint()
{
    std::lock_guard guard(Lock);
    const int result = sqlite3_wal_checkpoint_v2(Db.get(), nullptr, SQLITE_CHECKPOINT_PASSIVE, nullptr, nullptr);
    if (result == SQLITE_BUSY)
        return false;
    if (result != SQLITE_OK)
        Fail("cannot copy the log into the database");
    return true;
}


void SqliteStore::CloseDatabase::operator()(sqlite3* db) const
{
    sqlite3_close(db);
}

void SqliteStore::Fail(const std::string& what)
{
    throw StoreError(what + ": " + (Db ? sqlite3_errmsg(Db.get()) : "out of memory"));
}

void SqliteStore::Execute(const char* sql)
{
    char* message = nullptr;
    if (sqlite3_exec(Db.get(), sql, nullptr, nullptr, &message) != SQLITE_OK) {
        const std::string text = message ? message : sqlite3_errmsg(Db.get());
        sqlite3_free(message);
        throw StoreError(text);
    }
}

void SqliteStore::Store(const Publish& publish)
{
    if (publish.Human) {
        InsertHuman->Bind(1, publish.Human->Name).Bind(2, publish.Human->Score).Run();
        UpdateBestPlayer->Bind(1, publish.Human->Name)
            .Bind(2, publish.Human->Score)
            .Bind(3, sqlite3_last_insert_rowid(Db.get()))
            .Run();
    }
    if (publish.Autopilot) {
        InsertAutopilot->Bind(1, publish.Autopilot->Score).Bind(2, publish.Autopilot->Publisher).Run();
        InsertBestAutopilot->Bind(1, publish.Autopilot->Score)
            .Bind(2, publish.Autopilot->Publisher)
            .Bind(3, sqlite3_last_insert_rowid(Db.get()))
            .Run();
    }
}

VerifyOutcome SqliteStore::Store(const Verification& verification)
{
    const int kind = static_cast<int>(verification.Kind);
    const std::string& name = verification.Name;
    // The same game sent again (the game sends its replays after every
    // publish) marks nothing more; nor does it verify another result.
    bool sentBefore = false, taken = false;
    FindVerifiedBy[kind]->Bind(1, name).Bind(2, verification.Score).BindBytes(3, verification.Game).Rows(
        [&](const Statement&) { sentBefore = true; });
    if (sentBefore)
        return VerifyOutcome::AlreadyMarked;
    FindGame->BindBytes(1, verification.Game).Rows([&](const Statement&) { taken = true; });
    if (taken)
        return VerifyOutcome::TakenByAnother;
    std::int64_t result = 0;
    FindUnverified[kind]->Bind(1, name).Bind(2, verification.Score).Rows(
        [&](const Statement& row) { result = row.Integer(0); });
    if (result == 0)
        return VerifyOutcome::NoMatch;
    MarkVerified[kind]->Bind(1, result).Run();
    InsertReplay->Bind(1, kind).Bind(2, result).BindBytes(3, verification.Replay).BindBytes(4, verification.Game).Run();
    const std::int64_t replay = sqlite3_last_insert_rowid(Db.get());
    if (verification.Kind == ResultKind::Player) {
        MarkBestPlayer->Bind(1, name).Bind(2, verification.Score).Bind(3, replay).Run();
        UpdateBestVerifiedPlayer->Bind(1, name).Bind(2, verification.Score).Bind(3, result).Bind(4, replay).Run();
    } else {
        MarkBestAutopilot->Bind(1, verification.Score).Bind(2, name).Bind(3, replay).Run();
    }
    return VerifyOutcome::Marked;
}

std::vector<VerifyOutcome> SqliteStore::Write(std::span<const Publish> publishes,
                                               std::span<const Verification> verifications)
{
    std::lock_guard guard(Lock);
    std::vector<VerifyOutcome> outcomes;
    outcomes.reserve(verifications.size());
    Begin->Run();
    try {
        for (const Publish& publish : publishes)
            Store(publish);
        for (const Verification& verification : verifications)
            outcomes.push_back(Store(verification));
        Commit->Run();
        return outcomes;
    } catch (...) {
        if (!sqlite3_get_autocommit(Db.get())) {
            try {
                Rollback->Run();
            } catch (const StoreError&) {
                // The first failure is the one to report.
            }
        }
        throw;
    }
}

std::vector<HumanResult> SqliteStore::Players(Statement& select, int limit)
{
    std::lock_guard guard(Lock);
    std::vector<HumanResult> rows;
    select.Bind(1, limit).Rows([&](const Statement& row) {
        rows.push_back({row.Text(0), std::int32_t(row.Integer(1)), row.Integer(2)});
    });
    return rows;
}

std::vector<AutopilotScore> SqliteStore::Autopilot(Statement& select, int limit)
{
    std::lock_guard guard(Lock);
    std::vector<AutopilotScore> rows;
    select.Bind(1, limit).Rows([&](const Statement& row) {
        rows.push_back({std::int32_t(row.Integer(0)), row.Text(1), row.Integer(2)});
    });
    return rows;
}

std::vector<HumanResult> SqliteStore::BestPlayers(int limit)
{
    return Players(*SelectBestPlayers, limit);
}

std::vector<AutopilotScore> SqliteStore::BestAutopilot(int limit)
{
    return Autopilot(*SelectBestAutopilot, limit);
}

std::vector<HumanResult> SqliteStore::BestVerifiedPlayers(int limit)
{
    return Players(*SelectBestVerifiedPlayers, limit);
}

std::vector<AutopilotScore> SqliteStore::BestVerifiedAutopilot(int limit)
{
    return Autopilot(*SelectBestVerifiedAutopilot, limit);
}

std::optional<std::string> SqliteStore::ReplayFile(std::int64_t id)
{
    std::lock_guard guard(Lock);
    std::optional<std::string> file;
    SelectReplay->Bind(1, id).Rows([&](const Statement& row) { file = row.Bytes(0); });
    return file;
}

bool SqliteStore::HasResult(ResultKind kind, const std::string& name, std::int32_t score)
{
    std::lock_guard guard(Lock);
    bool found = false;
    FindResult[static_cast<int>(kind)]->Bind(1, name).Bind(2, score).Rows([&](const Statement&) { found = true; });
    return found;
}

std::vector<std::pair<std::int64_t, std::string>> SqliteStore::ReplaysWithoutGame()
{
    std::lock_guard guard(Lock);
    std::vector<std::pair<std::int64_t, std::string>> replays;
    SelectUnkeyed->Rows([&](const Statement& row) { replays.emplace_back(row.Integer(0), row.Bytes(1)); });
    return replays;
}

bool SqliteStore::SetReplayGame(std::int64_t id, const std::string& game)
{
    std::lock_guard guard(Lock);
    bool taken = false;
    FindGame->BindBytes(1, game).Rows([&](const Statement&) { taken = true; });
    if (taken)
        return false;
    SetGame->Bind(1, id).BindBytes(2, game).Run();
    return true;
}

SqliteStore::Counts SqliteStore::Count()
{
    std::lock_guard guard(Lock);
    Counts counts;
    CountResults->Rows([&](const Statement& row) { counts = {row.Integer(0), row.Integer(1), row.Integer(2)}; });
    return counts;
}
