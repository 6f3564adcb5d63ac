#include "records_snapshot.h"

#include <cmath>
#include <cstdint>
#include <optional>

#include "cp1251.h"

namespace {

enum Tag : std::uint8_t {
    TagInt8 = 0x02,
    TagInt16 = 0x03,
    TagInt32 = 0x04,
    TagString = 0x06,
    TagIdent = 0x07,
    TagFalse = 0x08,
    TagTrue = 0x09,
    TagBinary = 0x0A,
    TagSet = 0x0B,
    TagCollection = 0x0E,
};

// ---- Writing ------------------------------------------------------------------

class Writer {
public:
    std::string Bytes;

    void Byte(std::uint8_t value) { Bytes += char(value); }
    void Int16(std::int16_t value) { Little(std::uint32_t(std::uint16_t(value)), 2); }
    void Int32(std::int32_t value) { Little(std::uint32_t(value), 4); }
    // Longer texts are cut to the 255 bytes a short string holds.
    void Short(std::string_view text)
    {
        const std::size_t length = std::min<std::size_t>(text.size(), 255);
        Byte(std::uint8_t(length));
        Bytes.append(text.substr(0, length));
    }
    void Name(std::string_view name) { Short(name); }

    // The smallest of the three integer tags that holds the value.
    void Integer(std::string_view name, std::int32_t value)
    {
        Name(name);
        if (value >= -128 && value <= 127) {
            Byte(TagInt8);
            Byte(std::uint8_t(std::int8_t(value)));
        } else if (value >= -32768 && value <= 32767) {
            Byte(TagInt16);
            Int16(std::int16_t(value));
        } else {
            Byte(TagInt32);
            Int32(value);
        }
    }
    void Text(std::string_view name, Tag tag, std::string_view value)
    {
        Name(name);
        Byte(tag);
        Short(value);
    }
    void Boolean(std::string_view name, bool value)
    {
        Name(name);
        Byte(value ? TagTrue : TagFalse);
    }

private:
    void Little(std::uint32_t value, int bytes)
    {
        for (int i = 0; i < bytes; ++i)
            Byte(std::uint8_t(value >> (8 * i)));
    }
};

// ---- Reading ------------------------------------------------------------------

class Reader {
public:
    explicit Reader(std::string_view data) : Data(data) {}

    std::size_t Left() const { return Data.size() - Position; }
    void Need(std::size_t count) const
    {
        if (Left() < count)
            throw SnapshotError(StreamReadError);
    }
    std::uint8_t Byte()
    {
        Need(1);
        return std::uint8_t(Data[Position++]);
    }
    std::uint32_t UInt(int bytes)
    {
        Need(std::size_t(bytes));
        std::uint32_t value = 0;
        for (int i = 0; i < bytes; ++i)
            value |= std::uint32_t(std::uint8_t(Data[Position++])) << (8 * i);
        return value;
    }
    std::int32_t Int32() { return std::int32_t(UInt(4)); }
    std::string_view Take(std::size_t count)
    {
        Need(count);
        const std::string_view part = Data.substr(Position, count);
        Position += count;
        return part;
    }
    std::string_view Short() { return Take(Byte()); }

private:
    std::string_view Data;
    std::size_t Position = 0;
};

std::string Stored(std::string_view text)
{
    return Utf8ToCp1251(text);
}

// What a property's value may be.
enum class Kind { Integer, IntegerOrIdent, Ident, String, Boolean, Set, Binary, Collection };

std::optional<Kind> ListProperty(std::string_view name)
{
    static const struct {
        const char* name;
        Kind kind;
    } known[] = {
        {"Left", Kind::Integer},
        {"Top", Kind::Integer},
        {"Width", Kind::Integer},
        {"Height", Kind::Integer},
        {"BiDiMode", Kind::Ident},
        {"Color", Kind::IntegerOrIdent},
        {"Columns", Kind::Collection},
        {"ColumnClick", Kind::Boolean},
        {"Ctl3D", Kind::Boolean},
        {"Enabled", Kind::Boolean},
        {"Font.Charset", Kind::IntegerOrIdent},
        {"Font.Color", Kind::IntegerOrIdent},
        {"Font.Height", Kind::Integer},
        {"Font.Name", Kind::String},
        {"Font.Style", Kind::Set},
        {"HideSelection", Kind::Boolean},
        {"IconOptions.WrapText", Kind::Boolean},
        {"Items.Data", Kind::Binary},
        {"RowSelect", Kind::Boolean},
        {"ParentBiDiMode", Kind::Boolean},
        {"ParentFont", Kind::Boolean},
        {"ParentShowHint", Kind::Boolean},
        {"ShowColumnHeaders", Kind::Boolean},
        {"ShowHint", Kind::Boolean},
        {"TabOrder", Kind::Integer},
        {"ViewStyle", Kind::Ident},
    };
    for (const auto& property : known)
        if (name == property.name)
            return property.kind;
    return std::nullopt;
}

std::optional<Kind> ColumnProperty(std::string_view name)
{
    if (name == "Caption")
        return Kind::String;
    if (name == "Width")
        return Kind::Integer;
    if (name == "Alignment")
        return Kind::Ident;
    return std::nullopt;
}

SnapshotError PropertyError(std::string_view name, const std::string& message)
{
    return SnapshotError("Error reading LV1." + std::string(name) + ": " + message);
}

bool Fits(Kind kind, std::uint8_t tag)
{
    const bool integer = tag == TagInt8 || tag == TagInt16 || tag == TagInt32;
    switch (kind) {
    case Kind::Integer:
        return integer;
    case Kind::IntegerOrIdent:
        return integer || tag == TagIdent;
    case Kind::Ident:
        return tag == TagIdent;
    case Kind::String:
        return tag == TagString;
    case Kind::Boolean:
        return tag == TagFalse || tag == TagTrue;
    case Kind::Set:
        return tag == TagSet;
    case Kind::Binary:
        return tag == TagBinary;
    case Kind::Collection:
        return tag == TagCollection;
    }
    return false;
}

// Reads the payload of a simple value (not a collection); the binary
// payload is returned, the others are only stepped over.
std::string_view SimpleValue(Reader& in, std::uint8_t tag)
{
    switch (tag) {
    case TagInt8:
        in.Take(1);
        break;
    case TagInt16:
        in.Take(2);
        break;
    case TagInt32:
        in.Take(4);
        break;
    case TagString:
    case TagIdent:
        in.Short();
        break;
    case TagBinary:
        return in.Take(in.UInt(4));
    case TagSet:
        while (!in.Short().empty()) {
        }
        break;
    default:
        break;
    }
    return {};
}

// A property record's tag, checked against the kind the property takes.
std::uint8_t ValueTag(Reader& in, std::string_view name, Kind kind)
{
    const std::uint8_t tag = in.Byte();
    if (!Fits(kind, tag))
        throw PropertyError(name, "Invalid property value");
    return tag;
}

void ReadColumns(Reader& in)
{
    for (;;) {
        const std::uint8_t mark = in.Byte();
        if (mark == 0)
            return;
        if (mark != 0x01)
            throw SnapshotError(InvalidStreamFormat);
        for (std::string_view name = in.Short(); !name.empty(); name = in.Short()) {
            const auto kind = ColumnProperty(name);
            if (!kind)
                throw PropertyError(name, "Property " + std::string(name) + " does not exist");
            SimpleValue(in, ValueTag(in, name, *kind));
        }
    }
}

}  // namespace

ColumnWidths ColumnWidthsFor(int listWidth)
{
    // nearbyint rounds ties to the even neighbour.
    const int place = int(std::nearbyint(listWidth * 0.1));
    const int score = int(std::nearbyint(listWidth * 0.35));
    return {place, listWidth - place - score, score};
}

std::string WriteRecordsBlock(const std::vector<RecordEntry>& entries)
{
    Writer body;
    body.Int32(std::int32_t(entries.size()));
    for (const RecordEntry& entry : entries) {
        body.Int32(0);    // picture
        body.Int32(-1);   // state picture
        body.Int32(-1);   // overlay
        body.Int32(2);    // sub-items
        body.Int32(0);    // data
        body.Short(Stored(entry.Place));
        body.Short(Stored(entry.Name));
        body.Short(Stored(entry.Score));
    }
    for (std::size_t i = 0; i < entries.size() * 2; ++i)
        body.Int16(-1);   // sub-item pictures
    Writer block;
    block.Int32(std::int32_t(body.Bytes.size() + 4));
    return block.Bytes + body.Bytes;
}

std::string WriteRecordsSnapshot(const std::vector<RecordEntry>& entries, ColumnWidths widths)
{
    Writer out;
    out.Bytes = "TPF0";
    out.Short("TListView");
    out.Short("LV1");
    out.Integer("Left", 552);
    out.Integer("Top", 75);
    out.Integer("Width", RecordsListWidth);
    out.Integer("Height", 454);
    out.Text("BiDiMode", TagIdent, "bdLeftToRight");
    out.Integer("Color", 13160660);
    out.Name("Columns");
    out.Byte(TagCollection);
    const struct {
        const char* caption;
        int width;
        bool right;
    } columns[] = {{"N", widths.Place, false}, {"Name", widths.Name, false}, {"Score", widths.Score, true}};
    for (const auto& column : columns) {
        out.Byte(0x01);
        if (column.right)
            out.Text("Alignment", TagIdent, "taRightJustify");
        out.Text("Caption", TagString, column.caption);
        out.Integer("Width", column.width);
        out.Byte(0);
    }
    out.Byte(0);
    out.Boolean("ColumnClick", false);
    out.Boolean("Ctl3D", false);
    out.Boolean("Enabled", false);
    out.Text("Font.Charset", TagIdent, "RUSSIAN_CHARSET");
    out.Text("Font.Color", TagIdent, "clNavy");
    out.Integer("Font.Height", -11);
    out.Text("Font.Name", TagString, "Arial");
    out.Name("Font.Style");
    out.Byte(TagSet);
    out.Short("fsBold");
    out.Byte(0);
    out.Boolean("HideSelection", false);
    out.Boolean("IconOptions.WrapText", false);
    if (!entries.empty()) {
        const std::string block = WriteRecordsBlock(entries);
        out.Name("Items.Data");
        out.Byte(TagBinary);
        out.Int32(std::int32_t(block.size()));
        out.Bytes += block;
    }
    out.Boolean("RowSelect", true);
    out.Boolean("ParentBiDiMode", false);
    out.Boolean("ParentFont", false);
    out.Boolean("ParentShowHint", false);
    out.Boolean("ShowColumnHeaders", false);
    out.Boolean("ShowHint", false);
    out.Integer("TabOrder", 0);
    out.Text("ViewStyle", TagIdent, "vsReport");
    out.Byte(0);   // end of the properties
    out.Byte(0);   // no child objects
    return out.Bytes;
}

std::vector<RecordEntry> ReadRecordsBlock(std::string_view block)
{
    Reader outer(block);
    const std::uint32_t size = outer.UInt(4);
    // The entries must lie inside the block's own size.
    if (size > block.size())
        throw SnapshotError(StreamReadError);
    Reader in(block.substr(0, size));
    in.Take(4);
    const std::int32_t count = in.Int32();
    if (count < 1 || count > MaxRecords)
        throw SnapshotError(InvalidStreamFormat);
    std::vector<RecordEntry> entries;
    entries.reserve(std::size_t(count));
    std::uint64_t subItemsInAll = 0;
    for (std::int32_t i = 0; i < count; ++i) {
        in.Take(12);   // picture, state picture, overlay
        const std::int32_t subItems = in.Int32();
        in.Take(4);    // data
        if (subItems < 0)
            throw SnapshotError(InvalidStreamFormat);
        subItemsInAll += std::uint64_t(subItems);
        RecordEntry entry;
        entry.Place = Cp1251ToUtf8(in.Short());
        // Each sub-item takes at least its length byte, so a huge count
        // runs out of bytes at once.
        for (std::int32_t k = 0; k < subItems; ++k) {
            const std::string_view text = in.Short();
            if (k == 0)
                entry.Name = Cp1251ToUtf8(text);
            else if (k == 1)
                entry.Score = Cp1251ToUtf8(text);
        }
        entries.push_back(std::move(entry));
    }
    // The sub-item pictures that follow are always -1 and not kept, but
    // they are the entries' own: a Size that cuts them off is a bad block.
    if (subItemsInAll * 2 > in.Left())
        throw SnapshotError(StreamReadError);
    return entries;
}

std::vector<RecordEntry> ReadRecordsSnapshot(std::string_view content)
{
    Reader in(content);
    if (in.Take(4) != "TPF0")
        throw SnapshotError(InvalidStreamFormat);
    in.Short();   // class name
    in.Short();   // object name
    std::vector<RecordEntry> entries;
    for (std::string_view name = in.Short(); !name.empty(); name = in.Short()) {
        const auto kind = ListProperty(name);
        if (!kind)
            throw PropertyError(name, "Property " + std::string(name) + " does not exist");
        const std::uint8_t tag = ValueTag(in, name, *kind);
        if (*kind == Kind::Collection)
            ReadColumns(in);
        else if (*kind == Kind::Binary)
            entries = ReadRecordsBlock(SimpleValue(in, tag));
        else
            SimpleValue(in, tag);
    }
    if (in.Byte() != 0)   // the list has no child objects
        throw SnapshotError(InvalidStreamFormat);
    return entries;
}
