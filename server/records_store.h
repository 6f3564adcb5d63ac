#pragma once
// The published results in an SQLite database. Every publish is kept as a
// row; the best score of each name and each distinct autopilot result are
// kept beside them so that the page reads thirty rows, not the whole log.
// Each store is one connection behind a mutex. The server opens two: the
// writer's, which commits publishes in groups, and the reader's, which
// renders the page; in WAL mode the reader never waits for the writer.

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <mutex>
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

    // Best first; each name once with its best score; of equal scores the
    // one reached earlier first.
    std::vector<HumanResult> BestPlayers(int limit);
    // Best first; a result published again (same score, same publisher) is
    // listed once, where it was first published.
    std::vector<AutopilotResult> BestAutopilot(int limit);

    // Every publish ever stored.
    struct Counts {
        std::int64_t HumanResults = 0;
        std::int64_t AutopilotResults = 0;
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
};
