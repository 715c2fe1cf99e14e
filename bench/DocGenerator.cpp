#include "DocGenerator.h"

#include <cstdint>

namespace {

// Code page 936 words: names, field names and values as a hospital system writes them.
const char* const kPatientNames[] = {"\xd5\xc5\xce\xb0", "\xc0\xee\xc4\xc8", "\xcd\xf5\xb7\xbc"};
const char* const kStudyNames[] = {"\xcd\xb7\xc2\xad\xc6\xbd\xc9\xa8",
                                   "\xd0\xd8\xb2\xbf\xd4\xf6\xc7\xbf"};
const char* const kModalities[] = {"CT", "MR", "DR", "US", "NM", "XA"};
constexpr const char* kPart = "\xbc\xec\xb2\xe9\xb2\xbf\xce\xbb";     // examined part
constexpr const char* kFinding = "\xbc\xec\xb2\xe9\xcb\xf9\xbc\xfb";  // findings
constexpr const char* kOpinion = "\xd5\xef\xb6\xcf\xd2\xe2\xbc\xfb";  // diagnosis
constexpr const char* kImage = "\xcd\xbc\xcf\xf1";                    // image
constexpr const char* kNodule = "\xd3\xd2\xb7\xce\xc9\xcf\xd2\xb6\xbd\xe1\xbd\xda";
constexpr const char* kClearEdge = "\xb1\xdf\xbd\xe7\xc7\xe5";
constexpr const char* kRecheck = "\xbd\xa8\xd2\xe9\xb8\xb4\xb2\xe9";

constexpr int kStudiesPerModality = 40;

void Field(std::string& out, const std::string& name, const std::string& value)
{
    out += "            <Field FieldName=\"";
    out += name;
    out += "\" FieldValue=\"";
    out += value;
    out += "\"/>\n";
}

void Head(std::string& out)
{
    out += "<?xml version=\"1.0\" encoding=\"GB2312\"?>\n<ROOT>\n";
    out += "  <Patient Name=\"";
    out += kPatientNames[0];
    out += "\" ID=\"P90001\">\n    <Fields>\n      <Text>\n";
    Field(out, "\xd0\xd5\xc3\xfb", kPatientNames[0]);
    Field(out, "\xd0\xd4\xb1\xf0", "\xc4\xd0");
    Field(out, "\xc4\xea\xc1\xe4", "56");
    Field(out, "\xb2\xa1\xc7\xf8", "\xd0\xc4\xc4\xda\xbf\xc6 3");
    out += "      </Text>\n    </Fields>\n";
}

// One study with kFieldsPerStudy fields; n makes names and values differ.
void Study(std::string& out, int n)
{
    const std::string number = std::to_string(n);
    out += "      <Study Name=\"";
    out += kStudyNames[n % 2];
    out += " 2023-03-";
    out += std::to_string(10 + n % 19);
    out += " #" + number + "\">\n        <Fields>\n          <Text>\n";
    Field(out, kPart, kStudyNames[(n + 1) % 2]);
    Field(out, kFinding,
          std::string(kNodule) + " &lt; " + std::to_string(1 + n % 9) + "cm, " + kClearEdge +
              ", &quot;" + kPatientNames[n % 3] + "&quot; series " + number);
    Field(out, kOpinion,
          std::string(kRecheck) + " &amp; follow-up in " + std::to_string(3 + n % 6) + " months");
    out += "          </Text>\n          <Image>\n";
    Field(out, std::string(kImage) + "1", "P90001_" + number + "_1.png");
    Field(out, std::string(kImage) + "2", "P90001_" + number + "_2.png");
    out += "          </Image>\n        </Fields>\n      </Study>\n";
}

// Studies 0..count-1 grouped into modalities; stops early once `bytes` is reached.
void Body(std::string& out, std::int64_t count, std::size_t bytes)
{
    for (std::int64_t n = 0; n < count && out.size() < bytes; ++n) {
        if (n % kStudiesPerModality == 0) {
            if (n > 0) {
                out += "    </Modality>\n";
            }
            out += "    <Modality Name=\"";
            out += kModalities[(n / kStudiesPerModality) % 6];
            out += "\">\n";
        }
        Study(out, static_cast<int>(n));
    }
    if (!out.empty() && out.find("<Modality") != std::string::npos) {
        out += "    </Modality>\n";
    }
}

void Tail(std::string& out)
{
    out += "  </Patient>\n</ROOT>\n";
}

}  // namespace

std::string CDocGenerator::BySize(std::size_t bytes)
{
    std::string out;
    out.reserve(bytes + 4096);
    Head(out);
    Body(out, INT64_MAX, bytes);
    Tail(out);
    return out;
}

std::string CDocGenerator::ByFieldCount(int fields)
{
    // The patient's own fields count; the rest come in whole studies.
    std::string out;
    Head(out);
    const int studies = (fields - kPatientFields) / kFieldsPerStudy;
    Body(out, studies, SIZE_MAX);
    Tail(out);
    return out;
}

namespace {

void DenseField(std::string& out, const char* name, int n, const std::string& value)
{
    out += "<F FieldName=\"";
    out += name;
    out += std::to_string(n % 7);
    out += "\" FieldValue=\"";
    out += value;
    out += "\"/>";
}

void DenseStudy(std::string& out, int n)
{
    const std::string number = std::to_string(n);
    out += "<Study Name=\"";
    out += kStudyNames[n % 2];
    out += " #" + number + "\" Date=\"2023-03-" + std::to_string(10 + n % 19) + "\" ID=\"S" +
           number + "\" Dept=\"" + kPatientNames[n % 3] + "\"><Fields><Text>";
    const char* const names[] = {kPart, kFinding, kOpinion};
    for (int f = 0; f < CDocGenerator::kDenseFieldsPerStudy - 4; ++f) {
        std::string value;
        switch (f % 4) {
        case 0: value = std::string(kNodule) + " &lt; " + std::to_string(1 + f % 9) + "cm"; break;
        case 1: value = "&quot;" + std::string(kClearEdge) + "&quot; &amp; " + number; break;
        case 2: value = std::string(kRecheck) + " &#20013;&#x6587;"; break;
        default: value = std::to_string(n * 31 + f); break;
        }
        DenseField(out, names[f % 3], f, value);
    }
    out += "</Text><Image>";
    for (int f = 0; f < 4; ++f) {
        DenseField(out, kImage, f, "P90001_" + number + "_" + std::to_string(f) + ".png");
    }
    out += "</Image></Fields></Study>";
}

}  // namespace

std::string CDocGenerator::Dense(std::size_t bytes)
{
    std::string out;
    out.reserve(bytes + 8192);
    out += "<?xml version=\"1.0\" encoding=\"GB2312\"?><ROOT><Patient Name=\"";
    out += kPatientNames[0];
    out += "\" ID=\"P90001\" Sex=\"M\" Age=\"56\"><Fields><Text>";
    DenseField(out, "\xd0\xd5\xc3\xfb", 0, kPatientNames[0]);
    out += "</Text></Fields>";
    for (int n = 0; out.size() < bytes; ++n) {
        if (n % kStudiesPerModality == 0) {
            if (n > 0) {
                out += "</Modality>";
            }
            out += "<Modality Name=\"";
            out += kModalities[(n / kStudiesPerModality) % 6];
            out += "\" Count=\"";
            out += std::to_string(kStudiesPerModality);
            out += "\">";
        }
        DenseStudy(out, n);
    }
    out += "</Modality></Patient></ROOT>";
    return out;
}

std::string CDocGenerator::WideElement(int attributes)
{
    std::string out = "<ROOT><Patient><Wide";
    out.reserve(static_cast<std::size_t>(attributes) * 24 + 64);
    for (int i = 0; i < attributes; ++i) {
        out += " a";
        out += std::to_string(i);
        out += (i % 10 == 0) ? "=\"v&amp;" : "=\"v";
        out += std::to_string(i);
        out += '"';
    }
    out += "/></Patient></ROOT>";
    return out;
}

std::string CDocGenerator::NameOnlySiblings(std::size_t bytes)
{
    std::string out = "<ROOT><Patient>";
    out.reserve(bytes + 64);
    while (out.size() < bytes) {
        out += "<Modality Name=\"m\"/>\n";
    }
    out += "</Patient></ROOT>";
    return out;
}
