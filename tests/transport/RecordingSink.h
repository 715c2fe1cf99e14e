#pragma once

#include <algorithm>
#include <string>
#include <vector>

#include "transport/IRptSockSink.h"
#include "transport/RptSocket.h"

// Writes every sink call as one line, "slot|field|field...", bytes in hex.
class CRecordingSink : public IRptSockSink {
public:
    std::vector<std::string> m_calls;
    // Whether the reporting socket already counted as closed when OnSockClose ran.
    std::vector<bool> m_closedAtClose;

    bool Has(const std::string& call) const
    {
        return std::find(m_calls.begin(), m_calls.end(), call) != m_calls.end();
    }
    bool HasKind(const std::string& slot) const
    {
        return std::any_of(m_calls.begin(), m_calls.end(),
                           [&](const std::string& c) { return c.rfind(slot + "|", 0) == 0; });
    }

    static std::string Hex(const unsigned char* bytes, size_t count)
    {
        static const char digits[] = "0123456789abcdef";
        std::string out;
        for (size_t i = 0; i < count; ++i) {
            out.push_back(digits[bytes[i] >> 4]);
            out.push_back(digits[bytes[i] & 15]);
        }
        return out;
    }

    void OnQuery(CRptSocket*, const char* key, const char* value) override
    {
        Add({"query", key, value});
    }
    void OnQueryReply(CRptSocket*, const char* key, const char* value, std::int32_t total,
                      std::int32_t offset, const char* text) override
    {
        Add({"reply", key, value, std::to_string(total), std::to_string(offset), text});
    }
    void OnThumbRequest(CRptSocket*, const char* name) override { Add({"thumbreq", name}); }
    void OnThumbData(CRptSocket*, const char* name, std::uint16_t length,
                     const unsigned char* bytes) override
    {
        Add({"thumb", name, std::to_string(length), Hex(bytes, length)});
    }
    void OnImageRequest(CRptSocket*, const char* name, std::int32_t p1, std::int32_t p2,
                        std::int32_t p3) override
    {
        Add({"imagereq", name, std::to_string(p1), std::to_string(p2), std::to_string(p3)});
    }
    void OnImageData(CRptSocket*, const char* name, std::int32_t p1, std::int32_t p2,
                     std::int32_t p3, std::int32_t total, std::int32_t offset, std::uint16_t length,
                     const unsigned char* bytes) override
    {
        Add({"image", name, std::to_string(p1), std::to_string(p2), std::to_string(p3),
             std::to_string(total), std::to_string(offset), std::to_string(length),
             Hex(bytes, length)});
    }
    void OnSockError(CRptSocket*, std::int32_t code) override
    {
        Add({"error", std::to_string(code)});
    }
    void OnSockClose(CRptSocket* from, std::int32_t code) override
    {
        m_closedAtClose.push_back(from->IsClosed());
        Add({"close", std::to_string(code)});
    }
    void OnSockConnect(CRptSocket*, std::int32_t code) override
    {
        Add({"connect", std::to_string(code)});
    }

private:
    void Add(const std::vector<std::string>& fields)
    {
        std::string line;
        for (const auto& f : fields)
            line += (line.empty() ? "" : "|") + f;
        m_calls.push_back(line);
    }
};
