#include "ClientApi.h"

namespace korv::cli {
namespace {

template <typename Function>
void Lookup(const CDynamicLibrary& library, const char* name, Function& slot, std::string& missing) {
  // dlsym hands back an object pointer; the export is known to be a function of this type.
  slot = reinterpret_cast<Function>(library.Symbol(name));
  if (slot == nullptr) {
    missing += missing.empty() ? name : std::string(", ") + name;
  }
}

}  // namespace

bool CClientApi::Bind(const CDynamicLibrary& library, ClientApi& api, std::string& error) {
  std::string missing;
#define KORV_LOOKUP(name) Lookup(library, #name, api.name, missing)
  KORV_LOOKUP(Connect);
  KORV_LOOKUP(Disconnect);
  KORV_LOOKUP(OpenPatient);
  KORV_LOOKUP(GetPatientName);
  KORV_LOOKUP(GetModalityCount);
  KORV_LOOKUP(GetModID);
  KORV_LOOKUP(GetModName);
  KORV_LOOKUP(GetStudyCount);
  KORV_LOOKUP(GetStudyID);
  KORV_LOOKUP(GetStudyName);
  KORV_LOOKUP(GetFieldCount);
  KORV_LOOKUP(GetFieldID);
  KORV_LOOKUP(GetFieldName);
  KORV_LOOKUP(GetFieldType);
  KORV_LOOKUP(GetFieldData);
  KORV_LOOKUP(GetThumbData);
  KORV_LOOKUP(GetImageData);
#undef KORV_LOOKUP
  if (!missing.empty()) {
    error = "the library lacks the exports " + missing;
    return false;
  }
  return true;
}

}  // namespace korv::cli
