// Builds indented JSON text; strings are expected to be UTF-8.
#pragma once

#include <string>
#include <vector>

namespace korv::cli {

class CJsonWriter {
public:
    void BeginObject();
    void EndObject();
    void BeginArray();
    void EndArray();
    // Inside an object, the name of the next value.
    void Key(const std::string& name);
    void String(const std::string& value);

    const std::string& Text() const { return m_text; }
    static std::string Quote(const std::string& value);

private:
    void BeforeValue();
    void Close(char bracket);
    void NewLine();

    std::string m_text;
    // Per open container: whether it has a member yet.
    std::vector<bool> m_hasMember;
    bool m_afterKey = false;
};

}  // namespace korv::cli
