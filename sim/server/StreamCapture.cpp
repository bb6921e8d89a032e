#include "StreamCapture.h"

#include "SessionTable.h"
#include "Utils/LogStream.h"

namespace ServerSim {

CStreamCapture::CStreamCapture(const std::string& prefix)
    : m_prefix(prefix), m_client(Open(".client")), m_server(Open(".server"))
{
}

CStreamCapture::~CStreamCapture()
{
    for (std::FILE* file : {m_client, m_server}) {
        if (file != nullptr)
            std::fclose(file);
    }
}

std::FILE* CStreamCapture::Open(const char* suffix) const
{
    const std::string path = m_prefix + suffix;
    std::FILE* file = std::fopen(path.c_str(), suffix[1] == 'k' ? "w" : "wb");
    if (file == nullptr)
        VexlaLib::LogWarning() << "vexla-server-sim: cannot write the capture " << path.c_str() << std::endl;
    return file;
}

void CStreamCapture::Append(std::FILE* file, const unsigned char* bytes, size_t count)
{
    if (file == nullptr)
        return;
    std::fwrite(bytes, 1, count, file);
    std::fflush(file);
}

void CStreamCapture::NoteKeys(size_t clientPlainBytes, size_t serverPlainBytes, const VexlaLib::TByteArray& clientKey,
                              const VexlaLib::TByteArray& serverKey, const VexlaLib::TByteArray& checksumKey)
{
    std::FILE* keys = Open(".keys.json");
    if (keys == nullptr)
        return;
    std::fprintf(keys,
                 "{\"client_plain_bytes\": %zu, \"server_plain_bytes\": %zu, \"client_rc4_key\": \"%s\", "
                 "\"server_rc4_key\": \"%s\", \"checksum_key\": \"%s\"}\n",
                 clientPlainBytes, serverPlainBytes, CSessionTable::ToHex(clientKey).c_str(),
                 CSessionTable::ToHex(serverKey).c_str(), CSessionTable::ToHex(checksumKey).c_str());
    std::fclose(keys);
}

}  // namespace ServerSim
