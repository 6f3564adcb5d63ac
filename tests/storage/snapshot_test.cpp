#include <gtest/gtest.h>

#include <string>

#include "storage/cp1251.h"
#include "storage/records_snapshot.h"
#include "storage/zlib_stream.h"

using namespace std::string_literals;

namespace {

std::string Hex(const std::string& bytes)
{
    static const char* digits = "0123456789ABCDEF";
    std::string out;
    for (unsigned char b : bytes) {
        out += digits[b >> 4];
        out += digits[b & 15];
    }
    return out;
}

std::string Short(const std::string& text)
{
    return char(text.size()) + text;
}

// The snapshot of an empty table, spelled out record by record.
std::string EmptySnapshot(int w1, int w2, int w3)
{
    const auto boolean = [](const char* name, bool value) { return Short(name) + (value ? "\x09" : "\x08"); };
    const auto int8 = [](const char* name, int value) { return Short(name) + "\x02"s + char(value); };
    const auto ident = [](const char* name, const char* value) { return Short(name) + "\x07" + Short(value); };
    return "TPF0"s + Short("TListView") + Short("LV1") +                      //
           Short("Left") + "\x03\x28\x02"s + int8("Top", 75) +                  //
           Short("Width") + "\x03\xC9\x00"s + Short("Height") + "\x03\xC6\x01"s +
           ident("BiDiMode", "bdLeftToRight") + Short("Color") + "\x04\xD4\xD0\xC8\x00"s +
           Short("Columns") + "\x0E" +                                         //
           "\x01" + Short("Caption") + "\x06" + Short("N") + int8("Width", w1) + '\0' +
           "\x01" + Short("Caption") + "\x06" + Short("Name") + int8("Width", w2) + '\0' +
           "\x01" + ident("Alignment", "taRightJustify") + Short("Caption") + "\x06" + Short("Score") +
           int8("Width", w3) + '\0' + '\0' +                                   //
           boolean("ColumnClick", false) + boolean("Ctl3D", false) + boolean("Enabled", false) +
           ident("Font.Charset", "RUSSIAN_CHARSET") + ident("Font.Color", "clNavy") + int8("Font.Height", -11) +
           Short("Font.Name") + "\x06" + Short("Arial") + Short("Font.Style") + "\x0B" + Short("fsBold") + '\0' +
           boolean("HideSelection", false) + boolean("IconOptions.WrapText", false) + boolean("RowSelect", true) +
           boolean("ParentBiDiMode", false) + boolean("ParentFont", false) + boolean("ParentShowHint", false) +
           boolean("ShowColumnHeaders", false) + boolean("ShowHint", false) + int8("TabOrder", 0) +
           ident("ViewStyle", "vsReport") + '\0' + '\0';
}

std::vector<RecordEntry> Table(int count, const std::string& name)
{
    std::vector<RecordEntry> entries;
    for (int k = 1; k <= count; ++k)
        entries.push_back({std::to_string(k), name + std::to_string(k), std::to_string(1000 * (31 - k))});
    return entries;
}

}  // namespace

TEST(RecordsSnapshot, TheOneEntryBlockIsByteForByteTheKnownExample)
{
    const std::string block = WriteRecordsBlock({{"1", "Ann", "870"}});
    EXPECT_EQ(Hex(block), "2A000000" "01000000" "00000000" "FFFFFFFF" "FFFFFFFF" "02000000" "00000000"
                          "0131" "03416E6E" "03383730" "FFFF" "FFFF");
    EXPECT_EQ(ReadRecordsBlock(block), (std::vector<RecordEntry>{{"1", "Ann", "870"}}));
}

TEST(RecordsSnapshot, AnEmptyTableHasEveryPropertyButTheEntries)
{
    EXPECT_EQ(Hex(WriteRecordsSnapshot({}, DesignColumnWidths)), Hex(EmptySnapshot(25, 105, 71)));
    EXPECT_EQ(Hex(WriteRecordsSnapshot({}, ColumnWidthsFor(RecordsListWidth))), Hex(EmptySnapshot(20, 111, 70)));
    EXPECT_TRUE(ReadRecordsSnapshot(EmptySnapshot(20, 111, 70)).empty());
}

TEST(RecordsSnapshot, TheEntriesGoBetweenTheLastFlagAndRowSelect)
{
    const std::string block = WriteRecordsBlock({{"1", "Ann", "870"}});
    const std::string snapshot = WriteRecordsSnapshot({{"1", "Ann", "870"}}, DesignColumnWidths);
    std::string expected = EmptySnapshot(25, 105, 71);
    const std::string before = Short("RowSelect");
    expected.insert(expected.find(before), Short("Items.Data") + "\x0A\x2A\x00\x00\x00"s + block);
    EXPECT_EQ(Hex(snapshot), Hex(expected));
}

TEST(RecordsSnapshot, WidthRuleGivesTwentyHundredElevenSeventy)
{
    EXPECT_EQ(ColumnWidthsFor(201), (ColumnWidths{20, 111, 70}));
    // 0.1 x 205 = 20.5 and 0.35 x 10 = 3.5: ties go to the even neighbour.
    EXPECT_EQ(ColumnWidthsFor(205).Place, 20);
    EXPECT_EQ(ColumnWidthsFor(10).Score, 4);
}

TEST(RecordsSnapshot, TablesRoundTripWithCyrillicNames)
{
    for (int count : {0, 1, 30}) {
        const auto entries = Table(count, "Вася Пупкин ");
        const std::string file = CompressStream(WriteRecordsSnapshot(entries, ColumnWidthsFor(201)));
        ASSERT_GE(file.size(), 2u);
        EXPECT_EQ(Hex(file.substr(0, 2)), "78DA");
        EXPECT_EQ(ReadRecordsSnapshot(DecompressStream(file)), entries) << count << " entries";
    }
    // Stored as code page 1251: one byte a letter.
    const std::string block = WriteRecordsBlock({{"1", "Ёж", "5"}});
    EXPECT_NE(block.find("\x02\xA8\xE6"s), std::string::npos);
}

TEST(RecordsSnapshot, LongTextsAreCutToTheShortStringLimit)
{
    const std::string longName(300, 'x');
    const auto back = ReadRecordsBlock(WriteRecordsBlock({{"1", longName, "0"}}));
    EXPECT_EQ(back[0].Name, std::string(255, 'x'));
}

TEST(RecordsSnapshot, BadContentGivesItsMessageAndNeverReadsPast)
{
    const std::string good = WriteRecordsSnapshot(Table(3, "Ann"), ColumnWidthsFor(201));
    const std::string block = WriteRecordsBlock(Table(3, "Ann"));
    const auto withBlock = [&](std::string changed) {
        std::string s = good;
        s.replace(s.find(block), block.size(), changed);
        return s;
    };
    const auto setCount = [&](std::uint32_t count) {
        std::string b = block;
        for (int i = 0; i < 4; ++i)
            b[4 + i] = char(count >> (8 * i));
        return withBlock(b);
    };
    std::string pastSize = block;
    pastSize[0] = char(pastSize[0] - 30);   // Size ends inside the entries
    // The sub-item pictures close every block; a Size that leaves them out
    // is as wrong as one that cuts an entry.
    std::string picturesCut = block;
    picturesCut[0] = char(picturesCut[0] - 7);
    std::string lastPictureCut = block;
    lastPictureCut[0] = char(lastPictureCut[0] - 1);
    std::string pastBlock = block;
    pastBlock[0] = char(pastBlock[0] + 1);   // Size runs past the block's bytes
    std::string unknown = good;
    unknown.replace(unknown.find(Short("ShowHint")), 9, Short("ShowHunt"));
    std::string wrongTag = good;
    wrongTag[wrongTag.find(Short("Left")) + 5] = '\x06';
    std::string child = good;
    child.back() = '\x01';

    const struct {
        const char* name;
        std::string content;
        std::string message;
    } cases[] = {
        {"empty", "", StreamReadError},
        {"three bytes", "TPF", StreamReadError},
        {"wrong signature", "TPF1" + good.substr(4), InvalidStreamFormat},
        {"cut in the middle", good.substr(0, good.size() / 2), StreamReadError},
        {"cut before the end marks", good.substr(0, good.size() - 2), StreamReadError},
        {"unknown property", unknown, "Error reading LV1.ShowHunt: Property ShowHunt does not exist"},
        {"a string where a number goes", wrongTag, "Error reading LV1.Left: Invalid property value"},
        {"a child object", child, InvalidStreamFormat},
        {"entries past the block's size", withBlock(pastSize), StreamReadError},
        {"Size 7 short: the pictures cut", withBlock(picturesCut), StreamReadError},
        {"Size 1 short: the last picture cut", withBlock(lastPictureCut), StreamReadError},
        {"block size past its bytes", withBlock(pastBlock), StreamReadError},
        {"count zero", setCount(0), InvalidStreamFormat},
        {"count 31", setCount(31), InvalidStreamFormat},
        {"huge count", setCount(0x7FFFFFFF), InvalidStreamFormat},
        {"negative count", setCount(0xFFFFFFFF), InvalidStreamFormat},
    };
    for (const auto& c : cases) {
        try {
            ReadRecordsSnapshot(c.content);
            ADD_FAILURE() << c.name << ": read without error";
        } catch (const SnapshotError& e) {
            EXPECT_EQ(std::string(e.what()), c.message) << c.name;
        }
    }
}

TEST(RecordsSnapshot, EveryCutOfAGoodSnapshotFailsCleanly)
{
    // Under the sanitizers this also proves that no prefix is read past.
    const std::string good = WriteRecordsSnapshot(Table(30, "Игрок"), ColumnWidthsFor(201));
    for (std::size_t length = 0; length < good.size() - 1; ++length)
        EXPECT_THROW(ReadRecordsSnapshot(std::string_view(good).substr(0, length)), SnapshotError) << length;
}

TEST(ZlibStream, DamagedStreamsFailToInflateAndBombsAreRefused)
{
    const std::string file = CompressStream(WriteRecordsSnapshot(Table(5, "Ann"), DesignColumnWidths));
    std::string flipped = file;
    flipped[file.size() / 2] = char(flipped[file.size() / 2] ^ 0x55);
    for (const std::string& bad : {"not a zlib stream"s, file.substr(0, file.size() - 3), flipped, "\x78"s})
        EXPECT_THROW(DecompressStream(bad), InflateError) << Hex(bad.substr(0, 8));
    EXPECT_EQ(DecompressStream(""), "");

    const std::string bomb = CompressStream(std::string(MaxSnapshotSize + 1, 'A'));
    try {
        DecompressStream(bomb);
        ADD_FAILURE() << "inflated past the cap";
    } catch (const SnapshotError& e) {
        EXPECT_STREQ(e.what(), InvalidStreamFormat);
    }
    EXPECT_EQ(DecompressStream(CompressStream(std::string(MaxSnapshotSize, 'A'))).size(), MaxSnapshotSize);
}

TEST(Cp1251, EveryByteRoundTripsAndOtherCharactersBecomeQuestionMarks)
{
    std::string all;
    for (int b = 0; b < 256; ++b)
        all += char(b);
    EXPECT_EQ(Utf8ToCp1251(Cp1251ToUtf8(all)), all);
    const struct {
        const char* utf8;
        const char* bytes;
    } cases[] = {
        {"Ann", "Ann"}, {"Аня", "\xC0\xED\xFF"}, {"Ёё№€", "\xA8\xB8\xB9\x88"}, {"Łódź", "??d?"},
        {"日本", "??"}, {"\xFF", "?"},   // a broken sequence
    };
    for (const auto& c : cases)
        EXPECT_EQ(Utf8ToCp1251(c.utf8), c.bytes) << c.utf8;
    EXPECT_EQ(KeepCp1251Characters("Jörg-Ёлка日本"), "Jrg-Ёлка");
}
