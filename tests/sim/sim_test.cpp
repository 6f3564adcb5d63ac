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

std::string StackJson(const std::vector<const char*>& bottom)
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

std::string Line(int level, const std::string& stack, const std::string& figure)
{
    return "{\"level\": " + std::to_string(level) + ", \"stack\": " + stack + ", \"figure\": " + figure + "}";
}

TEST(SimAutopilot, AnswersStrategyPlaceAndCells)
{
    const std::string input = Line(1, StackJson({}), "[\".1.\", \"...\", \"...\"]") + "\n" +
                              Line(1, StackJson({}), "[\".1.\", \".2.\", \".3.\"]") + "\n" +
                              Line(1, StackJson({}), "[\".4.\", \".4.\", \".4.\"]") + "\n";
    const SimRun run = Sim({"autopilot"}, input);
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out,
              "{\"strategy\":\"PlaceToBuild\",\"x\":6,\"y\":18,\"figure\":[\".1.\",\"...\",\"...\"]}\n"
              "{\"strategy\":\"PlaceToBuild\",\"x\":5,\"y\":17,\"figure\":[\"...\",\"321\",\"...\"]}\n"
              "{\"strategy\":\"PlaceToScore\",\"x\":0,\"y\":16,\"figure\":[\".4.\",\".4.\",\".4.\"]}\n");
}

TEST(SimAutopilot, NamesTheToleranceOfPlaceLowAndNone)
{
    const std::string low = Line(1, StackJson({"...6...", "...3.5.", "3..6.1.", "5..1.6.", "4..1.6.", "223424.", "5643413"}),
                                 "[\".6.\", \"16.\", \"...\"]");
    const std::string none = Line(1,
                                  StackJson({"....2..", "....6..", "..3.4..", "..4.3.5", "..4.2.2", ".25.1.4",
                                             ".5451.4", ".1254.6"}),
                                  "[\".6.\", \"16.\", \"...\"]");
    const SimRun run = Sim({"autopilot"}, low + "\n" + none + "\n");
    ASSERT_EQ(run.status, 0) << run.err;
    std::istringstream lines(run.out);
    std::string first, second;
    std::getline(lines, first);
    std::getline(lines, second);
    EXPECT_EQ(nlohmann::json::parse(first)["strategy"], "PlaceLow10");
    EXPECT_EQ(second, "{\"strategy\":\"none\",\"x\":3,\"y\":1,\"figure\":[\".6.\",\"16.\",\"...\"]}");
}

TEST(SimAutopilot, RefusesFiguresThatCannotStart)
{
    const std::string good = Line(1, StackJson({}), "[\".1.\", \"...\", \"...\"]");
    const struct {
        const char* name;
        std::string line;
    } cases[] = {
        {"blocked start place", Line(1, StackJson(std::vector<const char*>(18, "...1...")), "[\".1.\", \"...\", \"...\"]")},
        {"no cell at all", Line(1, StackJson({}), "[\"...\", \"...\", \"...\"]")},
        {"two rows", Line(1, StackJson({}), "[\".1.\", \"...\"]")},
        {"a row of four", Line(1, StackJson({}), "[\".1..\", \"...\", \"...\"]")},
        {"code 7", Line(1, StackJson({}), "[\".7.\", \"...\", \"...\"]")},
        {"missing figure", "{\"level\": 1, \"stack\": " + StackJson({}) + "}"},
        {"level 20", Line(20, StackJson({}), "[\".1.\", \"...\", \"...\"]")},
    };
    for (const auto& c : cases) {
        const SimRun run = Sim({"autopilot"}, good + "\n" + c.line + "\n");
        EXPECT_EQ(run.status, 2) << c.name;
        EXPECT_NE(run.err.find("line 2:"), std::string::npos) << c.name << ": " << run.err;
        EXPECT_EQ(std::count(run.out.begin(), run.out.end(), '\n'), 1) << c.name;
    }
}

TEST(SimPlay, SameSeedSameGamesAndACapThatIsReported)
{
    auto gameLines = [](const std::string& out) {
        std::vector<nlohmann::json> lines;
        std::istringstream in(out);
        for (std::string line; std::getline(in, line);)
            lines.push_back(nlohmann::json::parse(line));
        return lines;
    };
    const SimRun a = Sim({"play", "--seed", "5", "--games", "4"});
    const SimRun b = Sim({"play", "--seed", "5", "--games", "4"});
    ASSERT_EQ(a.status, 0) << a.err;
    const auto la = gameLines(a.out), lb = gameLines(b.out);
    ASSERT_EQ(la.size(), 5u);
    ASSERT_EQ(lb.size(), 5u);
    long landings = 0;
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(la[i], lb[i]);
        EXPECT_EQ(la[i]["game"], i + 1);
        EXPECT_EQ(la[i]["capped"], false);
        EXPECT_GE(la[i]["ticks"].get<long>(), la[i]["landings"].get<long>());
        EXPECT_GE(la[i]["level"].get<int>(), 1);
        landings += la[i]["landings"].get<long>();
    }
    EXPECT_EQ(la[4]["games"], 4);
    EXPECT_EQ(la[4]["landings"], landings);
    auto keysOf = [](const std::string& line) {
        std::vector<std::string> keys;
        const auto object = nlohmann::ordered_json::parse(line);
        for (const auto& item : object.items())
            keys.push_back(item.key());
        return keys;
    };
    std::istringstream out(a.out);
    std::string first, last;
    std::getline(out, first);
    for (std::string line; std::getline(out, line);)
        last = line;
    EXPECT_EQ(keysOf(first), (std::vector<std::string>{"game", "score", "level", "landings", "ticks", "capped"}));
    EXPECT_EQ(keysOf(last), (std::vector<std::string>{"games", "landings", "seconds", "landings_per_second",
                                                      "autopilot_us_mean", "autopilot_us_p99"}));

    const SimRun c = Sim({"play", "--seed", "5", "--games", "4", "--max-landings", "20"});
    ASSERT_EQ(c.status, 0) << c.err;
    const auto lc = gameLines(c.out);
    ASSERT_EQ(lc.size(), 5u);
    // Only the first game is comparable: a capped game draws fewer figures.
    EXPECT_EQ(lc[0]["landings"], std::min<long>(20, la[0]["landings"].get<long>()));
    EXPECT_EQ(lc[0]["capped"], la[0]["landings"].get<long>() > 20);
    for (int i = 0; i < 4; ++i) {
        EXPECT_LE(lc[i]["landings"].get<long>(), 20);
        if (lc[i]["capped"].get<bool>()) {
            EXPECT_EQ(lc[i]["landings"], 20);
        }
    }
    EXPECT_NE(Sim({"play", "--seed", "6", "--games", "4"}).out.substr(0, 40), a.out.substr(0, 40));
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
