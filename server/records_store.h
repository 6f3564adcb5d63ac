#pragma once
// Where the published results are kept. Every publish is kept as a row; the
// best score of each name and each distinct autopilot result are kept beside
// them so that the page reads thirty rows, not the whole log. A result
// verified by a replay is marked, its replay kept for download with its
// game's key (one game verifies one result), and the best verified score of
// each name kept too, for the verified view.
//
// Two back ends keep the same tables by the same rules: an SQLite file (one
// server on one machine, nothing to set up) and a PostgreSQL database (any
// number of servers sharing it). A store is one connection, safe to use from
// several threads; the server opens two, one that writes and one that reads.

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "server/results.h"

class StoreError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

class RecordsStore {
public:
    virtual ~RecordsStore() = default;
    RecordsStore() = default;
    RecordsStore(const RecordsStore&) = delete;
    RecordsStore& operator=(const RecordsStore&) = delete;

    // Stores what the publish carries in one transaction: all or nothing.
    void Add(const Publish& publish) { Write(std::span<const Publish>(&publish, 1), {}); }
    // Several publishes in one transaction and one commit: all or nothing.
    void AddAll(std::span<const Publish> publishes) { Write(publishes, {}); }
    // The publishes, then the verifications in order, in one transaction and
    // one commit: all or nothing; returns once the commit is durable. An
    // outcome for each verification: a game that had verified such a result
    // already, or another result, changes nothing; else it marks the most
    // recent unverified match and is kept.
    virtual std::vector<VerifyOutcome> Write(std::span<const Publish> publishes,
                                             std::span<const Verification> verifications) = 0;

    // Best first; each name once with its best score; of equal scores the
    // one reached earlier first. Replay: a replay verified that name's score.
    virtual std::vector<HumanResult> BestPlayers(int limit) = 0;
    // Best first; a result published again (same score, same publisher) is
    // listed once, where it was first published.
    virtual std::vector<AutopilotScore> BestAutopilot(int limit) = 0;
    // The same lists of verified results only: each name once with its best
    // verified score; each verified autopilot result once.
    virtual std::vector<HumanResult> BestVerifiedPlayers(int limit) = 0;
    virtual std::vector<AutopilotScore> BestVerifiedAutopilot(int limit) = 0;
    // The file of a kept replay by its id (a listed row's Replay); nothing
    // when there is none.
    virtual std::optional<std::string> ReplayFile(std::int64_t id) = 0;
    // Whether a result of that kind, name (an autopilot result's publisher)
    // and score was ever published: a replay of none is not played.
    virtual bool HasResult(ResultKind kind, const std::string& name, std::int32_t score) = 0;
    // Replays kept before games had keys: their ids and files, oldest first.
    virtual std::vector<std::pair<std::int64_t, std::string>> ReplaysWithoutGame() = 0;
    // Gives a kept replay its game's key; false when another replay has the
    // key already (the same game verified two results before there were
    // keys: the first keeps it).
    virtual bool SetReplayGame(std::int64_t id, const std::string& game) = 0;

    // Every publish ever stored, and every replay kept.
    struct Counts {
        std::int64_t HumanResults = 0;
        std::int64_t AutopilotResults = 0;
        std::int64_t Replays = 0;
    };
    virtual Counts Count() = 0;

    // A back end with a log of its own to copy into the database (SQLite's
    // write-ahead log) lets the owner do it instead, off the commit path:
    // after this, commits leave the log growing; LogFrames tells how far,
    // and Checkpoint copies what no reader still needs (false when another
    // connection was copying already). Elsewhere the database does it.
    virtual void LeaveCheckpointsToCaller() {}
    virtual int LogFrames() const { return 0; }
    virtual bool Checkpoint() { return true; }
};

// "postgresql://..." or "postgres://..." (a libpq connection URI) opens a
// PostgreSQL database; anything else is the path of an SQLite file.
bool IsPostgresAddress(const std::string& database);
// Opens or creates the database and brings its tables to this version;
// StoreError when it cannot be used.
std::unique_ptr<RecordsStore> OpenRecordsStore(const std::string& database);
// The database as a log may show it: a URI's password hidden.
std::string DatabaseForLog(const std::string& database);
