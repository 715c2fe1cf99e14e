// A patient's document as read through the exports. Raw texts are the library's code page
// 936 bytes (needed to ask for thumbnails and images by name); the others are UTF-8.
#pragma once

#include <string>
#include <vector>

namespace korv::cli {

struct FieldRecord {
    std::string name;
    std::string value;
    std::string rawValue;
    bool isImage = false;
};

struct NodeRecord {
    std::string name;
    std::vector<FieldRecord> fields;
    std::vector<NodeRecord> children;  // a modality's studies
};

struct PatientRecord {
    std::string id;
    std::string name;
    std::vector<NodeRecord> modalities;

    bool Empty() const { return name.empty() && modalities.empty(); }
};

}  // namespace korv::cli
