// The results database, without a server.

#include <gtest/gtest.h>

#include "server/records_store.h"
#include "storage/temp_folder.h"

TEST(RecordsStore, ListsARepublishedAutopilotResultOnceWhereItCameFirst)
{
    TempFolder folder;
    RecordsStore store(folder / "records.db");
    for (const AutopilotResult& result : {AutopilotResult{500, "Ann"}, AutopilotResult{700, "Bob"},
                                          AutopilotResult{500, "Ann"}, AutopilotResult{500, ""},
                                          AutopilotResult{700, "Bob"}, AutopilotResult{900, "Ann"}})
        store.Add({std::nullopt, result});
    EXPECT_EQ(store.BestAutopilot(30), (std::vector<AutopilotResult>{{900, "Ann"}, {700, "Bob"}, {500, "Ann"}, {500, ""}}));
    EXPECT_EQ(store.BestAutopilot(2), (std::vector<AutopilotResult>{{900, "Ann"}, {700, "Bob"}}));
    EXPECT_EQ(store.Count().AutopilotResults, 6);
    EXPECT_EQ(store.Count().HumanResults, 0);
}

TEST(RecordsStore, KeepsEverythingWhenOpenedAgain)
{
    TempFolder folder;
    {
        RecordsStore store(folder / "records.db");
        store.Add({HumanResult{"Ann", 10}, AutopilotResult{20, "Ann"}});
        store.Add({HumanResult{"Ann", 5}, std::nullopt});
    }
    RecordsStore store(folder / "records.db");
    EXPECT_EQ(store.BestPlayers(30), (std::vector<HumanResult>{{"Ann", 10}}));
    EXPECT_EQ(store.BestAutopilot(30), (std::vector<AutopilotResult>{{20, "Ann"}}));
    EXPECT_EQ(store.Count().HumanResults, 2);
}

TEST(RecordsStore, RefusesAFileThatIsNoDatabase)
{
    TempFolder folder;
    WriteBytes(folder / "text.db", std::string(4096, 'x'));
    EXPECT_THROW(RecordsStore(folder / "text.db"), StoreError);
    EXPECT_THROW(RecordsStore(folder / "missing" / "records.db"), StoreError);
    EXPECT_EQ(ReadBytes(folder / "text.db"), std::string(4096, 'x'));
}
