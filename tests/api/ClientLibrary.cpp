#include "ClientLibrary.h"

#include <dlfcn.h>

#include <type_traits>

// A host that loads the library uses the header's pointer types: each must be exactly the
// type of the function it names, or a call through it is undefined.
#define KORV_SAME_TYPE(name)                                                                       \
    static_assert(std::is_same_v<Korv##name##Fn, decltype(&::name)>, #name);
KORVANELLE_FOR_EACH_FUNCTION(KORV_SAME_TYPE)
#undef KORV_SAME_TYPE

namespace {

template <typename Function>
bool Resolve(void* handle, const char* name, Function& out)
{
    out = reinterpret_cast<Function>(dlsym(handle, name));
    return out != nullptr;
}

const ClientLibrary* Load()
{
    void* handle = dlopen(KORV_LIBRARY_PATH, RTLD_NOW | RTLD_LOCAL);
    if (handle == nullptr)
        return nullptr;
    static ClientLibrary library;
    ClientLibrary& l = library;
    bool all = true;
#define KORV_RESOLVE(name) all = Resolve(handle, #name, l.name) && all;
    KORVANELLE_FOR_EACH_FUNCTION(KORV_RESOLVE)
#undef KORV_RESOLVE
    return all ? &library : nullptr;
}

}  // namespace

const ClientLibrary* ClientLibrary::Get()
{
    static const ClientLibrary* library = Load();
    return library;
}
