// Reading the publish query, without a server.

#include <gtest/gtest.h>

#include "server/publish_request.h"

TEST(PublishQuery, DecodesPercentEscapesAndKeepsEveryOtherByte)
{
    const std::pair<const char*, std::optional<std::string>> cases[] = {
        {"Ann", "Ann"},
        {"a+b", "a+b"},
        {"%20%2b%2B", " ++"},
        {"%C0%ed", "\xC0\xED"},
        {"%00", std::string(1, '\0')},
        {"%", std::nullopt},
        {"%4", std::nullopt},
        {"%4g", std::nullopt},
        {"%u0041", std::nullopt},
        {"", ""},
    };
    for (const auto& [text, bytes] : cases)
        EXPECT_EQ(PercentDecode(text), bytes) << text;
}

TEST(PublishQuery, ReadsScoresAsPlainDecimals)
{
    const std::pair<const char*, std::optional<std::int32_t>> cases[] = {
        {"0", 0}, {"007", 7}, {"2147483647", 2147483647}, {"2147483648", std::nullopt},
        {"", std::nullopt}, {"+1", std::nullopt}, {"-0", std::nullopt}, {"1 ", std::nullopt},
        {"1.000", std::nullopt}, {"00000000000000000001", 1},
    };
    for (const auto& [text, number] : cases)
        EXPECT_EQ(ParseScoreNumber(text), number) << text;
}

TEST(PublishQuery, TheAutopilotResultCarriesThePublishersName)
{
    const std::pair<const char*, Publish> cases[] = {
        {"name=Ann&self=9000&autopilot=12500", {HumanResult{"Ann", 9000}, AutopilotScore{12500, "Ann"}}},
        {"name=%C0%ED%FF&self=5&autopilot=-", {HumanResult{"Аня", 5}, std::nullopt}},
        {"name=&self=&autopilot=12500", {std::nullopt, AutopilotScore{12500, ""}}},
        {"name=Ann&self=&autopilot=3", {std::nullopt, AutopilotScore{3, "Ann"}}},
        {"name=&self=&autopilot=-", {}},
    };
    for (const auto& [query, publish] : cases) {
        const PublishParse parse = ParsePublishQuery(query);
        ASSERT_TRUE(parse.Accepted) << query << ": " << parse.Refusal;
        EXPECT_EQ(*parse.Accepted, publish) << query;
    }
}
