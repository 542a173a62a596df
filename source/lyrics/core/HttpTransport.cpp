#include "lyrics/core/HttpTransport.h"

#include "function/system/CurlLibrary.h"

#include <algorithm>

namespace lirvo::lyrics {

namespace {

// Lyric answers are small; anything far larger is not an answer worth holding.
constexpr std::size_t kMaxAnswerBytes = 16 * 1024 * 1024;

std::size_t CollectBody(char *data, std::size_t size, std::size_t count, void *user) {
    auto *body = static_cast<std::string *>(user);
    const std::size_t bytes = size * count;
    if (body->size() + bytes > kMaxAnswerBytes)
        return 0; // aborts the transfer
    body->append(data, bytes);
    return bytes;
}

} // namespace

THttpAnswer HttpFetch(const THttpRequest &request) {
    THttpAnswer answer;
    const system::CurlApi *api = system::Curl();
    CURL *curl = api ? api->easyInit() : nullptr;
    if (!curl) {
        answer.Error = "cannot start a transfer";
        return answer;
    }
    curl_slist *headers = nullptr;
    for (const std::string &header : request.Headers)
        headers = api->slistAppend(headers, header.c_str());
    api->easySetopt(curl, CURLOPT_URL, request.Url.c_str());
    api->easySetopt(curl, CURLOPT_NOSIGNAL, 1L); // worker threads
    api->easySetopt(curl, CURLOPT_CONNECTTIMEOUT_MS,
                    request.ConnectTimeoutMs > 0 ? std::min(request.ConnectTimeoutMs, request.TimeoutMs)
                                                 : request.TimeoutMs);
    api->easySetopt(curl, CURLOPT_TIMEOUT_MS, request.TimeoutMs);
    api->easySetopt(curl, CURLOPT_FOLLOWLOCATION, 1L);
    api->easySetopt(curl, CURLOPT_MAXREDIRS, 5L);
    api->easySetopt(curl, CURLOPT_PROTOCOLS_STR, "http,https");
    api->easySetopt(curl, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
    api->easySetopt(curl, CURLOPT_ACCEPT_ENCODING, "");
    api->easySetopt(curl, CURLOPT_USERAGENT,
                    request.UserAgent.empty() ? kDesktopBrowserAgent : request.UserAgent.c_str());
    if (headers)
        api->easySetopt(curl, CURLOPT_HTTPHEADER, headers);
    if (request.Post) {
        api->easySetopt(curl, CURLOPT_POST, 1L);
        api->easySetopt(curl, CURLOPT_POSTFIELDS, request.Body.c_str());
        api->easySetopt(curl, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(request.Body.size()));
    }
    api->easySetopt(curl, CURLOPT_WRITEFUNCTION, &CollectBody);
    api->easySetopt(curl, CURLOPT_WRITEDATA, &answer.Body);
    const CURLcode code = api->easyPerform(curl);
    if (code != CURLE_OK) {
        answer.Error = api->easyStrerror(code);
        answer.TimedOut = code == CURLE_OPERATION_TIMEDOUT;
        answer.Body.clear();
    } else {
        api->easyGetinfo(curl, CURLINFO_RESPONSE_CODE, &answer.Status);
    }
    api->easyCleanup(curl);
    api->slistFreeAll(headers);
    return answer;
}

std::string UrlEncode(std::string_view text) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(text.size() * 3);
    for (char c : text) {
        const auto b = static_cast<unsigned char>(c);
        if ((b >= 'A' && b <= 'Z') || (b >= 'a' && b <= 'z') || (b >= '0' && b <= '9') || b == '-' || b == '_' ||
            b == '.' || b == '~') {
            out.push_back(c);
        } else {
            out.push_back('%');
            out.push_back(kHex[b >> 4]);
            out.push_back(kHex[b & 15]);
        }
    }
    return out;
}

std::string TrimBase(std::string_view base) {
    while (!base.empty() && base.back() == '/')
        base.remove_suffix(1);
    return std::string(base);
}

} // namespace lirvo::lyrics
