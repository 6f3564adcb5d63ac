#include "publish_address.h"

#include <algorithm>
#include <cctype>

#include "storage/cp1251.h"
#include "common/records_site.h"
#include "storage/records_table.h"

namespace {

// The site's scheme and host[:port]: a Server value that names its scheme
// keeps it (in lower case) without a trailing '/', a plain host is http.
std::string SiteRoot(const std::string& server)
{
    for (const std::string_view scheme : {std::string_view("https://"), std::string_view("http://")}) {
        const bool named = server.size() >= scheme.size() &&
                           std::equal(scheme.begin(), scheme.end(), server.begin(), [](char a, char b) {
                               return a == std::tolower(static_cast<unsigned char>(b));
                           });
        if (!named)
            continue;
        std::string host = server.substr(scheme.size());
        if (!host.empty() && host.back() == '/')
            host.pop_back();
        return std::string(scheme) + host;
    }
    return "http://" + server;
}

}  // namespace

PublishValues ChoosePublishValues(const std::vector<RecordEntry>& entries)
{
    PublishValues values;
    for (auto entry = entries.rbegin(); entry != entries.rend(); ++entry) {
        const std::string score = std::to_string(StoredScore(entry->Score));
        if (entry->Name == AutopilotName) {
            values.Autopilot = score;
        } else {
            values.Name = entry->Name;
            values.Score = score;
        }
    }
    return values;
}

PublishedPlaces ChoosePublishedPlaces(const std::vector<RecordEntry>& entries)
{
    PublishedPlaces places;
    for (int k = int(entries.size()); k >= 1; --k)
        (entries[std::size_t(k - 1)].Name == AutopilotName ? places.Autopilot : places.Player) = k;
    return places;
}

std::string PercentEncode(std::string_view bytes)
{
    static const char* const Hex = "0123456789ABCDEF";
    std::string out;
    for (char c : bytes) {
        const auto b = static_cast<unsigned char>(c);
        const bool kept = (b >= 'A' && b <= 'Z') || (b >= 'a' && b <= 'z') || (b >= '0' && b <= '9') || b == '-' ||
                          b == '.' || b == '_' || b == '~';
        if (kept) {
            out += c;
        } else {
            out += '%';
            out += Hex[b >> 4];
            out += Hex[b & 15];
        }
    }
    return out;
}

std::string PublishAddress(const std::string& server, const PublishValues& values)
{
    const auto encoded = [](const std::string& utf8) { return PercentEncode(Utf8ToCp1251(utf8)); };
    return SiteRoot(server) + PublishPath + "?name=" + encoded(values.Name) + "&self=" +
           encoded(values.Score) + "&autopilot=" + encoded(values.Autopilot);
}

std::string ReplayAddress(const std::string& server, const std::string& publisher)
{
    return SiteRoot(server) + ReplayPath + "?publisher=" + PercentEncode(Utf8ToCp1251(publisher));
}

std::string RecordsPageAddress(const std::string& server)
{
    return SiteRoot(server) + ResultsPath + "?" + ResultsQuery;
}

std::string SiteAddress(const std::string& server)
{
    return SiteRoot(server) + "/";
}

std::string MailLink(const std::string& mailAddress)
{
    return "mailto:" + mailAddress + "?subject=VANTORIX2 1.3";
}
