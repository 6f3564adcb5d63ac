// vantorix2-sim's line reader: the first byte picks the command ('c'
// cascade, 'a' autopilot, 'r' records; any other byte by its value), the
// rest are its input lines. Every answer must be one JSON object per input
// line, and the answers must agree with their questions.

#include <algorithm>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "fuzz_check.h"
#include "tools/sim/sim.h"

namespace fs = std::filesystem;
using nlohmann::json;

namespace {

// `records` keeps its file in the current folder: a private one, emptied
// before each input so that every run starts from no records file.
class PrivateFolder {
public:
    PrivateFolder()
    {
        const fs::path base = fs::is_directory("/dev/shm") ? fs::path("/dev/shm") : fs::temp_directory_path();
        std::string pattern = (base / "vantorix2-sim-fuzz-XXXXXX").string();
        FUZZ_CHECK(::mkdtemp(pattern.data()) != nullptr);
        Path = pattern;
        fs::current_path(Path);
    }
    ~PrivateFolder()
    {
        std::error_code error;
        fs::remove_all(Path, error);
    }
    void Empty() const
    {
        for (const auto& entry : fs::directory_iterator(Path))
            fs::remove_all(entry.path());
    }

private:
    fs::path Path;
};

std::vector<std::string> Lines(const std::string& text, bool skipBlank)
{
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        if (!skipBlank || line.find_first_not_of(" \t\r") != std::string::npos)
            lines.push_back(line);
    return lines;
}

std::string Cells(const json& rows)
{
    std::string cells;
    for (const json& row : rows)
        for (char c : row.get<std::string>())
            if (c != '.')
                cells += c;
    std::sort(cells.begin(), cells.end());
    return cells;
}

void CheckAnswer(const std::string& command, const json& question, const json& answer)
{
    if (command == "cascade") {
        // Removed cells leave the well; the others only sink.
        const auto removed = answer.at("removed").get<std::size_t>();
        FUZZ_CHECK(Cells(question.at("stack")).size() == Cells(answer.at("stack")).size() + removed);
        const std::int64_t score = question.at("score").get<std::int64_t>() + answer.at("points").get<std::int64_t>();
        FUZZ_CHECK(answer.at("points").get<std::int64_t>() >= 0);
        FUZZ_CHECK(answer.at("score").get<std::int64_t>() == std::min<std::int64_t>(score, INT32_MAX));
    } else if (command == "autopilot") {
        // Moves and turns keep the figure's cells.
        FUZZ_CHECK(Cells(question.at("figure")) == Cells(answer.at("figure")));
    } else if (answer.contains("entries")) {
        FUZZ_CHECK(answer.at("entries").size() <= 31);
    } else {
        FUZZ_CHECK(answer.at("error").is_string());
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static const PrivateFolder folder;
    if (size == 0)
        return 0;
    static const char* const Commands[] = {"cascade", "autopilot", "records"};
    const char pick = char(data[0]);
    const std::string command = pick == 'c' ? "cascade" : pick == 'a' ? "autopilot" : pick == 'r' ? "records" : Commands[data[0] % 3];
    const std::string input(FuzzBytes(data + 1, size - 1));
    if (command == "records")
        folder.Empty();

    std::istringstream in(input);
    std::ostringstream out, err;
    const int status = RunSim({command}, in, out, err);
    FUZZ_CHECK(status == 0 || status == 2);
    FUZZ_CHECK((status == 2) == (err.str().rfind("vantorix2-sim: line ", 0) == 0));

    const std::vector<std::string> questions = Lines(input, true);
    const std::vector<std::string> answers = Lines(out.str(), false);
    FUZZ_CHECK(status == 0 ? answers.size() == questions.size() : answers.size() < questions.size());
    for (std::size_t i = 0; i < answers.size(); ++i) {
        const json answer = json::parse(answers[i], nullptr, false);
        FUZZ_CHECK(answer.is_object());
        CheckAnswer(command, json::parse(questions[i]), answer);
    }
    return 0;
}
