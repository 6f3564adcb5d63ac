#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "storage/records_snapshot.h"
#include "storage/zlib_stream.h"
#include "tests/storage/temp_folder.h"
#include "tools/sim/sim.h"

namespace {

// Runs `records` in a folder of its own.
class SimRecords : public ::testing::Test {
protected:
    SimRecords() : Previous(std::filesystem::current_path()) { std::filesystem::current_path(Folder.Path); }
    ~SimRecords() override { std::filesystem::current_path(Previous); }

    struct Run {
        int status;
        std::vector<std::string> lines;
        std::string err;
    };
    Run Records(const std::vector<std::string>& input)
    {
        std::string text;
        for (const auto& line : input)
            text += line + "\n";
        std::istringstream in(text);
        std::ostringstream out, err;
        const int status = RunSim({"records"}, in, out, err);
        Run run{status, {}, err.str()};
        std::istringstream lines(out.str());
        for (std::string line; std::getline(lines, line);)
            run.lines.push_back(line);
        return run;
    }
    std::string FileBytes() const { return ReadBytes(Folder / "vantorix2.rez"); }

    TempFolder Folder;
    std::filesystem::path Previous;
};

}  // namespace

TEST_F(SimRecords, PlaysGamesIntoTheFileLineByLine)
{
    const struct {
        const char* in;
        const char* out;
    } session[] = {
        {R"({"op": "name", "text": "nobody"})", R"({"entries":[]})"},
        {R"({"op": "start", "player": "Вася"})", R"({"place":1,"entries":[["1","Вася","0"]]})"},
        {R"({"op": "score", "score": 1500})", R"({"place":1,"sound":false,"entries":[["1","Вася","1.500"]]})"},
        {R"({"op": "name", "text": "Наташа из Твери и Москвы"})", R"({"entries":[["1","Наташа из Твер","1.500"]]})"},
        {R"({"op": "start", "player": "bob"})",
         R"({"place":2,"entries":[["1","Наташа из Твер","1.500"],["2","bob","0"]]})"},
        {R"({"op": "score", "score": 1500})",
         R"({"place":2,"sound":false,"entries":[["1","Наташа из Твер","1.500"],["2","bob","1.500"]]})"},
        {R"({"op": "score", "score": 1501})",
         R"({"place":1,"sound":true,"entries":[["1","bob","1.501"],["2","Наташа из Твер","1.500"]]})"},
        {R"({"op": "score", "score": 9000})",
         R"({"place":1,"sound":false,"entries":[["1","bob","9.000"],["2","Наташа из Твер","1.500"]]})"},
        {R"({"op": "name", "text": "7 Zoë"})", R"({"entries":[["1","bob","9.000"],["2","Наташа из Твер","1.500"]]})"},
        {R"({"op": "start", "player": "carl"})",
         R"({"place":3,"entries":[["1","bob","9.000"],["2","Наташа из Твер","1.500"],["3","carl","0"]]})"},
        {R"({"op": "name", "text": "Zoë 日本"})",
         R"({"entries":[["1","bob","9.000"],["2","Наташа из Твер","1.500"],["3","Zo ","0"]]})"},
        {R"({"op": "erase"})", R"({"entries":[]})"},
    };
    std::vector<std::string> input;
    for (const auto& line : session)
        input.push_back(line.in);
    const Run run = Records(input);
    ASSERT_EQ(run.status, 0) << run.err;
    ASSERT_EQ(run.lines.size(), std::size(session));
    for (std::size_t i = 0; i < std::size(session); ++i)
        EXPECT_EQ(run.lines[i], session[i].out) << "line " << i + 1;
    EXPECT_TRUE(ReadRecordsSnapshot(DecompressStream(FileBytes())).empty());
}

TEST_F(SimRecords, AScoreOutsideAFullTableIsNeverNamedNorWritten)
{
    std::vector<RecordEntry> full;
    for (int k = 1; k <= 30; ++k)
        full.push_back({std::to_string(k), std::string("p").append(std::to_string(k)), std::to_string(100 * (31 - k))});
    WriteBytes(Folder / "vantorix2.rez", CompressStream(WriteRecordsSnapshot(full, ColumnWidthsFor(201))));
    const std::string before = FileBytes();
    const Run run = Records({R"({"op": "start", "player": "ann"})", R"({"op": "score", "score": 100})",
                             R"({"op": "name", "text": "Ann"})", R"({"op": "score", "score": 101})"});
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_NE(run.lines[0].find(R"("place":31)"), std::string::npos);
    EXPECT_NE(run.lines[1].find(R"("place":31)"), std::string::npos);
    EXPECT_EQ(FileBytes(), before);
    EXPECT_NE(run.lines[3].find(R"({"place":30,"sound":false)"), std::string::npos);
    EXPECT_NE(run.lines[3].find(R"(["30","ann","101"]]})"), std::string::npos);
}

TEST_F(SimRecords, AFailedLoadIsAnsweredAndTheToolGoesOn)
{
    const struct {
        const char* name;
        std::string bytes;
        const char* error;
        bool setAside;
    } cases[] = {
        {"damaged", "\x78\xDA garbage", "Not good or old version of vantorix2.rez!!!", true},
        {"zero bytes", "", "Stream read error", false},
        {"wrong signature", CompressStream("TPF7"), "Invalid stream format", false},
    };
    for (const auto& c : cases) {
        std::filesystem::remove(Folder / "vantorix2.rez.damaged");
        WriteBytes(Folder / "vantorix2.rez", c.bytes);
        const Run run = Records({R"({"op": "start", "player": "ann"})", R"({"op": "erase"})"});
        ASSERT_EQ(run.status, 0) << c.name << run.err;
        EXPECT_EQ(run.lines.at(0), std::string(R"({"error":")") + c.error + "\"}") << c.name;
        EXPECT_EQ(run.lines.at(1), R"({"entries":[]})") << c.name;
        EXPECT_EQ(std::filesystem::exists(Folder / "vantorix2.rez.damaged"), c.setAside) << c.name;
    }
}

TEST_F(SimRecords, MalformedLinesStopTheToolNamingTheLine)
{
    const char* bad[] = {
        "not json",
        R"(["op", "start"])",
        R"({"player": "ann"})",
        R"({"op": 1})",
        R"({"op": "restart"})",
        R"({"op": "start"})",
        R"({"op": "start", "player": 7})",
        R"({"op": "score"})",
        R"({"op": "score", "score": -1})",
        R"({"op": "score", "score": 2147483648})",
        R"({"op": "score", "score": 1.5})",
        R"({"op": "name"})",
        R"({"op": "name", "text": null})",
    };
    for (const char* line : bad) {
        const Run run = Records({R"({"op": "erase"})", line, R"({"op": "erase"})"});
        EXPECT_EQ(run.status, 2) << line;
        EXPECT_EQ(run.lines.size(), 1u) << line;
        EXPECT_EQ(run.err.rfind("vantorix2-sim: line 2: ", 0), 0u) << line << ": " << run.err;
    }
}
