// A strict little JSON reader for checking the host's output.
#pragma once

#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace korv::test {

class CJsonValue {
public:
    enum class Kind { Null, Bool, Number, String, Array, Object };

    // nullopt for anything that is not exactly one valid JSON value (whitespace around allowed).
    static std::optional<CJsonValue> Parse(const std::string& text);

    Kind GetKind() const { return m_kind; }
    const std::string& Str() const { return m_string; }
    const std::vector<CJsonValue>& Items() const { return m_items; }
    // A member of an object; a Null value when absent.
    const CJsonValue& operator[](const std::string& key) const;
    bool Has(const std::string& key) const { return m_members.count(key) != 0; }
    std::size_t Size() const { return m_kind == Kind::Object ? m_members.size() : m_items.size(); }

private:
    friend class CJsonParser;
    Kind m_kind = Kind::Null;
    std::string m_string;
    double m_number = 0;
    bool m_bool = false;
    std::vector<CJsonValue> m_items;
    std::map<std::string, CJsonValue> m_members;
};

}  // namespace korv::test
