#pragma once
// One GET of an address, answering whether the server took it: true
// exactly for the status 200 or 302. The status is read, the body is not.

#include <string>
#include <string_view>

struct CheckUrlLimits {
    long ConnectMilliseconds = 5000;
    long TotalMilliseconds = 10000;
    // A PEM file of the certificates an https:// server is verified with,
    // e.g. a private server's own; empty: the system's.
    std::string TrustedCertificates;
};

inline constexpr const char* CheckUrlAgent = "InetURL:/1.0";

// An http:// or https:// address; one without a scheme is http://. Blocks
// the calling thread for at most the total limit. Redirects are not
// followed and no cache answers; no network, a refused connection, a
// timeout, a certificate that does not verify or any other status is false.
bool CheckUrl(std::string address, const CheckUrlLimits& limits = {});

// One POST of body to an http:// or https:// address, within the same limits; the
// status, or 0 when no answer came. The answer's body is not read.
long PostBody(const std::string& address, std::string_view body, const char* contentType,
              const CheckUrlLimits& limits = {});
