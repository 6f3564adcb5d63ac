#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "storage/options_file.h"
#include "temp_folder.h"

TEST(IniProfile, ReadsAsTheProfileFunctionsDo)
{
    const IniProfile profile(
        "stray=1\r\n"
        "[Color]\r\n"
        "; Mode=9 in a comment\r\n"
        "  mode  =  258  \r\n"
        "Color1=0x0000FF\r\n"
        "Color2=$ff\r\n"
        "Color3=-5\r\n"
        "Color4=+7\r\n"
        "Color5=0x\r\n"
        "Color6=12abc\r\n"
        "Color7=\r\n"
        "Color8=2147483648\r\n"
        "Color9=-2147483648\r\n"
        "Color10=$FFFFFFFF\r\n"
        "Color11=\"42\"\r\n"
        "Color1=99\r\n"
        "[ OPTIONS ]\n"
        "Animate Bonus=yes\n"
        "PCSpeaker On/Off = 0\n"
        "Sound On/Off=-3\n");
    const struct {
        const char* section;
        const char* key;
        std::int32_t expected;
    } integers[] = {
        {"COLOR", "Mode", 258},       {"Color", "Color1", 255},          {"Color", "color2", 255},
        {"Color", "Color3", -5},      {"Color", "Color4", 7},            {"Color", "Color5", -1},
        {"Color", "Color6", -1},      {"Color", "Color7", -1},           {"Color", "Color8", -1},
        {"Color", "Color9", INT32_MIN}, {"Color", "Color10", -1},        {"Color", "Color11", 42},
        {"Color", "Missing", -1},     {"Nowhere", "Mode", -1},           {"Color", "stray", -1},
        {"Options", "Mode", -1},
    };
    for (const auto& c : integers)
        EXPECT_EQ(profile.ReadInteger(c.section, c.key, -1), c.expected) << c.section << "/" << c.key;
    EXPECT_TRUE(profile.ReadBool("Options", "Animate Bonus", true)) << "yes is no number: the state stays";
    EXPECT_FALSE(profile.ReadBool("Options", "Animate Bonus", false));
    EXPECT_FALSE(profile.ReadBool("Options", "PCSpeaker On/Off", true));
    EXPECT_TRUE(profile.ReadBool("Options", "Sound On/Off", false));
    EXPECT_EQ(profile.ReadString("Color", "Color11"), "42");

    const IniProfile longValue("[A]\nk=" + std::string(3000, 'x') + "\n");
    EXPECT_EQ(longValue.ReadString("A", "k")->size(), 2047u);
    for (const char* notIni : {"", "\x89PNG\r\n\x1a\n\0\0", "just some words\nand more"})
        EXPECT_EQ(IniProfile(notIni).ReadInteger("Color", "Mode", 2), 2);
}

TEST(IniProfile, WritingChangesOnlyTheKeyItWrites)
{
    const struct {
        const char* name;
        const char* before;
        const char* section;
        const char* key;
        const char* value;
        const char* after;
    } cases[] = {
        {"replaced where it stands, line ends kept", "; mine\r\n[color]\r\nMODE = 1\r\nother=x\r\n", "Color", "Mode",
         "3", "; mine\r\n[color]\r\nMODE =3\r\nother=x\r\n"},
        {"added at the end of its section", "[Color]\nMode=1\n\n[Options]\nx=1\n", "Color", "Color1", "255",
         "[Color]\nMode=1\nColor1=255\n\n[Options]\nx=1\n"},
        {"a section added at the end", "[Color]\r\nMode=1", "Options", "English", "1",
         "[Color]\r\nMode=1\r\n\r\n[Options]\r\nEnglish=1\r\n"},
        {"a new file", "", "Color", "Mode", "2", "[Color]\nMode=2\n"},
        {"a comment is not the key", "[Color]\n;Mode=5\n", "Color", "Mode", "2", "[Color]\n;Mode=5\nMode=2\n"},
    };
    for (const auto& c : cases) {
        IniProfile profile(c.before);
        profile.WriteString(c.section, c.key, c.value);
        EXPECT_EQ(profile.Text(), c.after) << c.name;
    }
}

TEST(IniProfile, OddLinesReadAndWriteAsTheProfileFunctionsHaveThem)
{
    using namespace std::string_literals;
    const std::optional<std::string> missing;
    const struct {
        const char* name;
        std::string text;
        const char* section;
        std::optional<std::string> value;
        std::int32_t integer;   // default -1
    } reads[] = {
        {"a line without = is the key, empty", "[Color]\nColor1\nColor1=5\n", "Color", "", -1},
        {"lone CR ends a line", "[Color]\rMode=1\rColor1=5\r", "Color", "5", 5},
        {"CR then CRLF", "[Color]\r\r\nColor1=5\r\n", "Color", "5", 5},
        {"the name runs to the last ]", "[Color]]\nColor1=5\n", "Color]", "5", 5},
        {"... so it is not Color", "[Color]]\nColor1=5\n", "Color", missing, -1},
        {"text after the last ]", "[Color] ; mine\nColor1=5\n", "Color", "5", 5},
        {"[ without ] is no header", "[Options]\nx=1\n[Color\nColor1=5\n", "Options", "5", 5},
        {"... and starts no section", "[Options]\nx=1\n[Color\nColor1=5\n", "Color", missing, -1},
        {"a UTF-8 mark is skipped", "\xEF\xBB\xBF[Color]\nColor1=5\n", "Color", "5", 5},
        {"NUL ends the value", "[Color]\nColor1=5\0" "7\n"s, "Color", "5", 5},
        {"NUL ends the name", "[Color]\nColor1\0x=5\n"s, "Color", "5", 5},
        {"VT, FF and 0x1A are blanks", "[Color]\n\v\x1a Color1\f=\t\v5\f\x1a\n", "Color", "5", 5},
        {"a blank before a NUL stays", "[Color]\nColor1=5 \0\n"s, "Color", "5 ", -1},
    };
    for (const auto& c : reads) {
        const IniProfile profile(c.text);
        EXPECT_EQ(profile.ReadString(c.section, "color1"), c.value) << c.name;
        EXPECT_EQ(profile.ReadInteger(c.section, "Color1", -1), c.integer) << c.name;
    }

    const struct {
        const char* name;
        std::string before;
        std::string after;   // Color1 written as 7
    } writes[] = {
        {"fills the line without =", "[Color]\nColor1  \nColor1=5\n", "[Color]\nColor1=7\nColor1=5\n"},
        {"keeps the UTF-8 mark", "\xEF\xBB\xBF[Color]\r\nMode=1\r\n",
         "\xEF\xBB\xBF[Color]\r\nMode=1\r\nColor1=7\r\n"},
        {"lone CRs stay and end the new line", "[Color]\rMode=1\r", "[Color]\rMode=1\rColor1=7\r"},
        {"[Color]] is another section", "[Color]]\nColor1=5\n", "[Color]]\nColor1=5\n\n[Color]\nColor1=7\n"},
        {"[Color is a line of the section before", "[Color]\nMode=1\n[Color\n", "[Color]\nMode=1\n[Color\nColor1=7\n"},
    };
    for (const auto& c : writes) {
        IniProfile profile(c.before);
        profile.WriteString("Color", "Color1", "7");
        EXPECT_EQ(profile.Text(), c.after) << c.name;
        EXPECT_EQ(IniProfile(profile.Text()).ReadInteger("Color", "Color1", -1), 7) << c.name;
    }
}

TEST(OptionsFile, TheBuiltInStateIsTwelveKeysInOrder)
{
    IniProfile profile;
    WriteOptions(profile, GameOptions{});
    EXPECT_EQ(profile.Text(),
              "[Color]\nMode=2\nColor1=255\nColor2=16711680\nColor3=65535\nColor4=16776960\nColor5=65280\n"
              "Color6=16711935\n\n[Options]\nAnimate Bonus=1\nPCSpeaker On/Off=1\nSound On/Off=1\nEnglish=1\n"
              "Russian=0\n");
    // Written again over itself, nothing moves.
    GameOptions changed;
    changed.Colours[2] = -16777216;
    changed.Russian = true;
    WriteOptions(profile, changed);
    EXPECT_NE(profile.Text().find("Color3=-16777216\nColor4="), std::string::npos);
    EXPECT_NE(profile.Text().find("English=1\nRussian=1\n"), std::string::npos);
}

TEST(OptionsFile, KeepsForeignLinesAndReportsAFailedWriteOnce)
{
    TempFolder folder;
    OptionsFile file(folder / "vantorix2.ini");
    EXPECT_FALSE(file.Exists());
    WriteBytes(folder / "vantorix2.ini", "; my notes\r\n[Options]\r\nEnglish=0\r\nVolume=11\r\n");
    file.Save(GameOptions{});
    const std::string saved = ReadBytes(folder / "vantorix2.ini");
    EXPECT_EQ(saved.rfind("; my notes\r\n[Options]\r\nEnglish=1\r\nVolume=11\r\n", 0), 0u) << saved;
    EXPECT_NE(saved.find("\r\n[Color]\r\nMode=2\r\n"), std::string::npos);

    file.WriteHook = [](WriteStep step) {
        if (step == WriteStep::Rename)
            throw FileError("read-only");
    };
    for (bool repeated : {false, true}) {
        try {
            file.Save(GameOptions{});
            ADD_FAILURE() << "saved";
        } catch (const OptionsWriteError& e) {
            EXPECT_EQ(e.what(), "Unable to write to " + (folder / "vantorix2.ini").string());
            EXPECT_EQ(e.Repeated, repeated);
        }
    }
    EXPECT_EQ(ReadBytes(folder / "vantorix2.ini"), saved);
}
