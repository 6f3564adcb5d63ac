#include "records_service.h"

#include <algorithm>

#include "server/publish_request.h"
#include "server/records_page.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr const char* TextType = "text/plain; charset=utf-8";
constexpr const char* HtmlType = "text/html; charset=utf-8";

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

// Whether the query holds key=value exactly once for this key, decoded.
bool HasOnly(std::string_view query, std::string_view key, std::string_view value)
{
    int found = 0;
    bool matches = false;
    while (!query.empty()) {
        const std::size_t amp = query.find('&');
        const std::string_view pair = query.substr(0, amp);
        const std::size_t equals = pair.find('=');
        const auto name = PercentDecode(pair.substr(0, equals));
        if (name && *name == key) {
            ++found;
            const auto given = PercentDecode(equals == std::string_view::npos ? "" : pair.substr(equals + 1));
            matches = given && *given == value;
        }
        query = amp == std::string_view::npos ? std::string_view() : query.substr(amp + 1);
    }
    return found == 1 && matches;
}

}  // namespace

RecordsService::RecordsService(const std::filesystem::path& database)
    : Writer(database), Reader(database),
      Page(std::make_shared<const std::string>(RenderResultsPage(Reader.BestPlayers(PageRows),
                                                                 Reader.BestAutopilot(PageRows)))),
      PageReadAt(Clock::now())
{
    Writer.LeaveCheckpointsToCaller();
    WriterThread = std::thread([this] { WriteGroups(); });
    ReaderThread = std::thread([this] { RenderPages(); });
}

RecordsService::~RecordsService()
{
    {
        std::lock_guard lock(Lock);
        Stopping = true;
    }
    WriterWork.notify_one();
    ReaderWork.notify_one();
    WriterThread.join();
    ReaderThread.join();
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
        if (!HasOnly(request.Query(), "v", "results"))
            return Reply(404, "Not found\n");
        std::lock_guard lock(Lock);
        if (PageCommits < Commits) {
            PageWaiting.push_back({token, Commits});
            PageWanted = true;
            ReaderWork.notify_one();
            return std::nullopt;
        }
        if (Clock::now() - PageReadAt > PageMaxAge && !PageWanted) {
            // Served as it is; the reader brings it up to date meanwhile.
            PageWanted = true;
            ReaderWork.notify_one();
        }
        return Reply(200, *Page, HtmlType);
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
            Waiting.push_back({token, std::move(*parse.Accepted)});
        }
        // The writer sleeps only on an empty list.
        if (first)
            WriterWork.notify_one();
        return std::nullopt;
    }
    return Reply(404, "Not found\n");
}

void RecordsService::WriteGroups()
{
    std::vector<Job> group;
    std::vector<Publish> publishes;
    for (;;) {
        bool copy = false;
        {
            std::unique_lock lock(Lock);
            WriterWork.wait(lock, [&] { return Stopping || !Waiting.empty(); });
            if (Waiting.empty())
                return;   // stopping, nothing left to store
            group.swap(Waiting);
        }
        publishes.clear();
        for (const Job& job : group)
            publishes.push_back(job.Data);
        try {
            Writer.AddAll(publishes);
            {
                std::lock_guard lock(Lock);
                ++Commits;
                copy = NextCheckpointStep();
            }
            for (const Job& job : group)
                Server->Complete(job.Token, Reply(200, DescribePublish(job.Data)));
        } catch (const StoreError& error) {
            Report(error);
            for (const Job& job : group)
                Server->Complete(job.Token, Reply(500, "Could not store the publish.\n"));
        }
        group.clear();
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

void RecordsService::RenderPages()
{
    std::vector<PageJob> answered;
    for (;;) {
        std::uint64_t commits = 0;
        bool copy = false;
        {
            std::unique_lock lock(Lock);
            ReaderWork.wait(lock, [&] { return Stopping || PageWanted || ReaderCopy == Copy::Wanted; });
            if (Stopping)
                return;
            commits = Commits;
            // Pages first: someone is waiting for them.
            copy = !PageWanted;
            if (copy)
                ReaderCopy = Copy::Running;
        }
        if (copy) {
            CopyLog(Reader);
            std::lock_guard lock(Lock);
            ReaderCopy = Copy::Done;
            continue;
        }
        const Clock::time_point readAt = Clock::now();
        std::shared_ptr<const std::string> page;
        try {
            page = std::make_shared<const std::string>(
                RenderResultsPage(Reader.BestPlayers(PageRows), Reader.BestAutopilot(PageRows)));
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
            Server->Complete(job.Token, Reply(200, *page, HtmlType));
        answered.clear();
    }
}
