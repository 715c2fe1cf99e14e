#include "ClientApi.h"

namespace korv::cli {
namespace {

template <typename Function>
void Lookup(const CDynamicLibrary& library, const char* name, Function& slot, std::string& missing)
{
    // dlsym hands back an object pointer; the export is known to be a function of this type.
    slot = reinterpret_cast<Function>(library.Symbol(name));
    if (slot == nullptr) {
        missing += missing.empty() ? name : std::string(", ") + name;
    }
}

}  // namespace

bool CClientApi::Bind(const CDynamicLibrary& library, ClientApi& api, std::string& error)
{
    std::string missing;
#define KORV_LOOKUP(name) Lookup(library, #name, api.name, missing);
    KORVANELLE_FOR_EACH_FUNCTION(KORV_LOOKUP)
#undef KORV_LOOKUP
    if (!missing.empty()) {
        error = "the library lacks the exports " + missing;
        return false;
    }
    return true;
}

}  // namespace korv::cli
