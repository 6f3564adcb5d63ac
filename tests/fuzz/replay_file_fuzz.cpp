// Replay files from hostile bytes: the reader never reads past them, what
// it reads writes back to the same replay, and playing it within limits
// either ends or is refused, never crashes. The first byte chooses whether
// the rest gets a right checksum, so that the fields behind it are reached.

#include <zlib.h>

#include <string>

#include "fuzz_check.h"
#include "replay/playback.h"
#include "replay/replay.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size == 0)
        return 0;
    std::string bytes(reinterpret_cast<const char*>(data + 1), size - 1);
    if ((data[0] & 1) == 0) {
        const auto sum = static_cast<std::uint32_t>(
            crc32(crc32(0, nullptr, 0), reinterpret_cast<const Bytef*>(bytes.data()), static_cast<uInt>(bytes.size())));
        for (int k = 0; k < 4; ++k)
            bytes.push_back(static_cast<char>((sum >> (8 * k)) & 0xFF));
    }
    // An exact-size copy, so that a read past the end is an ASan report.
    const std::string input(bytes);
    Replay replay;
    try {
        replay = ReadReplay(input);
    } catch (const ReplayError&) {
        return 0;
    }
    FUZZ_CHECK(ReadReplay(WriteReplay(replay)) == replay);
    FUZZ_CHECK(replay.Result.Name.size() <= MaxReplayNameBytes);
    ReplayLimits limits;
    limits.MaxDrawsBefore = 100000;
    limits.MaxEvents = 20000;
    try {
        const ReplayOutcome outcome = PlayReplay(replay, limits);
        FUZZ_CHECK(outcome.Reached.Name == replay.Result.Name);
    } catch (const ReplayError&) {
    }
    return 0;
}
