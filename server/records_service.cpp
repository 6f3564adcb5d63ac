#include "records_service.h"

#include <algorithm>

#include "server/publish_request.h"
#include "server/records_page.h"
#include "server/replay_check.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr const char* TextType = "text/plain; charset=utf-8";
constexpr const char* HtmlType = "text/html; charset=utf-8";
constexpr const char* ReplayType = "application/octet-stream";

HttpResponse Reply(int status, std::string body, const char* type = TextType)
{
    HttpResponse response;
    response.Status = status;
    response.ContentType = type;
    response.Body = std::move(body);
    response.Headers = {{"Cache-Control", "no-store"}};
    return response;
}

HttpResponse NotAllowed(const char* allowed)
{
    HttpResponse response = Reply(405, "Method not allowed\n");
    response.Headers.emplace_back("Allow", allowed);
    return response;
}

HttpResponse NotFound(std::string text = "Not found")
{
    return Reply(404, std::move(text) + "\n");
}

}  // namespace

RecordsService::RecordsService(const std::string& database)
    : WriterStore(OpenRecordsStore(database)), ReaderStore(OpenRecordsStore(database)), Writer(*WriterStore),
      Reader(*ReaderStore), Page(ReadPages()), PageReadAt(Clock::now())
{
    Writer.LeaveCheckpointsToCaller();
    WriterThread = std::thread([this] { WriteGroups(); });
    ReaderThread = std::thread([this] { RenderPages(); });
    VerifierThread = std::thread([this] { VerifyReplays(); });
}

RecordsService::~RecordsService()
{
    // The verifier first: what it has checked still goes to the writer.
    {
        std::lock_guard lock(Lock);
        VerifierStopping = true;
    }
    VerifierWork.notify_one();
    VerifierThread.join();
    {
        std::lock_guard lock(Lock);
        Stopping = true;
    }
    WriterWork.notify_one();
    ReaderWork.notify_one();
    WriterThread.join();
    ReaderThread.join();
}

std::size_t RecordsService::BodyLimit(const HttpRequest& head)
{
    return head.Method == "POST" && head.Path() == ReplayPath ? ReplayBodyLimit : 0;
}

std::shared_ptr<const RecordsService::Pages> RecordsService::ReadPages()
{
    return std::make_shared<const Pages>(
        Pages{RenderResultsPage(Reader.BestPlayers(PageRows), Reader.BestAutopilot(PageRows)),
              RenderResultsPage(Reader.BestVerifiedPlayers(PageRows), Reader.BestVerifiedAutopilot(PageRows),
                                ResultsView::Verified)});
}

std::optional<HttpResponse> RecordsService::Handle(const HttpRequest& request, std::uint64_t token)
{
    const std::string_view path = request.Path();
    const bool get = request.Method == "GET", head = request.Method == "HEAD";
    if (path == "/") {
        if (!get && !head)
            return NotAllowed("GET, HEAD");
        return Reply(200, RenderFrontPage(), HtmlType);
    }
    if (path == ResultsPath) {
        if (!get && !head)
            return NotAllowed("GET, HEAD");
        // Exactly one v, of a view there is.
        const QueryValue view = FindQueryValue(request.Query(), "v");
        const std::string asked = view.Value ? "v=" + *view.Value : std::string();
        if (asked != ResultsQuery && asked != VerifiedQuery)
            return NotFound();
        return HandlePage(asked == VerifiedQuery, token);
    }
    if (path == ReplayPath)
        return HandleReplay(request, token);
    if (path == PublishPath) {
        // A publish stores: only GET does, never HEAD.
        if (!get)
            return NotAllowed("GET");
        PublishParse parse = ParsePublishQuery(request.Query());
        if (!parse.Accepted)
            return Reply(400, "Refused: " + parse.Refusal + "\n");
        bool first = false;
        {
            std::lock_guard lock(Lock);
            first = Waiting.empty();
            Waiting.push_back({token, std::move(*parse.Accepted)});
        }
        // The writer sleeps only on an empty list.
        if (first)
            WriterWork.notify_one();
        return std::nullopt;
    }
    return NotFound();
}

std::optional<HttpResponse> RecordsService::HandlePage(bool verifiedOnly, std::uint64_t token)
{
    std::lock_guard lock(Lock);
    if (PageCommits < Commits) {
        PageWaiting.push_back({token, Commits, verifiedOnly});
        PageWanted = true;
        ReaderWork.notify_one();
        return std::nullopt;
    }
    if (Clock::now() - PageReadAt > PageMaxAge && !PageWanted) {
        // Served as it is; the reader brings it up to date meanwhile.
        PageWanted = true;
        ReaderWork.notify_one();
    }
    return Reply(200, verifiedOnly ? Page->Verified : Page->Results, HtmlType);
}

std::optional<HttpResponse> RecordsService::HandleReplay(const HttpRequest& request, std::uint64_t token)
{
    if (request.Method == "GET") {
        const std::optional<std::int64_t> id = ParseReplayId(request.Query());
        if (!id)
            return NotFound();
        std::lock_guard lock(Lock);
        WaitingDownloads.push_back({token, *id});
        ReaderWork.notify_one();
        return std::nullopt;
    }
    if (request.Method != "POST")
        return NotAllowed("GET, POST");
    ReplayQuery query = ParseReplayQuery(request.Query());
    if (!query.Publisher)
        return Reply(400, "Refused: " + query.Refusal + "\n");
    {
        std::lock_guard lock(Lock);
        if (WaitingReplays.size() >= MaxWaitingReplays) {
            HttpResponse busy = Reply(503, "Too many replays are being checked; try again later.\n");
            busy.Headers.emplace_back("Retry-After", "5");
            return busy;
        }
        WaitingReplays.push_back({token, std::move(*query.Publisher), request.Body});
    }
    VerifierWork.notify_one();
    return std::nullopt;
}

void RecordsService::VerifyReplays()
{
    for (;;) {
        ReplayJob job;
        {
            std::unique_lock lock(Lock);
            VerifierWork.wait(lock, [&] { return VerifierStopping || !WaitingReplays.empty(); });
            if (VerifierStopping)
                return;   // nobody waits for the answers any more
            job = std::move(WaitingReplays.front());
            WaitingReplays.pop_front();
        }
        const Clock::time_point start = Clock::now();
        ReplayCheck check;
        try {
            check = CheckReplay(job.File, job.Publisher, start);
        } catch (const std::exception& error) {
            // A fault of ours, not of the file: said so, and the verifier goes on.
            if (Log)
                Log("vantorix2-records: checking a replay: " + EscapeForLog(error.what()));
            check.Status = 500;
            check.Refusal = "could not check the replay";
        }
        const std::chrono::duration<double> took = Clock::now() - start;
        if (!check.Verified) {
            HttpResponse refused = Reply(check.Status, "Refused: " + check.Refusal + "\n");
            refused.LogTime = took;
            Server->Complete(job.Token, std::move(refused));
            continue;
        }
        bool first = false;
        {
            std::lock_guard lock(Lock);
            first = Waiting.empty() && WaitingMarks.empty();
            WaitingMarks.push_back({job.Token, std::move(*check.Verified), DescribeVerified(check), took});
        }
        if (first)
            WriterWork.notify_one();
    }
}

void RecordsService::WriteGroups()
{
    std::vector<Job> group;
    std::vector<VerifyJob> marks;
    std::vector<Publish> publishes;
    std::vector<Verification> verifications;
    for (;;) {
        bool copy = false;
        {
            std::unique_lock lock(Lock);
            WriterWork.wait(lock, [&] { return Stopping || !Waiting.empty() || !WaitingMarks.empty(); });
            if (Waiting.empty() && WaitingMarks.empty())
                return;   // stopping, nothing left to store
            group.swap(Waiting);
            marks.swap(WaitingMarks);
        }
        publishes.clear();
        for (const Job& job : group)
            publishes.push_back(job.Data);
        verifications.clear();
        for (VerifyJob& job : marks)
            verifications.push_back(std::move(job.Data));
        try {
            const std::vector<VerifyOutcome> outcomes = Writer.Write(publishes, verifications);
            {
                std::lock_guard lock(Lock);
                ++Commits;
                copy = NextCheckpointStep();
            }
            for (const Job& job : group)
                Server->Complete(job.Token, Reply(200, DescribePublish(job.Data)));
            for (std::size_t k = 0; k < marks.size(); ++k) {
                HttpResponse answer = outcomes[k] == VerifyOutcome::NoMatch
                                          ? NotFound("No published score matches this replay.")
                                          : Reply(200, marks[k].Answer);
                answer.LogTime = marks[k].Check;
                Server->Complete(marks[k].Token, std::move(answer));
            }
        } catch (const StoreError& error) {
            Report(error);
            for (const Job& job : group)
                Server->Complete(job.Token, Reply(500, "Could not store the publish.\n"));
            for (const VerifyJob& job : marks)
                Server->Complete(job.Token, Reply(500, "Could not store the verification.\n"));
        }
        group.clear();
        marks.clear();
        // After the answers: the copy holds up only the next group.
        if (copy) {
            CopyLog(Writer);
        }
    }
}

void RecordsService::Report(const StoreError& error)
{
    if (Log)
        Log("vantorix2-records: " + EscapeForLog(error.what()));
}

void RecordsService::CopyLog(RecordsStore& store)
{
    try {
        store.Checkpoint();
    } catch (const StoreError& error) {
        Report(error);   // the next copy tries again
    }
}

bool RecordsService::NextCheckpointStep()
{
    const int frames = Writer.LogFrames();
    if (frames < CheckpointFrames) {
        // The log started again (or never grew): nothing to finish.
        if (ReaderCopy == Copy::Done)
            ReaderCopy = Copy::None;
        return false;
    }
    switch (ReaderCopy) {
    case Copy::None:
        ReaderCopy = Copy::Wanted;
        ReaderWork.notify_one();
        return false;
    case Copy::Done:
        ReaderCopy = Copy::None;
        return true;
    case Copy::Wanted:
    case Copy::Running:
        // The reader is slow to it (pages first): the log stays bounded.
        return frames >= LogFramesMost;
    }
    return false;
}

void RecordsService::Download(const DownloadJob& job)
{
    std::optional<std::string> file;
    try {
        file = Reader.ReplayFile(job.Id);
    } catch (const StoreError& error) {
        Report(error);
        Server->Complete(job.Token, Reply(500, "Could not read the replay.\n"));
        return;
    }
    // Only a verified result's replay is kept, so any replay found is one.
    if (!file) {
        Server->Complete(job.Token, NotFound());
        return;
    }
    HttpResponse response = Reply(200, std::move(*file), ReplayType);
    response.Headers.emplace_back("Content-Disposition",
                                  "attachment; filename=\"vantorix2-" + std::to_string(job.Id) + ".vxr\"");
    Server->Complete(job.Token, std::move(response));
}

void RecordsService::RenderPages()
{
    std::vector<PageJob> answered;
    std::vector<DownloadJob> downloads;
    for (;;) {
        std::uint64_t commits = 0;
        bool copy = false, render = false;
        {
            std::unique_lock lock(Lock);
            ReaderWork.wait(lock, [&] {
                return Stopping || PageWanted || ReaderCopy == Copy::Wanted || !WaitingDownloads.empty();
            });
            if (Stopping)
                return;
            downloads.swap(WaitingDownloads);
            commits = Commits;
            render = PageWanted;
            // Pages and downloads first: someone is waiting for them.
            copy = !render && downloads.empty() && ReaderCopy == Copy::Wanted;
            if (copy)
                ReaderCopy = Copy::Running;
        }
        // Each one read by its key, before the pages.
        for (const DownloadJob& job : downloads)
            Download(job);
        downloads.clear();
        if (copy) {
            CopyLog(Reader);
            std::lock_guard lock(Lock);
            ReaderCopy = Copy::Done;
            continue;
        }
        if (!render)
            continue;
        const Clock::time_point readAt = Clock::now();
        std::shared_ptr<const Pages> page;
        try {
            page = ReadPages();
        } catch (const StoreError& error) {
            // Those waiting get the page as it was; the next request asks again, not every one.
            Report(error);
        }
        {
            std::lock_guard lock(Lock);
            if (page) {
                Page = std::move(page);
            }
            PageReadAt = readAt;
            PageCommits = std::max(PageCommits, commits);
            // Answered: whoever waited for no more commits than were read.
            const auto rest = std::partition(PageWaiting.begin(), PageWaiting.end(),
                                             [&](const PageJob& job) { return job.Commits > commits; });
            answered.assign(rest, PageWaiting.end());
            PageWaiting.erase(rest, PageWaiting.end());
            PageWanted = !PageWaiting.empty();
            page = Page;
        }
        for (const PageJob& job : answered)
            Server->Complete(job.Token, Reply(200, job.VerifiedOnly ? page->Verified : page->Results, HtmlType));
        answered.clear();
    }
}
