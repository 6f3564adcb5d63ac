#pragma once
// The game's publish request, /datas/html/add.php?name=N&self=S&autopilot=A.
// The game percent-encodes the bytes of code page 1251 (only A-Z a-z 0-9
// -._~ go as they are); stored texts are UTF-8.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "common/records_site.h"
#include "server/results.h"
#include "storage/records_table.h"

inline constexpr std::size_t MaxNameLength = NameLength;

// Either the publish or, when any value breaks the rules, why not.
struct PublishParse {
    std::optional<Publish> Accepted;
    std::string Refusal;
};

// query: the raw text after '?', not yet decoded. All three keys must be
// there, once each; other keys are ignored.
PublishParse ParsePublishQuery(std::string_view query);

// %XX gives the byte XX; every other byte stays, '+' too (the game sends
// %20 for a blank). A '%' without two hex digits gives nothing.
std::optional<std::string> PercentDecode(std::string_view text);

// Why a name (UTF-8) cannot be stored, or empty: more than MaxNameLength
// characters, a control character, or blanks only.
std::string NameFault(const std::string& utf8);

// One key of a query: its value decoded when the key is there exactly once,
// else why not ("missing", "given twice", "malformed percent-encoding").
struct QueryValue {
    std::optional<std::string> Value;
    std::string Fault;
};
QueryValue FindQueryValue(std::string_view query, std::string_view key);

// A decimal 0..2147483647: digits only, no sign, no blanks.
std::optional<std::int32_t> ParseScoreNumber(std::string_view text);

// The answer's text: what was stored.
std::string DescribePublish(const Publish& publish);
