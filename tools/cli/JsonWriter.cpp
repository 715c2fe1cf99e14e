#include "JsonWriter.h"

namespace korv::cli {

std::string CJsonWriter::Quote(const std::string& value)
{
    static const char kHex[] = "0123456789abcdef";
    std::string out = "\"";
    for (const char c : value) {
        const auto byte = static_cast<unsigned char>(c);
        switch (c) {
        case '"': out += "\\\""; break;
        case '\\': out += "\\\\"; break;
        case '\n': out += "\\n"; break;
        case '\r': out += "\\r"; break;
        case '\t': out += "\\t"; break;
        case '\b': out += "\\b"; break;
        case '\f': out += "\\f"; break;
        default:
            if (byte < 0x20 || byte == 0x7f) {
                out += "\\u00";
                out += kHex[byte >> 4];
                out += kHex[byte & 0xf];
            } else {
                out += c;
            }
        }
    }
    return out + "\"";
}

void CJsonWriter::NewLine()
{
    m_text += '\n';
    m_text.append(2 * m_hasMember.size(), ' ');
}

void CJsonWriter::BeforeValue()
{
    if (m_afterKey) {
        m_afterKey = false;
        return;
    }
    if (!m_hasMember.empty()) {
        if (m_hasMember.back()) {
            m_text += ',';
        }
        m_hasMember.back() = true;
        NewLine();
    }
}

void CJsonWriter::Key(const std::string& name)
{
    BeforeValue();
    m_text += Quote(name) + ": ";
    m_afterKey = true;
}

void CJsonWriter::BeginObject()
{
    BeforeValue();
    m_text += '{';
    m_hasMember.push_back(false);
}

void CJsonWriter::BeginArray()
{
    BeforeValue();
    m_text += '[';
    m_hasMember.push_back(false);
}

void CJsonWriter::Close(char bracket)
{
    const bool hadMembers = !m_hasMember.empty() && m_hasMember.back();
    if (!m_hasMember.empty()) {
        m_hasMember.pop_back();
    }
    if (hadMembers) {
        NewLine();
    }
    m_text += bracket;
}

void CJsonWriter::EndObject()
{
    Close('}');
}

void CJsonWriter::EndArray()
{
    Close(']');
}

void CJsonWriter::String(const std::string& value)
{
    BeforeValue();
    m_text += Quote(value);
}

}  // namespace korv::cli
