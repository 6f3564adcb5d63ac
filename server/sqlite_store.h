#pragma once
// The results in an SQLite file: one connection behind a mutex. The server
// opens two, the writer's, which commits publishes in groups, and the
// reader's, which renders the page; in WAL mode the reader never waits for
// the writer.

#include <atomic>
#include <filesystem>
#include <mutex>

#include "server/records_store.h"

struct sqlite3;
struct sqlite3_stmt;

class SqliteStore final : public RecordsStore {
public:
    // Opens or creates the database; StoreError when it cannot be used.
    explicit SqliteStore(const std::filesystem::path& file);
    ~SqliteStore() override;

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

    // Commits no longer copy the log into the database (the automatic
    // checkpoint); the owner calls Checkpoint, here or on another
    // connection, as LogFrames grows.
    void LeaveCheckpointsToCaller() override;
    // Frames in the log after this connection's last commit.
    int LogFrames() const override { return Frames.load(std::memory_order_relaxed); }
    // Copies into the database what the log holds and no reader still
    // needs, without waiting for anyone.
    bool Checkpoint() override;

private:
    class Statement;

    void Execute(const char* sql);
    [[noreturn]] void Fail(const std::string& what);
    // Brings the schema to this version, in one transaction.
    void Upgrade(const std::string& file);
    void Store(const Publish& publish);
    VerifyOutcome Store(const Verification& verification);
    std::vector<HumanResult> Players(Statement& select, int limit);
    std::vector<AutopilotScore> Autopilot(Statement& select, int limit);

    std::mutex Lock;
    std::atomic<int> Frames{0};
    struct CloseDatabase {
        void operator()(sqlite3* db) const;
    };
    // Declared before the statements, so closed after them, also when the
    // constructor gives up half way.
    std::unique_ptr<sqlite3, CloseDatabase> Db;
    std::unique_ptr<Statement> Begin, Commit, Rollback, InsertHuman, UpdateBestPlayer, InsertAutopilot,
        InsertBestAutopilot, SelectBestPlayers, SelectBestAutopilot, CountResults;
    // Verifying: by kind (ResultKind's value), the row a game verified
    // already, any row of the name and score, and the row it would verify;
    // marking it.
    std::unique_ptr<Statement> FindVerifiedBy[2], FindResult[2], FindUnverified[2], MarkVerified[2], InsertReplay,
        FindGame, SelectUnkeyed, SetGame, MarkBestPlayer,
        UpdateBestVerifiedPlayer, MarkBestAutopilot, SelectBestVerifiedPlayers, SelectBestVerifiedAutopilot,
        SelectReplay;
};
