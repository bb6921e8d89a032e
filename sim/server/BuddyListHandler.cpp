#include "BuddyListHandler.h"

#include "Connection.h"
#include "ContactDirectory.h"
#include "ContactPackets.h"
#include "ContactRouting.h"
#include "Network/OutgoingPacket.h"
#include "Network/AttrChunk.h"
#include "Network/AttrKey.h"
#include "Network/Attribute.h"

using VexlaLib::COutgoingPacket;

namespace ServerSim {

std::vector<int> CBuddyListHandler::Chunks() const
{
    return {VexlaLib::CHUNK_GETBUDDYLIST, VexlaLib::CHUNK_ADDCONTACT, VexlaLib::CHUNK_DELETECONTACT,
            VexlaLib::CHUNK_GETCONTACTPROPERTIES, VexlaLib::CHUNK_GETAVATAR};
}

void CBuddyListHandler::Handle(CConnection& connection, const VexlaLib::CPacket& packet)
{
    std::string account;
    int chunk = 0;
    CContactDirectory* directory = CContactRouting::Directory(connection, packet, &account, &chunk);
    if (directory == nullptr)
        return;
    int value = 0;
    switch (chunk) {
    case VexlaLib::CHUNK_GETBUDDYLIST:
        packet.GetAttrInt32(VexlaLib::KEY_BOOKMARK, &value);
        if (value == 0)
            SendPresenceSettings(connection, *directory);
        connection.Send(*CContactPackets::BuddyList(directory->Page(account, value)));
        break;
    case VexlaLib::CHUNK_ADDCONTACT:
        OnAdd(connection, *directory, account, packet);
        break;
    case VexlaLib::CHUNK_DELETECONTACT: {
        SBuddyRecord record;
        if (packet.GetAttrInt32(VexlaLib::KEY_BUDDYINDEX, &value) && directory->FindBuddy(account, value, record) &&
            directory->DeleteBuddy(account, value))
            CContactRouting::PushEntry(connection.Context(), account, record.buddy.name.empty() ? record.buddy.number : record.buddy.name);
        break;
    }
    case VexlaLib::CHUNK_GETCONTACTPROPERTIES:
        if (packet.GetAttrInt32(VexlaLib::KEY_BUDDYINDEX, &value))
            OnProperties(connection, *directory, account, value);
        break;
    case VexlaLib::CHUNK_GETAVATAR:
        if (packet.GetAttrInt32(VexlaLib::KEY_BUDDYINDEX, &value))
            OnPicture(connection, *directory, account, value);
        break;
    default:
        break;
    }
}

void CBuddyListHandler::SendPresenceSettings(CConnection& connection, const CContactDirectory& directory)
{
    int foreground = 0;
    int background = 0;
    if (!directory.PresenceSettings(foreground, background))
        return;
    VexlaLib::TPacketSPtr settings = COutgoingPacket::Create(VexlaLib::CHUNK_PRESENCESETTINGS);
    if (foreground > 0)
        COutgoingPacket::AddInt32(settings, VexlaLib::KEY_FG_POLL_INTERVAL, foreground);
    if (background > 0)
        COutgoingPacket::AddInt32(settings, VexlaLib::KEY_BG_POLL_INTERVAL, background);
    connection.Send(*settings);
}

void CBuddyListHandler::OnAdd(CConnection& connection, CContactDirectory& directory, const std::string& account,
                              const VexlaLib::CPacket& packet)
{
    std::wstring name;
    std::wstring number;
    std::wstring text;
    if (packet.GetAttrString(VexlaLib::KEY_CALLTARGET, &number)) {
        packet.GetAttrString(VexlaLib::KEY_FULLNAME, &text);
        directory.AddNumber(account, CContactPackets::Narrow(number), CContactPackets::Narrow(text));
        CContactRouting::PushEntry(connection.Context(), account, CContactPackets::Narrow(number));
        return;
    }
    if (!packet.GetAttrString(VexlaLib::KEY_VEXLANAME, &name))
        return;
    packet.GetAttrString(VexlaLib::KEY_AUTHMSG, &text);
    const std::string user = CContactPackets::Narrow(name);
    // The test-call user accepts everyone at once.
    const bool authorized = user == "echo123";
    int error = 0;
    if (directory.AddBuddy(account, user, authorized, error) == 0) {
        connection.Send(*CContactPackets::Error(error, error == 9 ? "No such user" : "Already in the contact list"));
        return;
    }
    CContactRouting::PushEntry(connection.Context(), account, user);
    if (!authorized && directory.RequestAuthorization(account, user, CContactPackets::Narrow(text))) {
        SSimUser from;
        directory.FindUser(account, from);
        from.name = account;
        CContactRouting::ToAccount(connection.Context(), user,
                                   *CContactPackets::AuthRequest(SAuthRequest{account, CContactPackets::Narrow(text)}, from));
    }
}

void CBuddyListHandler::OnProperties(CConnection& connection, CContactDirectory& directory,
                                     const std::string& account, int index)
{
    SBuddyRecord record;
    if (!directory.FindBuddy(account, index, record))
        return;
    VexlaLib::TPacketSPtr answer = COutgoingPacket::Create(VexlaLib::CHUNK_CONTACTPROPERTIES);
    const bool number = !record.buddy.number.empty();
    COutgoingPacket::AddString(answer, VexlaLib::KEY_VEXLANAME,
                               CContactPackets::Wide(number ? record.buddy.number : record.buddy.name));
    COutgoingPacket::AddString(answer, VexlaLib::KEY_FULLNAME,
                               CContactPackets::Wide(number ? record.buddy.fullName : record.user.fullName));
    COutgoingPacket::AddString(answer, VexlaLib::KEY_COUNTRY, CContactPackets::Wide(record.user.country));
    COutgoingPacket::AddString(answer, VexlaLib::KEY_CITY, CContactPackets::Wide(record.user.city));
    COutgoingPacket::AddString(answer, VexlaLib::KEY_MOOD_TEXT, CContactPackets::Wide(record.user.mood));
    COutgoingPacket::AddString(answer, VexlaLib::KEY_ABOUT, CContactPackets::Wide(record.user.about));
    COutgoingPacket::AddInt32(answer, VexlaLib::KEY_BIRTHDAY, record.user.birthday);
    connection.Send(*answer);
}

void CBuddyListHandler::OnPicture(CConnection& connection, CContactDirectory& directory, const std::string& account,
                                  int index)
{
    SBuddyRecord record;
    if (!directory.FindBuddy(account, index, record))
        return;
    VexlaLib::TPacketSPtr answer = COutgoingPacket::Create(VexlaLib::CHUNK_AVATAR);
    COutgoingPacket::AddInt32(answer, VexlaLib::KEY_BUDDYINDEX, index);
    // A user without a picture gets an empty image, as the network sends it: a zero length.
    COutgoingPacket::AddBinary(answer, VexlaLib::KEY_AVATARIMAGE, record.user.picture);
    connection.Send(*answer);
}

}  // namespace ServerSim
