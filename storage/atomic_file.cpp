#include "atomic_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <vector>

namespace fs = std::filesystem;

std::string FullPath(const fs::path& path)
{
    std::error_code ignored;
    const fs::path full = fs::absolute(path, ignored);
    return (full.empty() ? path : full).string();
}

namespace {

FileError WriteFailure(const fs::path& path, int error)
{
    return FileError("Cannot create file \"" + FullPath(path) + "\". " + std::strerror(error));
}

// The temporary file: removed again unless it was renamed into place.
class TemporaryFile {
public:
    explicit TemporaryFile(const fs::path& target) : Name(target.string() + ".XXXXXX")
    {
        std::vector<char> pattern(Name.begin(), Name.end());
        pattern.push_back('\0');
        Descriptor = ::mkstemp(pattern.data());
        Name = pattern.data();
    }
    ~TemporaryFile()
    {
        if (Descriptor >= 0)
            ::close(Descriptor);
        if (!Renamed && Created)
            ::unlink(Name.c_str());
    }
    TemporaryFile(const TemporaryFile&) = delete;
    TemporaryFile& operator=(const TemporaryFile&) = delete;

    bool Open() { return Created = Descriptor >= 0; }
    int Close()
    {
        const int result = ::close(Descriptor);
        Descriptor = -1;
        return result;
    }

    std::string Name;
    int Descriptor = -1;
    bool Created = false;
    bool Renamed = false;
};

// The mode a new file gets from the umask, or the mode of the file replaced.
mode_t ModeFor(const fs::path& path)
{
    struct stat status {};
    if (::stat(path.c_str(), &status) == 0)
        return status.st_mode & 07777;
    const mode_t mask = ::umask(0);
    ::umask(mask);
    return 0666 & ~mask;
}

}  // namespace

void ReplaceFile(const fs::path& path, std::string_view data, const WriteStepHook& hook)
{
    const auto step = [&](WriteStep s) {
        if (hook)
            hook(s);
    };
    step(WriteStep::Create);
    TemporaryFile temporary(path);
    if (!temporary.Open())
        throw WriteFailure(path, errno);
    ::fchmod(temporary.Descriptor, ModeFor(path));

    step(WriteStep::Write);
    for (std::size_t done = 0; done < data.size();) {
        const ssize_t written = ::write(temporary.Descriptor, data.data() + done, data.size() - done);
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0)
            throw WriteFailure(path, written < 0 ? errno : ENOSPC);
        done += std::size_t(written);
    }
    step(WriteStep::Flush);
    if (::fsync(temporary.Descriptor) != 0)
        throw WriteFailure(path, errno);
    step(WriteStep::Close);
    if (temporary.Close() != 0)
        throw WriteFailure(path, errno);
    step(WriteStep::Rename);
    if (::rename(temporary.Name.c_str(), path.c_str()) != 0)
        throw WriteFailure(path, errno);
    temporary.Renamed = true;
    // Make the rename itself last; a failure here loses nothing.
    const fs::path folder = path.parent_path().empty() ? fs::path(".") : path.parent_path();
    const int directory = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY);
    if (directory >= 0) {
        ::fsync(directory);
        ::close(directory);
    }
}

std::string ReadWholeFile(const fs::path& path, std::size_t limit)
{
    const int descriptor = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (descriptor < 0)
        throw FileError("Cannot open file \"" + FullPath(path) + "\". " + std::strerror(errno));
    // Closed on every way out.
    const struct Closer {
        int fd;
        ~Closer() { ::close(fd); }
    } closer{descriptor};
    struct stat status {};
    // A folder or a device by that name is no file of ours.
    if (::fstat(descriptor, &status) != 0 || !S_ISREG(status.st_mode))
        throw FileError("Cannot open file \"" + FullPath(path) + "\". Not a regular file");
    std::string content;
    char chunk[65536];
    for (;;) {
        const ssize_t got = ::read(descriptor, chunk, sizeof chunk);
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0) {
            const int error = errno;   // before FullPath, which may set it
            throw FileError("Cannot read file \"" + FullPath(path) + "\". " + std::strerror(error));
        }
        if (got == 0)
            break;
        if (std::size_t(got) > limit - content.size())
            throw FileError("Cannot read file \"" + FullPath(path) + "\". Larger than " + std::to_string(limit) +
                            " bytes");
        content.append(chunk, std::size_t(got));
    }
    return content;
}
