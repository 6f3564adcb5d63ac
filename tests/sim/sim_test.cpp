#include <gtest/gtest.h>

#include <algorithm>
#include <sstream>

#include <nlohmann/json.hpp>

#include "tools/sim/sim.h"

namespace {

struct SimRun {
    int status;
    std::string out, err;
};

SimRun Sim(std::vector<std::string> args, const std::string& input = "")
{
    std::istringstream in(input);
    std::ostringstream out, err;
    const int status = RunSim(args, in, out, err);
    return {status, out.str(), err.str()};
}

std::string StackJson(std::initializer_list<const char*> bottom)
{
    nlohmann::json rows = nlohmann::json::array();
    for (std::size_t i = bottom.size(); i < 18; ++i)
        rows.push_back(".......");
    for (const char* row : bottom)
        rows.push_back(row);
    return rows.dump();
}

TEST(SimCascade, AnswersEachLineWithKeysInOrder)
{
    const std::string input = "{\"level\": 2, \"score\": 10, \"stack\": " +
                              StackJson({"..1....", "..2....", "..2....", "112...."}) + "}\n\n" +
                              "{\"score\": 5, \"stack\": " + StackJson({"12....."}) + ", \"level\": 1, \"x\": 0}\n";
    const SimRun run = Sim({"cascade"}, input);
    ASSERT_EQ(run.status, 0) << run.err;
    std::istringstream lines(run.out);
    std::string first, second, extra;
    std::getline(lines, first);
    std::getline(lines, second);
    EXPECT_FALSE(std::getline(lines, extra));
    const std::string empty = StackJson({});
    EXPECT_EQ(first, "{\"points\":4126,\"chains\":2,\"removed\":6,\"bonus\":4000,\"score\":4136,\"stack\":" + empty + "}");
    EXPECT_EQ(second, "{\"points\":0,\"chains\":0,\"removed\":0,\"bonus\":0,\"score\":5,\"stack\":" +
                          StackJson({"12....."}) + "}");
}

TEST(SimCascade, ScoreSaturatesAtTheTopOfTheRange)
{
    const SimRun run = Sim({"cascade"}, "{\"level\": 16, \"score\": 2147483647, \"stack\": " + StackJson({"111...."}) + "}");
    ASSERT_EQ(run.status, 0) << run.err;
    const auto out = nlohmann::json::parse(run.out);
    EXPECT_EQ(out["points"], 288);
    EXPECT_EQ(out["score"], 2147483647);
}

TEST(SimInput, BadLinesStopWithTheLineNumberAndStatusTwo)
{
    const std::string good = "{\"level\": 1, \"score\": 0, \"stack\": " + StackJson({}) + "}";
    auto withStack = [](const std::string& stack) { return "{\"level\": 1, \"score\": 0, \"stack\": " + stack + "}"; };
    nlohmann::json longRows = nlohmann::json::parse(StackJson({}));
    longRows[3] = "........";
    nlohmann::json shortRows = nlohmann::json::parse(StackJson({}));
    shortRows.erase(0);
    nlohmann::json badChar = nlohmann::json::parse(StackJson({}));
    badChar[17] = "..7....";
    struct Case {
        const char* name;
        std::string line;
    } cases[] = {
        {"not JSON", "{\"level\": 1,"},
        {"not an object", "[1, 2]"},
        {"missing level", "{\"score\": 0, \"stack\": " + StackJson({}) + "}"},
        {"missing stack", "{\"level\": 1, \"score\": 0}"},
        {"level as text", "{\"level\": \"1\", \"score\": 0, \"stack\": " + StackJson({}) + "}"},
        {"level as a fraction", "{\"level\": 1.5, \"score\": 0, \"stack\": " + StackJson({}) + "}"},
        {"level 0", "{\"level\": 0, \"score\": 0, \"stack\": " + StackJson({}) + "}"},
        {"level 17", "{\"level\": 17, \"score\": 0, \"stack\": " + StackJson({}) + "}"},
        {"negative score", "{\"level\": 1, \"score\": -1, \"stack\": " + StackJson({}) + "}"},
        {"score past 32 bits", "{\"level\": 1, \"score\": 2147483648, \"stack\": " + StackJson({}) + "}"},
        {"huge score", "{\"level\": 1, \"score\": 18446744073709551615, \"stack\": " + StackJson({}) + "}"},
        {"stack not an array", withStack("\"...\"")},
        {"seventeen rows", withStack(shortRows.dump())},
        {"a long row", withStack(longRows.dump())},
        {"a row that is not text", withStack("[1,2,3,4,5,6,7,8,9,10,11,12,13,14,15,16,17,18]")},
        {"a cell code outside the colours", withStack(badChar.dump())},
    };
    for (const Case& c : cases) {
        const SimRun run = Sim({"cascade"}, good + "\n\n" + c.line + "\n" + good + "\n");
        EXPECT_EQ(run.status, 2) << c.name;
        EXPECT_EQ(std::count(run.out.begin(), run.out.end(), '\n'), 1) << c.name << ": earlier lines are answered";
        EXPECT_NE(run.err.find("line 3:"), std::string::npos) << c.name << ": " << run.err;
        EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1) << c.name << ": one line";
    }
}

TEST(SimUsage, UnknownCommandsAndArgumentsAreRefused)
{
    const std::vector<std::vector<std::string>> cases = {
        {},
        {"cascades"},
        {"cascade", "extra"},
        {"play"},
        {"play", "--seed", "1"},
        {"play", "--seed", "x", "--games", "1"},
        {"play", "--seed", "1", "--games", "0"},
        {"play", "--seed", "1", "--games", "1", "--max-landings"},
        {"play", "--seed", "1", "--games", "1", "--speed", "2"},
        {"play", "--seed", "-1", "--games", "1"},
    };
    for (const auto& args : cases) {
        const SimRun run = Sim(args);
        EXPECT_EQ(run.status, 2) << ::testing::PrintToString(args);
        EXPECT_NE(run.err.find("usage"), std::string::npos);
        EXPECT_TRUE(run.out.empty());
    }
}

}  // namespace
