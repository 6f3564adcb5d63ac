#include "check_url.h"

#include <curl/curl.h>
#include <dlfcn.h>

#include <algorithm>
#include <cctype>
#include <memory>

namespace {

// Any body byte ends the transfer: the status is all that is wanted.
std::size_t RefuseBody(char*, std::size_t, std::size_t, void*)
{
    return 0;
}

// "scheme://" in front, as RFC 3986 spells a scheme; any other than http
// and https is then refused by libcurl, not read as a host name.
bool HasScheme(const std::string& address)
{
    const std::size_t end = address.find("://");
    if (end == std::string::npos || end == 0 || !std::isalpha(static_cast<unsigned char>(address[0])))
        return false;
    return std::all_of(address.begin(), address.begin() + std::ptrdiff_t(end), [](unsigned char c) {
        return std::isalnum(c) || c == '+' || c == '-' || c == '.';
    });
}

// libcurl, loaded at the first publish: the game does not load it, and the
// TLS, directory and streaming libraries it brings, when it starts.
class Curl {
public:
    static const Curl* Get()
    {
        static const Curl curl;
        return curl.Library ? &curl : nullptr;
    }

    CURL* (*easy_init)();
    void (*easy_cleanup)(CURL*);
    CURLcode (*easy_setopt)(CURL*, CURLoption, ...);
    CURLcode (*easy_perform)(CURL*);
    CURLcode (*easy_getinfo)(CURL*, CURLINFO, ...);
    curl_slist* (*slist_append)(curl_slist*, const char*);
    void (*slist_free_all)(curl_slist*);

private:
    Curl() : Library(::dlopen("libcurl.so.4", RTLD_NOW | RTLD_LOCAL))
    {
        const bool found = Find(easy_init, "curl_easy_init") && Find(easy_cleanup, "curl_easy_cleanup") &&
                           Find(easy_setopt, "curl_easy_setopt") && Find(easy_perform, "curl_easy_perform") &&
                           Find(easy_getinfo, "curl_easy_getinfo") && Find(slist_append, "curl_slist_append") &&
                           Find(slist_free_all, "curl_slist_free_all") && Find(global_init, "curl_global_init") &&
                           Find(global_cleanup, "curl_global_cleanup");
        if (!found || global_init(CURL_GLOBAL_DEFAULT) != CURLE_OK) {
            if (Library)
                ::dlclose(Library);
            Library = nullptr;
        }
    }
    ~Curl()
    {
        if (Library)
            global_cleanup();
    }
    template <typename Function>
    bool Find(Function& function, const char* name)
    {
        function = Library ? reinterpret_cast<Function>(::dlsym(Library, name)) : nullptr;
        return function != nullptr;
    }

    void* Library;
    CURLcode (*global_init)(long) = nullptr;
    void (*global_cleanup)() = nullptr;
};

// The options both requests share; the status of a complete header, or 0 when none came.
long Perform(const Curl* curl, CURL* handle, const std::string& address, curl_slist* headers,
             const CheckUrlLimits& limits)
{
    curl->easy_setopt(handle, CURLOPT_URL, address.c_str());
    curl->easy_setopt(handle, CURLOPT_PROTOCOLS_STR, "http,https");
    if (!limits.TrustedCertificates.empty())
        curl->easy_setopt(handle, CURLOPT_CAINFO, limits.TrustedCertificates.c_str());
    curl->easy_setopt(handle, CURLOPT_USERAGENT, CheckUrlAgent);
    curl->easy_setopt(handle, CURLOPT_HTTPHEADER, headers);
    curl->easy_setopt(handle, CURLOPT_FOLLOWLOCATION, 0L);
    curl->easy_setopt(handle, CURLOPT_CONNECTTIMEOUT_MS, limits.ConnectMilliseconds);
    curl->easy_setopt(handle, CURLOPT_TIMEOUT_MS, limits.TotalMilliseconds);
    curl->easy_setopt(handle, CURLOPT_NOSIGNAL, 1L);
    curl->easy_setopt(handle, CURLOPT_WRITEFUNCTION, RefuseBody);
    const CURLcode result = curl->easy_perform(handle);
    long status = 0;
    curl->easy_getinfo(handle, CURLINFO_RESPONSE_CODE, &status);
    // A refused body still leaves the status of a complete header.
    return result == CURLE_OK || result == CURLE_WRITE_ERROR ? status : 0;
}

}  // namespace

long PostBody(const std::string& address, std::string_view body, const char* contentType,
              const CheckUrlLimits& limits)
{
    const Curl* curl = Curl::Get();
    if (!curl)
        return 0;
    const std::unique_ptr<CURL, void (*)(CURL*)> easy(curl->easy_init(), curl->easy_cleanup);
    if (!easy)
        return 0;
    const std::string type = std::string("Content-Type: ") + contentType;
    // No "Expect: 100-continue": the body is small and the server answers once.
    curl_slist* headers = curl->slist_append(nullptr, type.c_str());
    headers = curl->slist_append(headers, "Expect:");
    const std::unique_ptr<curl_slist, void (*)(curl_slist*)> headerList(headers, curl->slist_free_all);
    curl->easy_setopt(easy.get(), CURLOPT_POST, 1L);
    curl->easy_setopt(easy.get(), CURLOPT_POSTFIELDS, body.data());
    curl->easy_setopt(easy.get(), CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(body.size()));
    return Perform(curl, easy.get(), address, headers, limits);
}

bool CheckUrl(std::string address, const CheckUrlLimits& limits)
{
    const Curl* curl = Curl::Get();
    if (!curl)
        return false;   // no libcurl here: as good as no network
    if (!HasScheme(address))
        address = "http://" + address;

    const std::unique_ptr<CURL, void (*)(CURL*)> easy(curl->easy_init(), curl->easy_cleanup);
    if (!easy)
        return false;
    curl_slist* headers = curl->slist_append(nullptr, "Cache-Control: no-cache");
    headers = curl->slist_append(headers, "Pragma: no-cache");
    const std::unique_ptr<curl_slist, void (*)(curl_slist*)> headerList(headers, curl->slist_free_all);
    curl->easy_setopt(easy.get(), CURLOPT_HTTPGET, 1L);
    const long status = Perform(curl, easy.get(), address, headers, limits);
    return status == 200 || status == 302;
}
