#include "function/system/CurlLibrary.h"

#include "function/system/DynamicSymbols.h"

#include <dlfcn.h>

#include <cstdio>
#include <initializer_list>

namespace lirvo::system {

namespace {

const CurlApi *LoadCurl() {
    void *library = nullptr;
    for (const char *name : {"libcurl.so.4", "libcurl-gnutls.so.4"}) {
        library = dlopen(name, RTLD_NOW | RTLD_LOCAL);
        if (library != nullptr) {
            break;
        }
    }
    if (library == nullptr) {
        std::fprintf(stderr, "lirvo: libcurl could not be loaded: %s\n", dlerror());
        return nullptr;
    }
    static CurlApi api{};
    CURLcode (*globalInit)(long) = nullptr;
    const bool found = FindSymbol(library, "curl_global_init", globalInit) &&
                       FindSymbol(library, "curl_easy_init", api.easyInit) &&
                       FindSymbol(library, "curl_easy_setopt", api.easySetopt) &&
                       FindSymbol(library, "curl_easy_perform", api.easyPerform) &&
                       FindSymbol(library, "curl_easy_getinfo", api.easyGetinfo) &&
                       FindSymbol(library, "curl_easy_cleanup", api.easyCleanup) &&
                       FindSymbol(library, "curl_easy_strerror", api.easyStrerror) &&
                       FindSymbol(library, "curl_easy_escape", api.easyEscape) &&
                       FindSymbol(library, "curl_free", api.free) &&
                       FindSymbol(library, "curl_slist_append", api.slistAppend) &&
                       FindSymbol(library, "curl_slist_free_all", api.slistFreeAll) &&
                       FindSymbol(library, "curl_multi_init", api.multiInit) &&
                       FindSymbol(library, "curl_multi_add_handle", api.multiAddHandle) &&
                       FindSymbol(library, "curl_multi_remove_handle", api.multiRemoveHandle) &&
                       FindSymbol(library, "curl_multi_perform", api.multiPerform) &&
                       FindSymbol(library, "curl_multi_poll", api.multiPoll) &&
                       FindSymbol(library, "curl_multi_info_read", api.multiInfoRead) &&
                       FindSymbol(library, "curl_multi_wakeup", api.multiWakeup) &&
                       FindSymbol(library, "curl_multi_cleanup", api.multiCleanup);
    // The library stays loaded for the rest of the program: handles may outlive any caller.
    if (!found || globalInit(CURL_GLOBAL_DEFAULT) != CURLE_OK) {
        std::fprintf(stderr, "lirvo: libcurl is not usable\n");
        return nullptr;
    }
    return &api;
}

} // namespace

const CurlApi *Curl() {
    static const CurlApi *const api = LoadCurl();
    return api;
}

} // namespace lirvo::system
