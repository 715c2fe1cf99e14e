// The seventeen exports of the client library, looked up by name in the loaded library.
#pragma once

#include <string>

#include "DynamicLibrary.h"
#include "KorvanelleClient.h"

namespace korv::cli {

struct ClientApi {
#define KORV_API_MEMBER(name) Korv##name##Fn name = nullptr;
    KORVANELLE_FOR_EACH_FUNCTION(KORV_API_MEMBER)
#undef KORV_API_MEMBER
};

class CClientApi {
public:
    // Fills api from the library; false with error naming the missing exports.
    static bool Bind(const CDynamicLibrary& library, ClientApi& api, std::string& error);
};

}  // namespace korv::cli
