#ifndef KORV_TESTS_PAYLOADS_H
#define KORV_TESTS_PAYLOADS_H

#include <cstdint>
#include <string>
#include <vector>

// Payloads of the six messages, laid out byte by byte as they travel.
class PayloadBuilder {
public:
    PayloadBuilder& Str(const std::string& s)
    {
        m_bytes.insert(m_bytes.end(), s.begin(), s.end());
        m_bytes.push_back(0);
        return *this;
    }
    PayloadBuilder& I32(int32_t v)
    {
        const uint32_t u = static_cast<uint32_t>(v);
        for (int i = 0; i < 4; ++i)
            m_bytes.push_back(static_cast<unsigned char>(u >> (8 * i)));
        return *this;
    }
    PayloadBuilder& U16(uint16_t v)
    {
        m_bytes.push_back(static_cast<unsigned char>(v));
        m_bytes.push_back(static_cast<unsigned char>(v >> 8));
        return *this;
    }
    PayloadBuilder& Raw(const std::vector<unsigned char>& b)
    {
        m_bytes.insert(m_bytes.end(), b.begin(), b.end());
        return *this;
    }
    std::vector<unsigned char> Get() const { return m_bytes; }

private:
    std::vector<unsigned char> m_bytes;
};

inline std::vector<unsigned char> QueryPayload(const std::string& key, const std::string& value)
{
    return PayloadBuilder().Str(key).Str(value).Get();
}

inline std::vector<unsigned char> QueryReplyPayload(const std::string& key, const std::string& value,
                                                    int32_t total, int32_t offset, const std::string& text)
{
    return PayloadBuilder().Str(key).Str(value).I32(total).I32(offset).Str(text).Get();
}

inline std::vector<unsigned char> ThumbDataPayload(const std::string& name, const std::vector<unsigned char>& bytes)
{
    return PayloadBuilder().Str(name).U16(static_cast<uint16_t>(bytes.size())).Raw(bytes).Get();
}

inline std::vector<unsigned char> ImageRequestPayload(const std::string& name, int32_t p1, int32_t p2, int32_t p3)
{
    return PayloadBuilder().Str(name).I32(p1).I32(p2).I32(p3).Get();
}

inline std::vector<unsigned char> ImageDataPayload(const std::string& name, int32_t p1, int32_t p2, int32_t p3,
                                                   int32_t total, int32_t offset,
                                                   const std::vector<unsigned char>& bytes)
{
    return PayloadBuilder()
        .Str(name).I32(p1).I32(p2).I32(p3).I32(total).I32(offset)
        .U16(static_cast<uint16_t>(bytes.size())).Raw(bytes).Get();
}

#endif
