#pragma once
// The records table's rules on a plain list of entries: placing a score,
// inserting the live row, and the name entry's rules.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "records_snapshot.h"

inline constexpr int NameLength = 14;
// RecordPlace of a score that does not enter a full table.
inline constexpr int OutsideTable = MaxRecords + 1;

// The score of a stored score text; a text that does not read (a
// hand-edited file) counts as 0, so it never stops the placing.
std::int32_t StoredScore(const std::string& scoreText);

struct PlaceFound {
    int place;          // 1..31
    bool recordSound;   // the score has just taken first place
};

// Walks up from below the last entry while the entry above scores less;
// ties stay above. Taking first place sounds the record once, unless
// recordPlace is already 1; an empty table never sounds it.
PlaceFound FindPlace(const std::vector<RecordEntry>& entries, std::int32_t score, int recordPlace);

// Puts the live row at place (1..31; 31 inserts nothing), first dropping
// entry 30 of a full table when it scores less than score, then renumbers.
void InsertEntry(std::vector<RecordEntry>& entries, const std::string& name, const std::string& scoreText, int place,
                 std::int32_t score);

// The first 14 characters.
std::string CutName(std::string_view name);
// A name must begin with a Latin or a Cyrillic letter (А..я); an empty
// text is let be. Later characters are not tested.
bool FirstCharacterAccepted(std::string_view name);
