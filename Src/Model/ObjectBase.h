#pragma once

namespace VexlaLib {

// Base of every object the platform side can name by handle: contacts, chats, voicemails and
// authorisation requests. Handles come from CModel::GetNewObjectHandle and are never 0.
class CObjectBase
{
public:
    enum eObjectType
    {
        OBJECT_CONTACT = 0,
        OBJECT_AUTHREQUEST = 1,
        OBJECT_VOICEMAIL = 2,
        OBJECT_CHAT = 3
    };

    CObjectBase(eObjectType type, int handle);
    virtual ~CObjectBase() = default;

    CObjectBase(const CObjectBase&) = default;
    CObjectBase& operator=(const CObjectBase&) = default;

    eObjectType GetType() const { return m_type; }
    int GetHandle() const { return m_handle; }

    // Short tag for log lines: "(B)", "(A)", "(V)" or "(C)".
    const char* GetTypeStr() const;

    bool IsContact() const { return m_type == OBJECT_CONTACT; }
    bool IsAuthRequest() const { return m_type == OBJECT_AUTHREQUEST; }
    bool IsVoicemail() const { return m_type == OBJECT_VOICEMAIL; }
    bool IsChat() const { return m_type == OBJECT_CHAT; }

private:
    eObjectType m_type;
    int m_handle;
};

}  // namespace VexlaLib
