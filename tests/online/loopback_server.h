#pragma once
// Small HTTP servers on 127.0.0.1 for the client's tests: one that answers
// every request with a chosen status and keeps what it was sent, one that
// takes the connection and never answers, and a port nobody listens on.

#include <httplib.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <mutex>
#include <string>
#include <thread>

class AnsweringServer {
public:
    explicit AnsweringServer(int status, std::string body = "ok") : Status(status), Body(std::move(body))
    {
        Server.Get(".*", [this](const httplib::Request& request, httplib::Response& response) {
            {
                std::lock_guard lock(Mutex);
                LastTarget = request.target;
                LastAgent = request.get_header_value("User-Agent");
                LastCacheControl = request.get_header_value("Cache-Control");
                LastPragma = request.get_header_value("Pragma");
                ++Requests;
            }
            response.status = Status;
            if (Status == 302)
                response.set_header("Location", "/elsewhere");
            response.set_content(Body, "text/plain");
        });
        Port = Server.bind_to_any_port("127.0.0.1");
        Thread = std::thread([this] { Server.listen_after_bind(); });
    }
    ~AnsweringServer()
    {
        Server.stop();
        Thread.join();
    }
    std::string Address(const std::string& path = "/") const
    {
        return "http://127.0.0.1:" + std::to_string(Port) + path;
    }
    std::string Host() const { return "127.0.0.1:" + std::to_string(Port); }

    int Port = 0;
    std::mutex Mutex;
    std::string LastTarget, LastAgent, LastCacheControl, LastPragma;
    int Requests = 0;

private:
    int Status;
    std::string Body;
    httplib::Server Server;
    std::thread Thread;
};

// Accepts connections (the kernel does, from its backlog) and never answers.
class SilentServer {
public:
    SilentServer()
    {
        Socket = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        ::bind(Socket, reinterpret_cast<sockaddr*>(&address), sizeof address);
        ::listen(Socket, 4);
        socklen_t length = sizeof address;
        ::getsockname(Socket, reinterpret_cast<sockaddr*>(&address), &length);
        Port = ntohs(address.sin_port);
    }
    ~SilentServer() { ::close(Socket); }
    std::string Address() const { return "http://127.0.0.1:" + std::to_string(Port) + "/"; }
    int Port = 0;

private:
    int Socket = -1;
};

// A loopback port that was free a moment ago and is closed now.
inline int ClosedPort()
{
    const int s = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(s, reinterpret_cast<sockaddr*>(&address), sizeof address);
    socklen_t length = sizeof address;
    ::getsockname(s, reinterpret_cast<sockaddr*>(&address), &length);
    ::close(s);
    return ntohs(address.sin_port);
}
