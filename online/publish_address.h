#pragma once
// The addresses of the records site: the publish request built from the
// records table, the records page, the front page and the mail link.

#include <string>
#include <string_view>
#include <vector>

#include "common/records_site.h"
#include "storage/options_file.h"
#include "storage/records_snapshot.h"


// What one publish sends: the best player entry and the best autopilot
// score of the table, scores as plain decimals.
struct PublishValues {
    std::string Name;             // UTF-8; empty without a player entry
    std::string Score;            // empty without a player entry
    std::string Autopilot = "-";  // "-" without an autopilot entry
};

// Walks the table from the last entry up, so the topmost of each kind wins.
// A score text that does not read counts as 0, as it does when placing.
PublishValues ChoosePublishValues(const std::vector<RecordEntry>& entries);

// Where those values come from: the places (1..) of the best player entry
// and of the best autopilot entry, 0 for none.
struct PublishedPlaces {
    int Player = 0;
    int Autopilot = 0;
};
PublishedPlaces ChoosePublishedPlaces(const std::vector<RecordEntry>& entries);

// Code page 1251 bytes: A-Z, a-z, 0-9 and "-._~" stay, every other byte is
// "%" and two upper-case hexadecimal digits.
std::string PercentEncode(std::string_view bytes);

// Every address below begins with the site: "http://" + server for a plain
// host[:port]; a server given as "https://host[:port]" (or "http://", any
// case, one trailing '/' dropped) keeps its scheme.
//
// The site + "/datas/html/add.php?name=..&self=..&autopilot=..", each value
// percent-encoded from code page 1251. Encoding keeps a name such as
// "A&self=1" from rewriting the request.
std::string PublishAddress(const std::string& server, const PublishValues& values);
std::string RecordsPageAddress(const std::string& server);
// Where our own server takes the replays of a publish: the publisher's name
// as the publish sent it.
std::string ReplayAddress(const std::string& server, const std::string& publisher);
std::string SiteAddress(const std::string& server);
std::string MailLink(const std::string& mailAddress);
