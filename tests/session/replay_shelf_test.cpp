// The replays kept beside the records: tied to their entries through every
// change of the table, gone with them.

#include <gtest/gtest.h>

#include <fstream>

#include "session/records_session.h"
#include "session/replay_shelf.h"
#include "storage/temp_folder.h"

namespace {

// A replay told apart by its seed.
Replay Game(std::uint32_t seed)
{
    Replay replay;
    replay.Seed = seed;
    replay.Events = {{ReplayEventKind::Started, 1}, {ReplayEventKind::Stop, 1}};
    return replay;
}

std::vector<RecordEntry> Table(const std::vector<std::pair<std::string, std::string>>& rows)
{
    std::vector<RecordEntry> entries;
    for (const auto& [name, score] : rows)
        entries.push_back({std::to_string(entries.size() + 1), name, score});
    return entries;
}

// The seed of each entry's replay, 0 for none.
std::vector<std::uint32_t> Seeds(const ReplayShelf& shelf, const std::vector<RecordEntry>& entries)
{
    std::vector<std::uint32_t> seeds;
    for (int place = 1; place <= int(entries.size()); ++place) {
        const auto replay = shelf.Find(entries, place);
        seeds.push_back(replay ? replay->Seed : 0);
    }
    return seeds;
}

std::size_t ReplayFiles(const std::filesystem::path& folder)
{
    std::size_t count = 0;
    std::error_code error;
    for (const auto& item : std::filesystem::directory_iterator(folder, error))
        count += item.path().extension() == ".vxr" ? 1 : 0;
    return count;
}

}  // namespace

TEST(ReplayShelf, FollowsItsEntriesAsTheTableChanges)
{
    TempFolder folder;
    ReplayShelf shelf(folder / "r.rez");
    EXPECT_EQ(shelf.Folder(), folder / "r.replays");

    struct Step {
        const char* name;
        std::vector<std::pair<std::string, std::string>> table;   // after the new entry was saved
        int place;                                                // of the new entry
        std::vector<std::uint32_t> seeds;                         // each entry's replay after the step
    } steps[] = {
        {"the first entry", {{"Ann", "500"}}, 1, {1}},
        {"a better one above it", {{"Bob", "900"}, {"Ann", "500"}}, 1, {2, 1}},
        {"one between them", {{"Bob", "900"}, {"Cid", "700"}, {"Ann", "500"}}, 2, {2, 3, 1}},
        {"the same name and score twice, the new one below",
         {{"Bob", "900"}, {"Cid", "700"}, {"Ann", "500"}, {"Ann", "500"}}, 4, {2, 3, 1, 4}},
        {"an entry gone from the table (edited elsewhere)", {{"Bob", "900"}, {"Ann", "500"}, {"Ann", "500"}, {"Dan", "100"}},
         4, {2, 1, 4, 5}},
        {"a name with a tab, a line end and a backslash",
         {{"Bob", "900"}, {"Ann", "500"}, {"Ann", "500"}, {"E\tv\ne\\", "300"}, {"Dan", "100"}}, 4, {2, 1, 4, 6, 5}},
    };
    std::uint32_t seed = 0;
    for (const Step& step : steps) {
        const auto entries = Table(step.table);
        shelf.Keep(entries, step.place, Game(++seed));
        EXPECT_EQ(Seeds(shelf, entries), step.seeds) << step.name;
        // Nothing kept for an entry that is gone.
        EXPECT_EQ(ReplayFiles(shelf.Folder()), step.seeds.size()) << step.name;
        EXPECT_TRUE(shelf.Has(entries, 1)) << step.name;
        EXPECT_FALSE(shelf.Has(entries, int(entries.size()) + 1)) << step.name;
    }
}

TEST(ReplayShelf, ABadIndexOrAStrangerInTheFolderHarmsNothing)
{
    TempFolder folder;
    ReplayShelf shelf(folder / "r.rez");
    const auto entries = Table({{"Ann", "500"}});
    shelf.Keep(entries, 1, Game(7));
    std::ofstream(shelf.Folder() / "notes.txt") << "mine";
    std::ofstream(shelf.Folder() / "index") << "vantorix2 replays 1\n../r.rez\t500\tAnn\nnonsense\n";
    // The replay names nobody, so the index was all that tied it to Ann.
    EXPECT_FALSE(shelf.Has(entries, 1));
    EXPECT_EQ(shelf.Find(entries, 1), std::nullopt);
    // Keeping again writes a good index; a file not of ours stays.
    shelf.Keep(entries, 1, Game(8));
    EXPECT_EQ(Seeds(shelf, entries), (std::vector<std::uint32_t>{8}));
    EXPECT_TRUE(std::filesystem::exists(shelf.Folder() / "notes.txt"));
    shelf.EraseAll();
    EXPECT_EQ(ReplayFiles(shelf.Folder()), 0u);
    EXPECT_TRUE(std::filesystem::exists(shelf.Folder() / "notes.txt"));
}

// Each file says whose replay it is, so however the index breaks, reading
// finds every replay and the next keeping loses none whose entry stays.
TEST(ReplayShelf, ABrokenIndexLosesNoReplay)
{
    const std::string heading = "vantorix2 replays 1\n";
    struct Case {
        const char* name;
        std::string index;   // "-": none at all
    } cases[] = {
        {"missing", "-"},
        {"random bytes", std::string("\x8f\x00\xd1\tq\n\x03\xff", 8)},
        {"empty", ""},
        {"cut short in a name", heading + "1.vxr\t900\tBob\n2.vxr\t700\tCi"},
        {"a line naming a missing file", heading + "7.vxr\t900\tBob\n1.vxr\t900\tBob\n"},
        {"two lines for one file", heading + "1.vxr\t900\tBob\n1.vxr\t700\tCid\n3.vxr\t500\tAnn\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TempFolder folder;
        ReplayShelf shelf(folder / "r.rez");
        // Four entries, named as the records session names them; the lowest
        // leaves when Eve comes in.
        const std::pair<std::string, std::string> rows[] = {{"Bob", "900"}, {"Cid", "700"}, {"Ann", "500"}, {"Dan", "100"}};
        for (int k = 1; k <= 4; ++k) {
            Replay named = Game(std::uint32_t(k));
            named.Result = {std::stoi(rows[k - 1].second), 1, 0, 0, false, rows[k - 1].first};
            shelf.Keep(Table({rows, rows + k}), k, named);
        }
        const auto index = shelf.Folder() / "index";
        std::filesystem::remove(index);
        std::ofstream(shelf.Folder() / "9.vxr") << "no replay: tied to nobody, taken by no keeping";
        if (c.index != "-")
            std::ofstream(index, std::ios::binary) << c.index;

        EXPECT_EQ(Seeds(shelf, Table({{"Bob", "900"}, {"Cid", "700"}, {"Ann", "500"}, {"Dan", "100"}})),
                  (std::vector<std::uint32_t>{1, 2, 3, 4}));
        const auto after = Table({{"Bob", "900"}, {"Eve", "800"}, {"Cid", "700"}, {"Ann", "500"}});
        shelf.Keep(after, 2, Game(5));
        EXPECT_EQ(Seeds(shelf, after), (std::vector<std::uint32_t>{1, 5, 2, 3}));
        EXPECT_EQ(ReplayFiles(shelf.Folder()), 5u) << "Dan's replay goes with his entry";
        EXPECT_EQ(Seeds(ReplayShelf(folder / "r.rez"), after), (std::vector<std::uint32_t>{1, 5, 2, 3}))
            << "the index written is whole again";
    }
}

// A records file may hold any text in a name or a score. Each pair below
// would read as the other, or as nothing, if the index split or joined its
// fields wrongly: every entry must still find its own replay, read back by a
// shelf that knows only the index.
TEST(ReplayShelf, NamesAndScoresOfAnyTextKeepTheirOwnReplays)
{
    const std::vector<std::pair<std::string, std::string>> rows = {
        {"Ann", "5\t00"},    {"00\tAnn", "5"},     // a tab
        {"Bob", "7\n00"},    {"Bob", "7"},         // a line end
        {"Cid\r", "900"},    {"Cid", "900"},       // a carriage return
        {"D\\tan", "300"},   {"D\tan", "300"},     // a backslash before a t
        {"Eve\\", "1\\"},    {"Eve", "1"},         // a backslash at the end
        {"F\\\\\t\\n", "2"}, {"F\\\t\n", "2"},     // backslashes and escapes together
    };
    TempFolder folder;
    std::vector<std::uint32_t> seeds;
    for (std::size_t k = 1; k <= rows.size(); ++k) {
        ReplayShelf(folder / "r.rez").Keep(Table({rows.begin(), rows.begin() + std::ptrdiff_t(k)}), int(k),
                                           Game(std::uint32_t(k)));
        seeds.push_back(std::uint32_t(k));
    }
    const auto entries = Table(rows);
    const ReplayShelf shelf(folder / "r.rez");
    EXPECT_EQ(Seeds(shelf, entries), seeds);
    for (int place = 1; place <= int(entries.size()); ++place) {
        EXPECT_TRUE(shelf.Has(entries, place)) << place;
        EXPECT_EQ(shelf.Bytes(entries, place), WriteReplay(Game(std::uint32_t(place)))) << place;
    }
}

// The shelf follows and touches only files named as it names its own: a
// number of at most nine digits, then ".vxr". Any other file, even one that
// holds a good replay and that the index names, is not an entry's replay,
// and no keeping or erasing removes it.
TEST(ReplayShelf, FollowsAndTouchesOnlyFileNamesOfItsOwnMaking)
{
    const char* const strangers[] = {
        "1234567890.vxr", "123456789012345678901234.vxr", "x1.vxr", "1x.vxr", "-1.vxr",
        "+1.vxr",         "1.VXR",                        ".vxr",   "1.vxr~", "1.vxr.vxr",
    };
    for (const char* stranger : strangers) {
        SCOPED_TRACE(stranger);
        TempFolder folder;
        ReplayShelf shelf(folder / "r.rez");
        const auto one = Table({{"Ann", "500"}});
        std::filesystem::create_directories(shelf.Folder());
        std::ofstream(shelf.Folder() / stranger, std::ios::binary) << WriteReplay(Game(9));
        std::ofstream(shelf.Folder() / "index") << "vantorix2 replays 1\n" << stranger << "\t500\tAnn\n";
        EXPECT_FALSE(shelf.Has(one, 1));
        EXPECT_EQ(shelf.Bytes(one, 1), std::nullopt);

        const auto two = Table({{"Bob", "900"}, {"Ann", "500"}});
        ASSERT_NO_THROW(shelf.Keep(two, 1, Game(1)));
        EXPECT_EQ(Seeds(shelf, two), (std::vector<std::uint32_t>{1, 0}));
        shelf.EraseAll();
        EXPECT_TRUE(std::filesystem::exists(shelf.Folder() / stranger));
    }
}

// A file of the shelf's own naming with the largest number it allows (left
// by an index since lost) does not push the next replay out of that naming.
TEST(ReplayShelf, KeepsTheNextReplayAfterTheLargestNumberItNames)
{
    TempFolder folder;
    ReplayShelf shelf(folder / "r.rez");
    std::filesystem::create_directories(shelf.Folder());
    std::ofstream(shelf.Folder() / "999999999.vxr", std::ios::binary) << WriteReplay(Game(9));
    const auto entries = Table({{"Ann", "500"}});
    shelf.Keep(entries, 1, Game(1));
    EXPECT_EQ(Seeds(shelf, entries), (std::vector<std::uint32_t>{1}));
    EXPECT_EQ(ReplayFiles(shelf.Folder()), 1u);
}

TEST(RecordsSession, KeepsTheNamedGamesReplayAndErasesItWithTheRecords)
{
    TempFolder folder;
    RecordsSession session(folder / "r.rez");
    session.Load();
    RecordsStep step = session.GameStarted("ann");
    step = session.ScoreChanged("ann", 1200, step.Place);
    session.NameEntered(step.Place, "Annabelle Lee-Smith", Game(42));
    const auto kept = session.Replays().Find(session.Entries(), 1);
    ASSERT_TRUE(kept.has_value());
    EXPECT_EQ(kept->Seed, 42u);
    EXPECT_EQ(kept->Result.Name, "Annabelle Lee-") << "the name as the table keeps it: 14 characters";

    // Another session on the same files finds it too.
    RecordsSession again(folder / "r.rez");
    again.Load();
    EXPECT_TRUE(again.Replays().Has(again.Entries(), 1));

    session.Erase();
    EXPECT_FALSE(std::filesystem::exists(session.Replays().Folder()));
    EXPECT_FALSE(session.Replays().Has(again.Entries(), 1));
}
