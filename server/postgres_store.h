#pragma once
// The results in a PostgreSQL database, through libpq: one connection
// behind a mutex, prepared statements only. Any number of servers may share
// the database; it is all they share. A commit returns once the database
// says it is durable (synchronous_commit on for this connection).

#include <memory>
#include <mutex>
#include <string>
#include <string_view>

#include "server/records_store.h"

struct pg_conn;
struct pg_result;

class PostgresStore final : public RecordsStore {
public:
    // Connects (a libpq URI), creates the tables or upgrades them under a
    // lock that servers starting together share; StoreError when the
    // database cannot be used.
    explicit PostgresStore(const std::string& uri);
    ~PostgresStore() override;

    std::vector<VerifyOutcome> Write(std::span<const Publish> publishes,
                                     std::span<const Verification> verifications) override;
    std::vector<HumanResult> BestPlayers(int limit) override;
    std::vector<AutopilotScore> BestAutopilot(int limit) override;
    std::vector<HumanResult> BestVerifiedPlayers(int limit) override;
    std::vector<AutopilotScore> BestVerifiedAutopilot(int limit) override;
    std::optional<std::string> ReplayFile(std::int64_t id) override;
    bool HasResult(ResultKind kind, const std::string& name, std::int32_t score) override;
    std::vector<std::pair<std::int64_t, std::string>> ReplaysWithoutGame() override;
    bool SetReplayGame(std::int64_t id, const std::string& game) override;
    Counts Count() override;

    // A failed transaction that two servers' writes caused (a deadlock, a
    // serialization failure) is run again this many times.
    static constexpr int WriteAttempts = 5;

private:
    struct ClearResult {
        void operator()(pg_result* result) const;
    };
    using Result = std::unique_ptr<pg_result, ClearResult>;
    struct Parameter {
        std::string Value;
        bool Binary = false;
    };
    // The prepared statements; by kind (ResultKind's value) where marked.
    enum Query : int {
        InsertHuman,
        InsertAutopilot,
        FindVerifiedBy,   // + kind
        FindResult = FindVerifiedBy + 2,   // + kind
        FindGame = FindResult + 2,
        FindUnverified,   // + kind
        MarkVerified = FindUnverified + 2,
        InsertReplay = MarkVerified + 2,
        MarkBestPlayer,
        UpdateBestVerifiedPlayer,
        MarkBestAutopilot,
        SelectBestPlayers,
        SelectBestAutopilot,
        SelectBestVerifiedPlayers,
        SelectBestVerifiedAutopilot,
        SelectReplay,
        SelectUnkeyed,
        SetGame,
        CountResults,
        Queries
    };
    class TransientFailure;

    void Connect();
    void Upgrade();
    void Prepare();
    void Execute(const char* sql);
    // Runs a prepared statement; rows in text, or in binary (a bytea read).
    Result Run(Query query, std::initializer_list<Parameter> parameters, bool binaryRows = false);
    // A read, run again once on a new connection when the old one broke.
    template <class Read>
    auto Reading(Read read);
    [[noreturn]] void Fail(const std::string& what, const pg_result* result = nullptr);
    // Publishes alone, a transaction in one round trip (libpq's pipeline).
    // mayHaveRun: cleared when a failure is sure to have stored nothing.
    void WritePublishes(const std::vector<const HumanResult*>& humans,
                        const std::vector<const AutopilotScore*>& autopilots, bool& mayHaveRun);
    void Store(const Publish& publish);
    VerifyOutcome Store(const Verification& verification);
    std::vector<HumanResult> Players(Query query, int limit);
    std::vector<AutopilotScore> Autopilot(Query query, int limit);

    std::string Uri;
    std::mutex Lock;
    struct Finish {
        void operator()(pg_conn* connection) const;
    };
    std::unique_ptr<pg_conn, Finish> Connection;
};
