#include "records_store.h"

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
constexpr const char* Schema = R"(
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

constexpr int SchemaVersion = 1;
constexpr int BusyTimeoutMs = 5000;

}  // namespace

// A prepared statement, reset after every use so that it holds no lock.
class RecordsStore::Statement {
public:
    Statement(RecordsStore& store, const char* sql) : Store(store)
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

    RecordsStore& Store;
    sqlite3_stmt* Handle = nullptr;
};

RecordsStore::RecordsStore(const std::filesystem::path& file)
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
        {
            Statement version(*this, "PRAGMA user_version");
            if (version.Step() && version.Integer(0) > SchemaVersion)
                throw StoreError(file.string() + ": written by a newer version of the server");
        }
        Execute("BEGIN IMMEDIATE");
        Execute(Schema);
        Execute(("PRAGMA user_version=" + std::to_string(SchemaVersion)).c_str());
        Execute("COMMIT");

        Begin = std::make_unique<Statement>(*this, "BEGIN IMMEDIATE");
        Commit = std::make_unique<Statement>(*this, "COMMIT");
        Rollback = std::make_unique<Statement>(*this, "ROLLBACK");
        InsertHuman = std::make_unique<Statement>(*this, "INSERT INTO human_results(name, score) VALUES(?1, ?2)");
        UpdateBestPlayer = std::make_unique<Statement>(
            *this,
            "INSERT INTO best_players(name, score, result_id) VALUES(?1, ?2, ?3) ON CONFLICT(name) DO UPDATE SET "
            "score = excluded.score, result_id = excluded.result_id WHERE excluded.score > best_players.score");
        InsertAutopilot =
            std::make_unique<Statement>(*this, "INSERT INTO autopilot_results(score, publisher) VALUES(?1, ?2)");
        InsertBestAutopilot = std::make_unique<Statement>(
            *this, "INSERT INTO best_autopilot(score, publisher, result_id) VALUES(?1, ?2, ?3) ON CONFLICT DO NOTHING");
        SelectBestPlayers = std::make_unique<Statement>(
            *this, "SELECT name, score FROM best_players ORDER BY score DESC, result_id LIMIT ?1");
        SelectBestAutopilot = std::make_unique<Statement>(
            *this, "SELECT score, publisher FROM best_autopilot ORDER BY score DESC, result_id LIMIT ?1");
        CountResults = std::make_unique<Statement>(
            *this, "SELECT (SELECT count(*) FROM human_results), (SELECT count(*) FROM autopilot_results)");
    }
}

RecordsStore::~RecordsStore() = default;

void RecordsStore::LeaveCheckpointsToCaller()
{
    std::lock_guard guard(Lock);
    // A hook of our own replaces the automatic checkpoint.
    sqlite3_wal_hook(
        Db.get(),
        [](void* store, sqlite3*, const char*, int frames) {
            static_cast<RecordsStore*>(store)->Frames.store(frames, std::memory_order_relaxed);
            return SQLITE_OK;
        },
        this);
}

bool RecordsStore::Checkpoint()
{
    std::lock_guard guard(Lock);
    const int result = sqlite3_wal_checkpoint_v2(Db.get(), nullptr, SQLITE_CHECKPOINT_PASSIVE, nullptr, nullptr);
    if (result == SQLITE_BUSY)
        return false;
    if (result != SQLITE_OK)
        Fail("cannot copy the log into the database");
    return true;
}


void RecordsStore::CloseDatabase::operator()(sqlite3* db) const
{
    sqlite3_close(db);
}

void RecordsStore::Fail(const std::string& what)
{
    throw StoreError(what + ": " + (Db ? sqlite3_errmsg(Db.get()) : "out of memory"));
}

void RecordsStore::Execute(const char* sql)
{
    char* message = nullptr;
    if (sqlite3_exec(Db.get(), sql, nullptr, nullptr, &message) != SQLITE_OK) {
        const std::string text = message ? message : sqlite3_errmsg(Db.get());
        sqlite3_free(message);
        throw StoreError(text);
    }
}

void RecordsStore::Add(const Publish& publish)
{
    AddAll(std::span<const Publish>(&publish, 1));
}

void RecordsStore::AddAll(std::span<const Publish> publishes)
{
    std::lock_guard guard(Lock);
    Begin->Run();
    try {
        for (const Publish& publish : publishes) {
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
        Commit->Run();
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

std::vector<HumanResult> RecordsStore::BestPlayers(int limit)
{
    std::lock_guard guard(Lock);
    std::vector<HumanResult> rows;
    SelectBestPlayers->Bind(1, limit).Rows(
        [&](const Statement& row) { rows.push_back({row.Text(0), std::int32_t(row.Integer(1))}); });
    return rows;
}

std::vector<AutopilotResult> RecordsStore::BestAutopilot(int limit)
{
    std::lock_guard guard(Lock);
    std::vector<AutopilotResult> rows;
    SelectBestAutopilot->Bind(1, limit).Rows(
        [&](const Statement& row) { rows.push_back({std::int32_t(row.Integer(0)), row.Text(1)}); });
    return rows;
}

RecordsStore::Counts RecordsStore::Count()
{
    std::lock_guard guard(Lock);
    Counts counts;
    CountResults->Rows([&](const Statement& row) { counts = {row.Integer(0), row.Integer(1)}; });
    return counts;
}
