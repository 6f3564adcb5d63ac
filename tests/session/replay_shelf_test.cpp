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
