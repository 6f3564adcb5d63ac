// The results database, without a server.

#include <gtest/gtest.h>

#include <sqlite3.h>

#include "server/records_store.h"
#include "storage/temp_folder.h"

TEST(RecordsStore, ListsARepublishedAutopilotResultOnceWhereItCameFirst)
{
    TempFolder folder;
    RecordsStore store(folder / "records.db");
    for (const AutopilotScore& result : {AutopilotScore{500, "Ann"}, AutopilotScore{700, "Bob"},
                                          AutopilotScore{500, "Ann"}, AutopilotScore{500, ""},
                                          AutopilotScore{700, "Bob"}, AutopilotScore{900, "Ann"}})
        store.Add({std::nullopt, result});
    EXPECT_EQ(store.BestAutopilot(30), (std::vector<AutopilotScore>{{900, "Ann"}, {700, "Bob"}, {500, "Ann"}, {500, ""}}));
    EXPECT_EQ(store.BestAutopilot(2), (std::vector<AutopilotScore>{{900, "Ann"}, {700, "Bob"}}));
    EXPECT_EQ(store.Count().AutopilotResults, 6);
    EXPECT_EQ(store.Count().HumanResults, 0);
}

TEST(RecordsStore, KeepsEverythingWhenOpenedAgain)
{
    TempFolder folder;
    {
        RecordsStore store(folder / "records.db");
        store.Add({HumanResult{"Ann", 10}, AutopilotScore{20, "Ann"}});
        store.Add({HumanResult{"Ann", 5}, std::nullopt});
    }
    RecordsStore store(folder / "records.db");
    EXPECT_EQ(store.BestPlayers(30), (std::vector<HumanResult>{{"Ann", 10}}));
    EXPECT_EQ(store.BestAutopilot(30), (std::vector<AutopilotScore>{{20, "Ann"}}));
    EXPECT_EQ(store.Count().HumanResults, 2);
}

TEST(RecordsStore, ALogLeftToTheCallerGrowsUntilCopiedThenStartsAgain)
{
    TempFolder folder;
    RecordsStore writer(folder / "records.db"), other(folder / "records.db");
    writer.LeaveCheckpointsToCaller();
    // A commit each, well past the thousand frames at which SQLite would
    // copy by itself.
    constexpr int Commits = 600;
    for (int k = 0; k < Commits; ++k)
        writer.Add({HumanResult{std::string("p").append(std::to_string(k)), k}, std::nullopt});
    EXPECT_GT(writer.LogFrames(), 1000);
    // Copied from another connection, then the next commit starts the log again.
    EXPECT_TRUE(other.Checkpoint());
    writer.Add({HumanResult{"last", 1}, std::nullopt});
    EXPECT_LT(writer.LogFrames(), 100);
    EXPECT_EQ(other.Count().HumanResults, Commits + 1);
    EXPECT_EQ(other.BestPlayers(1), (std::vector<HumanResult>{{"p599", 599}}));
}

TEST(RecordsStore, RefusesAFileThatIsNoDatabase)
{
    TempFolder folder;
    WriteBytes(folder / "text.db", std::string(4096, 'x'));
    EXPECT_THROW(RecordsStore(folder / "text.db"), StoreError);
    EXPECT_THROW(RecordsStore(folder / "missing" / "records.db"), StoreError);
    EXPECT_EQ(ReadBytes(folder / "text.db"), std::string(4096, 'x'));
}

TEST(RecordsStore, RefusesADatabaseOfANewerServerAndLeavesIt)
{
    TempFolder folder;
    RecordsStore(folder / "records.db").Add({HumanResult{"Ann", 10}, std::nullopt});
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open((folder / "records.db").c_str(), &db), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(db, "PRAGMA user_version=99", nullptr, nullptr, nullptr), SQLITE_OK);
    sqlite3_close(db);
    try {
        RecordsStore store(folder / "records.db");
        ADD_FAILURE() << "opened";
    } catch (const StoreError& error) {
        EXPECT_NE(std::string(error.what()).find("newer version"), std::string::npos) << error.what();
    }
    ASSERT_EQ(sqlite3_open((folder / "records.db").c_str(), &db), SQLITE_OK);
    sqlite3_stmt* version = nullptr;
    sqlite3_prepare_v2(db, "PRAGMA user_version", -1, &version, nullptr);
    ASSERT_EQ(sqlite3_step(version), SQLITE_ROW);
    EXPECT_EQ(sqlite3_column_int(version, 0), 99) << "left as it was";
    sqlite3_finalize(version);
    sqlite3_close(db);
}
