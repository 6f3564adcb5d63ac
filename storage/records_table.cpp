#include "records_table.h"

#include <algorithm>

#include "cp1251.h"
#include "common/score_text.h"

std::int32_t StoredScore(const std::string& scoreText)
{
    try {
        return AntiFormatScore(scoreText);
    } catch (const ConversionError&) {
        return 0;
    }
}

PlaceFound FindPlace(const std::vector<RecordEntry>& entries, std::int32_t score, int recordPlace)
{
    int place = int(entries.size()) + 1;
    while (place > 1) {
        if (StoredScore(entries[std::size_t(place - 2)].Score) >= score)
            break;
        --place;
        if (place == 1)
            return {1, recordPlace != 1};
    }
    return {place, false};
}

void InsertEntry(std::vector<RecordEntry>& entries, const std::string& name, const std::string& scoreText, int place,
                 std::int32_t score)
{
    if (entries.size() >= std::size_t(MaxRecords) && StoredScore(entries[MaxRecords - 1].Score) < score)
        entries.erase(entries.begin() + (MaxRecords - 1), entries.end());
    if (place < 1 || place >= OutsideTable)
        return;
    const std::size_t at = std::min(std::size_t(place - 1), entries.size());
    entries.insert(entries.begin() + std::ptrdiff_t(at), RecordEntry{"", name, scoreText});
    // A live row may never push the table past thirty.
    if (entries.size() > std::size_t(MaxRecords))
        entries.resize(MaxRecords);
    for (std::size_t k = 0; k < entries.size(); ++k)
        entries[k].Place = std::to_string(k + 1);
}

std::string CutName(std::string_view name)
{
    std::u32string characters = DecodeUtf8(name);
    if (characters.size() > std::size_t(NameLength))
        characters.resize(NameLength);
    return EncodeUtf8(characters);
}

bool FirstCharacterAccepted(std::string_view name)
{
    if (name.empty())
        return true;
    const char32_t first = DecodeUtf8(name.substr(0, std::min<std::size_t>(name.size(), 4)))[0];
    return (first >= U'A' && first <= U'Z') || (first >= U'a' && first <= U'z') || (first >= 0x0410 && first <= 0x044F);
}
