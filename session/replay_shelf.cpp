#include "replay_shelf.h"

#include <algorithm>
#include <set>
#include <sstream>

#include "common/score_text.h"
#include "storage/atomic_file.h"

namespace fs = std::filesystem;

namespace {

constexpr const char* IndexName = "index";
constexpr const char* IndexHeading = "vantorix2 replays 1";
// More than thirty rows never belong in it; this bounds a damaged one.
constexpr std::size_t MaxIndexBytes = 64 * 1024;

// Only names of our own making: digits, then ".vxr". Nothing else in the
// folder is ever opened or removed. Nine digits at most, so that every
// number read back fits.
constexpr std::size_t MaxNumberDigits = 9;
constexpr unsigned long MaxNumber = 999'999'999;

bool ReplayFileName(const std::string& name)
{
    const std::size_t dot = name.size() >= 5 ? name.size() - 4 : 0;
    return dot > 0 && dot <= MaxNumberDigits && name.compare(dot, 4, ".vxr") == 0 &&
           std::all_of(name.begin(), name.begin() + std::ptrdiff_t(dot), [](char c) { return c >= '0' && c <= '9'; });
}

// A field of an index line: tabs, line ends and backslashes escaped, as a
// name may hold any of them.
std::string Escape(const std::string& text)
{
    std::string out;
    for (char c : text) {
        switch (c) {
        case '\\': out += "\\\\"; break;
        case '\t': out += "\\t"; break;
        case '\n': out += "\\n"; break;
        case '\r': out += "\\r"; break;
        default: out += c;
        }
    }
    return out;
}

std::string Unescape(const std::string& text)
{
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\\' || i + 1 == text.size()) {
            out += text[i];
            continue;
        }
        const char next = text[++i];
        out += next == 't' ? '\t' : next == 'n' ? '\n' : next == 'r' ? '\r' : next;
    }
    return out;
}

}  // namespace

ReplayShelf::ReplayShelf(const fs::path& recordsFile)
    : Dir(recordsFile.parent_path() / (recordsFile.stem().string() + ".replays"))
{
}

std::vector<ReplayShelf::Row> ReplayShelf::ReadIndex() const
{
    std::vector<Row> rows;
    std::string text;
    try {
        text = ReadWholeFile(Dir / IndexName, MaxIndexBytes);
    } catch (const FileError&) {
        text.clear();   // none, or not ours: every row comes from the files
    }
    std::set<std::string> named;
    std::istringstream lines(text);
    std::string line;
    if (std::getline(lines, line) && line == IndexHeading)
        while (std::getline(lines, line)) {
            const std::size_t first = line.find('\t'), second = line.find('\t', first + 1);
            if (first == std::string::npos || second == std::string::npos)
                continue;
            Row row{line.substr(0, first), Unescape(line.substr(first + 1, second - first - 1)),
                    Unescape(line.substr(second + 1))};
            std::error_code error;
            if (!ReplayFileName(row.File) || !fs::is_regular_file(Dir / row.File, error) ||
                !named.insert(row.File).second)
                continue;
            rows.push_back(std::move(row));
        }

    // A replay the index does not name (it was lost, cut short or damaged)
    // still says whose it is: it joins the rows, oldest first.
    std::vector<std::pair<unsigned long, std::string>> strays;
    std::error_code error;
    for (const fs::directory_entry& item : fs::directory_iterator(Dir, error)) {
        const std::string name = item.path().filename().string();
        if (ReplayFileName(name) && !named.count(name))
            strays.emplace_back(std::stoul(name.substr(0, name.size() - 4)), name);
    }
    std::sort(strays.begin(), strays.end());
    for (const auto& [number, name] : strays)
        if (const auto row = RowFromFile(name))
            rows.push_back(*row);
    return rows;
}

std::optional<ReplayShelf::Row> ReplayShelf::RowFromFile(const std::string& file) const
{
    try {
        const Replay replay = ReadReplay(ReadWholeFile(Dir / file, MaxReplayBytes));
        return Row{file, FormatScore(replay.Result.Score), replay.Result.Name};
    } catch (const std::exception&) {
        return std::nullopt;   // not a replay: left where it is, tied to nobody
    }
}

void ReplayShelf::WriteIndex(const std::vector<Row>& rows)
{
    std::string text = std::string(IndexHeading) + "\n";
    for (const Row& row : rows)
        text += row.File + "\t" + Escape(row.Score) + "\t" + Escape(row.Name) + "\n";
    ReplaceFile(Dir / IndexName, text);
}

std::vector<const ReplayShelf::Row*> ReplayShelf::Match(const std::vector<RecordEntry>& entries,
                                                        std::vector<Row>& rows) const
{
    // Each entry takes the first row of its name and score not yet taken:
    // the rows keep the table's order, so of two entries alike the upper
    // takes the older replay. A row nobody takes may have been damaged in
    // the index: it is read again from its file, and a row nobody takes
    // then belonged to an entry gone.
    std::vector<const Row*> matched(entries.size(), nullptr);
    std::vector<bool> taken(rows.size(), false);
    const auto pass = [&] {
        for (std::size_t k = 0; k < entries.size(); ++k)
            for (std::size_t r = 0; r < rows.size() && !matched[k]; ++r)
                if (!taken[r] && rows[r].Name == entries[k].Name && rows[r].Score == entries[k].Score) {
                    matched[k] = &rows[r];
                    taken[r] = true;
                }
    };
    pass();
    if (std::find(matched.begin(), matched.end(), nullptr) == matched.end())
        return matched;
    bool repaired = false;
    for (std::size_t r = 0; r < rows.size(); ++r)
        if (!taken[r])
            if (const auto read = RowFromFile(rows[r].File); read && (read->Name != rows[r].Name || read->Score != rows[r].Score)) {
                rows[r] = *read;
                repaired = true;
            }
    if (repaired)
        pass();
    return matched;
}

void ReplayShelf::Tidy(const std::vector<Row>& candidates, const std::vector<Row>& kept)
{
    std::set<std::string> named;
    for (const Row& row : kept)
        named.insert(row.File);
    std::error_code error;
    for (const Row& row : candidates)
        if (!named.count(row.File))
            fs::remove(Dir / row.File, error);
}

void ReplayShelf::Keep(const std::vector<RecordEntry>& entries, int place, const Replay& replay)
{
    if (place < 1 || place > int(entries.size()))
        return;
    std::vector<Row> old = ReadIndex();
    std::vector<RecordEntry> others = entries;
    others.erase(others.begin() + (place - 1));
    std::vector<const Row*> kept = Match(others, old);

    // A number no file of the folder has: the next after the largest, or
    // when that would have too many digits to be ours, the first free one.
    std::set<unsigned long> taken;
    std::error_code error;
    fs::create_directories(Dir, error);
    for (const fs::directory_entry& item : fs::directory_iterator(Dir, error)) {
        const std::string name = item.path().filename().string();
        if (ReplayFileName(name))
            taken.insert(std::stoul(name.substr(0, name.size() - 4)));
    }
    unsigned long number = taken.empty() ? 1 : *taken.rbegin() + 1;
    if (number > MaxNumber) {
        number = 1;
        while (taken.count(number) != 0)
            ++number;
    }
    const RecordEntry& entry = entries[std::size_t(place - 1)];
    Row added{std::to_string(number) + ".vxr", entry.Score, entry.Name};
    // The file first: the index never names a file that is not there.
    ReplaceFile(Dir / added.File, WriteReplay(replay));

    std::vector<Row> rows;
    for (std::size_t k = 0, other = 0; k < entries.size(); ++k) {
        if (int(k) == place - 1) {
            rows.push_back(added);
            continue;
        }
        if (const Row* row = kept[other++])
            rows.push_back(*row);
    }
    WriteIndex(rows);
    Tidy(old, rows);
}

std::optional<std::string> ReplayShelf::FileOf(const std::vector<RecordEntry>& entries, int place) const
{
    if (place < 1 || place > int(entries.size()))
        return std::nullopt;
    std::vector<Row> rows = ReadIndex();
    const Row* row = Match(entries, rows)[std::size_t(place - 1)];
    return row ? std::optional<std::string>(row->File) : std::nullopt;
}

std::optional<fs::path> ReplayShelf::PathOf(const std::vector<RecordEntry>& entries, int place) const
{
    const auto file = FileOf(entries, place);
    return file ? std::optional<fs::path>(Dir / *file) : std::nullopt;
}

bool ReplayShelf::Has(const std::vector<RecordEntry>& entries, int place) const
{
    const auto file = FileOf(entries, place);
    std::error_code error;
    return file && fs::is_regular_file(Dir / *file, error);
}

std::optional<std::string> ReplayShelf::Bytes(const std::vector<RecordEntry>& entries, int place) const
{
    const auto file = FileOf(entries, place);
    if (!file)
        return std::nullopt;
    return ReadWholeFile(Dir / *file, MaxReplayBytes);
}

std::optional<Replay> ReplayShelf::Find(const std::vector<RecordEntry>& entries, int place) const
{
    const auto bytes = Bytes(entries, place);
    if (!bytes)
        return std::nullopt;
    return ReadReplay(*bytes);
}

void ReplayShelf::EraseAll()
{
    std::error_code error;
    fs::remove(Dir / IndexName, error);
    if (error)
        throw FileError("Cannot delete file \"" + FullPath(Dir / IndexName) + "\". " + error.message());
    for (const fs::directory_entry& item : fs::directory_iterator(Dir, error))
        if (ReplayFileName(item.path().filename().string()))
            fs::remove(item.path(), error);
    fs::remove(Dir, error);   // only when empty: anything else there is not ours
}
