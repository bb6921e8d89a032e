#include "StreamCapture.h"

#include "SessionTable.h"
#include "Utils/LogStream.h"

namespace ServerSim {

CStreamCapture::CStreamCapture(const std::string& prefix)
    : m_prefix(prefix), m_client(std::fopen((prefix + ".client").c_str(), "wb"))
{
    if (m_client == nullptr)
        VexlaLib::LogWarning() << "vexla-server-sim: cannot write the capture " << prefix.c_str() << ".client" << std::endl;
}

CStreamCapture::~CStreamCapture()
{
    if (m_client != nullptr)
        std::fclose(m_client);
}

void CStreamCapture::Append(const unsigned char* bytes, size_t count)
{
    if (m_client == nullptr)
        return;
    std::fwrite(bytes, 1, count, m_client);
    std::fflush(m_client);
}

void CStreamCapture::NoteKeys(size_t plainBytes, const VexlaLib::TByteArray& clientKey,
                              const VexlaLib::TByteArray& serverKey, const VexlaLib::TByteArray& checksumKey)
{
    const std::string path = m_prefix + ".keys.json";
    std::FILE* keys = std::fopen(path.c_str(), "w");
    if (keys == nullptr) {
        VexlaLib::LogWarning() << "vexla-server-sim: cannot write the capture " << path.c_str() << std::endl;
        return;
    }
    std::fprintf(keys, "{\"client_plain_bytes\": %zu, \"client_rc4_key\": \"%s\", \"server_rc4_key\": \"%s\", "
                       "\"checksum_key\": \"%s\"}\n",
                 plainBytes, CSessionTable::ToHex(clientKey).c_str(), CSessionTable::ToHex(serverKey).c_str(), CSessionTable::ToHex(checksumKey).c_str());
    std::fclose(keys);
}

}  // namespace ServerSim
