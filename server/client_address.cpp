#include "client_address.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <algorithm>
#include <cstring>

namespace {

std::string Text(int family, const void* bytes)
{
    char text[INET6_ADDRSTRLEN] = {};
    return ::inet_ntop(family, bytes, text, sizeof text) ? std::string(text) : std::string("-");
}

std::string V6Text(const in6_addr& address)
{
    if (IN6_IS_ADDR_V4MAPPED(&address))
        return Text(AF_INET, address.s6_addr + 12);
    return Text(AF_INET6, &address);
}

}  // namespace

std::optional<std::string> CanonicalAddress(std::string_view text)
{
    text = TrimBlanks(text);
    if (text.size() >= 2 && text.front() == '[' && text.back() == ']')
        text = text.substr(1, text.size() - 2);
    if (text.empty() || text.size() >= INET6_ADDRSTRLEN)
        return std::nullopt;
    const std::string copy(text);
    in_addr v4{};
    if (::inet_pton(AF_INET, copy.c_str(), &v4) == 1)
        return Text(AF_INET, &v4);
    in6_addr v6{};
    if (::inet_pton(AF_INET6, copy.c_str(), &v6) == 1)
        return V6Text(v6);
    return std::nullopt;
}

std::string AddressText(const sockaddr* address)
{
    if (address && address->sa_family == AF_INET)
        return Text(AF_INET, &reinterpret_cast<const sockaddr_in*>(address)->sin_addr);
    if (address && address->sa_family == AF_INET6)
        return V6Text(reinterpret_cast<const sockaddr_in6*>(address)->sin6_addr);
    return "-";
}

std::string ClientAddress(const HttpRequest& request, const std::string& peer,
                          const std::vector<std::string>& trustedProxies)
{
    if (std::find(trustedProxies.begin(), trustedProxies.end(), peer) == trustedProxies.end())
        return peer;
    if (std::optional<std::string> real = CanonicalAddress(request.RealIp))
        return *real;
    const std::string_view forwarded = request.ForwardedFor;
    const std::size_t comma = forwarded.rfind(',');
    if (std::optional<std::string> last =
            CanonicalAddress(comma == std::string_view::npos ? forwarded : forwarded.substr(comma + 1)))
        return *last;
    return peer;
}
