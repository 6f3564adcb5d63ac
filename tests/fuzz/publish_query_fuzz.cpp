// The records server's reading of a publish query, checked against the
// game's side: whatever it accepts, the game's own request for the same
// values must read back the same, and no stored name may add markup to the
// results page. What it accepts must keep to the rules.

#include <algorithm>
#include <string>
#include <vector>

#include "fuzz_check.h"
#include "online/publish_address.h"
#include "storage/cp1251.h"
#include "server/publish_request.h"
#include "server/records_page.h"

namespace {

// The page with the names as given, and with the names emptied.
std::size_t Markup(const Publish& publish, bool names)
{
    std::vector<HumanResult> players;
    std::vector<AutopilotScore> autopilot;
    if (publish.Human)
        players.push_back({names ? publish.Human->Name : "", publish.Human->Score});
    if (publish.Autopilot)
        autopilot.push_back({publish.Autopilot->Score, names ? publish.Autopilot->Publisher : ""});
    const std::string page = RenderResultsPage(players, autopilot);
    return std::size_t(std::count(page.begin(), page.end(), '<'));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view query = FuzzBytes(data, size);
    if (const auto bytes = PercentDecode(query))
        FUZZ_CHECK(PercentDecode(PercentEncode(*bytes)) == bytes);
    if (const auto number = ParseScoreNumber(query))
        FUZZ_CHECK(ParseScoreNumber(std::to_string(*number)) == number);

    const PublishParse parse = ParsePublishQuery(query);
    FUZZ_CHECK(parse.Accepted.has_value() == parse.Refusal.empty());
    if (!parse.Accepted)
        return 0;
    const Publish& publish = *parse.Accepted;
    FUZZ_CHECK(!DescribePublish(publish).empty());

    PublishValues values;
    if (publish.Human) {
        values.Name = publish.Human->Name;
        values.Score = std::to_string(publish.Human->Score);
    }
    if (publish.Autopilot) {
        FUZZ_CHECK(!publish.Human || publish.Autopilot->Publisher == publish.Human->Name);
        values.Name = publish.Autopilot->Publisher;
        values.Autopilot = std::to_string(publish.Autopilot->Score);
    }
    // The rules: a name of at most 14 characters without control characters,
    // and a player's score only with a name.
    const std::u32string name = DecodeUtf8(values.Name);
    FUZZ_CHECK(name.size() <= MaxNameLength);
    FUZZ_CHECK(std::none_of(name.begin(), name.end(), [](char32_t c) { return c < 0x20 || c == 0x7F; }));
    FUZZ_CHECK(!publish.Human || !name.empty());

    const std::string address = PublishAddress(DefaultRecordsServer, values);
    const PublishParse again = ParsePublishQuery(std::string_view(address).substr(address.find('?') + 1));
    FUZZ_CHECK(again.Accepted == parse.Accepted);

    FUZZ_CHECK(Markup(publish, true) == Markup(publish, false));
    return 0;
}
