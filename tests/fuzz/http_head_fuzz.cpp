// The records server's reading of a request head from hostile bytes: it
// never reads past them, a complete head ends with its blank line, the bytes
// it takes are a prefix it could take again, and no answer comes before the
// limits say so.

#include <string>

#include "fuzz_check.h"
#include "server/http_request.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    // An exact-size copy, so that a read past the end is an ASan report.
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    const HttpLimits limits{256, 512, 8};
    const HeadRead read = ReadRequestHead(bytes, limits);
    switch (read.Outcome) {
    case HeadRead::State::Incomplete:
        FUZZ_CHECK(read.Consumed == 0);
        // Waiting is allowed only while the head could still fit.
        FUZZ_CHECK(bytes.size() <= limits.RequestLine + 1 + limits.HeaderBytes);
        break;
    case HeadRead::State::Complete: {
        FUZZ_CHECK(read.Consumed >= 4 && read.Consumed <= bytes.size());
        const std::string head = bytes.substr(0, read.Consumed);
        FUZZ_CHECK(head.back() == '\n');
        FUZZ_CHECK(!read.Request.Target.empty() && read.Request.Target.front() == '/');
        FUZZ_CHECK(read.Request.Target.find_first_of(" \r\n") == std::string::npos);
        // The same head alone reads the same.
        const HeadRead again = ReadRequestHead(head, limits);
        FUZZ_CHECK(again.Outcome == HeadRead::State::Complete && again.Consumed == read.Consumed);
        FUZZ_CHECK(again.Request.Target == read.Request.Target && again.Request.HasBody == read.Request.HasBody);
        break;
    }
    case HeadRead::State::Refused:
        FUZZ_CHECK(read.Status == 400 || read.Status == 414 || read.Status == 431 || read.Status == 505);
        break;
    }
    return 0;
}
