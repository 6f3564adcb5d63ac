#include <gtest/gtest.h>

#include "storage/records_table.h"

namespace {

// A table from its scores, best first; names are "p1", "p2", ...
std::vector<RecordEntry> Scores(const std::vector<std::string>& scores)
{
    std::vector<RecordEntry> entries;
    for (std::size_t k = 0; k < scores.size(); ++k)
        entries.push_back({std::to_string(k + 1), std::string("p").append(std::to_string(k + 1)), scores[k]});
    return entries;
}

std::vector<std::string> FullTable(const std::string& last)
{
    std::vector<std::string> scores;
    for (int k = 1; k < 30; ++k)
        scores.push_back(std::to_string(1000 * (31 - k)));
    scores.push_back(last);
    return scores;
}

std::string Names(const std::vector<RecordEntry>& entries)
{
    std::string out;
    for (const auto& e : entries)
        out += e.Place + ":" + e.Name + " ";
    return out;
}

}  // namespace

TEST(RecordsTable, PlacesTheScoreBelowEqualScoresAndSoundsTheRecordOnce)
{
    const struct {
        const char* name;
        std::vector<std::string> table;
        std::int32_t score;
        int recordPlace;
        int place;
        bool sound;
    } cases[] = {
        {"empty table: first place, no sound", {}, 500, 1, 1, false},
        {"below a better score", {"900", "500"}, 400, 3, 3, false},
        {"ties go below", {"900", "500"}, 500, 3, 3, false},
        {"passes one", {"900", "500"}, 501, 3, 2, false},
        {"takes first place", {"900", "500"}, 901, 2, 1, true},
        {"already first: no second fanfare", {"900", "500"}, 950, 1, 1, false},
        {"score texts with stops", {"1.200.000", "3.456"}, 3457, 3, 2, false},
        {"an unreadable score counts as 0", {"900", "abc"}, 1, 3, 2, false},
        {"an unreadable score still holds 0", {"900", "abc"}, 0, 3, 3, false},
        {"full table, 30th equal: outside", FullTable("100"), 100, 31, 31, false},
        {"full table, 30th lower: 30th place", FullTable("100"), 101, 31, 30, false},
    };
    for (const auto& c : cases) {
        const auto entries = Scores(c.table);
        const PlaceFound found = FindPlace(entries, c.score, c.recordPlace);
        EXPECT_EQ(found.place, c.place) << c.name;
        EXPECT_EQ(found.recordSound, c.sound) << c.name;
    }
}

TEST(RecordsTable, InsertingTheLiveRowRenumbersAndKeepsThirty)
{
    auto entries = Scores({"900", "500", "100"});
    InsertEntry(entries, "live", "600", 2, 600);
    EXPECT_EQ(Names(entries), "1:p1 2:live 3:p2 4:p3 ");
    EXPECT_EQ(entries[1].Score, "600");

    // A full table drops its 30th entry when the live score beats it.
    entries = Scores(FullTable("100"));
    InsertEntry(entries, "live", "101", 30, 101);
    ASSERT_EQ(entries.size(), 30u);
    EXPECT_EQ(entries[29].Name, "live");
    EXPECT_EQ(entries[29].Place, "30");

    // Place 31 inserts nothing; the 30th stays when it is not beaten.
    entries = Scores(FullTable("100"));
    InsertEntry(entries, "live", "100", 31, 100);
    EXPECT_EQ(entries, Scores(FullTable("100")));
    // ... and goes when it is, even though nothing is inserted.
    InsertEntry(entries, "live", "101", 31, 101);
    EXPECT_EQ(entries.size(), 29u);

    entries = {};
    InsertEntry(entries, "first", "0", 1, 0);
    EXPECT_EQ(Names(entries), "1:first ");
}

TEST(NameEntry, CutsToFourteenCharactersAndWantsALetterFirst)
{
    EXPECT_EQ(CutName("ABCDEFGHIJKLMNOPQRST"), "ABCDEFGHIJKLMN");
    EXPECT_EQ(CutName("Абвгдеёжзийклмноп"), "Абвгдеёжзийклм");
    EXPECT_EQ(CutName("Ann"), "Ann");
    EXPECT_EQ(CutName(""), "");

    const struct {
        const char* text;
        bool accepted;
    } cases[] = {
        {"", true},       {"Ann", true},   {"zed", true},  {"Аня", true},   {"яблоко", true},
        {"1st", false},   {" Ann", false}, {"_x", false},  {"Ёлка", false}, {"ÄÖ", false},
        {"A1 2", true},   {"-", false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(FirstCharacterAccepted(c.text), c.accepted) << '"' << c.text << '"';
}
