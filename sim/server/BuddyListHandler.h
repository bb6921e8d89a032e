#pragma once

#include "SimHandler.h"

namespace ServerSim {

class CContactDirectory;

// The buddy list of the signed-in account: pages after a bookmark, adds (network users and
// telephone numbers), deletes, a contact's properties and picture. Adds and deletes are confirmed
// with a pushed CHUNK_BUDDYLIST holding the changed entry; an add that cannot be made is refused with
// CHUNK_ERROR 9 (no such user) or 10 (already listed).
class CBuddyListHandler : public ISimHandler {
public:
    std::vector<int> Chunks() const override;
    void Handle(CConnection& connection, const VexlaLib::CPacket& packet) override;

private:
    // CHUNK_PRESENCESETTINGS at the start of a buddy list, when the scenario sets poll intervals.
    static void SendPresenceSettings(CConnection& connection, const CContactDirectory& directory);
    void OnAdd(CConnection& connection, CContactDirectory& directory, const std::string& account,
               const VexlaLib::CPacket& packet);
    void OnProperties(CConnection& connection, CContactDirectory& directory, const std::string& account, int index);
    void OnPicture(CConnection& connection, CContactDirectory& directory, const std::string& account, int index);
};

}  // namespace ServerSim
