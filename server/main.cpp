// vantorix2-records: the records web server the game publishes to.

#include <pthread.h>
#include <signal.h>

#include <atomic>
#include <chrono>
#include <iostream>
#include <thread>

#include "server/command_line.h"
#include "server/records_http.h"

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

    std::unique_ptr<RecordsStore> store;
    try {
        store = std::make_unique<RecordsStore>(options.Database);
    } catch (const StoreError& e) {
        std::cerr << "vantorix2-records: cannot use the database " << options.Database.string() << ": " << e.what()
                  << "\n";
        return 1;
    }

    RecordsHttpServer server;
    ConfigureRecordsServer(server, *store);
    int port = options.Port;
    const bool bound = port == 0 ? (port = server.bind_to_any_port(options.Host)) > 0
                                 : server.bind_to_port(options.Host, port);
    if (!bound || !server.WidenBacklog()) {
        std::cerr << "vantorix2-records: cannot listen on " << ServerUrl(options.Host, options.Port) << "\n";
        return 1;
    }
    LogLine("vantorix2-records: listening on " + ServerUrl(options.Host, port));

    std::atomic<bool> listenEnded = false;
    std::thread stopper([&] {
        // Waits in slices so that it also ends when serving ends on its own.
        const timespec slice{0, 100'000'000};
        while (!listenEnded) {
            if (sigtimedwait(&stopSignals, nullptr, &slice) < 0)
                continue;
            // A signal between binding and listening: stop() does nothing
            // until the server runs.
            while (!listenEnded && !server.is_running())
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
            if (!listenEnded)
                server.stop();
            return;
        }
    });

    const bool served = server.listen_after_bind();
    listenEnded = true;
    stopper.join();
    if (!served) {
        LogLine("vantorix2-records: the server stopped with an error");
        return 1;
    }
    return 0;
}
