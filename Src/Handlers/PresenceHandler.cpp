#include "Handlers/PresenceHandler.h"

#include "Handlers/ContactHandler.h"
#include "Handlers/OutgoingPacket.h"
#include "Model/ContactChange.h"
#include "Model/Model.h"
#include "Network/AttrChunk.h"
#include "Network/AttrKey.h"
#include "Network/Packet.h"
#include "Public/VexlaLib.h"

#include <cassert>

namespace VexlaLib {

CPresenceHandler::CPresenceHandler(CVexlaLib* pLib, CModel* pModel)
    : m_pLib(pLib)
    , m_pModel(pModel)
{
    assert(m_pLib != nullptr && "m_pLib != __null");
    assert(m_pModel != nullptr && "m_pModel != __null");
}

void CPresenceHandler::RequestPresenceUpdate()
{
    const CContactList* list = m_pModel->GetContactList();
    TPacketSPtr packet = COutgoingPacket::Create(CHUNK_GETPRESENCEUPDATE);
    COutgoingPacket::AddInt32(packet, KEY_BOOKMARK, list ? list->GetPresenceBookmark() : 0);
    m_pLib->SendPacket(packet);
}

void CPresenceHandler::SetOnlineStatus(int availability)
{
    TPacketSPtr packet = COutgoingPacket::Create(CHUNK_CHANGEONLINESTATUS);
    COutgoingPacket::AddInt32(packet, KEY_CONTACTAVAILABILITY, availability);
    m_pLib->SendPacket(packet);
}

void CPresenceHandler::SetForegroundMode(bool foreground)
{
    TPacketSPtr packet = COutgoingPacket::Create(CHUNK_CHANGEONLINESTATUS);
    COutgoingPacket::AddInt32(packet, KEY_CONTACTAVAILABILITY, m_pModel->GetOfficialAvailability());
    COutgoingPacket::AddInt32(packet, KEY_CLIENTSTATE, foreground ? 0 : 1);
    m_pLib->SendPacket(packet);
}

void CPresenceHandler::HandlePresenceUpdate(const TPacketSPtr& packet)
{
    CContactList* list = m_pModel->GetContactList();
    if (list == nullptr)
        return;
    int bookmark = 0;
    if (packet->GetAttrInt32(KEY_BOOKMARK, &bookmark))
        list->SetPresenceBookmark(bookmark);
    int* entries = nullptr;
    int count = 0;
    if (!packet->GetAttrIntArray(KEY_ONLINESTATUSES, &entries, &count))
        return;
    bool anyChanged = false;
    for (int i = 0; i < count; ++i) {
        // Buddy index in bits 8 to 23, availability in bits 0 to 7; the top byte is not used.
        const unsigned int entry = static_cast<unsigned int>(entries[i]);
        CContact* contact = list->FindContact(static_cast<int>((entry >> 8) & 0xFFFF));
        if (contact == nullptr)
            continue;
        const int availability =
            CContactHandler::EffectiveAvailability(static_cast<int>(entry & 0xFF), contact->GetVexlaName());
        const bool wasVexlaOut = contact->IsVexlaOut();
        if (!contact->SetAvailability(availability))
            continue;
        list->NoteChange(*contact, CHANGE_AVAILABILITY, wasVexlaOut);
        list->InvalidateSorting();
        m_pLib->NotifyContactUpdated(*contact, CHANGE_AVAILABILITY);
        anyChanged = true;
    }
    if (anyChanged)
        m_pLib->NotifyContactListUpdated(true);
}

void CPresenceHandler::HandleContactOnlineStatus(const TPacketSPtr& packet)
{
    int availability = 0;
    if (packet->GetAttrInt32(KEY_CONTACTAVAILABILITY, &availability) && m_pModel->SetAvailability(availability))
        m_pLib->NotifyAvailabilityChanged(availability);
}

}  // namespace VexlaLib
