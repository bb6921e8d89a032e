#include "Model/Model.h"

#include "Model/Availability.h"

#include <cassert>
#include <climits>
#include <cstddef>

namespace VexlaLib {

namespace {

template <typename T>
T* GetOrCreate(std::unique_ptr<T>& part)
{
    if (!part)
        part = std::make_unique<T>();
    return part.get();
}

}  // namespace

CModel::~CModel()
{
    ClearSessionData();
}

int CModel::GetNewObjectHandle()
{
    const int handle = m_nextHandle;
    // Wrap past the top without ever producing 0 or a negative handle.
    m_nextHandle = m_nextHandle == INT_MAX ? 1 : m_nextHandle + 1;
    return handle;
}

void CModel::AddObject(CObjectBase* pObject)
{
    assert(pObject != NULL);
    assert(pObject->GetHandle() != 0);
    m_objects[pObject->GetHandle()] = pObject;
}

void CModel::RemoveObject(CObjectBase* pObject)
{
    assert(pObject != NULL);
    assert(pObject->GetHandle() != 0);
    m_objects.erase(pObject->GetHandle());
}

CObjectBase* CModel::GetObjectBase(int handle) const
{
    if (handle == 0)
        return nullptr;
    auto it = m_objects.find(handle);
    return it == m_objects.end() ? nullptr : it->second;
}

template <typename T>
T* CModel::GetTypedObject(int handle, CObjectBase::eObjectType type) const
{
    CObjectBase* pObject = GetObjectBase(handle);
    return pObject != nullptr && pObject->GetType() == type ? static_cast<T*>(pObject) : nullptr;
}

CContact* CModel::GetContact(int handle) const
{
    return GetTypedObject<CContact>(handle, CObjectBase::OBJECT_CONTACT);
}

CChat* CModel::GetChat(int handle) const
{
    return GetTypedObject<CChat>(handle, CObjectBase::OBJECT_CHAT);
}

CVoicemail* CModel::GetVoicemail(int handle) const
{
    return GetTypedObject<CVoicemail>(handle, CObjectBase::OBJECT_VOICEMAIL);
}

CAuthRequest* CModel::GetAuthRequest(int handle) const
{
    return GetTypedObject<CAuthRequest>(handle, CObjectBase::OBJECT_AUTHREQUEST);
}

CProfile* CModel::GetOrCreateProfile() { return GetOrCreate(m_pProfile); }
CCredit* CModel::GetOrCreateCredit() { return GetOrCreate(m_pCredit); }
CCallSetup* CModel::GetOrCreateCallSetup() { return GetOrCreate(m_pCallSetup); }
CContactList* CModel::GetOrCreateContactList() { return GetOrCreate(m_pContactList); }
CEventList* CModel::GetOrCreateEventList() { return GetOrCreate(m_pEventList); }

CSearch* CModel::CreateSearch(const std::wstring& searchString)
{
    if (m_pSearch)
        return nullptr;
    m_pSearch = std::make_unique<CSearch>(searchString);
    return m_pSearch.get();
}

void CModel::DeleteProfile() { m_pProfile.reset(); }
void CModel::DeleteCredit() { m_pCredit.reset(); }
void CModel::DeleteCallSetup() { m_pCallSetup.reset(); }
void CModel::DeleteSearch() { m_pSearch.reset(); }

// The parts own the named objects: unregister them before they go, so no handle can reach a destroyed
// object even if the list is deleted on its own.
void CModel::DeleteContactList()
{
    if (!m_pContactList)
        return;
    for (CContact* pContact : m_pContactList->GetList(false))
        RemoveObject(pContact);
    m_pContactList.reset();
}

void CModel::DeleteEventList()
{
    if (!m_pEventList)
        return;
    for (const auto& event : m_pEventList->GetList(false))
        RemoveObject(event.get());
    m_pEventList.reset();
}

void CModel::DeleteContact(CContact* pContact)
{
    if (pContact == nullptr || !m_pContactList)
        return;
    RemoveObject(pContact);
    m_pContactList->DeleteContact(pContact);
}

void CModel::DeleteEvent(CEventBase* pEvent)
{
    if (pEvent == nullptr || !m_pEventList)
        return;
    RemoveObject(pEvent);
    m_pEventList->DeleteEvent(pEvent);
}

void CModel::ReleaseDeletedObjects()
{
    if (m_pContactList)
        m_pContactList->ReleaseDeletedContacts();
}

void CModel::ClearSessionData()
{
    DeleteProfile();
    DeleteCredit();
    DeleteCallSetup();
    DeleteContactList();
    DeleteEventList();
    DeleteSearch();
    m_objects.clear();
}

bool CModel::SetAvailability(int availability)
{
    if (availability == CAvailability::CONNECTING) {
        const bool wasConnecting = m_connecting;
        m_connecting = true;
        return !wasConnecting;
    }
    m_connecting = false;
    const bool changed = m_officialAvailability != availability;
    m_officialAvailability = availability;
    return changed;
}

}  // namespace VexlaLib
