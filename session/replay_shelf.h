#pragma once
// The replays of the records table's games, kept in a folder beside the
// records file ("vantorix2.replays" beside "vantorix2.rez"): a file a
// replay and an index that ties each to its entry by name and score, in the
// table's order. The records file itself does not change. A replay is kept
// when its game's name is entered; an entry that leaves the thirty takes
// its replay with it, and erasing the records erases them all.

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "replay/replay.h"
#include "storage/records_book.h"

class ReplayShelf {
public:
    explicit ReplayShelf(const std::filesystem::path& recordsFile = RecordsFileName);

    const std::filesystem::path& Folder() const { return Dir; }

    // After the table was saved with a newly named entry at place: keeps the
    // replay for it and lets go of the replays of entries no longer in the
    // table. FileError when a file cannot be written (nothing is lost: the
    // index still names only files that exist).
    void Keep(const std::vector<RecordEntry>& entries, int place, const Replay& replay);
    // Whether the entry at place (1..) has a replay on the shelf.
    bool Has(const std::vector<RecordEntry>& entries, int place) const;
    // The replay file of the entry at place, as stored; nothing when it has
    // none. FileError when it cannot be read.
    std::optional<std::string> Bytes(const std::vector<RecordEntry>& entries, int place) const;
    // The same, read; ReplayError when the file is no good.
    std::optional<Replay> Find(const std::vector<RecordEntry>& entries, int place) const;
    // Every replay gone (the records were erased). FileError when a file stays.
    void EraseAll();

private:
    struct Row {
        std::string File;   // "<n>.vxr"
        std::string Score;
        std::string Name;
    };
    std::vector<Row> ReadIndex() const;
    void WriteIndex(const std::vector<Row>& rows);
    // For each entry, the index row that is its replay (or none), matched in order.
    std::vector<const Row*> Match(const std::vector<RecordEntry>& entries, const std::vector<Row>& rows) const;
    std::optional<std::string> FileOf(const std::vector<RecordEntry>& entries, int place) const;
    // Removes the replay files the rows do not name.
    void Tidy(const std::vector<Row>& rows);

    std::filesystem::path Dir;
};
