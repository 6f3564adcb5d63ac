#pragma once
// Whole-file reading, and replacing a file so that a crash, a kill or a
// full disk at any moment leaves either the old file or the new one.

#include <filesystem>
#include <functional>
#include <stdexcept>
#include <string>
#include <string_view>

class FileError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The steps of a replacement, in order; tests fail or stop a write at each.
enum class WriteStep { Create, Write, Flush, Close, Rename };
using WriteStepHook = std::function<void(WriteStep)>;

// Writes a temporary file beside path, flushes it to disk and renames it
// over path. On failure the temporary file is removed, path is untouched,
// and FileError says why. hook, when set, runs before each step.
void ReplaceFile(const std::filesystem::path& path, std::string_view data, const WriteStepHook& hook = {});

// The whole file; FileError when it cannot be opened or read, or holds
// more than limit bytes (read no further than that).
std::string ReadWholeFile(const std::filesystem::path& path, std::size_t limit = std::string().max_size());

// The absolute form of path, for messages.
std::string FullPath(const std::filesystem::path& path);
