#pragma once
// vantorix2-records [--listen HOST:PORT] [--db FILE|URI] [--max-connections N] [--request-deadline MS]
//                   [--trusted-proxy ADDR]... [--web DIR]

#include <optional>
#include <string>
#include <vector>

struct ServerOptions {
    std::string Host = "127.0.0.1";
    int Port = 8642;  // 0: any free port
    std::string Database = "vantorix2-records.db";   // or a postgresql:// URI
    int MaxConnections = 4096;
    int RequestDeadlineMs = 10000;
    // Proxies whose word on the client's address is taken (canonical text).
    std::vector<std::string> TrustedProxies;
    // The web edition's built files; empty: none served.
    std::string WebFolder;
};

struct CommandLine {
    std::optional<ServerOptions> Options;  // none: Error says why, or Help
    bool Help = false;
    std::string Error;
};

CommandLine ParseCommandLine(const std::vector<std::string>& args);
std::string Usage();

// http://HOST:PORT/ (brackets around an IPv6 address).
std::string ServerUrl(const std::string& host, int port);
