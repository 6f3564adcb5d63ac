// Writers of the records file and of the options file, killed with SIGKILL at
// random moments: whatever is on disk afterwards must read back whole.

#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <random>
#include <thread>

#include "storage/options_file.h"
#include "storage/records_book.h"
#include "storage/temp_folder.h"

extern char** environ;

namespace {

// Starts program in folder with its stdin from input (or /dev/null) and its
// stdout to a file there.
pid_t Start(const std::filesystem::path& folder, const std::string& program, const std::vector<std::string>& args,
            const std::filesystem::path& input)
{
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addchdir_np(&actions, folder.c_str());
    posix_spawn_file_actions_addopen(&actions, 0, input.empty() ? "/dev/null" : input.c_str(), O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, "out.txt", O_WRONLY | O_CREAT | O_TRUNC, 0644);
    std::vector<std::string> all = {program};
    all.insert(all.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& arg : all)
        argv.push_back(arg.data());
    argv.push_back(nullptr);
    pid_t pid = -1;
    posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    return pid;
}

void KillAfter(pid_t pid, std::chrono::microseconds delay)
{
    std::this_thread::sleep_for(delay);
    ::kill(pid, SIGKILL);
    int status = 0;
    ::waitpid(pid, &status, 0);
}

// Waits until the file exists and is not empty, at most five seconds: the
// writer's first answer tells that it is at work.
bool Appears(const std::filesystem::path& file)
{
    for (int i = 0; i < 500; ++i) {
        std::error_code error;
        if (std::filesystem::file_size(file, error) > 0 && !error)
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return false;
}

constexpr int Kills = 120;

}  // namespace

TEST(KilledWriters, TheRecordsFileAlwaysReadsBackWhole)
{
    TempFolder folder;
    // Games without end: each one ends with a name entry, which saves.
    {
        std::ofstream input(folder / "games.jsonl");
        for (int game = 0; game < 4000; ++game)
            input << R"({"op": "start", "player": "Игрок"})" << '\n'
                  << R"({"op": "score", "score": )" << (game * 7919) % 100000 << "}\n"
                  << R"({"op": "name", "text": "Игрок )" << game << "\"}\n";
    }
    std::mt19937 random(20261208);
    int damaged = 0, entriesSeen = 0;
    for (int kill = 0; kill < Kills; ++kill) {
        const pid_t writer = Start(folder.Path, VANTORIX2_SIM_BINARY, {"records"}, folder / "games.jsonl");
        ASSERT_GT(writer, 0);
        ASSERT_TRUE(Appears(folder / "out.txt"));
        KillAfter(writer, std::chrono::microseconds(random() % 150000));
        RecordsBook book(folder / "vantorix2.rez");
        try {
            book.Read_Res();
            entriesSeen += int(book.Entries().size());
        } catch (const RecordsError& e) {
            ++damaged;
            ADD_FAILURE() << "kill " << kill << ": " << e.what();
        }
    }
    std::cout << "records file: " << Kills << " kills, " << damaged << " damaged" << std::endl;
    EXPECT_EQ(damaged, 0);
    EXPECT_GT(entriesSeen, 0) << "the writers got to write";
}

TEST(KilledWriters, TheOptionsFileAlwaysReadsBackWholeWithItsForeignLines)
{
    TempFolder folder;
    WriteBytes(folder / "vantorix2.ini", "; my notes\n[Online]\nServer=records.test:9\n");
    std::mt19937 random(81206202);
    int damaged = 0, distinct = 0;
    std::int32_t last = -1;
    for (int kill = 0; kill < Kills; ++kill) {
        const pid_t writer = Start(folder.Path, VANTORIX2_OPTIONS_WRITER, {}, {});
        ASSERT_GT(writer, 0);
        ASSERT_TRUE(Appears(folder / "out.txt"));
        KillAfter(writer, std::chrono::microseconds(random() % 50000));
        const IniProfile file(ReadBytes(folder / "vantorix2.ini"));
        const std::int32_t n = file.ReadInteger(ColourSection, ColourKey(1), -1);
        const bool whole = n > 0 && file.ReadInteger(ColourSection, ModeKey, -1) == n % 256 &&
                           file.ReadBool(OptionsSection, EnglishKey, n % 2 != 0) == (n % 2 == 0) &&
                           file.ReadString(OptionsSection, RussianKey).has_value() &&
                           file.ReadString(OnlineSection, ServerKey) == "records.test:9" &&
                           file.Text().rfind("; my notes\n", 0) == 0;
        if (!whole) {
            ++damaged;
            ADD_FAILURE() << "kill " << kill << ":\n" << file.Text();
        }
        distinct += n != last;
        last = n;
    }
    std::cout << "options file: " << Kills << " kills, " << damaged << " damaged" << std::endl;
    EXPECT_EQ(damaged, 0);
    EXPECT_GT(distinct, Kills / 2) << "the kills fell between different writes";
}
