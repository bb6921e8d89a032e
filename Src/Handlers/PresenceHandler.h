#pragma once

#include "Handlers/BaseHandler.h"

namespace VexlaLib {

class CModel;
class CVexlaLib;

// Applies presence updates to the contacts, asks the server for them, and sets the user's own
// availability and foreground or background state. It keeps no state of its own.
class CPresenceHandler : public CBaseHandler
{
public:
    CPresenceHandler(CVexlaLib* pLib, CModel* pModel);

    void RequestPresenceUpdate();
    void SetOnlineStatus(int availability);
    void SetForegroundMode(bool foreground);

    void HandlePresenceUpdate(const TPacketSPtr& packet);
    void HandleContactOnlineStatus(const TPacketSPtr& packet);

    void ClearSessionData() override {}
    bool HandleError(const TPacketSPtr& /*packet*/, int /*code*/) override { return false; }

private:
    CVexlaLib* m_pLib;
    CModel* m_pModel;
};

}  // namespace VexlaLib
