#pragma once

#include "Model/CallSetup.h"
#include "Model/ContactList.h"
#include "Model/Credit.h"
#include "Model/EventList.h"
#include "Model/ObjectBase.h"
#include "Model/Profile.h"
#include "Model/Search.h"

#include <map>
#include <memory>
#include <string>

namespace VexlaLib {

// The library's in-memory picture of the signed-in user: contact list, event list, profile, credit,
// call set-up and the running contact search, each created on first use, plus the index of every
// object the platform side can name by handle. Handles are never reused while the process lives.
class CModel
{
public:
    CModel() = default;
    virtual ~CModel();

    CModel(const CModel&) = delete;
    CModel& operator=(const CModel&) = delete;

    int GetNewObjectHandle();
    // Registers an object under its handle, replacing any entry with that handle.
    void AddObject(CObjectBase* pObject);
    void RemoveObject(CObjectBase* pObject);
    // Null for handle 0, an unknown handle, or (typed forms) an object of another type.
    CObjectBase* GetObjectBase(int handle) const;
    CContact* GetContact(int handle) const;
    CChat* GetChat(int handle) const;
    CVoicemail* GetVoicemail(int handle) const;
    CAuthRequest* GetAuthRequest(int handle) const;

    CProfile* GetProfile() const { return m_pProfile.get(); }
    CCredit* GetCredit() const { return m_pCredit.get(); }
    CCallSetup* GetCallSetup() const { return m_pCallSetup.get(); }
    CContactList* GetContactList() const { return m_pContactList.get(); }
    CEventList* GetEventList() const { return m_pEventList.get(); }
    CSearch* GetSearch() const { return m_pSearch.get(); }

    CProfile* GetOrCreateProfile();
    CCredit* GetOrCreateCredit();
    CCallSetup* GetOrCreateCallSetup();
    CContactList* GetOrCreateContactList();
    CEventList* GetOrCreateEventList();
    // Null, and nothing changes, while a search exists.
    CSearch* CreateSearch(const std::wstring& searchString);

    void DeleteProfile();
    void DeleteCredit();
    void DeleteCallSetup();
    void DeleteContactList();
    void DeleteEventList();
    void DeleteSearch();

    // Unregisters the contact and takes it out of the contact list. Listeners may still hold the
    // reference they were given while it was removed, so it is destroyed only by
    // ReleaseDeletedObjects (or with the contact list).
    void DeleteContact(CContact* pContact);
    // Unregisters the event and destroys it.
    void DeleteEvent(CEventBase* pEvent);
    // Destroys the contacts deleted since the last call; the library calls it once no listener can
    // hold them any more (at the end of each processing step).
    void ReleaseDeletedObjects();

    // Drops everything of the session: all parts and the handle index. The handle counter, the user
    // name and the availability survive.
    void ClearSessionData();

    const std::wstring& GetUserName() const { return m_userName; }
    void SetUserName(const std::wstring& userName) { m_userName = userName; }

    // Code 14 (connecting) only raises the connecting flag; any other code clears it and becomes the
    // official availability. Returns whether the flag was raised or the official code changed.
    bool SetAvailability(int availability);
    int GetOfficialAvailability() const { return m_officialAvailability; }
    bool IsConnecting() const { return m_connecting; }

private:
    template <typename T>
    T* GetTypedObject(int handle, CObjectBase::eObjectType type) const;

    std::wstring m_userName;
    int m_officialAvailability = 0;
    bool m_connecting = false;
    std::unique_ptr<CProfile> m_pProfile;
    std::unique_ptr<CCredit> m_pCredit;
    std::unique_ptr<CCallSetup> m_pCallSetup;
    std::unique_ptr<CContactList> m_pContactList;
    std::unique_ptr<CEventList> m_pEventList;
    std::unique_ptr<CSearch> m_pSearch;
    int m_nextHandle = 1;
    std::map<int, CObjectBase*> m_objects;
};

}  // namespace VexlaLib
