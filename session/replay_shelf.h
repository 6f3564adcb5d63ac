#pragma once
// The replays of the records table's games, kept in a folder beside the
// records file ("vantorix2.replays" beside "vantorix2.rez"): a file a
// replay and an index that ties each to its entry by name and score, in the
// table's order. The records file itself does not change. A replay is kept
// when its game's name is entered; an entry that leaves the thirty takes
// its replay with it, and erasing the records erases them all. Each file
// holds its entry's name and score, so a lost or damaged index costs no
// replay: the files not named in it are read for whose they are.

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
    // The replay file of the entry at place (1..), if it has one.
    std::optional<std::filesystem::path> PathOf(const std::vector<RecordEntry>& entries, int place) const;
    // Whether the entry at place has a replay on the shelf.
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
    // The index's rows of files that are there, then a row for each replay
    // file it does not name, as the file has it.
    std::vector<Row> ReadIndex() const;
    std::optional<Row> RowFromFile(const std::string& file) const;
    void WriteIndex(const std::vector<Row>& rows);
    // For each entry, the row that is its replay (or none); rows no entry
    // takes are mended from their files on the way.
    std::vector<const Row*> Match(const std::vector<RecordEntry>& entries, std::vector<Row>& rows) const;
    std::optional<std::string> FileOf(const std::vector<RecordEntry>& entries, int place) const;
    // Removes the files of the candidates that kept does not name.
    void Tidy(const std::vector<Row>& candidates, const std::vector<Row>& kept);

    std::filesystem::path Dir;
};
