// Checks replay files ROUNDS times in-process, as the records server and
// the web edition do, and prints the time taken: the native figure that
// web_bench.sh sets beside the wasm one.
// Usage: replay_check_bench ROUNDS FILE...

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <string>
#include <vector>

#include "replay/game_line.h"
#include "storage/atomic_file.h"

int main(int argc, char** argv)
{
    if (argc < 3) {
        std::cerr << "usage: replay_check_bench ROUNDS FILE...\n";
        return 64;
    }
    const int rounds = std::atoi(argv[1]);
    std::vector<std::string> replays;
    for (int k = 2; k < argc; ++k)
        replays.push_back(ReadWholeFile(argv[k], MaxReplayBytes));
    std::size_t lines = 0;
    const auto start = std::chrono::steady_clock::now();
    for (int round = 0; round < rounds; ++round)
        for (const std::string& replay : replays)
            lines += ReplayLine(replay).size();
    const double ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
    std::printf("{\"rounds\":%d,\"files\":%zu,\"ms\":%.1f,\"chars\":%zu}\n", rounds, replays.size(), ms, lines);
    return 0;
}
