#include "command_line.h"

#include "server/client_address.h"
#include "server/publish_request.h"

namespace {

// HOST:PORT, or [IPV6]:PORT.
bool ParseListen(const std::string& text, ServerOptions& options)
{
    const std::size_t colon = text.rfind(':');
    if (colon == std::string::npos)
        return false;
    std::string host = text.substr(0, colon);
    if (host.size() >= 2 && host.front() == '[' && host.back() == ']')
        host = host.substr(1, host.size() - 2);
    if (host.empty() || host.find_first_of("[] \t") != std::string::npos)
        return false;
    const std::string port = text.substr(colon + 1);
    const auto number = ParseScoreNumber(port);
    if (port.size() > 5 || !number || *number > 65535)
        return false;
    options.Host = host;
    options.Port = *number;
    return true;
}

}  // namespace

CommandLine ParseCommandLine(const std::vector<std::string>& args)
{
    ServerOptions options;
    for (std::size_t i = 0; i < args.size(); ++i) {
        std::string flag = args[i];
        std::optional<std::string> value;
        if (const std::size_t equals = flag.find('='); flag.starts_with("--") && equals != std::string::npos) {
            value = flag.substr(equals + 1);
            flag.resize(equals);
        }
        if (flag == "-h" || flag == "--help")
            return {std::nullopt, true, {}};
        if (flag != "--listen" && flag != "--db" && flag != "--max-connections" && flag != "--request-deadline" &&
            flag != "--trusted-proxy" && flag != "--web")
            return {std::nullopt, false, "unknown argument '" + args[i] + "'"};
        if (!value) {
            if (i + 1 == args.size())
                return {std::nullopt, false, flag + " needs a value"};
            value = args[++i];
        }
        if (flag == "--listen" && !ParseListen(*value, options))
            return {std::nullopt, false, "--listen wants HOST:PORT with PORT 0..65535, not '" + *value + "'"};
        if (flag == "--db") {
            if (value->empty())
                return {std::nullopt, false, "--db needs a file name or a postgresql:// URI"};
            options.Database = *value;
        }
        if (flag == "--web") {
            if (value->empty())
                return {std::nullopt, false, "--web needs the folder of the web edition's files"};
            options.WebFolder = *value;
        }
        if (flag == "--trusted-proxy") {
            const std::optional<std::string> address = CanonicalAddress(*value);
            if (!address)
                return {std::nullopt, false, "--trusted-proxy wants an IPv4 or IPv6 address, not '" + *value + "'"};
            options.TrustedProxies.push_back(*address);
        }
        if (flag == "--max-connections" || flag == "--request-deadline") {
            const auto number = ParseScoreNumber(*value);
            if (!number || *number < 1 || *number > 1000000)
                return {std::nullopt, false, flag + " wants a number from 1 to 1000000, not '" + *value + "'"};
            (flag == "--max-connections" ? options.MaxConnections : options.RequestDeadlineMs) = *number;
        }
    }
    return {options, false, {}};
}

std::string Usage()
{
    return "usage: vantorix2-records [--listen HOST:PORT] [--db FILE|URI] [--max-connections N]\n"
           "                         [--request-deadline MS] [--trusted-proxy ADDR]... [--web DIR]\n"
           "  --listen HOST:PORT      address to serve on (default 127.0.0.1:8642; port 0: any free port)\n"
           "  --db FILE|URI           the published results: an SQLite file (default vantorix2-records.db)\n"
           "                          or a PostgreSQL database, postgresql://USER@HOST:PORT/DB\n"
           "  --max-connections N     open connections at most; more are answered 503 (default 4096)\n"
           "  --request-deadline MS   time a client has for a request's head before 408, and for taking\n"
           "                          each answer (default 10000)\n"
           "  --trusted-proxy ADDR    a proxy in front (nginx): the client is the address its X-Real-IP\n"
           "                          names, for the log and for taking replays in turn (repeatable)\n"
           "  --web DIR               serve the web edition's files from the folder DIR at /NAME, read\n"
           "                          once at start-up (.html .js .wasm .css .wav .png .json, 8 MiB\n"
           "                          each at most); a verified result's mark then plays it in the\n"
           "                          browser (default: none)\n";
}

std::string ServerUrl(const std::string& host, int port)
{
    const bool v6 = host.find(':') != std::string::npos;
    return "http://" + (v6 ? "[" + host + "]" : host) + ":" + std::to_string(port) + "/";
}
