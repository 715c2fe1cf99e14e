#pragma once

#include "KorvanelleClient.h"

// The library's seventeen exports, resolved with dlopen / dlsym as a host does.
struct ClientLibrary {
    decltype(&::Connect) Connect = nullptr;
    decltype(&::Disconnect) Disconnect = nullptr;
    decltype(&::OpenPatient) OpenPatient = nullptr;
    decltype(&::GetPatientName) GetPatientName = nullptr;
    decltype(&::GetModalityCount) GetModalityCount = nullptr;
    decltype(&::GetModID) GetModID = nullptr;
    decltype(&::GetModName) GetModName = nullptr;
    decltype(&::GetStudyCount) GetStudyCount = nullptr;
    decltype(&::GetStudyID) GetStudyID = nullptr;
    decltype(&::GetStudyName) GetStudyName = nullptr;
    decltype(&::GetFieldCount) GetFieldCount = nullptr;
    decltype(&::GetFieldID) GetFieldID = nullptr;
    decltype(&::GetFieldName) GetFieldName = nullptr;
    decltype(&::GetFieldType) GetFieldType = nullptr;
    decltype(&::GetFieldData) GetFieldData = nullptr;
    decltype(&::GetThumbData) GetThumbData = nullptr;
    decltype(&::GetImageData) GetImageData = nullptr;

    // Loaded once per process; null when the library or one of its exports is missing.
    static const ClientLibrary* Get();
};
