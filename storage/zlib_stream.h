#pragma once
// The records file's zlib step: one compress2 call at level 9 (header 78 DA)
// and its inflate.

#include <cstddef>
#include <stdexcept>
#include <string>
#include <string_view>

// The file is not a zlib stream, is damaged or is cut short.
class InflateError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Inflated content past this size is refused: a records snapshot is a few
// kilobytes, and a small file must not unpack into gigabytes.
inline constexpr std::size_t MaxSnapshotSize = 1 << 20;

std::string CompressStream(std::string_view source);
// An empty source gives empty content. Throws InflateError, or SnapshotError
// ("Invalid stream format") past MaxSnapshotSize. Bytes after the end of the
// stream are not read.
std::string DecompressStream(std::string_view source);
