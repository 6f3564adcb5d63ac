#include "server/postgres_store.h"

#include <libpq-fe.h>

#include <algorithm>
#include <charconv>
#include <cstring>
#include <tuple>
#include <vector>

namespace {

// The same tables as the SQLite file's, at its version 3; a database of
// version 2 is brought up to it by the same statements. Numbers as there:
// result ids order equal scores, so one sequence serves every server.
constexpr const char* Schema = R"(
CREATE TABLE IF NOT EXISTS human_results(
    id bigint GENERATED ALWAYS AS IDENTITY PRIMARY KEY,
    name text NOT NULL,
    score integer NOT NULL,
    published_at timestamptz NOT NULL DEFAULT now(),
    verified integer NOT NULL DEFAULT 0);
CREATE TABLE IF NOT EXISTS autopilot_results(
    id bigint GENERATED ALWAYS AS IDENTITY PRIMARY KEY,
    score integer NOT NULL,
    publisher text NOT NULL,
    published_at timestamptz NOT NULL DEFAULT now(),
    verified integer NOT NULL DEFAULT 0);
CREATE INDEX IF NOT EXISTS human_results_match ON human_results(name, score, verified);
CREATE INDEX IF NOT EXISTS autopilot_results_match ON autopilot_results(publisher, score, verified);
CREATE TABLE IF NOT EXISTS best_players(
    name text PRIMARY KEY,
    score integer NOT NULL,
    result_id bigint NOT NULL,
    replay_id bigint);
CREATE INDEX IF NOT EXISTS best_players_rank ON best_players(score DESC, result_id);
CREATE TABLE IF NOT EXISTS best_autopilot(
    score integer NOT NULL,
    publisher text NOT NULL,
    result_id bigint NOT NULL,
    replay_id bigint,
    PRIMARY KEY(score, publisher));
CREATE INDEX IF NOT EXISTS best_autopilot_rank ON best_autopilot(score DESC, result_id);
CREATE INDEX IF NOT EXISTS best_autopilot_verified ON best_autopilot(score DESC, result_id)
    WHERE replay_id IS NOT NULL;
CREATE TABLE IF NOT EXISTS replays(
    id bigint GENERATED ALWAYS AS IDENTITY PRIMARY KEY,
    kind integer NOT NULL,
    result_id bigint NOT NULL,
    bytes bytea NOT NULL,
    verified_at timestamptz NOT NULL DEFAULT now(),
    UNIQUE(kind, result_id));
ALTER TABLE replays ADD COLUMN IF NOT EXISTS game bytea;
CREATE UNIQUE INDEX IF NOT EXISTS replays_game ON replays(game);
CREATE TABLE IF NOT EXISTS best_verified_players(
    name text PRIMARY KEY,
    score integer NOT NULL,
    result_id bigint NOT NULL,
    replay_id bigint NOT NULL);
CREATE INDEX IF NOT EXISTS best_verified_players_rank ON best_verified_players(score DESC, result_id);
CREATE TABLE IF NOT EXISTS schema_version(version integer NOT NULL);
)";

constexpr int SchemaVersion = 3;
// Held by a server while it brings the tables up to date, so that servers
// starting together create them once. Taken before the transaction, which
// then sees what the server before it committed, tables included.
constexpr const char* LockSchema = "SELECT pg_advisory_lock(5660922001)";
constexpr const char* UnlockSchema = "SELECT pg_advisory_unlock(5660922001)";

// Parameter types.
constexpr Oid Text = 25, Int4 = 23, Int8 = 20, Bytea = 17;

struct Prepared {
    const char* Sql;
    std::vector<Oid> Types;
};

// By PostgresStore::Query; the two kinds' tables by ResultKind's value.
const Prepared Statements[] = {
    {"WITH r AS (INSERT INTO human_results(name, score) VALUES($1, $2) RETURNING id) "
     "INSERT INTO best_players(name, score, result_id) SELECT $1, $2, id FROM r ON CONFLICT(name) DO UPDATE SET "
     "score = excluded.score, result_id = excluded.result_id, replay_id = NULL "
     "WHERE excluded.score > best_players.score",
     {Text, Int4}},
    {"WITH r AS (INSERT INTO autopilot_results(score, publisher) VALUES($1, $2) RETURNING id) "
     "INSERT INTO best_autopilot(score, publisher, result_id) SELECT $1, $2, id FROM r ON CONFLICT DO NOTHING",
     {Int4, Text}},
    {"SELECT r.id FROM human_results t JOIN replays r ON r.kind = 0 AND r.result_id = t.id "
     "WHERE t.name = $1 AND t.score = $2 AND t.verified = 1 AND r.game = $3 LIMIT 1",
     {Text, Int4, Bytea}},
    {"SELECT r.id FROM autopilot_results t JOIN replays r ON r.kind = 1 AND r.result_id = t.id "
     "WHERE t.publisher = $1 AND t.score = $2 AND t.verified = 1 AND r.game = $3 LIMIT 1",
     {Text, Int4, Bytea}},
    {"SELECT 1 FROM human_results WHERE name = $1 AND score = $2 LIMIT 1", {Text, Int4}},
    {"SELECT 1 FROM autopilot_results WHERE publisher = $1 AND score = $2 LIMIT 1", {Text, Int4}},
    {"SELECT id FROM replays WHERE game = $1 LIMIT 1", {Bytea}},
    // Locked: another server marking the same row waits, then finds it taken.
    {"SELECT id FROM human_results WHERE name = $1 AND score = $2 AND verified = 0 ORDER BY id DESC LIMIT 1 "
     "FOR UPDATE",
     {Text, Int4}},
    {"SELECT id FROM autopilot_results WHERE publisher = $1 AND score = $2 AND verified = 0 ORDER BY id DESC "
     "LIMIT 1 FOR UPDATE",
     {Text, Int4}},
    {"UPDATE human_results SET verified = 1 WHERE id = $1", {Int8}},
    {"UPDATE autopilot_results SET verified = 1 WHERE id = $1", {Int8}},
    // Another server may have kept the same game meanwhile: then no row.
    {"INSERT INTO replays(kind, result_id, bytes, game) VALUES($1, $2, $3, $4) ON CONFLICT (game) DO NOTHING "
     "RETURNING id",
     {Int4, Int8, Bytea, Bytea}},
    {"UPDATE best_players SET replay_id = $3 WHERE name = $1 AND score = $2 AND replay_id IS NULL",
     {Text, Int4, Int8}},
    {"INSERT INTO best_verified_players(name, score, result_id, replay_id) VALUES($1, $2, $3, $4) "
     "ON CONFLICT(name) DO UPDATE SET score = excluded.score, result_id = excluded.result_id, "
     "replay_id = excluded.replay_id WHERE excluded.score > best_verified_players.score",
     {Text, Int4, Int8, Int8}},
    {"UPDATE best_autopilot SET replay_id = $3 WHERE score = $1 AND publisher = $2 AND replay_id IS NULL",
     {Int4, Text, Int8}},
    {"SELECT name, score, replay_id FROM best_players ORDER BY score DESC, result_id LIMIT $1", {Int8}},
    {"SELECT score, publisher, replay_id FROM best_autopilot ORDER BY score DESC, result_id LIMIT $1", {Int8}},
    {"SELECT name, score, replay_id FROM best_verified_players ORDER BY score DESC, result_id LIMIT $1", {Int8}},
    {"SELECT score, publisher, replay_id FROM best_autopilot WHERE replay_id IS NOT NULL "
     "ORDER BY score DESC, result_id LIMIT $1",
     {Int8}},
    {"SELECT bytes FROM replays WHERE id = $1", {Int8}},
    {"SELECT id, bytes FROM replays WHERE game IS NULL ORDER BY id", {}},
    {"UPDATE replays SET game = $2 WHERE id = $1 AND game IS NULL AND NOT EXISTS "
     "(SELECT 1 FROM replays WHERE game = $2)",
     {Int8, Bytea}},
    {"SELECT (SELECT count(*) FROM human_results), (SELECT count(*) FROM autopilot_results), "
     "(SELECT count(*) FROM replays)",
     {}},
};

std::int64_t Number(const pg_result* result, int row, int column)
{
    if (PQgetisnull(result, row, column))
        return 0;
    const char* text = PQgetvalue(result, row, column);
    std::int64_t value = 0;
    std::from_chars(text, text + std::strlen(text), value);
    return value;
}

std::string Value(const pg_result* result, int row, int column)
{
    return std::string(PQgetvalue(result, row, column), std::size_t(PQgetlength(result, row, column)));
}

std::string StatementName(int query)
{
    return std::string("q").append(std::to_string(query));
}

bool Good(const pg_result* result)
{
    const ExecStatusType status = PQresultStatus(result);
    return status == PGRES_COMMAND_OK || status == PGRES_TUPLES_OK;
}

}  // namespace


// A failure that running the transaction again may not meet: two servers'
// transactions in a deadlock or a serialization failure, or a connection
// lost before the commit was asked for.
class PostgresStore::TransientFailure : public StoreError {
public:
    using StoreError::StoreError;
};

void PostgresStore::ClearResult::operator()(pg_result* result) const
{
    PQclear(result);
}

void PostgresStore::Finish::operator()(pg_conn* connection) const
{
    PQfinish(connection);
}

PostgresStore::PostgresStore(const std::string& uri) : Uri(uri)
{
    Connect();
}

PostgresStore::~PostgresStore() = default;

void PostgresStore::Connect()
{
    // A database that does not answer is given up on rather than waited for
    // for ever: connecting, a statement (a lock held elsewhere), and a peer
    // gone without a word (keepalives; data unacknowledged). The URI comes
    // last, so that what it says itself wins.
    static constexpr const char* Keys[] = {"connect_timeout",    "keepalives",       "keepalives_idle",
                                           "keepalives_interval", "keepalives_count", "tcp_user_timeout",
                                           "options",            "dbname",           nullptr};
    const char* values[] = {"5", "1", "30", "10", "3", "30000", "-c statement_timeout=10000", Uri.c_str(), nullptr};
    Connection.reset(PQconnectdbParams(Keys, values, 1));
    if (!Connection)
        throw StoreError("out of memory");
    if (PQstatus(Connection.get()) != CONNECTION_OK)
        Fail("cannot connect");
    // A commit is answered once it is on disk, whatever the server's default.
    Execute("SET synchronous_commit TO on");
    Execute("SET client_encoding TO 'UTF8'");
    Execute("SET application_name TO 'vantorix2-records'");
    // "already exists, skipping" and the like are no news for the log.
    Execute("SET client_min_messages TO warning");
    Upgrade();
    Prepare();
}

void PostgresStore::Upgrade()
{
    const auto version = [&]() -> std::int64_t {
        const Result exists(PQexec(Connection.get(), "SELECT to_regclass('schema_version') IS NOT NULL"));
        if (!Good(exists.get()))
            Fail("cannot read the schema's version", exists.get());
        if (Value(exists.get(), 0, 0) != "t")
            return 0;
        const Result read(PQexec(Connection.get(), "SELECT coalesce(max(version), 0) FROM schema_version"));
        if (!Good(read.get()))
            Fail("cannot read the schema's version", read.get());
        return Number(read.get(), 0, 0);
    };
    const auto refuseNewer = [](std::int64_t found) {
        if (found > SchemaVersion)
            throw StoreError("written by a newer version of the server");
    };
    refuseNewer(version());
    if (version() == SchemaVersion)
        return;   // no lock taken: the usual case
    Execute(LockSchema);
    try {
        Execute("BEGIN");
        // Read again under the lock: another server may have done it.
        const std::int64_t found = version();
        refuseNewer(found);
        if (found < SchemaVersion) {
            Execute(Schema);
            Execute("DELETE FROM schema_version");
            Execute(("INSERT INTO schema_version VALUES(" + std::to_string(SchemaVersion) + ")").c_str());
        }
        Execute("COMMIT");
    } catch (...) {
        PQclear(PQexec(Connection.get(), "ROLLBACK"));
        PQclear(PQexec(Connection.get(), UnlockSchema));
        throw;
    }
    Execute(UnlockSchema);
}

void PostgresStore::Prepare()
{
    static_assert(std::size(Statements) == Queries);
    for (int k = 0; k < Queries; ++k) {
        const Prepared& statement = Statements[k];
        const Result prepared(PQprepare(Connection.get(), StatementName(k).c_str(), statement.Sql,
                                        int(statement.Types.size()), statement.Types.data()));
        if (!Good(prepared.get()))
            Fail("cannot prepare a statement", prepared.get());
    }
}

void PostgresStore::Execute(const char* sql)
{
    const Result result(PQexec(Connection.get(), sql));
    if (!Good(result.get()))
        Fail(sql, result.get());
}

PostgresStore::Result PostgresStore::Run(Query query, std::initializer_list<Parameter> parameters, bool binaryRows)
{
    std::vector<const char*> values;
    std::vector<int> lengths, formats;
    for (const Parameter& parameter : parameters) {
        values.push_back(parameter.Value.data());
        lengths.push_back(int(parameter.Value.size()));
        formats.push_back(parameter.Binary ? 1 : 0);
    }
    Result result(PQexecPrepared(Connection.get(), StatementName(query).c_str(), int(values.size()),
                                 values.data(), lengths.data(), formats.data(), binaryRows ? 1 : 0));
    if (!Good(result.get()))
        Fail("statement failed", result.get());
    return result;
}

void PostgresStore::Fail(const std::string& what, const pg_result* result)
{
    const char* state = result ? PQresultErrorField(result, PG_DIAG_SQLSTATE) : nullptr;
    std::string message = result ? PQresultErrorMessage(result) : "";
    if (message.empty())
        message = Connection ? PQerrorMessage(Connection.get()) : "out of memory";
    while (!message.empty() && (message.back() == '\n' || message.back() == ' '))
        message.pop_back();
    const std::string text = what + ": " + message;
    // 40001 serialization failure, 40P01 deadlock: nothing was stored.
    if ((state && (std::strcmp(state, "40001") == 0 || std::strcmp(state, "40P01") == 0)) ||
        (Connection && PQstatus(Connection.get()) == CONNECTION_BAD))
        throw TransientFailure(text);
    throw StoreError(text);
}

void PostgresStore::Store(const Publish& publish)
{
    if (publish.Human)
        Run(InsertHuman, {{publish.Human->Name}, {std::to_string(publish.Human->Score)}});
    if (publish.Autopilot)
        Run(InsertAutopilot, {{std::to_string(publish.Autopilot->Score)}, {publish.Autopilot->Publisher}});
}

VerifyOutcome PostgresStore::Store(const Verification& verification)
{
    const int kind = static_cast<int>(verification.Kind);
    const std::string score = std::to_string(verification.Score);
    // The same game sent again marks nothing more, nor another result.
    const Parameter game{verification.Game, true};
    if (PQntuples(Run(Query(FindVerifiedBy + kind), {{verification.Name}, {score}, game}).get()) > 0)
        return VerifyOutcome::AlreadyMarked;
    if (PQntuples(Run(FindGame, {game}).get()) > 0)
        return VerifyOutcome::TakenByAnother;
    const Result found = Run(Query(FindUnverified + kind), {{verification.Name}, {score}});
    if (PQntuples(found.get()) == 0)
        return VerifyOutcome::NoMatch;
    const std::string result = Value(found.get(), 0, 0);
    const Result kept = Run(InsertReplay, {{std::to_string(kind)}, {result}, {verification.Replay, true}, game});
    if (PQntuples(kept.get()) == 0)
        return VerifyOutcome::TakenByAnother;
    const std::string replay = Value(kept.get(), 0, 0);
    Run(Query(MarkVerified + kind), {{result}});
    if (verification.Kind == ResultKind::Player) {
        Run(MarkBestPlayer, {{verification.Name}, {score}, {replay}});
        Run(UpdateBestVerifiedPlayer, {{verification.Name}, {score}, {result}, {replay}});
    } else {
        Run(MarkBestAutopilot, {{score}, {verification.Name}, {replay}});
    }
    return VerifyOutcome::Marked;
}

std::vector<VerifyOutcome> PostgresStore::Write(std::span<const Publish> publishes,
                                                std::span<const Verification> verifications)
{
    // Every server takes the best rows' locks in one order (the players by
    // name, then the autopilot results), so that two groups seldom wait on
    // each other in a circle; when they do, one is run again.
    std::vector<const HumanResult*> humans;
    std::vector<const AutopilotScore*> autopilots;
    for (const Publish& publish : publishes) {
        if (publish.Human)
            humans.push_back(&*publish.Human);
        if (publish.Autopilot)
            autopilots.push_back(&*publish.Autopilot);
    }
    std::stable_sort(humans.begin(), humans.end(), [](auto* a, auto* b) { return a->Name < b->Name; });
    std::stable_sort(autopilots.begin(), autopilots.end(), [](auto* a, auto* b) {
        return std::tie(a->Score, a->Publisher) < std::tie(b->Score, b->Publisher);
    });

    std::lock_guard guard(Lock);
    for (int attempt = 1;; ++attempt) {
        bool committing = false;
        try {
            if (PQstatus(Connection.get()) != CONNECTION_OK)
                Connect();
            if (verifications.empty()) {
                // Sent in one go, the commit too: a connection lost now
                // leaves it unknown whether it was stored, unless the
                // BEGIN itself was answered with the failure.
                committing = true;
                WritePublishes(humans, autopilots, committing);
                return {};
            }
            Execute("BEGIN");
            for (const HumanResult* human : humans)
                Store(Publish{*human, std::nullopt});
            for (const AutopilotScore* autopilot : autopilots)
                Store(Publish{std::nullopt, *autopilot});
            std::vector<VerifyOutcome> outcomes;
            outcomes.reserve(verifications.size());
            for (const Verification& verification : verifications)
                outcomes.push_back(Store(verification));
            committing = true;
            const Result commit(PQexec(Connection.get(), "COMMIT"));
            // COMMIT of a transaction that failed reports ROLLBACK.
            if (!Good(commit.get()) || std::strcmp(PQcmdStatus(commit.get()), "COMMIT") != 0)
                Fail("cannot commit", commit.get());
            return outcomes;
        } catch (const TransientFailure& failure) {
            const bool lost = PQstatus(Connection.get()) != CONNECTION_OK;
            if (!lost)
                PQclear(PQexec(Connection.get(), "ROLLBACK"));
            // A connection lost during the commit leaves it unknown whether
            // it was stored: no 200, and no second copy either.
            if ((lost && committing) || attempt == WriteAttempts)
                throw StoreError(failure.what());
        } catch (const StoreError&) {
            if (PQstatus(Connection.get()) == CONNECTION_OK)
                PQclear(PQexec(Connection.get(), "ROLLBACK"));
            throw;
        }
    }
}

void PostgresStore::WritePublishes(const std::vector<const HumanResult*>& humans,
                                   const std::vector<const AutopilotScore*>& autopilots, bool& mayHaveRun)
{
    pg_conn* connection = Connection.get();
    if (PQenterPipelineMode(connection) != 1)
        Fail("cannot send in a pipeline");
    int sent = 0;
    bool sending = true;
    const auto send = [&](int done) {
        sending = sending && done == 1;
        sent += sending ? 1 : 0;
    };
    const auto command = [&](const char* sql) {
        send(PQsendQueryParams(connection, sql, 0, nullptr, nullptr, nullptr, nullptr, 0));
    };
    // Texts without NUL (names have no control characters), as C strings.
    const auto statement = [&](Query query, const std::string& first, const std::string& second) {
        const char* values[] = {first.c_str(), second.c_str()};
        send(PQsendQueryPrepared(connection, StatementName(query).c_str(), 2, values, nullptr, nullptr, 0));
    };
    command("BEGIN");
    for (const HumanResult* human : humans)
        statement(InsertHuman, human->Name, std::to_string(human->Score));
    for (const AutopilotScore* autopilot : autopilots)
        statement(InsertAutopilot, std::to_string(autopilot->Score), autopilot->Publisher);
    command("COMMIT");
    Result failed, commit;
    if (sending && PQpipelineSync(connection) == 1) {
        // A result for each, then a null; after a failure the rest come
        // back aborted; then the sync.
        for (int k = 0; k < sent; ++k) {
            Result result(PQgetResult(connection));
            if (!result)
                break;   // the connection is gone
            if (PQresultStatus(result.get()) == PGRES_FATAL_ERROR && !failed) {
                // Results come in order: a BEGIN the database itself refused
                // means none of it ran (a connection it closed while idle
                // says so first). A BEGIN failed for a connection lost on our
                // side says nothing: all of it may have run, COMMIT too.
                mayHaveRun = k > 0 || PQresultErrorField(result.get(), PG_DIAG_SQLSTATE) == nullptr;
                failed = std::move(result);
            }
            else if (k == sent - 1)
                commit = std::move(result);
            while (pg_result* rest = PQgetResult(connection))
                PQclear(rest);
        }
        const Result sync(PQgetResult(connection));
    }
    PQexitPipelineMode(connection);
    if (failed)
        Fail("statement failed", failed.get());
    if (!commit || !Good(commit.get()) || std::strcmp(PQcmdStatus(commit.get()), "COMMIT") != 0)
        Fail("cannot commit", commit.get());
}

template <class Read>
auto PostgresStore::Reading(Read read)
{
    std::lock_guard guard(Lock);
    try {
        if (PQstatus(Connection.get()) != CONNECTION_OK)
            Connect();
        return read();
    } catch (const TransientFailure&) {
        if (PQstatus(Connection.get()) == CONNECTION_OK)
            throw;
        Connect();   // the database restarted, say: once more
        return read();
    }
}

std::vector<HumanResult> PostgresStore::Players(Query query, int limit)
{
    return Reading([&] {
        const Result rows = Run(query, {{std::to_string(limit)}});
        std::vector<HumanResult> players;
        for (int k = 0; k < PQntuples(rows.get()); ++k)
            players.push_back({Value(rows.get(), k, 0), std::int32_t(Number(rows.get(), k, 1)),
                               Number(rows.get(), k, 2)});
        return players;
    });
}

std::vector<AutopilotScore> PostgresStore::Autopilot(Query query, int limit)
{
    return Reading([&] {
        const Result rows = Run(query, {{std::to_string(limit)}});
        std::vector<AutopilotScore> scores;
        for (int k = 0; k < PQntuples(rows.get()); ++k)
            scores.push_back({std::int32_t(Number(rows.get(), k, 0)), Value(rows.get(), k, 1),
                              Number(rows.get(), k, 2)});
        return scores;
    });
}

std::vector<HumanResult> PostgresStore::BestPlayers(int limit)
{
    return Players(SelectBestPlayers, limit);
}

std::vector<AutopilotScore> PostgresStore::BestAutopilot(int limit)
{
    return Autopilot(SelectBestAutopilot, limit);
}

std::vector<HumanResult> PostgresStore::BestVerifiedPlayers(int limit)
{
    return Players(SelectBestVerifiedPlayers, limit);
}

std::vector<AutopilotScore> PostgresStore::BestVerifiedAutopilot(int limit)
{
    return Autopilot(SelectBestVerifiedAutopilot, limit);
}

std::optional<std::string> PostgresStore::ReplayFile(std::int64_t id)
{
    return Reading([&]() -> std::optional<std::string> {
        const Result rows = Run(SelectReplay, {{std::to_string(id)}}, true);
        if (PQntuples(rows.get()) == 0)
            return std::nullopt;
        return Value(rows.get(), 0, 0);
    });
}

bool PostgresStore::HasResult(ResultKind kind, const std::string& name, std::int32_t score)
{
    return Reading([&] {
        return PQntuples(Run(Query(FindResult + static_cast<int>(kind)), {{name}, {std::to_string(score)}}).get()) > 0;
    });
}

std::vector<std::pair<std::int64_t, std::string>> PostgresStore::ReplaysWithoutGame()
{
    return Reading([&] {
        const Result rows = Run(SelectUnkeyed, {}, true);
        std::vector<std::pair<std::int64_t, std::string>> replays;
        for (int k = 0; k < PQntuples(rows.get()); ++k) {
            // Binary rows: the id is a big-endian int8.
            std::int64_t id = 0;
            for (char byte : Value(rows.get(), k, 0))
                id = (id << 8) | static_cast<unsigned char>(byte);
            replays.emplace_back(id, Value(rows.get(), k, 1));
        }
        return replays;
    });
}

bool PostgresStore::SetReplayGame(std::int64_t id, const std::string& game)
{
    try {
        return Reading([&] {
            return std::strcmp(PQcmdTuples(Run(SetGame, {{std::to_string(id)}, {game, true}}).get()), "1") == 0;
        });
    } catch (const StoreError&) {
        // Another server gave the key to another replay at the same moment.
        if (Reading([&] { return PQntuples(Run(FindGame, {{game, true}}).get()) > 0; }))
            return false;
        throw;
    }
}

PostgresStore::Counts PostgresStore::Count()
{
    return Reading([&] {
        const Result rows = Run(CountResults, {});
        return Counts{Number(rows.get(), 0, 0), Number(rows.get(), 0, 1), Number(rows.get(), 0, 2)};
    });
}
