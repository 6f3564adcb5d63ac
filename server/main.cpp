// vantorix2-records: the records web server the game publishes to.

#include <pthread.h>
#include <signal.h>
#include <sys/resource.h>
#include <unistd.h>

#include <atomic>
#include <iostream>
#include <thread>

#include "server/command_line.h"
#include "server/http_server.h"
#include "server/records_service.h"
#include "server/web_files.h"

namespace {

// Writes the lines in one write where it can, so that lines never mix.
void WriteLog(const std::string& lines)
{
    const char* data = lines.data();
    std::size_t left = lines.size();
    while (left > 0) {
        const ssize_t written = ::write(STDERR_FILENO, data, left);
        if (written <= 0)
            return;   // nobody reads the log any more; serving goes on
        data += written;
        left -= std::size_t(written);
    }
}

// Every open connection is a descriptor: as many as the system lets us.
void RaiseDescriptorLimit(int connections)
{
    rlimit limit{};
    if (::getrlimit(RLIMIT_NOFILE, &limit) != 0)
        return;
    const rlim_t wanted = rlim_t(connections) + 64;
    if (limit.rlim_cur < wanted) {
        limit.rlim_cur = limit.rlim_max == RLIM_INFINITY ? wanted : std::min(wanted, limit.rlim_max);
        ::setrlimit(RLIMIT_NOFILE, &limit);
    }
}

}  // namespace

int main(int argc, char** argv)
{
    const CommandLine command = ParseCommandLine(std::vector<std::string>(argv + 1, argv + argc));
    if (command.Help) {
        std::cout << Usage();
        return 0;
    }
    if (!command.Options) {
        std::cerr << "vantorix2-records: " << command.Error << "\n" << Usage();
        return 2;
    }
    const ServerOptions& options = *command.Options;

    // Blocked before any thread starts, so every thread inherits the mask
    // and only the waiting thread below ever sees these signals.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);
    signal(SIGPIPE, SIG_IGN);
    RaiseDescriptorLimit(options.MaxConnections);

    // Read before anything is served, so that a bad folder refuses the start.
    WebFiles web;
    if (!options.WebFolder.empty()) {
        try {
            web = WebFiles::Load(options.WebFolder);
        } catch (const WebFilesError& e) {
            std::cerr << "vantorix2-records: cannot serve the web edition from " << options.WebFolder << ": "
                      << e.what() << "\n";
            return 1;
        }
    }
    const std::size_t webFiles = web.Count();

    std::unique_ptr<RecordsService> service;
    try {
        service = std::make_unique<RecordsService>(
            options.Database, [](const std::string& line) { WriteLog(line + "\n"); }, std::move(web));
    } catch (const StoreError& e) {
        std::cerr << "vantorix2-records: cannot use the database " << DatabaseForLog(options.Database) << ": " << e.what()
                  << "\n";
        return 1;
    }

    HttpSettings settings;
    settings.MaxConnections = options.MaxConnections;
    settings.RequestDeadline = std::chrono::milliseconds(options.RequestDeadlineMs);
    settings.BodyLimit = RecordsService::BodyLimit;
    settings.TrustedProxies = options.TrustedProxies;
    settings.OnTick = [&] { service->Expire(); };
    HttpServer server(settings, [&](const HttpRequest& request, std::uint64_t token) {
        return service->Handle(request, token);
    });
    service->AnswerThrough(server);
    server.Log = WriteLog;
    const int port = server.Listen(options.Host, options.Port);
    if (port == 0) {
        std::cerr << "vantorix2-records: cannot listen on " << ServerUrl(options.Host, options.Port) << "\n";
        return 1;
    }
    WriteLog("vantorix2-records: listening on " + ServerUrl(options.Host, port) + "\n");
    if (webFiles > 0)
        WriteLog("vantorix2-records: serving " + std::to_string(webFiles) + " files of the web edition from " +
                 options.WebFolder + "\n");

    std::atomic<bool> served = false;
    std::thread stopper([&] {
        // Waits in slices so that it also ends when serving ends on its own.
        const timespec slice{0, 100'000'000};
        while (!served) {
            if (sigtimedwait(&stopSignals, nullptr, &slice) >= 0) {
                server.Stop();
                return;
            }
        }
    });
    server.Run();
    served = true;
    stopper.join();
    // The publishes still waiting are stored before the database closes.
    service.reset();
    return 0;
}
