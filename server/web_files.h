#pragma once
// The web edition's built files (--web DIR): read once at start-up from a
// flat folder into memory and served from there at /NAME, so that no path
// of a request ever reaches the file system. Only regular files whose name
// ends in one of the served extensions are taken; a folder that cannot be
// read, holds none, or holds one over the limits refuses the start.

#include <cstddef>
#include <filesystem>
#include <map>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>

#include "server/http_server.h"

struct WebFilesError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// The Content-Security-Policy of the web edition's files.
inline constexpr const char* WebPolicy =
    "default-src 'none'; script-src 'self' 'wasm-unsafe-eval'; connect-src 'self'; img-src 'self' data:; "
    "media-src 'self' blob:; style-src 'self'; base-uri 'none'; form-action 'none'; frame-ancestors 'none'";

struct WebFile {
    std::shared_ptr<const std::string> Content;
    const char* Type = "";
    std::string Tag;             // a strong entity tag, quoted: of the content's hash
    const char* CacheControl = "";
};

class WebFiles {
public:
    static constexpr std::size_t FileMost = 8u << 20;
    static constexpr std::size_t TotalMost = 64u << 20;
    static constexpr std::size_t CountMost = 1000;

    // None: every path is the site's own.
    WebFiles() = default;
    // WebFilesError says what refused the folder.
    static WebFiles Load(const std::filesystem::path& folder);

    // The file a request's path names, "/" and one of the names exactly;
    // the query is not looked at.
    const WebFile* Find(std::string_view path) const;
    bool Has(const std::string& name) const { return Files.count(name) != 0; }
    std::size_t Count() const { return Files.size(); }

private:
    std::map<std::string, WebFile, std::less<>> Files;
};

// The Content-Type a file of this name is served as, or nullptr when the
// name has none of the served extensions.
const char* WebFileType(std::string_view name);

// A GET or HEAD of file: 200, or 304 when If-None-Match names its tag
// (or is *).
HttpResponse AnswerWebFile(const WebFile& file, const HttpRequest& request);
