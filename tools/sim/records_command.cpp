#include "records_command.h"

#include <limits>

#include "tools/sim/input.h"

using nlohmann::json;
using nlohmann::ordered_json;

json RecordsCommand::Entries() const
{
    json rows = json::array();
    for (const RecordEntry& entry : Session.Entries())
        rows.push_back({entry.Place, entry.Name, entry.Score});
    return rows;
}

namespace {

// The first line of a failure's message.
ordered_json Failure(const std::string& message)
{
    ordered_json out;
    out["error"] = message.substr(0, message.find_first_of("\r\n"));
    return out;
}

}  // namespace

ordered_json RecordsCommand::Answer(const RecordsStep& step, bool withPlace, bool withSound)
{
    RecordPlace = step.Place;
    if (step.Failure)
        return Failure(step.Failure->Message);
    ordered_json out;
    if (withPlace)
        out["place"] = RecordPlace;
    if (withSound)
        out["sound"] = step.RecordSound;
    out["entries"] = Entries();
    return out;
}

ordered_json RecordsCommand::operator()(const json& input)
{
    const std::string& op = StringField(input, "op");
    // The fields are checked before anything changes.
    try {
        if (op == "start")
            return Start(input);
        if (op == "score")
            return ScoreChanged(input);
        if (op == "name")
            return NameEntered(input);
        if (op == "erase")
            return Erase();
    } catch (const RecordsError& error) {
        return Failure(error.what());   // a save or an erase that failed
    }
    throw InputError("unknown op \"" + op + "\"");
}

ordered_json RecordsCommand::Start(const json& input)
{
    PlayerName = StringField(input, "player");
    return Answer(Session.GameStarted(PlayerName), true, false);
}

ordered_json RecordsCommand::ScoreChanged(const json& input)
{
    const auto score = std::int32_t(IntegerField(input, "score", 0, std::numeric_limits<std::int32_t>::max()));
    return Answer(Session.ScoreChanged(PlayerName, score, RecordPlace), true, true);
}

ordered_json RecordsCommand::NameEntered(const json& input)
{
    const std::string text = StringField(input, "text");
    if (RecordPlace < OutsideTable)
        Session.NameEntered(RecordPlace, RecordsSession::EntryText(text, PlayerName));
    ordered_json out;
    out["entries"] = Entries();
    return out;
}

ordered_json RecordsCommand::Erase()
{
    return Answer(Session.Erase(), false, false);
}
