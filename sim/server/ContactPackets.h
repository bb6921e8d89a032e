#pragma once

#include <string>
#include <vector>

#include "ContactDirectory.h"
#include "Network/PacketPtr.h"

namespace ServerSim {

// The packets the contacts side of the simulated network sends.
class CContactPackets {
public:
    static VexlaLib::TPacketSPtr BuddyList(const SBuddyPage& page);
    static VexlaLib::TPacketSPtr BuddyRecord(const SBuddyRecord& record);
    // A complete CHUNK_BUDDYLIST of one changed entry and no bookmark: the client's next request still
    // asks for everything since its own bookmark.
    static VexlaLib::TPacketSPtr EntryUpdate(const SBuddyRecord& record);
    static VexlaLib::TPacketSPtr Presence(const std::vector<int>& entries, int bookmark);
    static VexlaLib::TPacketSPtr AuthRequest(const SAuthRequest& request, const SSimUser& from);
    static VexlaLib::TPacketSPtr Error(int code, const std::string& message);
    // The picture checksum the client compares (attribute 152).
    static int PictureChecksum(const std::vector<unsigned char>& picture);
    static std::wstring Wide(const std::string& text);
    static std::string Narrow(const std::wstring& text);
};

}  // namespace ServerSim
