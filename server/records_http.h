#pragma once
// The records site on a cpp-httplib server: the routes, the request log.

#include <httplib.h>

#include "server/records_store.h"

// The library listens with a backlog of 5: a burst of games connecting at
// once overflows it, and each dropped connection waits a second for the
// kernel's retry.
class RecordsHttpServer : public httplib::Server {
public:
    // After binding, before listening.
    bool WidenBacklog() { return ::listen(svr_sock_, SOMAXCONN) == 0; }
};

// Every request is logged as one line on stderr once it is answered.
void ConfigureRecordsServer(httplib::Server& server, RecordsStore& store);

// Writes one line to stderr in a single write, so that lines of concurrent
// requests never interleave.
void LogLine(std::string line);
