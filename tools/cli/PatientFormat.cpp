#include "PatientFormat.h"

#include "JsonWriter.h"

namespace korv::cli {
namespace {

// Control characters from the server must not move the cursor or drive the terminal.
std::string ForTerminal(const std::string& text)
{
    std::string out = text;
    for (char& c : out) {
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) {
            c = ' ';
        }
    }
    return out;
}

void TreeFields(const std::vector<FieldRecord>& fields, const std::string& indent, std::string& out)
{
    for (const FieldRecord& field : fields) {
        out += indent + ForTerminal(field.name) + ": " + ForTerminal(field.value) +
               (field.isImage ? "  [image]" : "") + "\n";
    }
}

void JsonFields(const std::vector<FieldRecord>& fields, CJsonWriter& json)
{
    json.Key("fields");
    json.BeginArray();
    for (const FieldRecord& field : fields) {
        json.BeginObject();
        json.Key("name");
        json.String(field.name);
        json.Key("type");
        json.String(field.isImage ? "image" : "text");
        json.Key("value");
        json.String(field.value);
        json.EndObject();
    }
    json.EndArray();
}

}  // namespace

std::string FormatPatientTree(const PatientRecord& patient)
{
    std::string out =
        "Patient " + ForTerminal(patient.id) + ": " + ForTerminal(patient.name) + "\n";
    for (const NodeRecord& modality : patient.modalities) {
        out += "  Modality " + ForTerminal(modality.name) + "\n";
        TreeFields(modality.fields, "    ", out);
        for (const NodeRecord& study : modality.children) {
            out += "    Study " + ForTerminal(study.name) + "\n";
            TreeFields(study.fields, "      ", out);
        }
    }
    return out;
}

std::string FormatPatientJson(const PatientRecord& patient)
{
    return FormatPatientJson(patient, {});
}

std::string FormatPatientJson(const PatientRecord& patient,
                              const std::vector<SavedFileRecord>& files)
{
    CJsonWriter json;
    json.BeginObject();
    json.Key("id");
    json.String(patient.id);
    json.Key("name");
    json.String(patient.name);
    json.Key("modalities");
    json.BeginArray();
    for (const NodeRecord& modality : patient.modalities) {
        json.BeginObject();
        json.Key("name");
        json.String(modality.name);
        JsonFields(modality.fields, json);
        json.Key("studies");
        json.BeginArray();
        for (const NodeRecord& study : modality.children) {
            json.BeginObject();
            json.Key("name");
            json.String(study.name);
            JsonFields(study.fields, json);
            json.EndObject();
        }
        json.EndArray();
        json.EndObject();
    }
    json.EndArray();
    if (!files.empty()) {
        json.Key("files");
        json.BeginArray();
        for (const SavedFileRecord& file : files) {
            json.BeginObject();
            json.Key("name");
            json.String(file.name);
            json.Key("thumb");
            json.String(file.thumb);
            json.Key("image");
            json.String(file.image);
            json.EndObject();
        }
        json.EndArray();
    }
    json.EndObject();
    return json.Text() + "\n";
}

}  // namespace korv::cli
