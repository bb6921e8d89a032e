#pragma once

#include <map>
#include <set>
#include <string>

// The library chat handles of the group chats the messaging transport deals with: by the chat's unique
// name (or, for a chat the transport created, by its record's group name), and the handles a group chat
// record is known to be bound to. Main-loop thread only.
class CIMChatHandles
{
public:
    void Set(const std::wstring& name, int handle) { m_byName[name] = handle; }
    bool Has(const std::wstring& name) const { return m_byName.count(name) != 0; }
    // The handle of `name`, or 0 when it has none.
    int Find(const std::wstring& name) const;
    void Forget(const std::wstring& name) { m_byName.erase(name); }

    // A group chat record now carries `handle`.
    void Bind(int handle) { m_bound.insert(handle); }
    bool IsBound(int handle) const { return m_bound.count(handle) != 0; }
    void Unbind(int handle) { m_bound.erase(handle); }

    // The chat `gone` was absorbed by `survivor`: the names and the binding of the one pass to the other.
    void Replace(int gone, int survivor);
    // A new session: the handles of the last one mean nothing; the bindings stay unless `bindingsToo`.
    void Clear(bool bindingsToo);

private:
    std::map<std::wstring, int> m_byName;
    std::set<int> m_bound;
};
