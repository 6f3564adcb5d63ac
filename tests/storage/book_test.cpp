#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include "storage/records_book.h"
#include "storage/zlib_stream.h"
#include "temp_folder.h"

namespace {

std::vector<RecordEntry> Stored(const std::filesystem::path& file)
{
    return ReadRecordsSnapshot(DecompressStream(ReadBytes(file)));
}

std::string Expect(const std::function<void()>& action)
{
    try {
        action();
    } catch (const RecordsError& e) {
        return e.what();
    }
    return "no error";
}

const std::string Bytes30 = [] {
    std::vector<RecordEntry> entries;
    for (int k = 1; k <= 30; ++k)
        entries.push_back({std::to_string(k), "Игрок " + std::to_string(k), std::to_string(100 * (31 - k))});
    return CompressStream(WriteRecordsSnapshot(entries, ColumnWidthsFor(201)));
}();

}  // namespace

TEST(RecordsBook, FirstStartCreatesAFileWithAnEmptyTable)
{
    TempFolder folder;
    RecordsBook book(folder / "vantorix2.rez");
    book.Read_Res();
    EXPECT_TRUE(book.Entries().empty());
    const std::string content = DecompressStream(ReadBytes(book.File()));
    EXPECT_EQ(content, WriteRecordsSnapshot({}, DesignColumnWidths)) << "written before the first load";
    EXPECT_EQ(content.find("Items.Data"), std::string::npos);
    EXPECT_EQ(book.Widths(), (ColumnWidths{20, 111, 70}));
}

TEST(RecordsBook, TheLiveRowNeverReachesTheFile)
{
    TempFolder folder;
    RecordsBook book(folder / "vantorix2.rez");
    WriteBytes(book.File(), Bytes30);
    book.Read_Res();
    book.Res_Item_Insert("carl", "99.999", 1, 99999);
    EXPECT_EQ(book.Entries().front().Name, "carl");
    // A file deleted during a game is made again from what was stored.
    std::filesystem::remove(book.File());
    book.Read_Res();
    EXPECT_EQ(ReadBytes(book.File()), Bytes30);
}

TEST(RecordsBook, ADamagedFileIsSetAsideAndTheTableIsEmpty)
{
    TempFolder folder;
    RecordsBook book(folder / "vantorix2.rez");
    WriteBytes(folder / "vantorix2.rez.damaged", "an older one");
    const std::string damaged = Bytes30.substr(0, Bytes30.size() - 10);
    WriteBytes(book.File(), damaged);
    try {
        book.Read_Res();
        FAIL() << "loaded a damaged file";
    } catch (const RecordsDamaged& e) {
        EXPECT_STREQ(e.what(), "Not good or old version of vantorix2.rez!!!\r\n\r\nRestart Game!");
        EXPECT_EQ(e.KeptAs, FullPath(folder / "vantorix2.rez.damaged"));
    }
    EXPECT_TRUE(book.Entries().empty());
    EXPECT_FALSE(std::filesystem::exists(book.File()));
    EXPECT_EQ(ReadBytes(folder / "vantorix2.rez.damaged"), damaged);
}

TEST(RecordsBook, ASnapshotErrorKeepsTheFileAndIsReportedOnceAsNew)
{
    TempFolder folder;
    RecordsBook book(folder / "vantorix2.rez");
    WriteBytes(book.File(), Bytes30);

    const struct {
        const char* name;
        std::string bytes;
        std::string message;
    } cases[] = {
        {"zero bytes", "", StreamReadError},
        {"wrong signature", CompressStream("TPF9...."), InvalidStreamFormat},
        {"unknown property", CompressStream(std::string("TPF0\x09TListView\x03LV1\x03" "Foo\x09\x00\x00", 24)),
         "Error reading LV1.Foo: Property Foo does not exist"},
    };
    for (const auto& c : cases) {
        WriteBytes(book.File(), c.bytes);
        try {
            book.Read_Res();
            ADD_FAILURE() << c.name << ": loaded";
        } catch (const RecordsDamaged&) {
            ADD_FAILURE() << c.name << ": taken for a damaged file";
        } catch (const RecordsError& e) {
            EXPECT_EQ(e.what(), c.message) << c.name;
            EXPECT_FALSE(e.Repeated) << c.name;
        }
        EXPECT_TRUE(book.Entries().empty()) << c.name;
        EXPECT_EQ(ReadBytes(book.File()), c.bytes) << c.name << ": the file stays";
        try {
            book.Read_Res();
        } catch (const RecordsError& e) {
            EXPECT_TRUE(e.Repeated) << c.name << ": the same failure again";
        }
    }
    // Saving over a file that did not read keeps it as the damaged file.
    book.Res_Item_Insert("bob", "0", 1, 0);
    book.NameEntry(1, "Bob");
    book.Write_Res();
    EXPECT_EQ(ReadBytes(folder / "vantorix2.rez.damaged").size(), cases[2].bytes.size());
    EXPECT_EQ(Stored(book.File()), (std::vector<RecordEntry>{{"1", "Bob", "0"}}));
}

TEST(RecordsBook, AFileTooLargeOrNoFileAtAllIsNotRead)
{
    TempFolder folder;
    RecordsBook book(folder / "vantorix2.rez");
    WriteBytes(book.File(), Bytes30);
    std::filesystem::resize_file(book.File(), 3 * MaxSnapshotSize);
    EXPECT_EQ(Expect([&] { book.Read_Res(); }), InvalidStreamFormat);
    std::filesystem::remove(book.File());
    std::filesystem::create_directory(book.File());
    EXPECT_EQ(Expect([&] { book.Read_Res(); }),
              "Cannot open file \"" + FullPath(book.File()) + "\". Not a regular file");
    EXPECT_TRUE(std::filesystem::is_directory(book.File())) << "left alone";
}

TEST(RecordsBook, AFailedWriteLeavesTheFileAndTheTable)
{
    TempFolder folder;
    // A folder that does not exist: the file cannot be created.
    RecordsBook lost(folder / "missing" / "vantorix2.rez");
    const std::string message = Expect([&] { lost.Read_Res(); });
    EXPECT_EQ(message.rfind("Cannot create file \"" + (folder / "missing" / "vantorix2.rez").string() + "\". ", 0),
              0u)
        << message;

    RecordsBook book(folder / "vantorix2.rez");
    WriteBytes(book.File(), Bytes30);
    book.Read_Res();
    book.Res_Item_Insert("ann", "5.000", 1, 5000);
    const auto shown = book.Entries();
    book.WriteHook = [](WriteStep step) {
        if (step == WriteStep::Flush)
            throw FileError("disk full");
    };
    EXPECT_THROW(book.Write_Res(), RecordsError);
    EXPECT_EQ(book.Entries(), shown);
    EXPECT_EQ(ReadBytes(book.File()), Bytes30);
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder.Path), {}), 1) << "no temporary file left";
}

// A full table read from its file, with Ann's new game entered at the top
// and not yet written.
struct AnnOnTop {
    TempFolder folder;
    RecordsBook book{folder / "vantorix2.rez"};
    AnnOnTop()
    {
        WriteBytes(book.File(), Bytes30);
        book.Read_Res();
        book.Res_Item_Insert("ann", "5.000", 1, 5000);
        book.NameEntry(1, "Ann");
    }
};

TEST(RecordsBook, AWriteStoppedAtAnyStepLeavesAReadableFile)
{
    const WriteStep steps[] = {WriteStep::Create, WriteStep::Write, WriteStep::Flush, WriteStep::Close,
                               WriteStep::Rename};
    for (bool killed : {false, true}) {
        for (WriteStep stop : steps) {
            AnnOnTop table;
            RecordsBook& book = table.book;
            book.WriteHook = [&](WriteStep step) {
                if (step != stop)
                    return;
                if (killed)
                    ::_exit(0);   // the process dies here, nothing cleans up
                throw FileError("stopped");
            };
            if (killed) {
                const pid_t child = ::fork();
                ASSERT_GE(child, 0);
                if (child == 0) {
                    try {
                        book.Write_Res();
                    } catch (...) {
                    }
                    ::_exit(1);
                }
                int status = 0;
                ::waitpid(child, &status, 0);
                ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "the write did not reach the step";
            } else {
                EXPECT_THROW(book.Write_Res(), RecordsError);
            }
            RecordsBook reader(book.File());
            EXPECT_NO_THROW(reader.Read_Res()) << int(stop) << (killed ? " killed" : " failed");
            EXPECT_EQ(ReadBytes(book.File()), Bytes30) << int(stop) << (killed ? " killed" : " failed");
        }
    }
    // And the write that is not stopped replaces the file.
    AnnOnTop table;
    RecordsBook& book = table.book;
    book.Write_Res();
    EXPECT_EQ(Stored(book.File()).front(), (RecordEntry{"1", "Ann", "5.000"}));
    EXPECT_EQ(Stored(book.File()).size(), 30u);
}

TEST(RecordsBook, ErasingLeavesAnEmptyFile)
{
    TempFolder folder;
    RecordsBook book(folder / "vantorix2.rez");
    WriteBytes(book.File(), Bytes30);
    book.Read_Res();
    book.Erase();
    EXPECT_FALSE(std::filesystem::exists(book.File()));
    book.Read_Res();
    EXPECT_TRUE(book.Entries().empty());
    EXPECT_TRUE(Stored(book.File()).empty());
}
