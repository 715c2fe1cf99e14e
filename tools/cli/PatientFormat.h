// The two ways show prints a patient: an indented tree for people, JSON for programs.
#pragma once

#include <string>

#include "PatientRecord.h"

namespace korv::cli {

std::string FormatPatientTree(const PatientRecord& patient);
std::string FormatPatientJson(const PatientRecord& patient);

}  // namespace korv::cli
