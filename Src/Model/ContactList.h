#pragma once

#include "Model/Contact.h"

#include <map>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

namespace VexlaLib {

// The buddy list: contacts keyed by the server's buddy index, plus a cached vector handed out by
// GetList, rebuilt or re-sorted only when something changed.
//
// A deleted contact is not destroyed at once: listeners were handed a reference to it while it was
// being removed, so it stays alive (owned by the list, no longer listed) until
// ReleaseDeletedContacts, which the library calls once no listener can still hold it.
class CContactList
{
public:
    CContactList() = default;
    virtual ~CContactList() = default;

    CContactList(const CContactList&) = delete;
    CContactList& operator=(const CContactList&) = delete;

    // Creates a contact under index (never 0); null if the index is taken. The caller registers it
    // with CModel::AddObject.
    CContact* CreateContact(int handle, int index, int availability, const std::wstring& vexlaName,
                            const std::wstring& callTarget);
    // Takes the contact out of the list; it stays valid until ReleaseDeletedContacts. The caller
    // removes it from the model's handle index first (CModel::DeleteContact does both).
    void DeleteContact(CContact* pContact);
    // Destroys the contacts deleted since the last call.
    void ReleaseDeletedContacts();
    size_t GetDeletedContactCount() const { return m_deletedContacts.size(); }

    CContact* FindContact(int index) const;
    // A Vexla-out contact by its telephone number; any other contact by user name or by its home,
    // mobile or office number. Exact comparison; the lowest index wins. Looked up in an index.
    CContact* FindContact(const std::wstring& text) const;
    // Call after changing a listed contact (the change mask, and whether it was a Vexla-out contact
    // before), so that FindContact follows changed numbers and availabilities.
    void NoteChange(const CContact& contact, int changes, bool wasVexlaOut);

    // The cached contacts; sorted by CompareFunc, equal ones in index order, when sorted is true.
    // Unsorted, the vector is in index order unless it was sorted before and only
    // InvalidateSorting was called since.
    const std::vector<CContact*>& GetList(bool sorted);
    // Call after a change that can move a contact in the sort order (availability, names).
    void InvalidateSorting();
    // Whether a comes before b: reachable users, then Vexla-out numbers, then the rest; within each
    // group by display string, ignoring case.
    static bool CompareFunc(const CContact* a, const CContact* b);

    size_t GetCount() const { return m_contacts.size(); }
    int GetBookmark() const { return m_bookmark; }
    void SetBookmark(int bookmark) { m_bookmark = bookmark; }
    int GetPresenceBookmark() const { return m_presenceBookmark; }
    void SetPresenceBookmark(int bookmark) { m_presenceBookmark = bookmark; }
    bool IsComplete() const { return m_complete; }
    void SetToComplete() { m_complete = true; }

private:
    // Three-way form of CompareFunc: negative, 0 or positive.
    static int Compare(const CContact& a, const CContact& b);
    // Enters the texts FindContact finds the contact by into the index, unless a lower index has them.
    void IndexContact(const CContact& contact) const;

    enum eSortState
    {
        SORT_STALE = 0,
        SORT_SORTED = 1,
        SORT_UNSORTED = 2
    };

    int m_bookmark = 0;
    int m_presenceBookmark = 0;
    bool m_complete = false;
    std::map<int, std::unique_ptr<CContact>> m_contacts;
    eSortState m_sortState = SORT_STALE;
    std::vector<CContact*> m_list;
    std::vector<std::unique_ptr<CContact>> m_deletedContacts;
    // Text → index of the contact FindContact names by it; rebuilt by the next lookup once stale.
    mutable std::unordered_map<std::wstring, int> m_lookup;
    mutable bool m_lookupStale = true;
};

}  // namespace VexlaLib
