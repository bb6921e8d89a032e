#include "Handlers/ContactHandler.h"

#include "Network/OutgoingPacket.h"
#include "Model/Availability.h"
#include "Model/ContactChange.h"
#include "Model/Model.h"
#include "Network/AttrChunk.h"
#include "Network/AttrKey.h"
#include "Network/Attribute.h"
#include "Network/Packet.h"
#include "Public/VexlaLib.h"
#include "Utils/LogStream.h"
#include "Utils/Timer.h"

#include <cassert>

namespace VexlaLib {

namespace {

// The picture checksum of a contact; it has no name in the key table.
const int KEY_AVATAR_CRC = 152;

// Empty batches ("more records follow" with none in them) after which the list counts as complete.
const int MAX_EMPTY_BATCHES = 2;

const int BUDDYLIST_COMPLETE = 0;

}  // namespace

CContactHandler::CContactHandler(CVexlaLib* pLib, CModel* pModel)
    : m_pLib(pLib)
    , m_pModel(pModel)
{
    assert(m_pLib != nullptr && "m_pLib != __null");
    assert(m_pModel != nullptr && "m_pModel != __null");
    m_pListTimer = m_pLib->CreateTimer(this);
    m_pPropsTimer = m_pLib->CreateTimer(this);
    m_pPresenceTimer = m_pLib->CreateTimer(this);
    m_pAddTimer = m_pLib->CreateTimer(this);
}

CContactHandler::~CContactHandler()
{
    ClearSessionData();
}

int CContactHandler::EffectiveAvailability(int availability, const std::wstring& vexlaName)
{
    if (availability == CAvailability::PENDINGAUTH && vexlaName == L"echo123")
        return CAvailability::ONLINE;
    return availability;
}

void CContactHandler::RequestContactList()
{
    const CContactList* list = m_pModel->GetContactList();
    TPacketSPtr packet = COutgoingPacket::Create(CHUNK_GETBUDDYLIST);
    COutgoingPacket::AddInt32(packet, KEY_BOOKMARK, list ? list->GetBookmark() : 0);
    m_pLib->SendPacket(packet);
    m_pListTimer->StartTimer(LIST_TIMEOUT_MS, TIMER_LIST_TIMEOUT);
}

void CContactHandler::RequestContactProps(CContact* contact)
{
    TPacketSPtr packet = COutgoingPacket::Create(CHUNK_GETCONTACTPROPERTIES);
    COutgoingPacket::AddInt32(packet, KEY_BUDDYINDEX, contact->GetIndex());
    m_pLib->SendPacket(packet);
    m_pPropsTimer->StartTimer(PROPS_TIMEOUT_MS, TIMER_PROPS);
}

void CContactHandler::RequestAvatar(CContact* contact, int width, int height)
{
    TPacketSPtr packet = COutgoingPacket::Create(CHUNK_GETAVATAR);
    COutgoingPacket::AddInt32(packet, KEY_BUDDYINDEX, contact->GetIndex());
    COutgoingPacket::AddInt32(packet, KEY_AVATARWIDTH, width);
    COutgoingPacket::AddInt32(packet, KEY_AVATARHEIGHT, height);
    m_pLib->SendPacket(packet);
}

void CContactHandler::DeleteContact(CContact* contact)
{
    // The contact goes when the server lists it as deleted.
    TPacketSPtr packet = COutgoingPacket::Create(CHUNK_DELETECONTACT);
    COutgoingPacket::AddInt32(packet, KEY_BUDDYINDEX, contact->GetIndex());
    m_pLib->SendPacket(packet);
}

bool CContactHandler::AddContact(const std::wstring& vexlaName, const std::wstring& authMsg)
{
    if (m_pAddTimer->IsRunning())
        return false;
    TPacketSPtr packet = COutgoingPacket::Create(CHUNK_ADDCONTACT);
    COutgoingPacket::AddString(packet, KEY_VEXLANAME, vexlaName);
    COutgoingPacket::AddString(packet, KEY_AUTHMSG, authMsg);
    m_pLib->SendPacket(packet);
    m_pendingCallTarget.clear();
    m_pendingVexlaName = vexlaName;
    m_pAddTimer->StartTimer(ADD_TIMEOUT_MS, TIMER_ADD);
    return true;
}

bool CContactHandler::AddVexlaOutContact(const std::wstring& number, const std::wstring& fullName)
{
    if (m_pAddTimer->IsRunning())
        return false;
    TPacketSPtr packet = COutgoingPacket::Create(CHUNK_ADDCONTACT);
    if (!fullName.empty())
        COutgoingPacket::AddString(packet, KEY_FULLNAME, fullName);
    COutgoingPacket::AddString(packet, KEY_CALLTARGET, number);
    m_pLib->SendPacket(packet);
    m_pendingCallTarget = number;
    m_pendingVexlaName = fullName;
    m_pAddTimer->StartTimer(ADD_TIMEOUT_MS, TIMER_ADD);
    return true;
}

void CContactHandler::SendAuthRequest(const std::wstring& vexlaName, const std::wstring& authMsg)
{
    TPacketSPtr packet = COutgoingPacket::Create(CHUNK_SENDAUTHREQUEST);
    COutgoingPacket::AddString(packet, KEY_VEXLANAME, vexlaName);
    COutgoingPacket::AddString(packet, KEY_AUTHMSG, authMsg);
    m_pLib->SendPacket(packet);
}

void CContactHandler::AuthorizeContact(const std::wstring& vexlaName, int type)
{
    TPacketSPtr packet = COutgoingPacket::Create(CHUNK_AUTHORIZECONTACT);
    COutgoingPacket::AddString(packet, KEY_VEXLANAME, vexlaName);
    COutgoingPacket::AddInt32(packet, KEY_AUTHORIZATIONTYPE, type);
    m_pLib->SendPacket(packet);
    m_pPresenceTimer->StartTimer(PRESENCE_DELAY_MS, TIMER_PRESENCE);

    CEventList* events = m_pModel->GetEventList();
    CAuthRequest* request = events ? events->FindAuthRequest(vexlaName) : nullptr;
    if (request == nullptr)
        return;
    m_pLib->NotifyEventDeleted(request);
    m_pModel->DeleteEvent(request);
    m_pLib->NotifyEventListUpdated(true);
}

void CContactHandler::SearchContacts(const std::wstring& text)
{
    if (m_pModel->GetSearch())
        EndContactSearch();
    m_pModel->CreateSearch(text);
    TPacketSPtr packet = COutgoingPacket::Create(CHUNK_CONTACTSEARCH);
    COutgoingPacket::AddString(packet, KEY_SEARCHSTRING, text);
    m_pLib->SendPacket(packet);
}

void CContactHandler::ExtendContactSearch()
{
    const CSearch* search = m_pModel->GetSearch();
    if (search == nullptr || !search->HasSearchId() || !search->IsExtendable())
        return;
    TPacketSPtr packet = COutgoingPacket::Create(CHUNK_EXTENDCONTACTSEARCH);
    COutgoingPacket::AddInt32(packet, KEY_SEARCH_ID, search->GetSearchId());
    m_pLib->SendPacket(packet);
}

void CContactHandler::EndContactSearch()
{
    const CSearch* search = m_pModel->GetSearch();
    if (search == nullptr)
        return;
    if (search->HasSearchId() && !search->IsFinished()) {
        TPacketSPtr packet = COutgoingPacket::Create(CHUNK_ENDCONTACTSEARCH);
        COutgoingPacket::AddInt32(packet, KEY_SEARCH_ID, search->GetSearchId());
        m_pLib->SendPacket(packet);
    }
    m_pModel->DeleteSearch();
}

void CContactHandler::SetPollInterval(int ms)
{
    m_pollInterval = ms;
    if (ms >= 1 && !m_pListTimer->IsRunning())
        m_pListTimer->StartTimer(ms, TIMER_LIST_POLL);
}

void CContactHandler::ClearSessionData()
{
    m_pListTimer->StopTimer();
    m_pPropsTimer->StopTimer();
    m_pPresenceTimer->StopTimer();
    m_emptyBatchCount = 0;
    m_pollInterval = DEFAULT_POLL_INTERVAL_MS;
    // An add of the ended session must neither time out while signed out nor complete in the next one.
    m_pAddTimer->StopTimer();
    ForgetPendingAdd();
}

void CContactHandler::FailPendingAdd()
{
    // An add whose contact was listed but not found yet has no timer and is pending all the same.
    const bool pending = m_pAddTimer->StopTimer() || IsAddPending();
    ForgetPendingAdd();
    if (pending)
        m_pLib->NotifyAddContactFailed(false, 0);
}

bool CContactHandler::HandleError(const TPacketSPtr& /*packet*/, int code)
{
    switch (code) {
    case 9:
    case 10:
        if (!m_pAddTimer->StopTimer())
            return false;
        ForgetPendingAdd();
        m_pLib->NotifyAddContactFailed(false, code);
        return true;
    case 20:
        return true;
    case 67:
        m_pLib->NotifySendAuthRequestFailed();
        return true;
    default:
        return false;
    }
}

bool CContactHandler::IsAddPending() const
{
    return !m_pendingCallTarget.empty() || !m_pendingVexlaName.empty();
}

void CContactHandler::ForgetPendingAdd()
{
    m_pendingCallTarget.clear();
    m_pendingVexlaName.clear();
}

bool CContactHandler::IsPendingContact(const CPacket& record) const
{
    if (!m_pendingCallTarget.empty()) {
        std::wstring callTarget;
        return record.GetAttrString(KEY_CALLTARGET, &callTarget) && callTarget == m_pendingCallTarget;
    }
    std::wstring vexlaName;
    return record.GetAttrString(KEY_VEXLANAME, &vexlaName) && vexlaName == m_pendingVexlaName;
}

void CContactHandler::CompletePendingAdd()
{
    m_pAddTimer->StopTimer();
    const CContact* contact =
        m_pLib->FindContact(m_pendingCallTarget.empty() ? m_pendingVexlaName : m_pendingCallTarget);
    if (contact == nullptr)
        return;
    ForgetPendingAdd();
    m_pLib->NotifyAddContactSuccess(*contact);
}

void CContactHandler::HandleBuddyList(const TPacketSPtr& packet)
{
    const bool addPending = IsAddPending();
    CContactList* list = m_pModel->GetOrCreateContactList();
    int bookmark = 0;
    if (packet->GetAttrInt32(KEY_BOOKMARK, &bookmark))
        list->SetBookmark(bookmark);

    int status = BUDDYLIST_COMPLETE;
    packet->GetAttrInt32(KEY_BUDDYLIST_STATUS, &status);
    int recordCount = 0;
    const bool hasRecordCount = packet->GetAttrInt32(KEY_RECORDCOUNT, &recordCount);
    if (status != BUDDYLIST_COMPLETE && recordCount == 0 && ++m_emptyBatchCount > MAX_EMPTY_BATCHES)
        status = BUDDYLIST_COMPLETE;

    bool listChanged = false;
    bool pendingSeen = false;
    TPacketSPtr records;
    if (hasRecordCount && packet->GetAttrContainer(KEY_BUDDYRECORDS, &records)) {
        for (const TAttributeSPtr& attr : records->GetAttrList()) {
            TPacketSPtr record;
            if (!attr->GetContainer(&record))
                continue;
            if (addPending && !pendingSeen && IsPendingContact(*record))
                pendingSeen = true;
            listChanged = ApplyBuddyRecord(*record) || listChanged;
        }
    }
    if (listChanged)
        m_pLib->NotifyContactListUpdated(true);
    if (pendingSeen)
        CompletePendingAdd();

    // The request is answered: the time-out no longer applies.
    m_pListTimer->StopTimer();
    if (status == BUDDYLIST_COMPLETE) {
        list->SetToComplete();
        m_emptyBatchCount = 0;
        if (m_pollInterval > 0)
            m_pListTimer->StartTimer(m_pollInterval, TIMER_LIST_POLL);
        if (m_pModel->GetProfile() == nullptr)
            m_pLib->RequestProfile();
    } else if (recordCount > 0) {
        // The server had records ready: the next part is asked for at once, so a long list arrives
        // as fast as the server answers, one request at a time.
        RequestContactList();
    } else {
        m_pListTimer->StartTimer(LIST_NEXT_PAGE_MS, TIMER_LIST_NEXT_PAGE);
    }
}

bool CContactHandler::ApplyBuddyRecord(const CPacket& record)
{
    int index = 0;
    if (!record.GetAttrInt32(KEY_BUDDYINDEX, &index) || index == 0)
        return false;
    CContactList* list = m_pModel->GetContactList();
    CContact* contact = list->FindContact(index);
    int availability = CAvailability::UNKNOWN;
    std::wstring vexlaName;
    std::wstring callTarget;
    record.GetAttrInt32(KEY_CONTACTAVAILABILITY, &availability);
    record.GetAttrString(KEY_VEXLANAME, &vexlaName);
    record.GetAttrString(KEY_CALLTARGET, &callTarget);
    availability = EffectiveAvailability(availability, vexlaName);

    if (availability == CAvailability::DELETED) {
        if (contact == nullptr)
            return false;
        m_pLib->NotifyContactDeleted(*contact);
        m_pModel->DeleteContact(contact);
        return true;
    }
    if (contact == nullptr) {
        contact = list->CreateContact(m_pModel->GetNewObjectHandle(), index, availability, vexlaName, callTarget);
        m_pModel->AddObject(contact);
        UpdateContact(record, contact);
        m_pLib->NotifyContactAdded(*contact);
        return true;
    }
    const bool wasVexlaOut = contact->IsVexlaOut();
    const int changes = UpdateContact(record, contact);
    if (changes == 0)
        return false;
    list->NoteChange(*contact, changes, wasVexlaOut);
    list->InvalidateSorting();
    m_pLib->NotifyContactUpdated(*contact, changes);
    return true;
}

int CContactHandler::UpdateContact(const CPacket& record, CContact* contact)
{
    int changes = 0;
    for (const TAttributeSPtr& attr : record.GetAttrList()) {
        std::wstring text;
        int number = 0;
        const bool isText = attr->GetString(&text);
        const bool isNumber = attr->GetInt32(&number);
        auto track = [&changes](bool changed, int bit) {
            if (changed)
                changes |= bit;
        };
        switch (attr->GetKey()) {
        case KEY_FULLNAME: track(isText && contact->SetFullName(text), CHANGE_FULLNAME); break;
        case KEY_CONTACTAVAILABILITY:
            track(isNumber && contact->SetAvailability(EffectiveAvailability(number, contact->GetVexlaName())),
                  CHANGE_AVAILABILITY);
            break;
        case KEY_AUTHMSG: track(isText && contact->SetAuthMsg(text), CHANGE_AUTHMSG); break;
        case KEY_BIRTHDAY: track(isNumber && contact->SetBirthday(number), CHANGE_BIRTHDAY); break;
        case KEY_GENDER:
            track(isNumber && contact->SetGender(static_cast<CContact::eGender>(number)), CHANGE_GENDER);
            break;
        case KEY_LANGUAGES: track(isText && contact->SetLanguages(text), CHANGE_LANGUAGES); break;
        case KEY_COUNTRY: track(isText && contact->SetCountry(text), CHANGE_COUNTRY); break;
        case KEY_PROVINCE: track(isText && contact->SetProvince(text), CHANGE_PROVINCE); break;
        case KEY_CITY: track(isText && contact->SetCity(text), CHANGE_CITY); break;
        case KEY_PHONE_HOME: track(isText && contact->SetPhoneHome(text), CHANGE_PHONE_HOME); break;
        case KEY_PHONE_OFFICE: track(isText && contact->SetPhoneOffice(text), CHANGE_PHONE_OFFICE); break;
        case KEY_PHONE_MOBILE: track(isText && contact->SetPhoneMobile(text), CHANGE_PHONE_MOBILE); break;
        case KEY_EMAILS: track(isText && contact->SetEmails(text), CHANGE_EMAILS); break;
        case KEY_HOMEPAGE: track(isText && contact->SetHomepage(text), CHANGE_HOMEPAGE); break;
        case KEY_ABOUT: track(isText && contact->SetAbout(text), CHANGE_ABOUT); break;
        case KEY_MOOD_TEXT: track(isText && contact->SetMoodText(text), CHANGE_MOODTEXT); break;
        case KEY_NROF_AUTHED_BUDDIES: track(isNumber && contact->SetNrOfContacts(number), CHANGE_NROFCONTACTS); break;
        case KEY_DISPLAYNAME: track(isText && contact->SetDisplayName(text), CHANGE_DISPLAYNAME); break;
        case KEY_AVATAR_CRC: track(isNumber && contact->SetAvatarCrc(number), CHANGE_AVATAR); break;
        default: break;
        }
    }
    return changes;
}

void CContactHandler::HandleContactProperties(const TPacketSPtr& packet)
{
    if (!m_pPropsTimer->StopTimer())
        return;
    CContactList* list = m_pModel->GetContactList();
    if (list == nullptr)
        return;
    std::wstring vexlaName;
    if (!packet->GetAttrString(KEY_VEXLANAME, &vexlaName)) {
        LogMissingAttr(KEY_VEXLANAME, CHUNK_CONTACTPROPERTIES);
        return;
    }
    CContact* contact = list->FindContact(vexlaName);
    if (contact == nullptr)
        return;
    const bool wasVexlaOut = contact->IsVexlaOut();
    const int changes = UpdateContact(*packet, contact);
    list->NoteChange(*contact, changes, wasVexlaOut);
    m_pLib->NotifyContactPropsUpdated(*contact, changes);
    if (changes != 0)
        m_pLib->NotifyContactUpdated(*contact, changes);
}

void CContactHandler::HandleAvatar(const TPacketSPtr& packet)
{
    const CContactList* list = m_pModel->GetContactList();
    if (list == nullptr)
        return;
    int index = 0;
    if (!packet->GetAttrInt32(KEY_BUDDYINDEX, &index)) {
        LogMissingAttr(KEY_BUDDYINDEX, CHUNK_AVATAR);
        return;
    }
    const CContact* contact = list->FindContact(index);
    if (contact == nullptr) {
        LogWarning() << L"Contact is no longer present in contact list when receiving avatar for contact." << std::endl;
        return;
    }
    TByteArraySPtr image;
    if (!packet->GetAttrBinary(KEY_AVATARIMAGE, &image)) {
        LogMissingAttr(KEY_AVATARIMAGE, CHUNK_AVATAR);
        return;
    }
    if (image->empty())
        LogWarning() << L"Empty avatar image received." << std::endl;
    m_pLib->NotifyAvatarReceived(*contact, image);
}

void CContactHandler::HandleIncomingAuthRequest(const TPacketSPtr& packet)
{
    std::wstring vexlaName;
    if (!packet->GetAttrString(KEY_VEXLANAME, &vexlaName)) {
        LogMissingAttr(KEY_VEXLANAME, CHUNK_INCOMINGAUTHREQUEST);
        return;
    }
    CEventList* events = m_pModel->GetOrCreateEventList();
    CAuthRequest* request = events->FindAuthRequest(vexlaName);
    const bool isNew = request == nullptr;
    if (isNew) {
        request = events->CreateAuthRequest(m_pModel->GetNewObjectHandle(), vexlaName);
        m_pModel->AddObject(request);
    }
    bool changed = isNew;
    std::wstring text;
    if (packet->GetAttrString(KEY_AUTHMSG, &text))
        changed = request->SetAuthMsg(text) || changed;
    if (packet->GetAttrString(KEY_MOOD_TEXT, &text))
        changed = request->SetMoodText(text) || changed;
    if (packet->GetAttrString(KEY_FULLNAME, &text))
        changed = request->SetFullName(text) || changed;

    if (isNew)
        m_pLib->NotifyEventAdded(request);
    else if (changed)
        m_pLib->NotifyEventUpdated(request);
    if (changed)
        m_pLib->NotifyEventListUpdated(true);
}

void CContactHandler::HandleContactSearchResults(const TPacketSPtr& packet)
{
    CSearch* search = m_pModel->GetSearch();
    if (search == nullptr) {
        LogWarning() << L"Received unexpected contact search results." << std::endl;
        return;
    }
    int searchId = 0;
    int status = 0;
    if (!packet->GetAttrInt32(KEY_SEARCH_ID, &searchId)) {
        LogMissingAttr(KEY_SEARCH_ID, CHUNK_CONTACTSEARCHRESULTS);
        return;
    }
    if (!packet->GetAttrInt32(KEY_SEARCHSTATUS, &status)) {
        LogMissingAttr(KEY_SEARCHSTATUS, CHUNK_CONTACTSEARCHRESULTS);
        return;
    }
    if (!search->HasSearchId())
        search->SetSearchId(searchId);
    if (search->GetSearchId() != searchId) {
        LogWarning() << L"Received unexpected contact search results for unknown search object." << std::endl;
        return;
    }
    search->SetStatus(status);

    bool added = false;
    TPacketSPtr records;
    if (packet->GetAttrContainer(KEY_SEARCHRESULTRECORDS, &records)) {
        for (const TAttributeSPtr& attr : records->GetAttrList()) {
            TPacketSPtr record;
            if (!attr->GetContainer(&record))
                continue;
            std::wstring vexlaName;
            std::wstring fullName;
            std::wstring country;
            if (!record->GetAttrString(KEY_VEXLANAME, &vexlaName)) {
                LogMissingAttr(KEY_VEXLANAME, CHUNK_CONTACTSEARCHRESULTS);
                continue;
            }
            record->GetAttrString(KEY_FULLNAME, &fullName);
            record->GetAttrString(KEY_COUNTRY, &country);
            search->CreateResult(vexlaName, fullName, country);
            added = true;
        }
    }
    if (added)
        m_pLib->NotifySearchResultAdded(*search);
    switch (status) {
    case CSearch::SEARCH_EXTENDABLE:
        m_pLib->NotifySearchFinished(*search, true);
        break;
    case CSearch::SEARCH_FINISHED:
        m_pLib->NotifySearchFinished(*search, false);
        break;
    case CSearch::SEARCH_FAILED:
        m_pLib->NotifySearchFailed(*search);
        break;
    default:
        break;
    }
}

void CContactHandler::OnTimer(int id)
{
    switch (id) {
    case TIMER_LIST_TIMEOUT:
        LogWarning() << L"Get contact list request (CHUNK_BUDDYLIST) time-out." << std::endl;
        RequestContactList();
        break;
    case TIMER_LIST_NEXT_PAGE:
    case TIMER_LIST_POLL:
        RequestContactList();
        break;
    case TIMER_PROPS:
        LogWarning() << L"Get contact properties request (CHUNK_CONTACTPROPERTIES) time-out." << std::endl;
        m_pLib->NotifyContactPropsFailed(true);
        break;
    case TIMER_PRESENCE:
        m_pLib->RequestPresenceUpdate();
        break;
    case TIMER_ADD:
        m_pAddTimer->StopTimer();
        ForgetPendingAdd();
        m_pLib->NotifyAddContactFailed(true, 0);
        break;
    default:
        assert(false && "unknown contact timer");
        break;
    }
}

}  // namespace VexlaLib
