#include "records_book.h"

#include <functional>

#include "zlib_stream.h"

namespace fs = std::filesystem;

RecordsBook::RecordsBook(fs::path file) : Path(std::move(file)) {}

void RecordsBook::Fail(const std::string& message, const std::string& key)
{
    Shown.clear();
    const bool repeated = key == LastFailure;
    LastFailure = key;
    throw RecordsError(message, repeated);
}

void RecordsBook::Read_Res()
{
    std::error_code error;
    if (!fs::exists(Path, error)) {
        try {
            Save(Stored);
        } catch (const FileError& e) {
            Fail(e.what(), e.what());
        }
    }
    std::string bytes;
    try {
        // Nothing this large is a records file; do not even read it.
        const auto size = fs::file_size(Path, error);
        if (!error && size > 2 * MaxSnapshotSize)
            Fail(InvalidStreamFormat, std::string(InvalidStreamFormat) + "\n" + std::to_string(size));
        bytes = ReadWholeFile(Path);
    } catch (const FileError& e) {
        Fail(e.what(), e.what());
    }
    const std::string key = std::to_string(std::hash<std::string>{}(bytes));
    std::vector<RecordEntry> loaded;
    try {
        loaded = ReadRecordsSnapshot(DecompressStream(bytes));
    } catch (const InflateError&) {
        // Set the file aside rather than deleting it: the records in it can
        // still be rescued.
        Shown.clear();
        LastFailure.clear();
        KeepBeforeWriting = false;
        std::error_code renameError;
        fs::rename(Path, DamagedFile(), renameError);
        if (renameError)
            throw RecordsDamaged("", renameError.message());
        throw RecordsDamaged(FullPath(DamagedFile()), "");
    } catch (const SnapshotError& e) {
        KeepBeforeWriting = true;
        Fail(e.what(), e.what() + std::string("\n") + key);
    }
    Shown = loaded;
    Stored = std::move(loaded);
    CurrentWidths = ColumnWidthsFor(RecordsListWidth);
    KeepBeforeWriting = false;
    LastFailure.clear();
}

void RecordsBook::Save(const std::vector<RecordEntry>& entries)
{
    const std::string bytes = CompressStream(WriteRecordsSnapshot(entries, CurrentWidths));
    std::error_code error;
    if (KeepBeforeWriting && fs::exists(Path, error)) {
        fs::copy_file(Path, DamagedFile(), fs::copy_options::overwrite_existing, error);
        if (error)
            throw FileError("Cannot keep \"" + FullPath(Path) + "\" as \"" + FullPath(DamagedFile()) +
                            "\": " + error.message());
        KeepBeforeWriting = false;
    }
    ReplaceFile(Path, bytes, WriteHook);
    Stored = entries;
}

void RecordsBook::Write_Res()
{
    try {
        Save(Shown);
    } catch (const FileError& e) {
        throw RecordsError(e.what(), false);
    }
}

void RecordsBook::Res_Item_Insert(const std::string& name, const std::string& scoreText, int place,
                                  std::int32_t score)
{
    InsertEntry(Shown, name, scoreText, place, score);
}

void RecordsBook::NameEntry(int place, const std::string& name)
{
    if (place >= 1 && place <= int(Shown.size()))
        Shown[std::size_t(place - 1)].Name = CutName(name);
}

void RecordsBook::Erase()
{
    std::error_code error;
    fs::remove(Path, error);
    if (error)
        throw RecordsError("Cannot delete file \"" + FullPath(Path) + "\". " + error.message(), false);
    Shown.clear();
    Stored.clear();
    KeepBeforeWriting = false;
    LastFailure.clear();
}
