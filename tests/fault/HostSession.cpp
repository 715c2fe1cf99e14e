#include "HostSession.h"

namespace korv::test {
namespace {

// A patient in the usual shape; the name field is 姓名 in code page 936.
std::string PatientMarkup()
{
    return "<?xml version=\"1.0\" encoding=\"GB2312\"?>\n<ROOT><Patient Name=\"" +
           CHostSession::PatientName() +
           "\" ID=\"P1\"><Fields><Text><Field FieldName=\"\xD0\xD5\xC3\xFB\" FieldValue=\"" +
           CHostSession::PatientName() +
           "\"/><Field FieldName=\"Age\" FieldValue=\"56\"/></Text></Fields>"
           "<Modality Name=\"CT\"><Study Name=\"Head 2023-03-14\"><Fields><Text>"
           "<Field FieldName=\"Finding\" FieldValue=\"none\"/></Text><Image>"
           "<Field FieldName=\"P1_CT_1_1.jpg\" "
           "FieldValue=\"P1_CT_1_1.png\"/></Image></Fields></Study></Modality>"
           "<Modality Name=\"MR\"><Study Name=\"Knee\"/></Modality></Patient></ROOT>\n";
}

}  // namespace

const std::string& CHostSession::PatientName()
{
    static const std::string name = "\xD5\xC5\xC8\xFD";  // 张三
    return name;
}

CHostSession::CHostSession()
    : m_lib(ClientLibrary::Get()), m_thumb(CTempDataFolder::NoiseBytes(900, 7)),
      m_image(CTempDataFolder::NoiseBytes(kImageSize, 11))
{
    m_folder.Write("patients", std::string(kPatientId) + ".xml", PatientMarkup());
    m_folder.Write("thumbs", kThumbName, m_thumb);
    m_folder.Write("images", kImageName, m_image);
}

std::string CHostSession::ReadPatientName() const
{
    unsigned int size = 0;
    if (!m_lib->GetPatientName(nullptr, &size) || size == 0) {
        return "<fail>";
    }
    std::string text(size, '\0');
    if (!m_lib->GetPatientName(text.data(), &size) || size != text.size() || text.back() != '\0') {
        return "<fail>";
    }
    text.pop_back();
    return text;
}

std::vector<std::uint8_t> CHostSession::ReadBytes(decltype(&::GetThumbData) fetch, const char* name,
                                                  bool& ok) const
{
    unsigned int size = 0;
    ok = fetch(name, nullptr, &size) == 1;
    if (!ok) {
        return {};
    }
    std::vector<std::uint8_t> bytes(size);
    unsigned int room = size;
    ok = fetch(name, bytes.data(), &room) == 1 && room == size;
    return ok ? bytes : std::vector<std::uint8_t>();
}

int CHostSession::WalkDocument() const
{
    char buffer[512];
    auto text = [&](auto getter, std::uintptr_t handle) {
        unsigned int size = sizeof buffer;
        return getter(handle, buffer, &size) == 1;
    };
    int fields = 0;
    for (int m = 0; m < m_lib->GetModalityCount(); ++m) {
        const ModID mod = m_lib->GetModID(m);
        if (mod == 0 || !text(m_lib->GetModName, mod)) {
            return -1;
        }
        for (int s = 0; s < m_lib->GetStudyCount(mod); ++s) {
            const StudyID study = m_lib->GetStudyID(mod, s);
            if (study == 0 || !text(m_lib->GetStudyName, study)) {
                return -1;
            }
            for (int f = 0; f < m_lib->GetFieldCount(study); ++f) {
                const FieldID field = m_lib->GetFieldID(study, f);
                if (field == 0 || !text(m_lib->GetFieldName, field) ||
                    !text(m_lib->GetFieldData, field)) {
                    return -1;
                }
                (void)m_lib->GetFieldType(field);
                ++fields;
            }
        }
    }
    return fields;
}

}  // namespace korv::test
