#include "PatientReader.h"

#include "TextConverter.h"

namespace korv::cli {
namespace {

// Texts come by the two-call protocol: the size first (NUL included), then the text.
template <typename Getter>
std::string ReadText(Getter getter)
{
    unsigned int size = 0;
    if (getter(nullptr, &size) == 0 || size == 0) {
        return {};
    }
    std::string buffer(size, '\0');
    if (getter(buffer.data(), &size) == 0 || size == 0) {
        return {};
    }
    buffer.resize(size - 1);
    return buffer;
}

bool ReadBytes(KorvGetThumbDataFn getter, const std::string& name, std::vector<std::uint8_t>& bytes)
{
    unsigned int size = 0;
    if (getter(name.c_str(), nullptr, &size) == 0) {
        return false;
    }
    bytes.assign(size, 0);
    // The second call is answered from the library's copy of the same name.
    return getter(name.c_str(), bytes.data(), &size) != 0 && size == bytes.size();
}

}  // namespace

PatientRecord CPatientReader::Read(const std::string& id) const
{
    PatientRecord patient;
    patient.id = id;
    patient.name = CTextConverter::ToUtf8(
        ReadText([&](char* b, unsigned* s) { return m_api.GetPatientName(b, s); }));
    const int count = m_api.GetModalityCount();
    for (int i = 0; i < count; ++i) {
        const ModID mod = m_api.GetModID(i);
        NodeRecord modality = ReadNode(mod, m_api.GetModName);
        const int studies = m_api.GetStudyCount(mod);
        for (int j = 0; j < studies; ++j) {
            modality.children.push_back(ReadNode(m_api.GetStudyID(mod, j), m_api.GetStudyName));
        }
        patient.modalities.push_back(std::move(modality));
    }
    return patient;
}

NodeRecord CPatientReader::ReadNode(ModID node, KorvGetModNameFn nameGetter) const
{
    NodeRecord record;
    record.name = CTextConverter::ToUtf8(
        ReadText([&](char* b, unsigned* s) { return nameGetter(node, b, s); }));
    const int fields = m_api.GetFieldCount(node);
    for (int k = 0; k < fields; ++k) {
        const FieldID field = m_api.GetFieldID(node, k);
        FieldRecord entry;
        entry.name = CTextConverter::ToUtf8(
            ReadText([&](char* b, unsigned* s) { return m_api.GetFieldName(field, b, s); }));
        entry.rawValue =
            ReadText([&](char* b, unsigned* s) { return m_api.GetFieldData(field, b, s); });
        entry.value = CTextConverter::ToUtf8(entry.rawValue);
        entry.isImage = m_api.GetFieldType(field) == FIELD_IMAGE;
        record.fields.push_back(std::move(entry));
    }
    return record;
}

bool CPatientReader::ReadThumb(const std::string& rawName, std::vector<std::uint8_t>& bytes) const
{
    return ReadBytes(m_api.GetThumbData, rawName, bytes);
}

bool CPatientReader::ReadImage(const std::string& rawName, std::vector<std::uint8_t>& bytes) const
{
    return ReadBytes(m_api.GetImageData, rawName, bytes);
}

}  // namespace korv::cli
