// The records file as the game reads it: inflate, then the snapshot. The
// same bytes also go straight to the snapshot and the entries block
// readers, so a corpus of raw snapshots and blocks reaches them without
// first getting through zlib.

#include <optional>
#include <string>
#include <vector>

#include "fuzz_check.h"
#include "storage/cp1251.h"
#include "storage/records_snapshot.h"
#include "storage/zlib_stream.h"

namespace {

using Entries = std::vector<RecordEntry>;

// Only these two say "not a records file"; anything else escaping is a fault.
template <typename Read>
std::optional<Entries> Attempt(Read read)
{
    try {
        return read();
    } catch (const InflateError&) {
    } catch (const SnapshotError&) {
    }
    return std::nullopt;
}

bool IsUtf8(const std::string& text)
{
    return EncodeUtf8(DecodeUtf8(text)) == text;
}

// What was read is what the game shows and saves again: it must be UTF-8,
// and saving it must give back the same table.
void CheckEntries(const std::optional<Entries>& entries)
{
    if (!entries)
        return;
    FUZZ_CHECK(entries->size() <= std::size_t(MaxRecords));
    for (const RecordEntry& entry : *entries)
        FUZZ_CHECK(IsUtf8(entry.Place) && IsUtf8(entry.Name) && IsUtf8(entry.Score));
    const std::string saved = CompressStream(WriteRecordsSnapshot(*entries, ColumnWidthsFor(RecordsListWidth)));
    FUZZ_CHECK(ReadRecordsSnapshot(DecompressStream(saved)) == *entries);
    if (!entries->empty())
        FUZZ_CHECK(ReadRecordsBlock(WriteRecordsBlock(*entries)) == *entries);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view bytes = FuzzBytes(data, size);
    CheckEntries(Attempt([&] {
        const std::string content = DecompressStream(bytes);
        FUZZ_CHECK(content.size() <= MaxSnapshotSize);
        return ReadRecordsSnapshot(content);
    }));
    CheckEntries(Attempt([&] { return ReadRecordsSnapshot(bytes); }));
    const auto block = Attempt([&] { return ReadRecordsBlock(bytes); });
    FUZZ_CHECK(!block || !block->empty());
    CheckEntries(block);
    return 0;
}
