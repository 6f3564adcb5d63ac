#include "replay.h"

#include <zlib.h>

#include <algorithm>
#include <limits>

namespace {

constexpr std::string_view Magic = "VXRP";
constexpr std::size_t ChecksumBytes = 4;
constexpr std::uint8_t LookBits = 0x07;

std::uint32_t Checksum(std::string_view bytes)
{
    return static_cast<std::uint32_t>(
        crc32(crc32(0, nullptr, 0), reinterpret_cast<const Bytef*>(bytes.data()), static_cast<uInt>(bytes.size())));
}

void PutNumber(std::string& out, std::uint64_t value)
{
    while (value >= 0x80) {
        out.push_back(static_cast<char>(0x80 | (value & 0x7F)));
        value >>= 7;
    }
    out.push_back(static_cast<char>(value));
}

// Whether text is UTF-8 without control characters.
bool PlainUtf8(std::string_view text)
{
    for (std::size_t i = 0; i < text.size();) {
        const auto lead = static_cast<unsigned char>(text[i]);
        std::size_t length = lead < 0x80 ? 1 : (lead >> 5) == 0x6 ? 2 : (lead >> 4) == 0xE ? 3 : (lead >> 3) == 0x1E ? 4 : 0;
        if (length == 0 || i + length > text.size())
            return false;
        std::uint32_t code = length == 1 ? lead : lead & (0x3F >> (length - 1));
        for (std::size_t k = 1; k < length; ++k) {
            const auto next = static_cast<unsigned char>(text[i + k]);
            if ((next & 0xC0) != 0x80)
                return false;
            code = (code << 6) | (next & 0x3F);
        }
        // Overlong forms, surrogates, beyond Unicode, control characters.
        static constexpr std::uint32_t Least[] = {0, 0, 0x80, 0x800, 0x10000};
        if (code < Least[length] || (code >= 0xD800 && code <= 0xDFFF) || code > 0x10FFFF || code < 0x20 ||
            code == 0x7F || (code >= 0x80 && code < 0xA0))
            return false;
        i += length;
    }
    return true;
}

class Reader {
public:
    explicit Reader(std::string_view bytes) : Bytes(bytes) {}

    std::uint8_t Byte(const char* what)
    {
        if (At >= Bytes.size())
            throw ReplayError(std::string("replay file cut short (at the ") + what + ")");
        return static_cast<std::uint8_t>(Bytes[At++]);
    }
    std::uint64_t Number(const char* what, std::uint64_t most)
    {
        std::uint64_t value = 0;
        for (int shift = 0;; shift += 7) {
            const std::uint8_t byte = Byte(what);
            if (shift == 63 && (byte & 0x7E) != 0)
                throw ReplayError(std::string("replay file: the ") + what + " is too large");
            value |= std::uint64_t(byte & 0x7F) << shift;
            // A last byte of 0 after others says nothing: one number, one form.
            if (byte == 0 && shift > 0)
                throw ReplayError(std::string("replay file: the ") + what + " is not in its shortest form");
            if ((byte & 0x80) == 0)
                break;
            if (shift == 63)
                throw ReplayError(std::string("replay file: the ") + what + " is too large");
        }
        if (value > most)
            throw ReplayError(std::string("replay file: the ") + what + " is out of range (" + std::to_string(value) + ")");
        return value;
    }
    std::string_view Take(std::size_t count, const char* what)
    {
        if (count > Bytes.size() - At)
            throw ReplayError(std::string("replay file cut short (in the ") + what + ")");
        const std::string_view taken = Bytes.substr(At, count);
        At += count;
        return taken;
    }
    std::size_t Left() const { return Bytes.size() - At; }

private:
    std::string_view Bytes;
    std::size_t At = 0;
};

constexpr std::uint64_t Int32Most = std::numeric_limits<std::int32_t>::max();
constexpr std::uint64_t UInt32Most = std::numeric_limits<std::uint32_t>::max();

}  // namespace

void AddReplayEvent(std::vector<ReplayEvent>& events, ReplayEventKind kind, std::uint32_t count)
{
    if (count == 0)
        return;
    // A run is filled before the next of its kind begins, so that one
    // sequence of events has one form.
    if (!events.empty() && events.back().Kind == kind) {
        const std::uint32_t room = static_cast<std::uint32_t>(UInt32Most - events.back().Count);
        const std::uint32_t joined = std::min(room, count);
        events.back().Count += joined;
        count -= joined;
        if (count == 0)
            return;
    }
    events.push_back({kind, count});
}

std::string WriteReplay(const Replay& replay)
{
    std::string out(Magic);
    out.push_back(static_cast<char>(ReplayVersion));
    PutNumber(out, replay.Seed);
    PutNumber(out, replay.DrawsBefore);
    PutNumber(out, replay.GameNumber);
    const ReplayRules& rules = replay.Rules;
    PutNumber(out, rules.StartLevel);
    PutNumber(out, rules.MaxLevel);
    for (std::int32_t value : {rules.BaseInterval, rules.IntervalStep, rules.MinInterval})
        PutNumber(out, static_cast<std::uint32_t>(std::max(value, 0)));
    out.push_back(static_cast<char>((replay.Look.Animation ? 1 : 0) | (replay.Look.SoundOn ? 2 : 0) |
                                    (replay.Look.Speaker ? 4 : 0)));
    const ReplayResult& result = replay.Result;
    PutNumber(out, static_cast<std::uint32_t>(std::max(result.Score, 0)));
    PutNumber(out, result.Level);
    PutNumber(out, result.Landings);
    PutNumber(out, result.Ticks);
    out.push_back(result.Stopped ? 1 : 0);
    PutNumber(out, result.Name.size());
    out += result.Name;
    std::size_t runs = 0;
    for (const ReplayEvent& event : replay.Events)
        runs += event.Count > 0 ? 1 : 0;
    PutNumber(out, runs);
    for (const ReplayEvent& event : replay.Events) {
        if (event.Count == 0)
            continue;   // nothing happened
        const auto kind = static_cast<std::uint8_t>(event.Kind);
        if (event.Count <= 15) {
            out.push_back(static_cast<char>(kind | ((event.Count - 1) << 4)));
        } else {
            out.push_back(static_cast<char>(kind | 0xF0));
            PutNumber(out, event.Count - 16);
        }
    }
    const std::uint32_t sum = Checksum(out);
    for (int k = 0; k < 4; ++k)
        out.push_back(static_cast<char>((sum >> (8 * k)) & 0xFF));
    return out;
}

Replay ReadReplay(std::string_view bytes)
{
    if (bytes.size() > MaxReplayBytes)
        throw ReplayError("replay file larger than " + std::to_string(MaxReplayBytes) + " bytes", ReplayFault::NotAReplay);
    if (bytes.substr(0, Magic.size()) != Magic)
        throw ReplayError("not a replay file (no VXRP signature)", ReplayFault::NotAReplay);
    if (bytes.size() < Magic.size() + 1)
        throw ReplayError("replay file cut short (at the version)");
    const auto version = static_cast<std::uint8_t>(bytes[Magic.size()]);
    if (version != ReplayVersion)
        throw ReplayError("replay version " + std::to_string(version) + " is not supported (this program reads version " +
                          std::to_string(ReplayVersion) + ")",
                          ReplayFault::OtherVersion);
    if (bytes.size() < Magic.size() + 1 + ChecksumBytes)
        throw ReplayError("replay file cut short (at the checksum)");
    const std::string_view body = bytes.substr(0, bytes.size() - ChecksumBytes);
    std::uint32_t stored = 0;
    for (std::size_t k = 0; k < ChecksumBytes; ++k)
        stored |= std::uint32_t(static_cast<std::uint8_t>(bytes[body.size() + k])) << (8 * k);
    if (stored != Checksum(body))
        throw ReplayError("replay file damaged (its checksum does not match)");

    Reader in(body.substr(Magic.size() + 1));
    Replay replay;
    replay.Seed = static_cast<std::uint32_t>(in.Number("seed", UInt32Most));
    replay.DrawsBefore = in.Number("draws before the game", std::numeric_limits<std::uint64_t>::max());
    replay.GameNumber = static_cast<std::uint32_t>(in.Number("game number", UInt32Most));
    ReplayRules& rules = replay.Rules;
    rules.StartLevel = static_cast<std::uint8_t>(in.Number("start level", 255));
    rules.MaxLevel = static_cast<std::uint8_t>(in.Number("top level", 255));
    rules.BaseInterval = static_cast<std::int32_t>(in.Number("base interval", Int32Most));
    rules.IntervalStep = static_cast<std::int32_t>(in.Number("interval step", Int32Most));
    rules.MinInterval = static_cast<std::int32_t>(in.Number("least interval", Int32Most));
    const std::uint8_t look = in.Byte("options");
    if (look & ~LookBits)
        throw ReplayError("replay file: unknown options set");
    replay.Look = {(look & 1) != 0, (look & 2) != 0, (look & 4) != 0};
    ReplayResult& result = replay.Result;
    result.Score = static_cast<std::int32_t>(in.Number("score", Int32Most));
    result.Level = static_cast<std::uint8_t>(in.Number("level", 255));
    result.Landings = static_cast<std::uint32_t>(in.Number("landings", UInt32Most));
    result.Ticks = in.Number("ticks", std::numeric_limits<std::uint64_t>::max());
    const std::uint8_t stopped = in.Byte("end");
    if (stopped > 1)
        throw ReplayError("replay file: the end is neither 0 nor 1");
    result.Stopped = stopped == 1;
    const auto nameBytes = static_cast<std::size_t>(in.Number("name's length", MaxReplayNameBytes));
    result.Name = std::string(in.Take(nameBytes, "name"));
    if (!PlainUtf8(result.Name))
        throw ReplayError("replay file: the name is not plain UTF-8 text");

    // Each run takes a byte at least: a count beyond the bytes left is a lie.
    const auto runs = static_cast<std::size_t>(in.Number("number of events", in.Left()));
    replay.Events.reserve(runs);
    for (std::size_t k = 0; k < runs; ++k) {
        const std::uint8_t head = in.Byte("events");
        const auto kind = static_cast<ReplayEventKind>(head & 0x0F);
        std::uint64_t count = (head >> 4) + 1u;
        if (count == 16)
            count += in.Number("event count", UInt32Most - 16);
        if (!replay.Events.empty() && replay.Events.back().Kind == kind && replay.Events.back().Count < UInt32Most)
            throw ReplayError("replay file: two runs of one kind where one would do");
        replay.Events.push_back({kind, static_cast<std::uint32_t>(count)});
    }
    if (in.Left() != 0)
        throw ReplayError("replay file: " + std::to_string(in.Left()) + " bytes after the last event");
    return replay;
}
