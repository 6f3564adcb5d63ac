#include "records_http.h"

#include <unistd.h>

#include <chrono>
#include <ctime>

#include "server/publish_request.h"
#include "server/records_page.h"

namespace {

using Clock = std::chrono::steady_clock;

// A worker thread handles one request at a time; the logger runs on the
// same thread after the answer is written.
thread_local Clock::time_point RequestStart;

constexpr std::size_t WorkerThreads = 32;

constexpr const char* TextType = "text/plain; charset=utf-8";
constexpr const char* HtmlType = "text/html; charset=utf-8";

std::string UtcNow()
{
    const auto now = std::chrono::system_clock::now();
    const std::time_t seconds = std::chrono::system_clock::to_time_t(now);
    const auto millis =
        std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count() % 1000;
    std::tm utc{};
    gmtime_r(&seconds, &utc);
    char text[40];
    std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%S", &utc);
    char withMillis[48];
    std::snprintf(withMillis, sizeof withMillis, "%s.%03dZ", text, int(millis));
    return withMillis;
}

// Request targets come from the network: no control bytes reach the log.
std::string Printable(std::string_view text)
{
    std::string line(text.substr(0, 2048));
    for (char& ch : line)
        if (static_cast<unsigned char>(ch) < 0x20 || ch == 0x7F)
            ch = '?';
    return line;
}

void LogRequest(const httplib::Request& request, const httplib::Response& response)
{
    std::string elapsed = "-";
    if (RequestStart != Clock::time_point()) {
        const double ms = std::chrono::duration<double, std::milli>(Clock::now() - RequestStart).count();
        char text[32];
        std::snprintf(text, sizeof text, "%.3fms", ms);
        elapsed = text;
        RequestStart = {};
    }
    LogLine(UtcNow() + " " + Printable(request.method) + " " + Printable(request.target) + " " +
            std::to_string(response.status) + " " + elapsed);
}

std::string RawQuery(const httplib::Request& request)
{
    const std::size_t mark = request.target.find('?');
    return mark == std::string::npos ? std::string() : request.target.substr(mark + 1);
}

// Routes are regular expressions: "/view.php" would also take "/viewXphp".
std::string LiteralPattern(std::string_view path)
{
    std::string pattern;
    for (char ch : path) {
        if (std::string_view(".^$|()[]{}*+?\\").find(ch) != std::string_view::npos)
            pattern += '\\';
        pattern += ch;
    }
    return pattern;
}

void Answer(httplib::Response& response, int status, const std::string& body, const char* type)
{
    response.status = status;
    response.set_header("Cache-Control", "no-store");
    response.set_content(body, type);
}

}  // namespace

void LogLine(std::string line)
{
    line += '\n';
    const char* data = line.data();
    std::size_t left = line.size();
    while (left > 0) {
        const ssize_t written = ::write(STDERR_FILENO, data, left);
        if (written <= 0)
            return;  // nobody reads the log any more; serving goes on
        data += written;
        left -= std::size_t(written);
    }
}

void ConfigureRecordsServer(httplib::Server& server, RecordsStore& store)
{
    // The library's default is SO_REUSEPORT, which lets a second server
    // bind the same port and take part of the publishes; SO_REUSEADDR only
    // allows a restart while old connections linger.
    server.set_socket_options([](socket_t sock) {
        const int yes = 1;
        ::setsockopt(sock, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
    });
    // Nagle would hold the body behind the headers until the client's
    // delayed acknowledgement: 40 ms per keep-alive request.
    server.set_tcp_nodelay(true);
    server.set_keep_alive_max_count(1000);
    // An idle keep-alive connection (a browser showing the page) holds a
    // worker for the keep-alive timeout; the library's 8 workers would let
    // eight of them stall every publish. Idle threads cost nothing.
    server.new_task_queue = [] { return new httplib::ThreadPool(WorkerThreads); };

    server.set_pre_routing_handler([](const httplib::Request&, httplib::Response&) {
        RequestStart = Clock::now();
        return httplib::Server::HandlerResponse::Unhandled;
    });
    server.set_logger(LogRequest);

    server.Get("/", [](const httplib::Request&, httplib::Response& response) {
        Answer(response, 200, RenderFrontPage(), HtmlType);
    });

    server.Get(LiteralPattern(ResultsPath), [&store](const httplib::Request& request, httplib::Response& response) {
        if (request.get_param_value_count("v") != 1 || request.get_param_value("v") != "results") {
            Answer(response, 404, "Not found\n", TextType);
            return;
        }
        Answer(response, 200, RenderResultsPage(store.BestPlayers(PageRows), store.BestAutopilot(PageRows)), HtmlType);
    });

    server.Get(LiteralPattern(PublishPath), [&store](const httplib::Request& request, httplib::Response& response) {
        const PublishParse parse = ParsePublishQuery(RawQuery(request));
        if (!parse.Accepted) {
            Answer(response, 400, "Refused: " + parse.Refusal + "\n", TextType);
            return;
        }
        store.Add(*parse.Accepted);
        Answer(response, 200, DescribePublish(*parse.Accepted), TextType);
    });

    server.set_exception_handler([](const httplib::Request&, httplib::Response& response, std::exception_ptr error) {
        std::string what = "unknown error";
        try {
            std::rethrow_exception(error);
        } catch (const std::exception& e) {
            what = e.what();
        } catch (...) {
        }
        LogLine("vantorix2-records: " + Printable(what));
        Answer(response, 500, "Could not serve the request.\n", TextType);
    });

    // Only answers that have no text yet (404s of unknown paths, requests
    // the library refused) get one here.
    server.set_error_handler(httplib::Server::HandlerWithResponse([](const httplib::Request&,
                                                                     httplib::Response& response) {
        if (!response.body.empty())
            return httplib::Server::HandlerResponse::Unhandled;
        Answer(response, response.status,
               response.status == 404 ? std::string("Not found\n") : "Error " + std::to_string(response.status) + "\n",
               TextType);
        return httplib::Server::HandlerResponse::Handled;
    }));
}
