#include "web_files.h"

#include <algorithm>
#include <fstream>
#include <system_error>

#include "server/digest.h"

namespace {

struct Served {
    std::string_view Extension;
    const char* Type;
};

constexpr Served Extensions[] = {
    {".html", "text/html; charset=utf-8"},
    {".js", "text/javascript; charset=utf-8"},
    {".wasm", "application/wasm"},
    {".css", "text/css; charset=utf-8"},
    {".wav", "audio/wav"},
    {".png", "image/png"},
    {".json", "application/json"},
};

// A name that a request's path spells as it is, with nothing to decode.
bool PlainName(std::string_view name)
{
    return !name.empty() && name.size() <= 255 && std::all_of(name.begin(), name.end(), [](char c) {
               return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '.' ||
                      c == '_' || c == '-';
           });
}

// At most FileMost + 1 bytes: one more tells that the file is over.
std::optional<std::string> ReadBounded(const std::filesystem::path& file)
{
    std::ifstream in(file, std::ios::binary);
    if (!in)
        return std::nullopt;
    std::string content;
    char buffer[65536];
    while (content.size() <= WebFiles::FileMost) {
        in.read(buffer, std::streamsize(std::min(sizeof buffer, WebFiles::FileMost + 1 - content.size())));
        content.append(buffer, std::size_t(in.gcount()));
        if (!in)
            break;
    }
    if (in.bad())
        return std::nullopt;
    return content;
}

// What If-None-Match lists names this tag: weakly compared, as RFC 9110
// asks for it (a proxy that compresses the file makes its tag weak).
bool Matches(std::string_view list, const std::string& tag)
{
    while (!list.empty()) {
        const std::size_t comma = list.find(',');
        std::string_view one = TrimBlanks(list.substr(0, comma));
        if (one == "*")
            return true;
        if (one.substr(0, 2) == "W/")
            one.remove_prefix(2);
        if (one == tag)
            return true;
        list = comma == std::string_view::npos ? std::string_view() : list.substr(comma + 1);
    }
    return false;
}

}  // namespace

const char* WebFileType(std::string_view name)
{
    for (const Served& served : Extensions)
        if (name.size() > served.Extension.size() && name.ends_with(served.Extension))
            return served.Type;
    return nullptr;
}

WebFiles WebFiles::Load(const std::filesystem::path& folder)
{
    std::error_code error;
    const std::filesystem::file_status status = std::filesystem::status(folder, error);
    if (status.type() == std::filesystem::file_type::not_found)
        throw WebFilesError("no such folder");
    if (error)
        throw WebFilesError("cannot read the folder: " + error.message());
    if (!std::filesystem::is_directory(status))
        throw WebFilesError("not a folder");
    std::filesystem::directory_iterator entry(folder, error);
    if (error)
        throw WebFilesError("cannot read the folder: " + error.message());
    WebFiles web;
    std::size_t total = 0;
    for (; entry != std::filesystem::directory_iterator(); entry.increment(error)) {
        if (error)
            throw WebFilesError("cannot read the folder: " + error.message());
        const std::string name = entry->path().filename().string();
        const char* type = WebFileType(name);
        // Not ours to serve: other files, folders, devices and pipes.
        if (!type || !entry->is_regular_file(error))
            continue;
        if (!PlainName(name))
            throw WebFilesError("'" + name + "' is not a name to serve: letters, digits, '.', '_' and '-' only");
        if (web.Files.size() == CountMost)
            throw WebFilesError("more than " + std::to_string(CountMost) + " files to serve");
        std::optional<std::string> content = ReadBounded(entry->path());
        if (!content)
            throw WebFilesError("cannot read " + name);
        if (content->size() > FileMost)
            throw WebFilesError(name + " is over " + std::to_string(FileMost >> 20) + " MiB");
        if ((total += content->size()) > TotalMost)
            throw WebFilesError("the files are over " + std::to_string(TotalMost >> 20) + " MiB together");
        WebFile& file = web.Files[name];
        // Built in steps: GCC 12 warns of the "\"" + tag + "\"" form (a false -Wrestrict).
        file.Tag = '"';
        file.Tag += Hex(Sha256(*content).substr(0, 16));
        file.Tag += '"';
        file.Content = std::make_shared<const std::string>(std::move(*content));
        file.Type = type;
        // Kept, and asked for again each time with its tag (a 304 costs a
        // few bytes): a page and the code it loads are always of one build,
        // which an hour's cache of the code alone would not promise.
        file.CacheControl = "no-cache";
    }
    if (web.Files.empty())
        throw WebFilesError("no .html, .js, .wasm, .css, .wav, .png or .json file in it");
    return web;
}

const WebFile* WebFiles::Find(std::string_view path) const
{
    if (path.size() < 2 || path.front() != '/')
        return nullptr;
    const auto found = Files.find(path.substr(1));
    return found == Files.end() ? nullptr : &found->second;
}

HttpResponse AnswerWebFile(const WebFile& file, const HttpRequest& request)
{
    HttpResponse response;
    response.ContentType = file.Type;
    response.Headers = {{"ETag", file.Tag},
                        {"Cache-Control", file.CacheControl},
                        {"Content-Security-Policy", WebPolicy},
                        {"X-Content-Type-Options", "nosniff"}};
    if (Matches(request.IfNoneMatch, file.Tag))
        response.Status = 304;
    else
        response.SharedBody = file.Content;
    return response;
}
