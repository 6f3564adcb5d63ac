#include "records_session.h"

#include "common/score_text.h"
#include "storage/cp1251.h"

RecordsSession::RecordsSession(std::filesystem::path file) : Records(file), Shelf(file) {}

std::optional<RecordsLoadFailure> RecordsSession::Reload()
{
    try {
        Records.Read_Res();
    } catch (const RecordsDamaged& damaged) {
        return RecordsLoadFailure{damaged.what(), false, true, damaged.KeptAs, damaged.Reason};
    } catch (const RecordsError& error) {
        return RecordsLoadFailure{error.what(), error.Repeated, false, "", ""};
    }
    return std::nullopt;
}

RecordsStep RecordsSession::Load()
{
    auto failure = Reload();
    return {int(Entries().size()) + 1, false, std::move(failure)};
}

RecordsStep RecordsSession::GameStarted(const std::string& player)
{
    RecordsStep step = Load();
    Records.Res_Item_Insert(player, "0", step.Place, 0);
    return step;
}

RecordsStep RecordsSession::ScoreChanged(const std::string& player, std::int32_t score, int recordPlace)
{
    auto failure = Reload();
    const PlaceFound found = FindPlace(Entries(), score, recordPlace);
    Records.Res_Item_Insert(player, FormatScore(score), found.place, score);
    return {found.place, found.recordSound, std::move(failure)};
}

std::optional<std::string> RecordsSession::NameEntryOpens(int recordPlace, const std::string& player) const
{
    if (recordPlace < 1 || recordPlace >= OutsideTable)
        return std::nullopt;
    if (recordPlace > int(Entries().size()))
        return player;
    return Entries()[std::size_t(recordPlace - 1)].Name;
}

std::string RecordsSession::EntryText(const std::string& typed, const std::string& player)
{
    const std::string kept = KeepCp1251Characters(typed);
    return FirstCharacterAccepted(kept) ? kept : player;
}

void RecordsSession::NameEntered(int recordPlace, const std::string& name, const std::optional<Replay>& replay)
{
    Records.NameEntry(recordPlace, name);
    Records.Write_Res();
    if (!replay || recordPlace < 1 || recordPlace > int(Entries().size()))
        return;
    Replay named = *replay;
    named.Result.Name = Entries()[std::size_t(recordPlace - 1)].Name;
    Shelf.Keep(Entries(), recordPlace, named);
}

RecordsStep RecordsSession::Erase()
{
    Records.Erase();
    Shelf.EraseAll();
    auto failure = Reload();
    return {1, false, std::move(failure)};
}
