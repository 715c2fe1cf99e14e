#include "ClientLibrary.h"

#include <dlfcn.h>

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
    const bool all =
        Resolve(handle, "Connect", l.Connect) && Resolve(handle, "Disconnect", l.Disconnect) &&
        Resolve(handle, "OpenPatient", l.OpenPatient) &&
        Resolve(handle, "GetPatientName", l.GetPatientName) &&
        Resolve(handle, "GetModalityCount", l.GetModalityCount) &&
        Resolve(handle, "GetModID", l.GetModID) && Resolve(handle, "GetModName", l.GetModName) &&
        Resolve(handle, "GetStudyCount", l.GetStudyCount) &&
        Resolve(handle, "GetStudyID", l.GetStudyID) &&
        Resolve(handle, "GetStudyName", l.GetStudyName) &&
        Resolve(handle, "GetFieldCount", l.GetFieldCount) &&
        Resolve(handle, "GetFieldID", l.GetFieldID) &&
        Resolve(handle, "GetFieldName", l.GetFieldName) &&
        Resolve(handle, "GetFieldType", l.GetFieldType) &&
        Resolve(handle, "GetFieldData", l.GetFieldData) &&
        Resolve(handle, "GetThumbData", l.GetThumbData) &&
        Resolve(handle, "GetImageData", l.GetImageData);
    return all ? &library : nullptr;
}

}  // namespace

const ClientLibrary* ClientLibrary::Get()
{
    static const ClientLibrary* library = Load();
    return library;
}
