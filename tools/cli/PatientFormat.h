// The two ways show prints a patient: an indented tree for people, JSON for programs.
#pragma once

#include <string>
#include <vector>

#include "PatientRecord.h"

namespace korv::cli {

std::string FormatPatientTree(const PatientRecord& patient);
std::string FormatPatientJson(const PatientRecord& patient);

// What fetch saved for one image name: the name (UTF-8) and the paths, relative to the
// output folder, of its thumbnail and image files.
struct SavedFileRecord {
    std::string name;
    std::string thumb;
    std::string image;
};

// The JSON of show, with a "files" array listing where fetch saved each image name.
std::string FormatPatientJson(const PatientRecord& patient,
                              const std::vector<SavedFileRecord>& files);

}  // namespace korv::cli
