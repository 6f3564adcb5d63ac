// A PostgreSQL server that stops answering (SIGSTOP of its processes) under
// publishing: pages keep coming within a second, publishes and replays are
// answered in bounded time, and nothing acknowledged is lost.

#include <gtest/gtest.h>

#include <signal.h>

#include <atomic>
#include <mutex>
#include <set>
#include <thread>

#include "games.h"
#include "server/records_service.h"
#include "server/records_store.h"
#include "server_process.h"
#include "support/postgres_cluster.h"

using namespace records_server_test;

namespace {

// The database's processes stopped until destroyed.
class Stalled {
public:
    explicit Stalled(const PostgresCluster& cluster) : Pids(cluster.Processes())
    {
        for (pid_t pid : Pids)
            ::kill(pid, SIGSTOP);
    }
    ~Stalled()
    {
        for (pid_t pid : Pids)
            ::kill(pid, SIGCONT);
    }

private:
    std::vector<pid_t> Pids;
};

using Clock = std::chrono::steady_clock;

TEST(StalledDatabase, PagesComeAtOnceAndEveryPublishIsAnsweredInBoundedTime)
{
    PostgresCluster& cluster = PostgresCluster::Shared();
    const std::string database = cluster.CreateDatabase();
    RecordsServerProcess server(database);
    const Replay game = PlayerGame(2, 20, "Ann");
    ASSERT_EQ(LoopbackGet(server.Port(), "/datas/html/add.php?name=Ann&self=" + std::to_string(game.Result.Score) +
                                             "&autopilot=-")
                  .Status,
              200);

    std::mutex lock;
    std::set<std::string> acknowledged;
    std::map<int, int> statuses;
    Clock::duration slowestPublish{}, slowestPage{};
    int waitedPages = 0;
    std::atomic<bool> stop = false;
    std::vector<std::thread> publishers;
    const StopAndJoin join{stop, publishers};
    for (int t = 0; t < 4; ++t)
        publishers.emplace_back([&, t] {
            for (int n = 0; !stop; ++n) {
                const std::string name = "S" + std::to_string(t) + "n" + std::to_string(n);
                const auto start = Clock::now();
                const int status =
                    LoopbackGet(server.Port(), "/datas/html/add.php?name=" + name + "&self=1&autopilot=-", 20s).Status;
                std::lock_guard guard(lock);
                slowestPublish = std::max(slowestPublish, Clock::now() - start);
                ++statuses[status];
                if (status == 200)
                    acknowledged.insert(name);
            }
        });
    std::this_thread::sleep_for(300ms);
    int replayStatus = 0;
    Clock::duration replayTook{};
    {
        const Stalled stalled(cluster);
        publishers.emplace_back([&] {
            const auto start = Clock::now();
            replayStatus =
                LoopbackPost(server.Port(), "/datas/html/replay.php?publisher=Ann", WriteReplay(game), 20s).Status;
            replayTook = Clock::now() - start;
        });
        for (const auto end = Clock::now() + 7s; Clock::now() < end; std::this_thread::sleep_for(200ms)) {
            const auto start = Clock::now();
            EXPECT_EQ(LoopbackGet(server.Port(), "/view.php?v=results", 5s).Status, 200);
            slowestPage = std::max(slowestPage, Clock::now() - start);
            waitedPages += Clock::now() - start > RecordsService::PageWaitMost / 2 ? 1 : 0;
        }
    }
    std::this_thread::sleep_for(2s);
    stop = true;
    for (std::thread& publisher : publishers)
        publisher.join();
    EXPECT_TRUE(replayStatus == 200 || replayStatus == 503) << replayStatus;
    EXPECT_LT(replayTook, RecordsService::ReplayWaitMost + 1s);

    EXPECT_LT(slowestPage, RecordsService::PageWaitMost + 500ms);
    EXPECT_LE(waitedPages, 2) << "once the rendering is stuck, pages come as last rendered";
    EXPECT_LT(slowestPublish, RecordsService::StoreWaitMost + 1500ms);
    EXPECT_GT(statuses[503], 0) << "publishes during the stall";
    EXPECT_GT(statuses[200], 0);
    for (const auto& [status, count] : statuses)
        EXPECT_TRUE(status == 200 || status == 503) << count << " publishes answered " << status;
    std::set<std::string> stored;
    for (const HumanResult& row : OpenRecordsStore(database)->BestPlayers(1 << 20))
        stored.insert(row.Name);
    for (const std::string& name : acknowledged)
        EXPECT_TRUE(stored.count(name)) << name << " acknowledged, lost";
}

}  // namespace
