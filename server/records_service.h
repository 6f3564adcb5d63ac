#pragma once
// The records site behind the HTTP server: the front page, the results page
// in two views, the game's publish, and the replays the game sends after it;
// with the web edition's files, those too, and a verified result's mark then
// plays its game in the browser.
//
// A replay is read on the server's thread and refused there when it cannot
// be a game that reaches what it claims; else it waits for a verifier
// thread, which plays the whole game again (the server's thread must never
// do that). Clients take turns: each has a few places in the queue, and the
// verifier takes one replay of each client in turn, so that one client
// sending costly replays delays another's by one check at most. A replay
// for a result nobody published is not played. One that plays to its score
// goes to the writer, which marks the published result in the same group
// commits as publishes. A verified replay is downloaded through the reader
// thread.
//
// Publishes are stored in groups by a writer thread with a connection of
// its own: all publishes waiting when it is free go in one transaction with
// one commit, and each is answered 200 only after that commit. The results
// page is rendered by a reader thread on another connection and served from
// memory, so a page never waits behind a write (nor behind another process
// holding the database's write lock). After a commit, page requests wait
// for the next rendering, so that a player told "stored" sees the row, but
// never longer than PageWaitMost: while a database does not answer, pages
// are the page as last rendered. A page older than PageMaxAge is rendered again when
// asked for, so that other writers to the database show too. Whatever waits
// for the database longer than StoreWaitMost (a publish, a verification's
// mark, a download) is answered 503.
//
// The log is copied into the database in two steps, since a copy syncs the
// disk and holds up the commits meanwhile: once it has CheckpointFrames
// frames, the reader thread copies them while the writer goes on; then the
// writer copies only the few frames committed during that, which lets the
// next commit start the log from the beginning again.

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "server/http_server.h"
#include "server/records_store.h"
#include "server/replay_check.h"
#include "server/web_files.h"

class RecordsService {
public:
    using Clock = std::chrono::steady_clock;

    static constexpr std::chrono::milliseconds PageMaxAge{1000};
    static constexpr std::chrono::milliseconds PageWaitMost{1000};
    static constexpr std::chrono::milliseconds StoreWaitMost{5000};
    // A replay not taken by the verifier by then (the database stalls under
    // its look-ups) is answered 503.
    static constexpr std::chrono::milliseconds ReplayWaitMost{10000};
    // The log's length in 4 KB pages that starts a copy, as SQLite's own;
    // at LogFramesMost the writer copies whatever the reader has done.
    static constexpr int CheckpointFrames = 1000;
    static constexpr int LogFramesMost = 8 * CheckpointFrames;
    // Replays waiting for the verifier (beside the one being checked), of
    // all clients and of one.
    static constexpr std::size_t MaxWaitingReplays = 32;
    static constexpr std::size_t MaxWaitingReplaysOfOne = 4;

    // The body bytes a request may carry: a replay's, else none. For
    // HttpSettings::BodyLimit.
    static std::size_t BodyLimit(const HttpRequest& head);

    // Opens the database twice (writing, reading): an SQLite file or a
    // PostgreSQL URI (OpenRecordsStore); StoreError when it cannot be used.
    // Replays kept before games had keys are given theirs. log: the lines
    // the threads write (a failed commit), one each. web: the web edition's
    // files, served beside the pages.
    explicit RecordsService(const std::string& database, std::function<void(const std::string& line)> log = {},
                            WebFiles web = {});
    ~RecordsService();
    RecordsService(const RecordsService&) = delete;
    RecordsService& operator=(const RecordsService&) = delete;

    // Where deferred answers go; before the first request.
    void AnswerThrough(HttpServer& server) { Server = &server; }

    // On the server's thread: an answer now, or nothing when the publish
    // is answered once it is stored.
    std::optional<HttpResponse> Handle(const HttpRequest& request, std::uint64_t token);

    // On the server's thread, every tick (HttpSettings::OnTick): answers
    // what has waited for the database too long.
    void Expire();

private:
    struct Job {
        std::uint64_t Token;
        Publish Data;
        Clock::time_point Due;
    };
    struct ReplayJob {
        std::uint64_t Token;
        ReplayClaim Claim;
        std::string File;
        Clock::time_point Due;
    };
    // A replay that played to its score, for the writer.
    struct VerifyJob {
        std::uint64_t Token;
        Verification Data;
        std::string Answer;                    // the answer's text when stored
        std::chrono::duration<double> Check;   // what the log shows
        Clock::time_point Due;
    };
    struct DownloadJob {
        std::uint64_t Token;
        std::int64_t Id;
        Clock::time_point Due;
    };
    // Both views of the results, rendered together.
    struct Pages {
        std::string Results;
        std::string Verified;
    };
    std::optional<HttpResponse> HandleReplay(const HttpRequest& request, std::uint64_t token);
    std::optional<HttpResponse> HandlePage(bool verifiedOnly, std::uint64_t token);
    void WriteGroups();
    void VerifyReplays();
    // Under Lock: the next client's next replay, or nothing.
    std::optional<ReplayJob> NextReplay();
    void Verify(ReplayJob& job);
    void RenderPages();
    std::shared_ptr<const Pages> ReadPages();
    void Download(const DownloadJob& job);
    void KeyOldReplays();
    // After a commit, under Lock: whether the writer copies the log now.
    bool NextCheckpointStep();
    void CopyLog(RecordsStore& store);
    void Report(const StoreError& error);
    void Write(const std::string& line) const;

    std::function<void(const std::string& line)> Log;
    const WebFiles Web;   // before Page: the marks link to what it serves
    std::unique_ptr<RecordsStore> WriterStore, ReaderStore;
    RecordsStore& Writer;
    RecordsStore& Reader;
    HttpServer* Server = nullptr;

    std::mutex Lock;
    std::condition_variable WriterWork, ReaderWork, VerifierWork;
    std::vector<Job> Waiting;
    std::vector<VerifyJob> WaitingMarks;
    // The writer's group being stored: tokens and when they are due.
    std::vector<std::pair<std::uint64_t, Clock::time_point>> Storing;
    // Replays by client, and the clients in the order of their turns.
    std::map<std::string, std::deque<ReplayJob>> ReplaysOf;
    std::deque<std::string> ReplayTurns;
    std::size_t ReplaysWaiting = 0;
    // The replay being checked (0: none), and when it is due.
    std::uint64_t Checking = 0;
    Clock::time_point CheckingDue;
    std::vector<DownloadJob> WaitingDownloads;
    std::vector<DownloadJob> Downloading;
    bool PageWanted = false;
    // The reader's step of the copy.
    enum class Copy { None, Wanted, Running, Done } ReaderCopy = Copy::None;
    bool Stopping = false;
    bool VerifierStopping = false;
    // Commits by the writer so far, and how many of them the page shows.
    std::uint64_t Commits = 0;
    std::uint64_t PageCommits = 0;
    struct PageJob {
        std::uint64_t Token;
        std::uint64_t Commits;   // the commits its answer must show
        bool VerifiedOnly;
        Clock::time_point Due;
    };
    std::vector<PageJob> PageWaiting;
    std::shared_ptr<const Pages> Page;
    // When the page was last rendered (or tried).
    Clock::time_point PageReadAt;
    // When the rendering under way began.
    std::optional<Clock::time_point> RenderingSince;

    std::thread WriterThread;
    std::thread ReaderThread;
    std::thread VerifierThread;
};
