#pragma once
// Functions of a library loaded with dlopen, looked up by name into typed pointers.

#include <dlfcn.h>

namespace lirvo::system {

// Sets `into` to the function `name` of `library`; false when the library has no such symbol.
template <typename Function> bool FindSymbol(void *library, const char *name, Function &into) {
    into = reinterpret_cast<Function>(dlsym(library, name));
    return into != nullptr;
}

} // namespace lirvo::system
