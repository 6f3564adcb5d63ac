#include "records_command.h"

#include <limits>

#include "storage/cp1251.h"
#include "tools/sim/input.h"
#include "window/score_text.h"

using nlohmann::json;
using nlohmann::ordered_json;

namespace {

ordered_json Failure(const RecordsError& error)
{
    const std::string message = error.what();
    ordered_json out;
    out["error"] = message.substr(0, message.find_first_of("\r\n"));
    return out;
}

}  // namespace

json RecordsCommand::Entries() const
{
    json rows = json::array();
    for (const RecordEntry& entry : Book.Entries())
        rows.push_back({entry.Place, entry.Name, entry.Score});
    return rows;
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
        return Failure(error);
    }
    throw InputError("unknown op \"" + op + "\"");
}

ordered_json RecordsCommand::Start(const json& input)
{
    PlayerName = StringField(input, "player");
    Score = 0;
    Book.Read_Res();
    RecordPlace = int(Book.Entries().size()) + 1;
    Book.Res_Item_Insert(PlayerName, "0", RecordPlace, Score);
    ordered_json out;
    out["place"] = RecordPlace;
    out["entries"] = Entries();
    return out;
}

ordered_json RecordsCommand::ScoreChanged(const json& input)
{
    Score = std::int32_t(IntegerField(input, "score", 0, std::numeric_limits<std::int32_t>::max()));
    const PlaceFound found = Book.CheckPlace(PlayerName, Score, RecordPlace);
    RecordPlace = found.place;
    ordered_json out;
    out["place"] = RecordPlace;
    out["sound"] = found.recordSound;
    out["entries"] = Entries();
    return out;
}

ordered_json RecordsCommand::NameEntered(const json& input)
{
    // What the entry holds: the characters it takes, then its first-letter rule.
    std::string name = KeepCp1251Characters(StringField(input, "text"));
    if (RecordPlace < OutsideTable) {
        if (!FirstCharacterAccepted(name))
            name = PlayerName;
        Book.NameEntry(RecordPlace, name);
        Book.Write_Res();
    }
    ordered_json out;
    out["entries"] = Entries();
    return out;
}

ordered_json RecordsCommand::Erase()
{
    Book.Erase();
    RecordPlace = 1;
    Book.Read_Res();
    ordered_json out;
    out["entries"] = Entries();
    return out;
}
