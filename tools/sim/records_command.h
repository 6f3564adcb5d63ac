#pragma once
// `vantorix2-sim records`: the records table and "vantorix2.rez" in the
// current folder, driven one JSON line at a time through the sequence the
// window runs.

#include <cstdint>
#include <string>

#include <nlohmann/json.hpp>

#include "session/records_session.h"

class RecordsCommand {
public:
    // Answers one input line; throws InputError for a malformed one.
    nlohmann::ordered_json operator()(const nlohmann::json& input);

private:
    nlohmann::ordered_json Start(const nlohmann::json& input);
    nlohmann::ordered_json ScoreChanged(const nlohmann::json& input);
    nlohmann::ordered_json NameEntered(const nlohmann::json& input);
    nlohmann::ordered_json Erase();
    nlohmann::json Entries() const;
    // The step's answer, or the failed load's message.
    nlohmann::ordered_json Answer(const RecordsStep& step, bool withPlace, bool withSound);

    RecordsSession Session;
    // No game has been played yet: there is nothing to name.
    int RecordPlace = OutsideTable;
    std::string PlayerName;
};
