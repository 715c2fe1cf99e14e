#include "JsonValue.h"

#include <cstdlib>

namespace korv::test {

class CJsonParser {
public:
    explicit CJsonParser(const std::string& text) : m_text(text) {}

    bool ParseDocument(CJsonValue& value)
    {
        SkipSpace();
        if (!ParseValue(value, 0)) {
            return false;
        }
        SkipSpace();
        return m_pos == m_text.size();
    }

private:
    void SkipSpace()
    {
        while (m_pos < m_text.size() && (m_text[m_pos] == ' ' || m_text[m_pos] == '\n' ||
                                         m_text[m_pos] == '\r' || m_text[m_pos] == '\t')) {
            ++m_pos;
        }
    }

    bool Literal(const char* word)
    {
        const std::string w(word);
        if (m_text.compare(m_pos, w.size(), w) != 0) {
            return false;
        }
        m_pos += w.size();
        return true;
    }

    static void AppendUtf8(std::string& out, unsigned long code)
    {
        if (code < 0x80) {
            out += static_cast<char>(code);
        } else if (code < 0x800) {
            out += static_cast<char>(0xc0 | (code >> 6));
            out += static_cast<char>(0x80 | (code & 0x3f));
        } else if (code < 0x10000) {
            out += static_cast<char>(0xe0 | (code >> 12));
            out += static_cast<char>(0x80 | ((code >> 6) & 0x3f));
            out += static_cast<char>(0x80 | (code & 0x3f));
        } else {
            out += static_cast<char>(0xf0 | (code >> 18));
            out += static_cast<char>(0x80 | ((code >> 12) & 0x3f));
            out += static_cast<char>(0x80 | ((code >> 6) & 0x3f));
            out += static_cast<char>(0x80 | (code & 0x3f));
        }
    }

    bool Hex4(unsigned long& code)
    {
        if (m_pos + 4 > m_text.size()) {
            return false;
        }
        const std::string digits = m_text.substr(m_pos, 4);
        char* end = nullptr;
        code = std::strtoul(digits.c_str(), &end, 16);
        m_pos += 4;
        return end == digits.c_str() + 4;
    }

    bool ParseString(std::string& out)
    {
        if (m_pos >= m_text.size() || m_text[m_pos] != '"') {
            return false;
        }
        ++m_pos;
        while (m_pos < m_text.size()) {
            const char c = m_text[m_pos++];
            if (c == '"') {
                return true;
            }
            if (static_cast<unsigned char>(c) < 0x20) {
                return false;  // control characters must be escaped
            }
            if (c != '\\') {
                out += c;
                continue;
            }
            if (m_pos >= m_text.size()) {
                return false;
            }
            const char e = m_text[m_pos++];
            switch (e) {
            case '"': out += '"'; break;
            case '\\': out += '\\'; break;
            case '/': out += '/'; break;
            case 'b': out += '\b'; break;
            case 'f': out += '\f'; break;
            case 'n': out += '\n'; break;
            case 'r': out += '\r'; break;
            case 't': out += '\t'; break;
            case 'u': {
                unsigned long code = 0;
                if (!Hex4(code)) {
                    return false;
                }
                if (code >= 0xd800 && code < 0xdc00) {
                    unsigned long low = 0;
                    if (!Literal("\\u") || !Hex4(low) || low < 0xdc00 || low > 0xdfff) {
                        return false;
                    }
                    code = 0x10000 + ((code - 0xd800) << 10) + (low - 0xdc00);
                }
                AppendUtf8(out, code);
                break;
            }
            default: return false;
            }
        }
        return false;
    }

    bool ParseValue(CJsonValue& value, int depth)
    {
        if (depth > 64 || m_pos >= m_text.size()) {
            return false;
        }
        const char c = m_text[m_pos];
        if (c == '"') {
            value.m_kind = CJsonValue::Kind::String;
            return ParseString(value.m_string);
        }
        if (c == '{' || c == '[') {
            const bool object = c == '{';
            value.m_kind = object ? CJsonValue::Kind::Object : CJsonValue::Kind::Array;
            ++m_pos;
            SkipSpace();
            if (m_pos < m_text.size() && m_text[m_pos] == (object ? '}' : ']')) {
                ++m_pos;
                return true;
            }
            for (;;) {
                SkipSpace();
                CJsonValue item;
                if (object) {
                    std::string key;
                    SkipSpace();
                    if (!ParseString(key)) {
                        return false;
                    }
                    SkipSpace();
                    if (!Literal(":")) {
                        return false;
                    }
                    SkipSpace();
                    if (!ParseValue(item, depth + 1) || value.m_members.count(key) != 0) {
                        return false;
                    }
                    value.m_members.emplace(key, std::move(item));
                } else {
                    if (!ParseValue(item, depth + 1)) {
                        return false;
                    }
                    value.m_items.push_back(std::move(item));
                }
                SkipSpace();
                if (Literal(",")) {
                    continue;
                }
                return Literal(object ? "}" : "]");
            }
        }
        if (Literal("true") || Literal("false")) {
            value.m_kind = CJsonValue::Kind::Bool;
            value.m_bool = m_text[m_pos - 1] == 'e' && m_text.compare(m_pos - 4, 4, "true") == 0;
            return true;
        }
        if (Literal("null")) {
            return true;
        }
        const char* start = m_text.c_str() + m_pos;
        char* end = nullptr;
        value.m_number = std::strtod(start, &end);
        if (end == start) {
            return false;
        }
        value.m_kind = CJsonValue::Kind::Number;
        m_pos += static_cast<std::size_t>(end - start);
        return true;
    }

    const std::string& m_text;
    std::size_t m_pos = 0;
};

std::optional<CJsonValue> CJsonValue::Parse(const std::string& text)
{
    CJsonValue value;
    CJsonParser parser(text);
    if (!parser.ParseDocument(value)) {
        return std::nullopt;
    }
    return value;
}

const CJsonValue& CJsonValue::operator[](const std::string& key) const
{
    static const CJsonValue kNull;
    const auto it = m_members.find(key);
    return it == m_members.end() ? kNull : it->second;
}

}  // namespace korv::test
