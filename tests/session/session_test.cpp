// The window's own rules without a window: what a game does to the records
// table, and how the options file is read and applied.

#include <gtest/gtest.h>

#include "session/options_session.h"
#include "session/records_session.h"
#include "storage/temp_folder.h"
#include "storage/zlib_stream.h"

namespace {

std::vector<RecordEntry> Table(const std::vector<std::string>& scores)
{
    std::vector<RecordEntry> entries;
    for (std::size_t k = 0; k < scores.size(); ++k)
        entries.push_back({std::to_string(k + 1), std::string("P").append(std::to_string(k + 1)), scores[k]});
    return entries;
}

void Store(const std::filesystem::path& file, const std::vector<RecordEntry>& entries)
{
    WriteBytes(file, CompressStream(WriteRecordsSnapshot(entries, ColumnWidthsFor(201))));
}

std::vector<std::string> Names(const RecordsSession& session)
{
    std::vector<std::string> names;
    for (const RecordEntry& entry : session.Entries())
        names.push_back(entry.Name + "=" + entry.Score);
    return names;
}

}  // namespace

TEST(RecordsSession, AGameClimbsTheTableAndIsNamedAtItsEnd)
{
    TempFolder folder;
    Store(folder / "r.rez", Table({"900", "500"}));
    RecordsSession session(folder / "r.rez");
    RecordsStep step = session.GameStarted("ann");
    EXPECT_EQ(step.Place, 3);
    EXPECT_EQ(Names(session), (std::vector<std::string>{"P1=900", "P2=500", "ann=0"}));
    // Each change places the live row again in the table as stored.
    const struct {
        std::int32_t score;
        int place;
        bool sound;
    } changes[] = {{600, 2, false}, {700, 2, false}, {901, 1, true}, {5000, 1, false}};
    for (const auto& c : changes) {
        step = session.ScoreChanged("ann", c.score, step.Place);
        EXPECT_EQ(step.Place, c.place) << c.score;
        EXPECT_EQ(step.RecordSound, c.sound) << c.score;
        EXPECT_EQ(session.Entries().size(), 3u) << c.score << ": one live row";
        EXPECT_FALSE(step.Failure);
    }
    EXPECT_EQ(session.NameEntryOpens(step.Place, "ann"), "ann");
    EXPECT_EQ(session.NameEntryOpens(31, "ann"), std::nullopt);
    session.NameEntered(step.Place, "Annabelle Lee-Smith");
    RecordsSession again(folder / "r.rez");
    again.Load();
    EXPECT_EQ(Names(again), (std::vector<std::string>{"Annabelle Lee-=5.000", "P1=900", "P2=500"}));

    const RecordsStep erased = again.Erase();
    EXPECT_EQ(erased.Place, 1);
    EXPECT_TRUE(again.Entries().empty());
    EXPECT_TRUE(std::filesystem::exists(folder / "r.rez")) << "written again, empty";
}

TEST(RecordsSession, AFailedLoadIsToldOnceAndTheGameGoesOnInAnEmptyTable)
{
    TempFolder folder;
    WriteBytes(folder / "r.rez", "");
    RecordsSession session(folder / "r.rez");
    const RecordsStep start = session.GameStarted("ann");
    ASSERT_TRUE(start.Failure);
    EXPECT_EQ(start.Failure->Message, "Stream read error");
    EXPECT_FALSE(start.Failure->Repeated);
    EXPECT_EQ(start.Place, 1);
    EXPECT_EQ(Names(session), std::vector<std::string>{"ann=0"});
    const RecordsStep change = session.ScoreChanged("ann", 40, start.Place);
    ASSERT_TRUE(change.Failure);
    EXPECT_TRUE(change.Failure->Repeated);
    EXPECT_EQ(Names(session), std::vector<std::string>{"ann=40"});

    WriteBytes(folder / "r.rez", "\x78\xDA not deflate");
    const RecordsStep damaged = session.ScoreChanged("ann", 50, change.Place);
    ASSERT_TRUE(damaged.Failure);
    EXPECT_TRUE(damaged.Failure->Damaged);
    EXPECT_EQ(damaged.Failure->KeptAs, FullPath(folder / "r.rez.damaged"));
}

TEST(RecordsSession, TheEntryHoldsLettersOfItsCodePageAndBeginsWithOne)
{
    const struct {
        const char* typed;
        const char* held;
    } cases[] = {
        {"Ann", "Ann"},   {"Жук", "Жук"},   {"7up", "player"}, {" Ann", "player"},
        {"Ёжик", "player"},   // Ё is byte A8, below the Cyrillic letters А..я
        {"", ""},         {"Zoë日本", "Zo"},  {"日本", ""},        {"ü", ""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(RecordsSession::EntryText(c.typed, "player"), c.held) << c.typed;
}

TEST(OptionsSession, AMissingFileIsWrittenAndNothingApplied)
{
    TempFolder folder;
    OptionsSession session(folder / "o.ini");
    GameOptions current;
    current.Mode = 3;
    EXPECT_EQ(session.Read(current, LanguageState{}), std::nullopt);
    EXPECT_EQ(IniProfile(ReadBytes(folder / "o.ini")).ReadInteger(ColourSection, ModeKey, 0), 3);
    const auto read = session.Read(GameOptions{}, LanguageState{});
    ASSERT_TRUE(read);
    EXPECT_EQ(read->Options.Mode, 3);
}

TEST(OptionsSession, TheLanguageKeysSwitchEnglishFirstThenRussian)
{
    using L = Language;
    const struct {
        const char* file;
        L selected;
        std::vector<L> switches;
    } cases[] = {
        {"", L::English, {L::English}},
        {"", L::Russian, {L::Russian}},
        {"English=1\nRussian=1\n", L::English, {L::English, L::Russian}},
        {"English=0\nRussian=0\n", L::English, {}},
        {"English=0\n", L::English, {}},
        {"English=0\n", L::Russian, {L::Russian}},
        {"Russian=1\n", L::English, {L::English, L::Russian}},
        {"English=1\n", L::Russian, {L::English}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(LanguageSwitches(IniProfile(std::string("[Options]\n") + c.file), c.selected), c.switches)
            << c.file << int(c.selected);
}

TEST(OptionsDeclaration, EachTypeReadsItsWay)
{
    GameOptions current;
    current.Server = "mine:1";
    current.Mail = "me@mine";
    const struct {
        const char* line;
        std::function<bool(const GameOptions&)> holds;
    } cases[] = {
        {"[Color]\nMode=258", [](const GameOptions& o) { return o.Mode == 2; }},
        {"[Color]\nMode=-1", [](const GameOptions& o) { return o.Mode == 255; }},
        {"[Color]\nColor2=0x80000005", [](const GameOptions& o) { return o.Colours[1] == std::int32_t(0x80000005); }},
        {"[Color]\nColor2=red", [](const GameOptions& o) { return o.Colours[1] == 0xFF0000; }},
        {"[Options]\nSound On/Off=7", [](const GameOptions& o) { return o.SoundOn; }},
        {"[Options]\nSound On/Off=0", [](const GameOptions& o) { return !o.SoundOn; }},
        {"[Online]\nServer=", [](const GameOptions& o) { return o.Server == "mine:1"; }},
        {"[Online]\nServer=h:2", [](const GameOptions& o) { return o.Server == "h:2"; }},
        {"[Online]\nServer=https://records.example",
         [](const GameOptions& o) { return o.Server == "https://records.example"; }},
        {"[Online]\nServer=https://127.0.0.1:8443/",
         [](const GameOptions& o) { return o.Server == "https://127.0.0.1:8443/"; }},
        {"[Online]\nMail=", [](const GameOptions& o) { return o.Mail.empty(); }},
    };
    for (const auto& c : cases)
        EXPECT_TRUE(c.holds(ReadOptions(IniProfile(c.line), current))) << c.line;
    // The online keys are read, never written.
    IniProfile written;
    WriteOptions(written, current);
    EXPECT_EQ(written.ReadString(OnlineSection, ServerKey), std::nullopt);
    EXPECT_EQ(written.ReadInteger(ColourSection, ModeKey, -1), current.Mode);
}
