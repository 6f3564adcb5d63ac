#pragma once
// Whom a request comes from: the peer's address, or, when the peer is a
// proxy the server was told to trust, the client that proxy names.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "server/http_request.h"

struct sockaddr;

// An IPv4 or IPv6 literal in its one canonical text (an IPv4 address
// mapped into IPv6 as IPv4); nothing for anything else.
std::optional<std::string> CanonicalAddress(std::string_view text);

// A socket address as text ("-" for none of the two families).
std::string AddressText(const sockaddr* address);

// The client of a request that came from peer: from a trusted proxy, its
// X-Real-IP, else the last address of its X-Forwarded-For (the one it
// added itself), when that is an address; otherwise the peer. Addresses
// are canonical (CanonicalAddress).
std::string ClientAddress(const HttpRequest& request, const std::string& peer,
                          const std::vector<std::string>& trustedProxies);
