#pragma once

#include "KorvanelleClient.h"

// The library's seventeen exports, resolved with dlopen / dlsym as a host does, through the
// header's function-pointer types.
struct ClientLibrary {
#define KORV_MEMBER(name) Korv##name##Fn name = nullptr;
    KORVANELLE_FOR_EACH_FUNCTION(KORV_MEMBER)
#undef KORV_MEMBER

    // Loaded once per process; null when the library or one of its exports is missing.
    static const ClientLibrary* Get();
};
