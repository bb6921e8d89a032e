#include "Network/SDFHandler.h"

#include "Network/Attribute.h"
#include "Network/ByteArrayInputStream.h"
#include "Network/ByteArrayOutputStream.h"
#include "Network/Http.h"
#include "Network/OutgoingPacket.h"
#include "Network/Packet.h"
#include "Network/Value.h"
#include "Utils/LogStream.h"

namespace VexlaLib {

CSDFHandler::CSDFHandler() : m_http(new CHttp) {}

CSDFHandler::~CSDFHandler() = default;

bool CSDFHandler::GetSessionID(const std::wstring& server, const std::wstring& localAddress,
                               const std::wstring& phoneNumber, std::wstring* sessionId, int* operatorId)
{
    const TPacketSPtr request = COutgoingPacket::CreateContainer();
    COutgoingPacket::AddInt32(request, SDF_KEY_REQUEST, 1);
    COutgoingPacket::AddString(request, SDF_KEY_PHONE_NUMBER, phoneNumber);
    CByteArrayOutputStream body;
    request->Serialize(&body);
    {
        CLogStream stream(CLog::LOG_INFO, CLogStream::TIMESTAMP_AT_START);
        stream << "Preparing packet to sdf: ";
        request->dump(stream);
    }

    const int status = m_http->Request(server, localAddress, HEADER_LINES, body.ToByteArray());
    LogInfo() << "Got http code: " << status << std::endl;
    if (status != CHttp::STATUS_OK) {
        return false;
    }
    CByteArrayInputStream in(m_http->GetData());
    const TPacketSPtr answer = CPacket::Deserialize(&in);
    if (!answer) {
        LogInfo() << "Failed deserializing packet." << std::endl;
        return false;
    }
    answer->GetAttrString(SDF_KEY_SESSION_ID, sessionId);
    if (!answer->GetAttrInt32(SDF_KEY_OPERATOR_ID, operatorId)) {
        *operatorId = -1;
    }
    return true;
}

int CSDFHandler::GetLastConnectResult() const { return m_http->GetLastConnectResult(); }

void CSDFHandler::Abort() { m_http->Abort(); }

}  // namespace VexlaLib
