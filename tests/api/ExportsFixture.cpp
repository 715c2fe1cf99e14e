#include "ExportsFixture.h"

#include "transport/MsgTypes.h"

std::string SamplePatient()
{
    return "<?xml version=\"1.0\" encoding=\"GB2312\"?>\r\n"
           "<ROOT><Patient Name=\"P\" ID=\"7\">"
           "<Fields><Text>"
           "<F FieldName=\"ID\" FieldValue=\"H001\"/>"
           "<F FieldName=\"" +
           kNameField + "\" FieldValue=\"" + kZhangSan +
           "\"/>"
           "</Text></Fields>"
           "<Modality Name=\"CT\">"
           "<Study Name=\"Head &amp; neck\"><Fields>"
           "<Text><F FieldName=\"Date\" FieldValue=\"2026-12-01\"/></Text>"
           "<Image><F FieldName=\"Scan\" FieldValue=\"ct1.png\"/></Image>"
           "</Fields></Study>"
           "<Study Name=\"Chest\"/>"
           "</Modality>"
           "<Modality Name=\"MR\"><Study Name=\"Knee\"/></Modality>"
           "</Patient></ROOT>";
}

std::vector<unsigned char> PatternBytes(size_t count, unsigned seed)
{
    std::vector<unsigned char> bytes(count);
    unsigned state = seed * 2654435761u + 1;
    for (auto& byte : bytes) {
        state = state * 1103515245u + 12345u;
        byte = static_cast<unsigned char>(state >> 16);
    }
    return bytes;
}

void ExportsTest::SetUp()
{
    lib = ClientLibrary::Get();
    ASSERT_NE(lib, nullptr) << "cannot load " << KORV_LIBRARY_PATH;
    ASSERT_TRUE(server.Start());
}

void ExportsTest::TearDown()
{
    if (lib != nullptr)
        lib->Disconnect();
}

void ExportsTest::ServePatient(const std::string& text, size_t chunkSize)
{
    server.SetHandler([text, chunkSize](const FakeRequest& request) {
        if (request.type != MSG_QUERY)
            return std::vector<FakeFrame>();
        return QueryReplyChunks(text, chunkSize);
    });
}

std::vector<unsigned char> ExportsTest::ReadBytes(decltype(&::GetThumbData) fetch, const char* name,
                                                  bool& ok)
{
    unsigned int size = 0;
    ok = fetch(name, nullptr, &size) == 1;
    if (!ok)
        return {};
    std::vector<unsigned char> bytes(size);
    unsigned int room = size;
    ok = fetch(name, bytes.data(), &room) == 1 && room == size;
    return ok ? bytes : std::vector<unsigned char>();
}
