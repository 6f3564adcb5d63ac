#pragma once
// The published results in an SQLite database. Every publish is kept as a
// row; the best score of each name and each distinct autopilot result are
// kept beside them so that the page reads thirty rows, not the whole log.
// A result verified by a replay is marked, its replay kept for download, and
// the best verified score of each name kept too, for the verified view.
// Each store is one connection behind a mutex. The server opens two: the
// writer's, which commits publishes in groups, and the reader's, which
// renders the page; in WAL mode the reader never waits for the writer.

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <mutex>
#include <optional>
#include <span>
#include <stdexcept>
#include <string>
#include <vector>

#include "server/results.h"

struct sqlite3;
struct sqlite3_stmt;

class StoreError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

class RecordsStore {
public:
    // Opens or creates the database; StoreError when it cannot be used.
    explicit RecordsStore(const std::filesystem::path& file);
    ~RecordsStore();
    RecordsStore(const RecordsStore&) = delete;
    RecordsStore& operator=(const RecordsStore&) = delete;

    // Stores what the publish carries in one transaction: all or nothing.
    void Add(const Publish& publish);
    // Several publishes in one transaction and one commit: all or nothing.
    void AddAll(std::span<const Publish> publishes);
    // The publishes, then the verifications in order, in one transaction and
    // one commit: all or nothing. An outcome for each verification: a replay
    // that had verified such a result already changes nothing; else it marks
    // the most recent unverified match and is kept.
    std::vector<VerifyOutcome> Write(std::span<const Publish> publishes, std::span<const Verification> verifications);

    // Best first; each name once with its best score; of equal scores the
    // one reached earlier first. Replay: a replay verified that name's score.
    std::vector<HumanResult> BestPlayers(int limit);
    // Best first; a result published again (same score, same publisher) is
    // listed once, where it was first published.
    std::vector<AutopilotScore> BestAutopilot(int limit);
    // The same lists of verified results only: each name once with its best
    // verified score; each verified autopilot result once.
    std::vector<HumanResult> BestVerifiedPlayers(int limit);
    std::vector<AutopilotScore> BestVerifiedAutopilot(int limit);
    // The file of a kept replay by its id (a listed row's Replay); nothing
    // when there is none.
    std::optional<std::string> ReplayFile(std::int64_t id);

    // Every publish ever stored, and every replay kept.
    struct Counts {
        std::int64_t HumanResults = 0;
        std::int64_t AutopilotResults = 0;
        std::int64_t Replays = 0;
    };
    Counts Count();

    // This connection's commits no longer copy the log into the database
    // (the automatic checkpoint): the owner calls Checkpoint, here or on
    // another connection, as LogFrames grows.
    void LeaveCheckpointsToCaller();
    // Frames in the log after this connection's last commit.
    int LogFrames() const { return Frames.load(std::memory_order_relaxed); }
    // Copies into the database what the log holds and no reader still
    // needs, without waiting for anyone; false when another connection was
    // copying already.
    bool Checkpoint();

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
    // Verifying: by kind (ResultKind's value), the row a replay verified
    // already and the row it would verify; marking it.
    std::unique_ptr<Statement> FindVerifiedBy[2], FindUnverified[2], MarkVerified[2], InsertReplay, MarkBestPlayer,
        UpdateBestVerifiedPlayer, MarkBestAutopilot, SelectBestVerifiedPlayers, SelectBestVerifiedAutopilot,
        SelectReplay;
};
