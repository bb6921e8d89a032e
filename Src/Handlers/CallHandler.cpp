#include "Handlers/CallHandler.h"

#include "Network/OutgoingPacket.h"
#include "Model/Contact.h"
#include "Model/Model.h"
#include "Network/AttrChunk.h"
#include "Network/AttrKey.h"
#include "Network/Attribute.h"
#include "Network/Packet.h"
#include "Public/VexlaLib.h"
#include "Utils/LogStream.h"
#include "Utils/Properties.h"
#include "Utils/Timer.h"

#include <cassert>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cwchar>
#include <cwctype>

namespace VexlaLib {

namespace {

bool IsServerMethod(int method)
{
    return method == 2 || method == 3;
}

bool IsUsableMethod(int method)
{
    return method >= 1 && method <= 3;
}

// The method "FORCE_CALL_METHOD" sets for every CHUNK_PLACECALL, when its text is a decimal integer.
bool ReadForcedCallMethod(const CVexlaLib& lib, int* method)
{
    std::wstring text;
    if (!lib.GetProperty(CProperties::FORCE_CALL_METHOD, &text) || text.empty())
        return false;
    wchar_t* end = nullptr;
    errno = 0;
    const long value = std::wcstol(text.c_str(), &end, 10);
    if (end == text.c_str() || *end != L'\0' || errno == ERANGE || value < INT_MIN || value > INT_MAX)
        return false;
    *method = static_cast<int>(value);
    return true;
}

}  // namespace

CCallHandler::CCallHandler(CVexlaLib* pLib, CModel* pModel)
    : m_pLib(pLib)
    , m_pModel(pModel)
{
    assert(m_pLib != nullptr && "m_pLib != __null");
    assert(m_pModel != nullptr && "m_pModel != __null");
    m_pTimer = m_pLib->CreateTimer(this);
}

CCallHandler::~CCallHandler()
{
    ClearSessionData();
}

bool CCallHandler::IsVexlaOutNumber(const std::wstring& text)
{
    return !text.empty() && (text[0] == L'+' || std::iswdigit(text[0]));
}

bool CCallHandler::ComputeDialInNumber(const std::wstring& prefix, int range, int index, std::wstring* number)
{
    if (range < 1 || index < 1 || index > range || prefix.empty())
        return false;
    const bool plus = prefix[0] == L'+';
    const wchar_t* digits = prefix.c_str() + (plus ? 1 : 0);
    wchar_t* end = nullptr;
    errno = 0;
    const long long base = std::wcstoll(digits, &end, 10);
    // A prefix too long for 64 bits names no number rather than a clamped one.
    if (end == digits || errno == ERANGE || base <= 0 || base > LLONG_MAX - index)
        return false;
    *number = (plus ? L"+" : L"") + std::to_wstring(base + index);
    return true;
}

const CCallSetup* CCallHandler::CallSetupForRequest()
{
    const CCallSetup* setup = m_pModel->GetCallSetup();
    if (setup == nullptr) {
        m_pLib->NotifyDialOutFailed(IVexlaLibListener::DIALOUT_NO_CALLSETUP);
        return nullptr;
    }
    if (!setup->IsCallEnabled()) {
        m_pLib->NotifyDialOutFailed(IVexlaLibListener::DIALOUT_CALLS_DISABLED);
        return nullptr;
    }
    return setup;
}

template <typename TTryMethod>
void CCallHandler::WalkCallMethods(const CCallSetup& setup, TTryMethod tryMethod)
{
    for (int i = 0; i < setup.GetCallMethodCount(); ++i)
        if (tryMethod(setup.GetCallMethodAt(i)))
            return;
    m_pLib->NotifyDialOutFailed(IVexlaLibListener::DIALOUT_NO_METHOD);
}

void CCallHandler::RequestContactCall(const CContact* contact)
{
    const CCallSetup* setup = CallSetupForRequest();
    if (setup == nullptr)
        return;
    WalkCallMethods(*setup, [&](int method) {
        if (method == 1)
            return DialInNumber(setup->GetDialInNumberPrefix(), setup->GetDialInNumberRange(), contact->GetIndex());
        if (!IsServerMethod(method))
            return false;
        PlaceCall(contact->IsVexlaOut() ? contact->GetCallTarget() : contact->GetVexlaName(), method);
        return true;
    });
}

void CCallHandler::RequestVexlaCall(const std::wstring& vexlaName)
{
    const CCallSetup* setup = CallSetupForRequest();
    if (setup == nullptr)
        return;
    if (vexlaName.empty()) {
        m_pLib->NotifyDialOutFailed(IVexlaLibListener::DIALOUT_NO_METHOD);
        return;
    }
    WalkCallMethods(*setup, [&](int method) {
        if (!IsServerMethod(method))
            return false;
        PlaceCall(vexlaName, method);
        return true;
    });
}

void CCallHandler::RequestVexlaOutCall(const std::wstring& number)
{
    const CCallSetup* setup = CallSetupForRequest();
    if (setup == nullptr)
        return;
    if (!setup->IsVexlaOutEnabled()) {
        m_pLib->NotifyDialOutFailed(IVexlaLibListener::DIALOUT_NO_VEXLAOUT);
        return;
    }
    if (!IsVexlaOutNumber(number)) {
        m_pLib->NotifyDialOutFailed(IVexlaLibListener::DIALOUT_INVALID_NUMBER);
        return;
    }
    // A telephone number has no buddy index: even method 1 asks the server.
    WalkCallMethods(*setup, [&](int method) {
        if (!IsUsableMethod(method))
            return false;
        PlaceCall(number, method);
        return true;
    });
}

void CCallHandler::RequestListenVoicemail(CVoicemail* voicemail)
{
    const CCallSetup* setup = CallSetupForRequest();
    if (setup == nullptr)
        return;
    WalkCallMethods(*setup, [&](int method) {
        if (method == 1)
            return DialInNumber(setup->GetVmNumberPrefix(), setup->GetVmNumberRange(), voicemail->GetIndex());
        if (!IsServerMethod(method))
            return false;
        ListenVoicemail(voicemail, method);
        return true;
    });
}

bool CCallHandler::DialInNumber(const std::wstring& prefix, int range, int index)
{
    std::wstring number;
    if (!ComputeDialInNumber(prefix, range, index, &number))
        return false;
    m_pLib->NotifyUseDialOutNumber(number);
    return true;
}

void CCallHandler::PlaceCall(const std::wstring& target, int method)
{
    ReadForcedCallMethod(*m_pLib, &method);
    TPacketSPtr packet = COutgoingPacket::Create(CHUNK_PLACECALL);
    COutgoingPacket::AddInt32(packet, KEY_CALLMETHOD, method);
    COutgoingPacket::AddString(packet, KEY_CALLTARGET, target);
    SendNumberRequest(packet, TIMER_PLACE_CALL);
}

void CCallHandler::ListenVoicemail(const CVoicemail* voicemail, int method)
{
    TPacketSPtr packet = COutgoingPacket::Create(CHUNK_LISTENVOICEMAIL);
    COutgoingPacket::AddInt32(packet, KEY_CALLMETHOD, method);
    COutgoingPacket::AddInt32(packet, KEY_VMINDEX, voicemail->GetIndex());
    SendNumberRequest(packet, TIMER_LISTEN_VOICEMAIL);
}

void CCallHandler::SendNumberRequest(const TPacketSPtr& packet, eTimerId timerId)
{
    if (m_pTimer->IsRunning())
        LogInfo() << L"Call request (CHUNK_USEPSTNNUMBER) is already in progress, cancelling previous request."
                  << std::endl;
    m_pendingRequestId = CVexlaLib::GetUniqueRequestId();
    m_pLib->SendPacket(packet, m_pendingRequestId);
    m_pTimer->StartTimer(NUMBER_REQUEST_TIMEOUT_MS, timerId);
}

void CCallHandler::OnTimer(int id)
{
    switch (id) {
    case TIMER_PLACE_CALL:
        LogInfo() << L"Place call request time-out." << std::endl;
        break;
    case TIMER_LISTEN_VOICEMAIL:
        LogInfo() << L"Listen to voicemail request time-out." << std::endl;
        break;
    default:
        assert(false && "unknown call handler timer");
        return;
    }
    m_pendingRequestId = 0;
    m_pLib->NotifyDialOutFailed(IVexlaLibListener::DIALOUT_TIMEOUT);
}

void CCallHandler::HandleUsePstnNumber(const TPacketSPtr& packet)
{
    if (!m_pTimer->IsRunning())
        return;
    int requestId = 0;
    packet->GetAttrInt32(KEY_REQUEST_ID, &requestId);
    // Matched before the timer is touched: an answer to a replaced request leaves the current
    // request waiting for its own answer or its time-out.
    if (requestId != m_pendingRequestId) {
        LogInfo() << L"CCallHandler::HandleUsePstnNumber - Received CHUNK_USEPSTNNUMBER for unknown request."
                  << std::endl;
        return;
    }
    m_pTimer->StopTimer();
    m_pendingRequestId = 0;
    std::wstring number;
    packet->GetAttrString(KEY_CALLPSTNNUMBER, &number);
    const CCallSetup* setup = m_pModel->GetCallSetup();
    if (number.empty() && setup != nullptr)
        number = setup->GetDialInNumberPrefix();
    if (number.empty()) {
        LogInfo() << L"Received CHUNK_USEPSTNNUMBER with empty dial-out number." << std::endl;
        m_pLib->NotifyDialOutFailed(IVexlaLibListener::DIALOUT_NO_METHOD);
        return;
    }
    m_pLib->NotifyUseDialOutNumber(number);
}

void CCallHandler::HandleCallSetup(const TPacketSPtr& packet)
{
    int* methods = nullptr;
    int count = 0;
    if (!packet->GetAttrIntArray(KEY_CALLMETHODS, &methods, &count))
        count = 0;
    const bool existed = m_pModel->GetCallSetup() != nullptr;
    CCallSetup* setup = m_pModel->GetOrCreateCallSetup();
    const bool wasEnabled = existed && setup->IsCallEnabled();
    if (count > CCallSetup::MAX_CALL_METHODS)
        LogWarning() << L"Call set-up with " << count << L" call methods; keeping the first "
                     << CCallSetup::MAX_CALL_METHODS << L"." << std::endl;
    setup->SetCallMethods(methods, count);
    LogInfo() << L"Received allowed call methods: " << setup->GetCallMethodsString() << std::endl;

    const bool enabled = setup->IsCallEnabled();
    std::wstring dialInPrefix;
    int dialInRange = -1;
    std::wstring vmPrefix;
    int vmRange = -1;
    if (enabled) {
        packet->GetAttrString(KEY_DIALIN_NUMBER_PREFIX, &dialInPrefix);
        packet->GetAttrInt32(KEY_DIALIN_NUMBER_RANGE_SIZE, &dialInRange);
        packet->GetAttrString(KEY_VOICEMAIL_NUMBER_PREFIX, &vmPrefix);
        packet->GetAttrInt32(KEY_VOICEMAIL_NUMBER_RANGE_SIZE, &vmRange);
    }
    setup->SetDialInNumberPrefix(dialInPrefix);
    setup->SetDialInNumberRange(dialInRange);
    setup->SetVmNumberPrefix(vmPrefix);
    setup->SetVmNumberRange(vmRange);
    if (enabled != wasEnabled)
        m_pLib->NotifyCallsEnabled(enabled);

    std::wstring gatewayNumber;
    std::wstring gatewayName;
    packet->GetAttrString(KEY_VI_GATEWAY_NUMBER, &gatewayNumber);
    packet->GetAttrString(KEY_VI_GATEWAY_NAME, &gatewayName);
    const bool numberChanged = setup->SetGatewayNumber(gatewayNumber);
    const bool nameChanged = setup->SetGatewayName(gatewayName);
    if (numberChanged || nameChanged)
        m_pLib->NotifyGatewayNumberUpdated(gatewayNumber, gatewayName);

    int vexlaOut = 0;
    setup->EnableVexlaOut(packet->GetAttrInt32(KEY_VO_ENABLED, &vexlaOut) && vexlaOut != 0);
}

void CCallHandler::HandleVoicemails(const TPacketSPtr& packet)
{
    TPacketSPtr records;
    if (!packet->GetAttrContainer(KEY_VMRECORDS, &records))
        return;
    bool changed = false;
    for (const TAttributeSPtr& attr : records->GetAttrList()) {
        TPacketSPtr record;
        if (attr->GetContainer(&record))
            changed = AddVoicemail(record) || changed;
    }
    if (changed)
        m_pLib->NotifyEventListUpdated(true);
}

bool CCallHandler::AddVoicemail(const TPacketSPtr& record)
{
    int index = 0;
    if (!record->GetAttrInt32(KEY_VMINDEX, &index)) {
        LogMissingAttr(KEY_VMINDEX, CHUNK_VOICEMAILS);
        return false;
    }
    CEventList* list = m_pModel->GetOrCreateEventList();
    CVoicemail* voicemail = list->FindVoicemail(index);
    const bool added = voicemail == nullptr;
    if (added) {
        voicemail = list->CreateVoicemail(m_pModel->GetNewObjectHandle(), index);
        m_pModel->AddObject(voicemail);
    }
    bool changed = added;
    std::wstring text;
    if (record->GetAttrString(KEY_VEXLANAME, &text))
        changed = voicemail->SetVexlaName(text) || changed;
    if (record->GetAttrString(KEY_FULLNAME, &text))
        changed = voicemail->SetFullName(text) || changed;
    if (record->GetAttrString(KEY_SUBJECT, &text))
        changed = voicemail->SetSubject(text) || changed;
    int value = 0;
    if (record->GetAttrInt32(KEY_TIMESTAMP, &value)) {
        const bool serverChanged = voicemail->SetEventServerTimestamp(value);
        const bool localChanged = voicemail->SetEventLocalTimestamp(m_pLib->ConvertToLocalTime(value));
        // The server timestamp is the list's sort key.
        if (serverChanged || localChanged)
            list->InvalidateSorting();
        changed = serverChanged || localChanged || changed;
    }
    if (record->GetAttrInt32(KEY_DURATION, &value))
        changed = voicemail->SetDuration(value) || changed;

    if (added)
        m_pLib->NotifyEventAdded(voicemail);
    else if (changed)
        m_pLib->NotifyEventUpdated(voicemail);
    return changed;
}

void CCallHandler::MarkVoicemailAsRead(CVoicemail* voicemail)
{
    if (!voicemail->SetMissed(false))
        return;
    m_pLib->NotifyEventUpdated(voicemail);
    m_pLib->NotifyEventListUpdated(true);
}

void CCallHandler::MarkAllVoicemailsAsRead()
{
    CEventList* list = m_pModel->GetEventList();
    if (list != nullptr && list->MarkAllVoicemailsAsRead())
        m_pLib->NotifyEventListUpdated(true);
}

void CCallHandler::DeleteVoicemail(CVoicemail* voicemail)
{
    TPacketSPtr packet = COutgoingPacket::Create(CHUNK_DELETEVOICEMAIL);
    COutgoingPacket::AddInt32(packet, KEY_VMINDEX, voicemail->GetIndex());
    m_pLib->SendPacket(packet);
    if (m_pModel->GetEventList() == nullptr)
        return;
    m_pLib->NotifyEventDeleted(voicemail);
    m_pModel->DeleteEvent(voicemail);
    m_pLib->NotifyEventListUpdated(true);
}

void CCallHandler::DeleteAllVoicemails()
{
    bool deleted = false;
    for (;;) {
        CEventList* list = m_pModel->GetEventList();
        CEventBase* first = list ? list->GetFirstEvent(CObjectBase::OBJECT_VOICEMAIL) : nullptr;
        if (first == nullptr)
            break;
        DeleteVoicemail(static_cast<CVoicemail*>(first));
        deleted = true;
    }
    if (deleted)
        m_pLib->NotifyEventListUpdated(true);
}

void CCallHandler::HandleCallingBuddy(const TPacketSPtr& packet)
{
    std::wstring callTarget;
    std::wstring vexlaName;
    std::wstring displayName;
    int serverTime = 0;
    packet->GetAttrString(KEY_CALLTARGET, &callTarget);
    packet->GetAttrString(KEY_VEXLANAME, &vexlaName);
    packet->GetAttrString(KEY_DISPLAYNAME, &displayName);
    const int localTime = packet->GetAttrInt32(KEY_TIMESTAMP, &serverTime) ? m_pLib->ConvertToLocalTime(serverTime) : 0;
    m_pLib->NotifyCallingContact(localTime, callTarget, vexlaName, displayName);
}

void CCallHandler::ClearSessionData()
{
    m_pTimer->StopTimer();
    m_pendingRequestId = 0;
}

}  // namespace VexlaLib
