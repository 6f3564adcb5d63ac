// The game's own publishing code against the real records server.

#include <gtest/gtest.h>

#include "online/check_url.h"
#include "online/publish_address.h"
#include "server/server_process.h"
#include "storage/temp_folder.h"

using namespace records_server_test;

TEST(RoundTrip, APublishedTableShowsOnTheRecordsPage)
{
    TempFolder folder;
    RecordsServerProcess server(folder / "records.db");
    const std::string host = "127.0.0.1:" + std::to_string(server.Port());
    const std::vector<RecordEntry> table = {
        {"1", "AUTOPILOT", "1.234.567"}, {"2", "Наташа & <Ко>", "98.765"}, {"3", "Bob", "5"}};

    EXPECT_TRUE(CheckUrl(PublishAddress(host, ChoosePublishValues(table))));
    EXPECT_TRUE(CheckUrl(RecordsPageAddress(host)));
    // A table of autopilot entries only publishes the autopilot alone.
    EXPECT_TRUE(CheckUrl(PublishAddress(host, ChoosePublishValues({{"1", "AUTOPILOT", "7"}}))));
    // A name the server refuses (15 characters) is a failed publish.
    EXPECT_FALSE(CheckUrl(PublishAddress(host, PublishValues{"ABCDEFGHIJKLMNO", "1", "-"})));

    const LoopbackAnswer page = LoopbackGet(server.Port(), "/view.php?v=results");
    ASSERT_EQ(page.Status, 200) << page.Error;
    EXPECT_NE(page.Body.find("Наташа &amp; &lt;Ко&gt;"), std::string::npos) << "the name, escaped, in UTF-8";
    EXPECT_NE(page.Body.find("98.765"), std::string::npos);
    EXPECT_NE(page.Body.find("1.234.567"), std::string::npos);
    EXPECT_EQ(page.Body.find("Bob"), std::string::npos) << "only the best player entry is published";
    EXPECT_EQ(page.Body.find("ABCDEFGHIJKLMNO"), std::string::npos);
    EXPECT_EQ(server.Stop(), 0);
}
