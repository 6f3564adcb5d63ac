#pragma once
// The records snapshot: the byte image of the records list (signature
// "TPF0", the list's property records, the entries in the "Items.Data"
// block), as the records file holds it once inflated.

#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

// One row of the records table; UTF-8 texts, as stored (no renumbering).
struct RecordEntry {
    std::string Place;
    std::string Name;
    std::string Score;
    bool operator==(const RecordEntry&) const = default;
};

struct ColumnWidths {
    int Place;
    int Name;
    int Score;
    bool operator==(const ColumnWidths&) const = default;
};

// The list's widths before the first load, and its width.
inline constexpr ColumnWidths DesignColumnWidths{25, 105, 71};
inline constexpr int RecordsListWidth = 201;
// The widths set after every load: a tenth and 35 % of the list, each to
// the nearest whole number (ties to even), and the rest for the name.
ColumnWidths ColumnWidthsFor(int listWidth);

inline constexpr int MaxRecords = 30;

// A snapshot that does not read; what() is the message to show.
class SnapshotError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};
inline constexpr const char* StreamReadError = "Stream read error";
inline constexpr const char* InvalidStreamFormat = "Invalid stream format";

std::string WriteRecordsSnapshot(const std::vector<RecordEntry>& entries, ColumnWidths widths);
// The value of "Items.Data"; entries must not be empty.
std::string WriteRecordsBlock(const std::vector<RecordEntry>& entries);

// Both throw SnapshotError; they never read past their input.
std::vector<RecordEntry> ReadRecordsSnapshot(std::string_view content);
std::vector<RecordEntry> ReadRecordsBlock(std::string_view block);
