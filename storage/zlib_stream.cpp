#include "zlib_stream.h"

#include <zlib.h>

#include <climits>

#include "records_snapshot.h"

std::string CompressStream(std::string_view source)
{
    uLongf size = compressBound(uLong(source.size()));
    std::string result(size, '\0');
    const int status = compress2(reinterpret_cast<Bytef*>(result.data()), &size,
                                 reinterpret_cast<const Bytef*>(source.data()), uLong(source.size()), 9);
    if (status != Z_OK)
        throw std::runtime_error("Compression error");
    result.resize(size);
    return result;
}

std::string DecompressStream(std::string_view source)
{
    std::string result;
    if (source.empty())
        return result;
    if (source.size() > UINT_MAX)
        throw InflateError("records file too large");
    z_stream stream{};
    if (inflateInit(&stream) != Z_OK)
        throw std::runtime_error("Decompression error");
    stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(source.data()));
    stream.avail_in = uInt(source.size());
    char chunk[16384];
    int status = Z_OK;
    while (status == Z_OK) {
        stream.next_out = reinterpret_cast<Bytef*>(chunk);
        stream.avail_out = sizeof chunk;
        status = inflate(&stream, Z_NO_FLUSH);
        const std::size_t produced = sizeof chunk - stream.avail_out;
        if (result.size() + produced > MaxSnapshotSize) {
            inflateEnd(&stream);
            throw SnapshotError(InvalidStreamFormat);
        }
        result.append(chunk, produced);
        // No input left and no progress: the stream is cut short.
        if (status == Z_OK && stream.avail_in == 0 && produced == 0)
            status = Z_BUF_ERROR;
    }
    inflateEnd(&stream);
    if (status != Z_STREAM_END)
        throw InflateError(status == Z_MEM_ERROR ? "out of memory" : "not a complete zlib stream");
    return result;
}
