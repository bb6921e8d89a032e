#include "Model/ContactList.h"

#include "Model/ContactChange.h"
#include "Utils/Utils.h"

#include <algorithm>
#include <cassert>

namespace VexlaLib {

CContact* CContactList::CreateContact(int handle, int index, int availability, const std::wstring& vexlaName,
                                      const std::wstring& callTarget)
{
    assert(index != 0);
    auto& slot = m_contacts[index];
    if (slot)
        return nullptr;
    slot = std::make_unique<CContact>(handle, index, availability, vexlaName, callTarget);
    m_sortState = SORT_STALE;
    if (!m_lookupStale)
        IndexContact(*slot);
    return slot.get();
}

void CContactList::DeleteContact(CContact* pContact)
{
    if (pContact == nullptr)
        return;
    auto it = m_contacts.find(pContact->GetIndex());
    if (it == m_contacts.end() || it->second.get() != pContact)
        return;
    m_deletedContacts.push_back(std::move(it->second));
    m_contacts.erase(it);
    m_sortState = SORT_STALE;
    m_lookupStale = true;
}

void CContactList::ReleaseDeletedContacts()
{
    m_deletedContacts.clear();
}

CContact* CContactList::FindContact(int index) const
{
    auto it = m_contacts.find(index);
    return it == m_contacts.end() ? nullptr : it->second.get();
}

CContact* CContactList::FindContact(const std::wstring& text) const
{
    // Empty text names nobody (a contact's unset phone fields are empty too).
    if (text.empty())
        return nullptr;
    if (m_lookupStale) {
        m_lookup.clear();
        for (const auto& entry : m_contacts)
            IndexContact(*entry.second);
        m_lookupStale = false;
    }
    auto found = m_lookup.find(text);
    return found == m_lookup.end() ? nullptr : FindContact(found->second);
}

void CContactList::IndexContact(const CContact& contact) const
{
    auto enter = [this, &contact](const std::wstring& text) {
        if (text.empty())
            return;
        auto slot = m_lookup.emplace(text, contact.GetIndex());
        if (!slot.second && contact.GetIndex() < slot.first->second)
            slot.first->second = contact.GetIndex();
    };
    if (contact.IsVexlaOut()) {
        enter(contact.GetCallTarget());
        return;
    }
    enter(contact.GetVexlaName());
    enter(contact.GetPhoneHome());
    enter(contact.GetPhoneMobile());
    enter(contact.GetPhoneOffice());
}

void CContactList::NoteChange(const CContact& contact, int changes, bool wasVexlaOut)
{
    const int lookedUp = CHANGE_PHONE_HOME | CHANGE_PHONE_OFFICE | CHANGE_PHONE_MOBILE;
    if ((changes & lookedUp) != 0 || contact.IsVexlaOut() != wasVexlaOut)
        m_lookupStale = true;
}

const std::vector<CContact*>& CContactList::GetList(bool sorted)
{
    if (m_sortState == SORT_STALE) {
        m_list.clear();
        m_list.reserve(m_contacts.size());
        for (const auto& entry : m_contacts)
            m_list.push_back(entry.second.get());
        m_sortState = SORT_UNSORTED;
    }
    if (sorted && m_sortState != SORT_SORTED) {
        // Ties are broken by index explicitly: after InvalidateSorting the vector still holds the
        // previous order, so stability alone would not keep equal contacts in index order.
        std::sort(m_list.begin(), m_list.end(), [](const CContact* a, const CContact* b) {
            const int order = Compare(*a, *b);
            return order != 0 ? order < 0 : a->GetIndex() < b->GetIndex();
        });
        m_sortState = SORT_SORTED;
    }
    return m_list;
}

void CContactList::InvalidateSorting()
{
    m_sortState = m_sortState == SORT_STALE ? SORT_STALE : SORT_UNSORTED;
}

bool CContactList::CompareFunc(const CContact* a, const CContact* b)
{
    if (a == nullptr || b == nullptr)
        return false;
    return Compare(*a, *b) < 0;
}

int CContactList::Compare(const CContact& a, const CContact& b)
{
    const int sortA = a.GetSortIndex();
    const int sortB = b.GetSortIndex();
    if (sortA != sortB)
        return sortA < sortB ? -1 : 1;
    const std::wstring& nameA = a.GetDisplayString();
    const std::wstring& nameB = b.GetDisplayString();
    const size_t common = std::min(nameA.size(), nameB.size());
    for (size_t i = 0; i < common; ++i) {
        // Equal characters are equal in any case; only differing ones need their lowercase forms.
        if (nameA[i] == nameB[i])
            continue;
        if (CUtils::NoCaseLess(nameA[i], nameB[i]))
            return -1;
        if (CUtils::NoCaseLess(nameB[i], nameA[i]))
            return 1;
    }
    if (nameA.size() == nameB.size())
        return 0;
    return nameA.size() < nameB.size() ? -1 : 1;
}

}  // namespace VexlaLib
