#pragma once
// libcurl, loaded on first use rather than with the program: only the update check, the online
// lyric lookup and network streams need it, and its thirty-odd libraries cost the start-up
// about 15 ms and a player of local files about 5 MB of resident memory. The types and
// constants come from curl's header; the calls go through this table.

#include <curl/curl.h>

namespace lirvo::system {

struct CurlApi {
    CURL *(*easyInit)();
    CURLcode (*easySetopt)(CURL *, CURLoption, ...);
    CURLcode (*easyPerform)(CURL *);
    CURLcode (*easyGetinfo)(CURL *, CURLINFO, ...);
    void (*easyCleanup)(CURL *);
    const char *(*easyStrerror)(CURLcode);
    char *(*easyEscape)(CURL *, const char *, int);
    void (*free)(void *);
    curl_slist *(*slistAppend)(curl_slist *, const char *);
    void (*slistFreeAll)(curl_slist *);
    CURLM *(*multiInit)();
    CURLMcode (*multiAddHandle)(CURLM *, CURL *);
    CURLMcode (*multiRemoveHandle)(CURLM *, CURL *);
    CURLMcode (*multiPerform)(CURLM *, int *);
    CURLMcode (*multiPoll)(CURLM *, curl_waitfd *, unsigned int, int, int *);
    CURLMsg *(*multiInfoRead)(CURLM *, int *);
    CURLMcode (*multiWakeup)(CURLM *);
    CURLMcode (*multiCleanup)(CURLM *);
};

// Loads libcurl and runs its global set-up, once for the whole program (thread-safe); nullptr
// when it cannot be loaded, in which case every transfer fails as if offline.
const CurlApi *Curl();

// The table once Curl() has given one, for calls on a transfer that exists (none can without
// the library).
inline const CurlApi &LoadedCurl() {
    return *Curl();
}

} // namespace lirvo::system
