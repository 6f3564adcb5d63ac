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

// A page, with the policy that lets nothing but its own style apply.
HttpResponse PageReply(std::string body)
{
    HttpResponse response = Reply(200, std::move(body), HtmlType);
    response.Headers.emplace_back("Content-Security-Policy", PagePolicy());
    response.Headers.emplace_back("X-Content-Type-Options", "nosniff");
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

HttpResponse Busy(const char* text)
{
    HttpResponse busy = Reply(503, text);
    busy.Headers.emplace_back("Retry-After", "5");
    return busy;
}

constexpr const char* NotAnswering = "The records are not answering; try again later.\n";
constexpr const char* NoMatch = "No published score matches this replay.";

// Takes the tokens of the jobs due by now out of jobs.
template <class Jobs>
void TakeDue(Jobs& jobs, RecordsService::Clock::time_point now, std::vector<std::uint64_t>& tokens)
{
    const auto due = std::stable_partition(jobs.begin(), jobs.end(), [&](const auto& job) { return job.Due > now; });
    for (auto job = due; job != jobs.end(); ++job)
        tokens.push_back(job->Token);
    jobs.erase(due, jobs.end());
}

}  // namespace

RecordsService::RecordsService(const std::string& database, std::function<void(const std::string& line)> log,
                               WebFiles web)
    : Log(std::move(log)), Web(std::move(web)), WriterStore(OpenRecordsStore(database)), ReaderStore(OpenRecordsStore(database)),
      Writer(*WriterStore), Reader(*ReaderStore), Page(ReadPages()), PageReadAt(Clock::now())
{
    KeyOldReplays();
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

void RecordsService::Write(const std::string& line) const
{
    if (Log)
        Log(line);
}

void RecordsService::KeyOldReplays()
{
    for (const auto& [id, file] : Writer.ReplaysWithoutGame()) {
        std::string why;
        try {
            if (Writer.SetReplayGame(id, GameKey(PlayReplay(ReadReplay(file)).Identity)))
                continue;
            why = "the same game as a replay kept before it: it verifies nothing more";
        } catch (const ReplayError& error) {
            why = error.what();
        }
        Write("vantorix2-records: replay " + std::to_string(id) + ": " + EscapeForLog(why));
    }
}

std::size_t RecordsService::BodyLimit(const HttpRequest& head)
{
    return head.Method == "POST" && head.Path() == ReplayPath ? ReplayBodyLimit : 0;
}

std::shared_ptr<const RecordsService::Pages> RecordsService::ReadPages()
{
    const MarkLinks links = Web.Has(WatchPage) ? MarkLinks::WatchAndDownload : MarkLinks::Download;
    return std::make_shared<const Pages>(
        Pages{RenderResultsPage(Reader.BestPlayers(PageRows), Reader.BestAutopilot(PageRows), ResultsView::All, links),
              RenderResultsPage(Reader.BestVerifiedPlayers(PageRows), Reader.BestVerifiedAutopilot(PageRows),
                                ResultsView::Verified, links)});
}

std::optional<HttpResponse> RecordsService::Handle(const HttpRequest& request, std::uint64_t token)
{
    const std::string_view path = request.Path();
    const bool get = request.Method == "GET", head = request.Method == "HEAD";
    if (path == "/") {
        if (!get && !head)
            return NotAllowed("GET, HEAD");
        return PageReply(RenderFrontPage());
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
    // Looked up, never opened: only what was read at the start is served.
    if (const WebFile* file = Web.Find(path)) {
        if (!get && !head)
            return NotAllowed("GET, HEAD");
        return AnswerWebFile(*file, request);
    }
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
            Waiting.push_back({token, std::move(*parse.Accepted), Clock::now() + StoreWaitMost});
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
    const Clock::time_point now = Clock::now();
    // A rendering stuck on the database is not waited for again.
    const bool stuck = RenderingSince && now - *RenderingSince > PageWaitMost;
    if (PageCommits < Commits && !stuck) {
        PageWaiting.push_back({token, Commits, verifiedOnly, now + PageWaitMost});
        PageWanted = true;
        ReaderWork.notify_one();
        return std::nullopt;
    }
    if (now - PageReadAt > PageMaxAge && !PageWanted) {
        // Served as it is; the reader brings it up to date meanwhile.
        PageWanted = true;
        ReaderWork.notify_one();
    }
    return PageReply(verifiedOnly ? Page->Verified : Page->Results);
}

std::optional<HttpResponse> RecordsService::HandleReplay(const HttpRequest& request, std::uint64_t token)
{
    const Clock::time_point now = Clock::now();
    if (request.Method == "GET") {
        const std::optional<std::int64_t> id = ParseReplayId(request.Query());
        if (!id)
            return NotFound();
        std::lock_guard lock(Lock);
        WaitingDownloads.push_back({token, *id, now + StoreWaitMost});
        ReaderWork.notify_one();
        return std::nullopt;
    }
    if (request.Method != "POST")
        return NotAllowed("GET, POST");
    ReplayQuery query = ParseReplayQuery(request.Query());
    if (!query.Publisher)
        return Reply(400, "Refused: " + query.Refusal + "\n");
    // What is refused without playing is refused here, at once.
    ReplayClaim claim = ReadReplayClaim(request.Body, *query.Publisher);
    if (claim.Status != 0)
        return Reply(claim.Status, "Refused: " + claim.Refusal + "\n");
    {
        std::lock_guard lock(Lock);
        std::deque<ReplayJob>& mine = ReplaysOf[request.Client];
        if (ReplaysWaiting >= MaxWaitingReplays || mine.size() >= MaxWaitingReplaysOfOne) {
            if (mine.empty())
                ReplaysOf.erase(request.Client);
            return Busy("Too many replays are being checked; try again later.\n");
        }
        if (mine.empty())
            ReplayTurns.push_back(request.Client);
        mine.push_back({token, std::move(claim), request.Body, now + ReplayWaitMost});
        ++ReplaysWaiting;
    }
    VerifierWork.notify_one();
    return std::nullopt;
}

std::optional<RecordsService::ReplayJob> RecordsService::NextReplay()
{
    if (ReplayTurns.empty())
        return std::nullopt;
    const std::string client = std::move(ReplayTurns.front());
    ReplayTurns.pop_front();
    const auto found = ReplaysOf.find(client);
    ReplayJob job = std::move(found->second.front());
    found->second.pop_front();
    --ReplaysWaiting;
    // Its next one waits for the other clients' turns.
    if (found->second.empty())
        ReplaysOf.erase(found);
    else
        ReplayTurns.push_back(client);
    return job;
}

void RecordsService::VerifyReplays()
{
    for (;;) {
        std::optional<ReplayJob> job;
        {
            std::unique_lock lock(Lock);
            VerifierWork.wait(lock, [&] { return VerifierStopping || !ReplayTurns.empty(); });
            if (VerifierStopping)
                return;   // nobody waits for the answers any more
            job = NextReplay();
            Checking = job->Token;
            CheckingDue = job->Due;
        }
        Verify(*job);
        std::lock_guard lock(Lock);
        Checking = 0;
    }
}

void RecordsService::Verify(ReplayJob& job)
{
    const Clock::time_point start = Clock::now();
    const ReplayClaim& claim = job.Claim;
    const auto answer = [&](HttpResponse response) {
        response.LogTime = Clock::now() - start;
        Server->Complete(job.Token, std::move(response));
    };
    // A replay of a result nobody published costs no check.
    try {
        if (!Reader.HasResult(claim.Kind, claim.Name, claim.Game->Result.Score))
            return answer(NotFound(NoMatch));
    } catch (const StoreError& error) {
        Report(error);
        return answer(Busy(NotAnswering));
    }
    ReplayCheck check;
    try {
        // The check's time is its own, whatever the look-up took.
        check = CheckReplay(claim, job.File, Clock::now());
    } catch (const std::exception& error) {
        // A fault of ours, not of the file: said so, and the verifier goes on.
        Write("vantorix2-records: checking a replay: " + EscapeForLog(error.what()));
        check.Status = 500;
        check.Refusal = "could not check the replay";
    }
    if (!check.Verified)
        return answer(Reply(check.Status, "Refused: " + check.Refusal + "\n"));
    bool first = false;
    {
        std::lock_guard lock(Lock);
        first = Waiting.empty() && WaitingMarks.empty();
        WaitingMarks.push_back({job.Token, std::move(*check.Verified), DescribeVerified(claim),
                                Clock::now() - start, Clock::now() + StoreWaitMost});
    }
    if (first)
        WriterWork.notify_one();
}

void RecordsService::Expire()
{
    const Clock::time_point now = Clock::now();
    std::vector<std::uint64_t> busy;
    std::vector<PageJob> pages;
    std::shared_ptr<const Pages> page;
    {
        std::lock_guard lock(Lock);
        TakeDue(Waiting, now, busy);
        TakeDue(WaitingMarks, now, busy);
        TakeDue(WaitingDownloads, now, busy);
        TakeDue(Downloading, now, busy);
        // The writer's group stays in its hands: it may yet commit, but its
        // answer is given now.
        const auto stored = std::stable_partition(Storing.begin(), Storing.end(),
                                                  [&](const auto& job) { return job.second > now; });
        for (auto job = stored; job != Storing.end(); ++job)
            busy.push_back(job->first);
        Storing.erase(stored, Storing.end());
        if (Checking != 0 && CheckingDue <= now) {
            busy.push_back(Checking);
            Checking = 0;
        }
        for (auto turn = ReplayTurns.begin(); turn != ReplayTurns.end();) {
            std::deque<ReplayJob>& mine = ReplaysOf[*turn];
            const std::size_t before = mine.size();
            TakeDue(mine, now, busy);
            ReplaysWaiting -= before - mine.size();
            if (!mine.empty()) {
                ++turn;
                continue;
            }
            ReplaysOf.erase(*turn);
            turn = ReplayTurns.erase(turn);
        }
        // A page waits no longer for a rendering that does not come.
        const auto late = std::stable_partition(PageWaiting.begin(), PageWaiting.end(),
                                                [&](const PageJob& job) { return job.Due > now; });
        pages.assign(late, PageWaiting.end());
        PageWaiting.erase(late, PageWaiting.end());
        page = Page;
    }
    for (const std::uint64_t token : busy)
        Server->Complete(token, Busy(NotAnswering));
    for (const PageJob& job : pages)
        Server->Complete(job.Token, PageReply(job.VerifiedOnly ? page->Verified : page->Results));
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
            for (const Job& job : group)
                Storing.emplace_back(job.Token, job.Due);
            for (const VerifyJob& job : marks)
                Storing.emplace_back(job.Token, job.Due);
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
                Storing.clear();
            }
            for (const Job& job : group)
                Server->Complete(job.Token, Reply(200, DescribePublish(job.Data)));
            for (std::size_t k = 0; k < marks.size(); ++k) {
                HttpResponse answer = outcomes[k] == VerifyOutcome::NoMatch ? NotFound(NoMatch)
                                      : outcomes[k] == VerifyOutcome::TakenByAnother
                                          ? Reply(409, "Refused: this game has verified another result; it verifies "
                                                       "no more.\n")
                                          : Reply(200, marks[k].Answer);
                answer.LogTime = marks[k].Check;
                Server->Complete(marks[k].Token, std::move(answer));
            }
        } catch (const StoreError& error) {
            Report(error);
            {
                std::lock_guard lock(Lock);
                Storing.clear();
            }
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
    Write("vantorix2-records: " + EscapeForLog(error.what()));
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
            Downloading = downloads;
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
        {
            std::lock_guard lock(Lock);
            Downloading.clear();
        }
        if (copy) {
            CopyLog(Reader);
            std::lock_guard lock(Lock);
            ReaderCopy = Copy::Done;
            continue;
        }
        if (!render)
            continue;
        const Clock::time_point readAt = Clock::now();
        {
            std::lock_guard lock(Lock);
            RenderingSince = readAt;
        }
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
            RenderingSince.reset();
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
            Server->Complete(job.Token, PageReply(job.VerifiedOnly ? page->Verified : page->Results));
        answered.clear();
    }
}
