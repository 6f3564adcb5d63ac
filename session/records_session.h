#pragma once
// What a game does to the records table, in one sequence that the window,
// vantorix2-sim records and the records benchmark all run: the live row put
// in at the game's start and placed again at every score change, the name
// entry at its end, and erasing. The caller keeps the place (RecordPlace)
// and the player's name and shows the results.

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "replay/replay.h"
#include "session/replay_shelf.h"
#include "storage/records_book.h"

// A load of the records file that failed. The step went on with an empty
// table; the caller tells the player (or, when Repeated, need not again).
struct RecordsLoadFailure {
    std::string Message;
    bool Repeated = false;   // the same failure, on the same bytes, as the load before
    bool Damaged = false;    // the file did not inflate and was set aside
    std::string KeptAs;      // where (empty when even that failed)
    std::string Reason;      // why it could not be set aside
};

struct RecordsStep {
    int Place;                                  // the live row's place, 1..31
    bool RecordSound = false;                   // the score has just taken first place
    std::optional<RecordsLoadFailure> Failure;
};

class RecordsSession {
public:
    explicit RecordsSession(std::filesystem::path file = RecordsFileName);

    // The shown table and its file.
    const RecordsBook& Book() const { return Records; }
    const std::vector<RecordEntry>& Entries() const { return Records.Entries(); }

    // The table as stored (start-up); the place a game would start at.
    RecordsStep Load();
    // A game starts: the stored table with the live row "0" below it.
    RecordsStep GameStarted(const std::string& player);
    // The score changed: the stored table with the live row at the score's
    // place; the record sound once, when it takes first place.
    RecordsStep ScoreChanged(const std::string& player, std::int32_t score, int recordPlace);
    // The game is over: the name the entry proposes (the live row's, else
    // the player's), or nothing when the score has no place in the table.
    std::optional<std::string> NameEntryOpens(int recordPlace, const std::string& player) const;
    // What the entry holds when text is typed: the characters code page
    // 1251 has, and the player's name instead of a text whose first
    // character is no letter.
    static std::string EntryText(const std::string& typed, const std::string& player);
    // Enter in the name entry: the row is named (14 characters) and the
    // table saved. RecordsError when the save fails; the name stays shown.
    // The game's replay, when given, is kept for the row under its name;
    // FileError when it cannot be (the table is saved all the same).
    void NameEntered(int recordPlace, const std::string& name, const std::optional<Replay>& replay = std::nullopt);
    // All records erased: the file removed, then written again empty, and
    // their replays with it. RecordsError when the file stays, FileError
    // when a replay does.
    RecordsStep Erase();

    // The replays of the stored table's entries.
    const ReplayShelf& Replays() const { return Shelf; }

    // Runs before each step of every file write (tests).
    WriteStepHook& WriteHook() { return Records.WriteHook; }

private:
    std::optional<RecordsLoadFailure> Reload();

    RecordsBook Records;
    ReplayShelf Shelf;
};
