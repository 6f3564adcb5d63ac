// The records table's cost per score change: the session's step on a full
// table reads the file, inflates it, parses the snapshot and places the
// score, on the window's thread, as the window runs it. Run by hand on a
// Release build (`make bench`).

#include <benchmark/benchmark.h>

#include <stdlib.h>

#include <filesystem>

#include "session/records_session.h"
#include "storage/zlib_stream.h"

namespace {

// A folder holding a full records file with Cyrillic names.
struct FullTableFolder {
    FullTableFolder()
    {
        std::string pattern = (std::filesystem::temp_directory_path() / "vantorix2-bench-XXXXXX").string();
        Path = ::mkdtemp(pattern.data());
        RecordsBook book(Path / RecordsFileName);
        book.Read_Res();
        for (int k = 1; k <= MaxRecords; ++k)
            book.Res_Item_Insert("Игрок номер " + std::to_string(k), std::to_string(k * 1000), k, 0);
        book.Write_Res();
    }
    ~FullTableFolder() { std::filesystem::remove_all(Path); }
    std::filesystem::path Path;
};

void BM_ScoreChangedOnAFullTable(benchmark::State& state)
{
    FullTableFolder folder;
    RecordsSession session(folder.Path / RecordsFileName);
    std::int32_t score = 0;
    for (auto _ : state) {
        score = (score + 7919) % 40000;
        benchmark::DoNotOptimize(session.ScoreChanged("AUTOPILOT", score, 31));
    }
}
BENCHMARK(BM_ScoreChangedOnAFullTable)->Unit(benchmark::kMicrosecond);

void BM_WriteResOfAFullTable(benchmark::State& state)
{
    FullTableFolder folder;
    RecordsBook book(folder.Path / RecordsFileName);
    book.Read_Res();
    for (auto _ : state)
        book.Write_Res();
}
BENCHMARK(BM_WriteResOfAFullTable)->Unit(benchmark::kMicrosecond);

void BM_ParseAFullSnapshot(benchmark::State& state)
{
    FullTableFolder folder;
    RecordsBook book(folder.Path / RecordsFileName);
    book.Read_Res();
    const std::string snapshot = WriteRecordsSnapshot(book.Entries(), book.Widths());
    for (auto _ : state)
        benchmark::DoNotOptimize(ReadRecordsSnapshot(snapshot));
}
BENCHMARK(BM_ParseAFullSnapshot)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
