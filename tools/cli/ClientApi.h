// The seventeen exports of the client library, looked up by name in the loaded library.
#pragma once

#include <string>

#include "DynamicLibrary.h"
#include "KorvanelleClient.h"

namespace korv::cli {

struct ClientApi {
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
};

class CClientApi {
 public:
  // Fills api from the library; false with error naming the missing exports.
  static bool Bind(const CDynamicLibrary& library, ClientApi& api, std::string& error);
};

}  // namespace korv::cli
