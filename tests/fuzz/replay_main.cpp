// Runs a fuzz target without libFuzzer, for CI: every file of its corpus,
// then a fixed number of seeded mutations of each, so that a regression on
// anything fuzzing once reached fails the tests. The same arguments give the
// same inputs on every machine. An input that brings the run down is saved
// in the current folder as replay-crash-<corpus file>[-<mutation>].
//
// usage: <target>_replay CORPUS_DIR MUTATIONS_PER_FILE [DICTIONARY]

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <memory>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "fuzz_check.h"

namespace fs = std::filesystem;

extern "C" void __sanitizer_set_death_callback(void (*callback)()) __attribute__((weak));

namespace {

// Set before each run; read by the handlers.
const std::string* Current = nullptr;
std::string CrashFile;

void SaveCurrent()
{
    if (!Current)
        return;
    const int fd = ::open(CrashFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (fd >= 0) {
        [[maybe_unused]] const auto written = ::write(fd, Current->data(), Current->size());
        ::close(fd);
    }
    static const char note[] = "replay: the failing input is saved as ";
    [[maybe_unused]] auto a = ::write(2, note, sizeof note - 1);
    [[maybe_unused]] auto b = ::write(2, CrashFile.c_str(), CrashFile.size());
    [[maybe_unused]] auto c = ::write(2, "\n", 1);
}

void OnAbort(int signal)
{
    SaveCurrent();
    std::signal(signal, SIG_DFL);
    std::raise(signal);
}

std::string ReadFile(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

// libFuzzer's dictionary format: one "token" per line, \\ \" and \xNN escapes.
std::vector<std::string> ReadDictionary(const fs::path& path)
{
    std::vector<std::string> tokens;
    std::istringstream lines(ReadFile(path));
    for (std::string line; std::getline(lines, line);) {
        const std::size_t open = line.find('"'), close = line.rfind('"');
        if (line.empty() || line[0] == '#' || open == std::string::npos || close <= open)
            continue;
        std::string token;
        for (std::size_t i = open + 1; i < close; ++i) {
            if (line[i] == '\\' && i + 1 < close && line[i + 1] == 'x' && i + 3 < close) {
                token += char(std::stoi(line.substr(i + 2, 2), nullptr, 16));
                i += 3;
            } else {
                token += line[i] == '\\' && i + 1 < close ? line[++i] : line[i];
            }
        }
        tokens.push_back(token);
    }
    return tokens;
}

class Mutator {
public:
    Mutator(const std::vector<std::string>& corpus, std::vector<std::string> tokens)
        : Corpus(corpus), Tokens(std::move(tokens))
    {
        // Boundaries of the text formats, besides the dictionary's.
        for (const char* text : {"-1", "0", "2147483647", "2147483648", "4294967296", "0x", "$", "\r\n", "\n", "%",
                                 "[", "]", "=", "\"", "\\u0000"})
            Tokens.emplace_back(text);
    }

    std::string operator()(std::string data, std::uint32_t seed)
    {
        Random.seed(seed);
        for (std::size_t steps = 1 + Pick(4); steps > 0; --steps)
            Step(data);
        if (data.size() > MaxSize)
            data.resize(MaxSize);
        return data;
    }

private:
    static constexpr std::size_t MaxSize = 1 << 16;

    std::size_t Pick(std::size_t count) { return count == 0 ? 0 : std::size_t(Random() % count); }

    void Step(std::string& data)
    {
        const std::size_t at = Pick(data.size() + 1);
        const std::size_t length = 1 + Pick(std::min<std::size_t>(data.size() - at, 32) + 1);
        switch (Pick(7)) {
        case 0:   // flip a bit
            if (at < data.size())
                data[at] = char(data[at] ^ (1 << Pick(8)));
            break;
        case 1:   // insert, or set, a random byte
            if (Pick(2) == 0 || at == data.size())
                data.insert(at, 1, char(Random()));
            else
                data[at] = char(Random());
            break;
        case 2:   // delete a run
            data.erase(at, length);
            break;
        case 3:   // duplicate a run
            data.insert(Pick(data.size() + 1), data.substr(at, length));
            break;
        case 4: {   // splice: this input's head on another's tail
            const std::string& other = Corpus[Pick(Corpus.size())];
            data = data.substr(0, at) + other.substr(Pick(other.size() + 1));
            break;
        }
        case 5: {   // a boundary integer in place, 1, 2 or 4 bytes little-endian
            static const std::uint32_t values[] = {0, 1, 0x7F, 0x80, 0xFF, 0x100, 30, 31, 0x7FFF, 0x8000, 0xFFFF,
                                                   0x7FFFFFFF, 0x80000000, 0xFFFFFFFF, 0x00100000, 0x00100001};
            const std::uint32_t value = values[Pick(std::size(values))];
            const std::size_t width = std::size_t(1) << Pick(3);
            for (std::size_t i = 0; i < width && at + i < data.size(); ++i)
                data[at + i] = char(value >> (8 * i));
            break;
        }
        default: {   // a token, inserted or written over
            const std::string& token = Tokens[Pick(Tokens.size())];
            if (Pick(2) == 0)
                data.insert(at, token);
            else
                data.replace(at, std::min(token.size(), data.size() - at), token);
        }
        }
    }

    const std::vector<std::string>& Corpus;
    std::vector<std::string> Tokens;
    std::mt19937 Random;
};

std::uint32_t NameHash(const std::string& name)
{
    std::uint32_t hash = 2166136261u;   // FNV-1a: the same on every platform
    for (unsigned char c : name)
        hash = (hash ^ c) * 16777619u;
    return hash;
}

void Run(const std::string& input, const std::string& crashFile)
{
    CrashFile = crashFile;
    Current = &input;
    // A buffer of exactly the input's size, so that a read past its end is caught.
    const auto bytes = std::make_unique<std::uint8_t[]>(input.size());
    std::memcpy(bytes.get(), input.data(), input.size());
    LLVMFuzzerTestOneInput(bytes.get(), input.size());
    Current = nullptr;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc < 3) {
        std::cerr << "usage: " << argv[0] << " CORPUS_DIR MUTATIONS_PER_FILE [DICTIONARY]\n";
        return 2;
    }
    std::vector<fs::path> files;
    for (const auto& entry : fs::directory_iterator(argv[1]))
        if (entry.is_regular_file())
            files.push_back(entry.path());
    std::sort(files.begin(), files.end());
    if (files.empty()) {
        std::cerr << "replay: no corpus in " << argv[1] << "\n";
        return 2;
    }
    std::vector<std::string> corpus;
    for (const fs::path& file : files)
        corpus.push_back(ReadFile(file));
    const long mutations = std::stol(argv[2]);
    Mutator mutate(corpus, argc > 3 ? ReadDictionary(argv[3]) : std::vector<std::string>());

    // Absolute: a target may change the current folder.
    const fs::path here = fs::current_path();
    if (__sanitizer_set_death_callback)
        __sanitizer_set_death_callback(SaveCurrent);
    std::signal(SIGABRT, OnAbort);

    long runs = 0;
    for (std::size_t i = 0; i < files.size(); ++i) {
        const std::string name = files[i].filename().string();
        const std::string crashFile = (here / ("replay-crash-" + name)).string();
        Run(corpus[i], crashFile);
        const std::uint32_t seed = NameHash(name);
        for (long k = 0; k < mutations; ++k)
            Run(mutate(corpus[i], seed + std::uint32_t(k)), crashFile + "-" + std::to_string(k));
        runs += 1 + mutations;
    }
    std::cout << "replay: " << runs << " inputs from " << files.size() << " corpus files, no fault\n";
    return 0;
}
