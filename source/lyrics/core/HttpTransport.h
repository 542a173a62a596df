#pragma once
// One HTTP request through the libcurl loader, for the lyric services: GET or POST with a body
// and headers, a time limit for the whole transfer, and the answer's status and body.
// Blocks for up to the time limit: worker threads only.

#include <string>
#include <string_view>
#include <vector>

namespace lirvo::lyrics {

// The User-Agent of a desktop browser, which the Chinese services expect.
inline constexpr const char *kDesktopBrowserAgent =
    "Mozilla/5.0 (Windows NT 10.0; Win64; x64) AppleWebKit/537.36 (KHTML, like Gecko) "
    "Chrome/124.0.0.0 Safari/537.36";

struct THttpRequest {
    std::string Url;
    bool Post = false;
    std::string Body;                 // sent as is with a POST
    std::vector<std::string> Headers; // "Name: value"
    long TimeoutMs = 5000;            // the whole transfer
    long ConnectTimeoutMs = 0;        // the connection alone; 0: as TimeoutMs
    std::string UserAgent;            // "": a desktop browser's (kDesktopBrowserAgent)
};

struct THttpAnswer {
    long Status = 0;     // 0 when no answer came
    std::string Body;
    std::string Error;   // the transfer's failure; "" when an answer came
    bool TimedOut = false;

    bool Answered() const { return Error.empty(); }
    bool Ok() const { return Answered() && Status >= 200 && Status < 300; }
};

THttpAnswer HttpFetch(const THttpRequest &request);

// Percent-encoding of a query or form value (RFC 3986 unreserved bytes stay).
std::string UrlEncode(std::string_view text);

// The base address without trailing slashes.
std::string TrimBase(std::string_view base);


} // namespace lirvo::lyrics
