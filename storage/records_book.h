#pragma once
// The records table with its file: what the window's list shows, loaded
// from and saved to "vantorix2.rez". What a game does to it is the
// session's (session/records_session.h); the window mirrors Entries().

#include <cstdint>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <vector>

#include "atomic_file.h"
#include "records_snapshot.h"
#include "records_table.h"

inline constexpr const char* RecordsFileName = "vantorix2.rez";
inline constexpr const char* DamagedRecordsText = "Not good or old version of vantorix2.rez!!!\r\n\r\nRestart Game!";

// A load or a save that failed; what() is the message to show. Repeated:
// this load failed exactly as the one before it, on the same bytes.
class RecordsError : public std::runtime_error {
public:
    RecordsError(const std::string& message, bool repeated) : std::runtime_error(message), Repeated(repeated) {}
    bool Repeated;
};

// The file did not inflate. It was set aside as KeptAs (empty when even
// that failed, Reason then says why).
class RecordsDamaged : public RecordsError {
public:
    RecordsDamaged(std::string keptAs, std::string reason)
        : RecordsError(DamagedRecordsText, false), KeptAs(std::move(keptAs)), Reason(std::move(reason))
    {
    }
    std::string KeptAs;
    std::string Reason;
};

class RecordsBook {
public:
    explicit RecordsBook(std::filesystem::path file = RecordsFileName);

    const std::filesystem::path& File() const { return Path; }
    std::filesystem::path DamagedFile() const { return Path.string() + ".damaged"; }
    // The shown table: the stored entries and, during a game, the live row.
    const std::vector<RecordEntry>& Entries() const { return Shown; }
    ColumnWidths Widths() const { return CurrentWidths; }

    // Loads the table from the file, creating the file first from the stored
    // entries when it is missing. Any failure leaves the table empty and
    // throws RecordsDamaged (the file was set aside) or RecordsError.
    void Read_Res();
    // Saves the shown table. On failure the file and the table stay as they
    // were and RecordsError says why. A file that last failed to read is
    // first kept as the damaged file, so that no record is lost unseen.
    void Write_Res();
    void Res_Item_Insert(const std::string& name, const std::string& scoreText, int place, std::int32_t score);
    // Names row place (the name cut to 14 characters); nothing else.
    void NameEntry(int place, const std::string& name);
    // Deletes the file and empties the table; RecordsError when the file
    // stays.
    void Erase();

    // Runs before each step of every file write (tests).
    WriteStepHook WriteHook;

private:
    void Save(const std::vector<RecordEntry>& entries);
    [[noreturn]] void Fail(const std::string& message, const std::string& key);

    std::filesystem::path Path;
    std::vector<RecordEntry> Shown;
    // What the file held when last read or written: a missing file is made
    // again from these, never from a live row.
    std::vector<RecordEntry> Stored;
    ColumnWidths CurrentWidths = DesignColumnWidths;
    bool KeepBeforeWriting = false;
    std::string LastFailure;
};
