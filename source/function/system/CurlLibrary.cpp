#include "function/system/CurlLibrary.h"

#include <dlfcn.h>

#include <cstdio>
#include <initializer_list>

namespace lirvo::system {

namespace {

template <typename Function> bool Find(void *library, const char *name, Function &into) {
    into = reinterpret_cast<Function>(dlsym(library, name));
    return into != nullptr;
}

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
    const bool found = Find(library, "curl_global_init", globalInit) &&
                       Find(library, "curl_easy_init", api.easyInit) &&
                       Find(library, "curl_easy_setopt", api.easySetopt) &&
                       Find(library, "curl_easy_perform", api.easyPerform) &&
                       Find(library, "curl_easy_getinfo", api.easyGetinfo) &&
                       Find(library, "curl_easy_cleanup", api.easyCleanup) &&
                       Find(library, "curl_easy_strerror", api.easyStrerror) &&
                       Find(library, "curl_easy_escape", api.easyEscape) && Find(library, "curl_free", api.free) &&
                       Find(library, "curl_slist_append", api.slistAppend) &&
                       Find(library, "curl_slist_free_all", api.slistFreeAll) &&
                       Find(library, "curl_multi_init", api.multiInit) &&
                       Find(library, "curl_multi_add_handle", api.multiAddHandle) &&
                       Find(library, "curl_multi_remove_handle", api.multiRemoveHandle) &&
                       Find(library, "curl_multi_perform", api.multiPerform) &&
                       Find(library, "curl_multi_poll", api.multiPoll) &&
                       Find(library, "curl_multi_info_read", api.multiInfoRead) &&
                       Find(library, "curl_multi_wakeup", api.multiWakeup) &&
                       Find(library, "curl_multi_cleanup", api.multiCleanup);
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
