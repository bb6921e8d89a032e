#pragma once

#include <sstream>
#include <string>
#include <vector>

#include "Model/Contact.h"
#include "Model/EventBase.h"
#include "Model/Search.h"
#include "Public/IVexlaLibListener.h"

namespace VexlaTest {

// Keeps every library event it hears as one line of text, such as "OnLoginFailed(4)" or
// "OnContactAdded(alice)", so tests compare the sequence of events.
class CRecordingListener : public VexlaLib::IVexlaLibListener {
public:
    std::vector<std::string> m_events;
    VexlaLib::TByteArraySPtr m_lastAvatar;
    std::vector<std::wstring> m_lastSuggestions;

    size_t Count(const std::string& event) const
    {
        size_t count = 0;
        for (const std::string& e : m_events)
            count += e == event ? 1 : 0;
        return count;
    }
    // How many events start with the given name, whatever their arguments.
    size_t CountNamed(const std::string& name) const
    {
        size_t count = 0;
        for (const std::string& e : m_events)
            count += e.compare(0, name.size(), name) == 0 && (e.size() == name.size() || e[name.size()] == '(') ? 1 : 0;
        return count;
    }
    bool Has(const std::string& event) const { return Count(event) > 0; }
    void Clear() { m_events.clear(); }

    void OnRegisterUserSuccess() override { Add("OnRegisterUserSuccess"); }
    void OnRegisterUserFailed(VexlaLib::eRegisterError error, std::vector<std::wstring>* suggestions) override
    {
        m_lastSuggestions = suggestions ? *suggestions : std::vector<std::wstring>();
        Add("OnRegisterUserFailed", error);
    }
    void OnLoginSuccess() override { Add("OnLoginSuccess"); }
    void OnLoginFailed(VexlaLib::eLoginError error) override { Add("OnLoginFailed", error); }
    void OnLogout(VexlaLib::eLogoutReason reason) override { Add("OnLogout", reason); }
    void OnNewSession(bool resumed) override { Add("OnNewSession", resumed); }
    void OnAvailabilityChanged(int availability) override { Add("OnAvailabilityChanged", availability); }
    void OnGetBalanceFailed(bool timedOut) override { Add("OnGetBalanceFailed", timedOut); }
    void OnGetBalanceSuccess(const std::wstring& currency, int amount) override
    {
        Add("OnGetBalanceSuccess", Narrow(currency) + "," + std::to_string(amount));
    }
    void OnSubscriptionError(const std::wstring& message, const std::wstring& url) override
    {
        Add("OnSubscriptionError", Narrow(message) + "," + Narrow(url));
    }
    void OnUpgradeAvailable(const std::wstring& message, const std::wstring& url, bool forced) override
    {
        Add("OnUpgradeAvailable", Narrow(message) + "," + Narrow(url) + "," + std::to_string(forced));
    }
    void OnContactAdded(const VexlaLib::CContact& c) override { Add("OnContactAdded", Narrow(c.GetCallTarget())); }
    void OnContactDeleted(const VexlaLib::CContact& c) override { Add("OnContactDeleted", Narrow(c.GetCallTarget())); }
    void OnContactUpdated(const VexlaLib::CContact& c, int changes) override
    {
        Add("OnContactUpdated", Narrow(c.GetCallTarget()) + "," + std::to_string(changes));
    }
    void OnContactListUpdated() override { Add("OnContactListUpdated"); }
    void OnContactPropsUpdated(const VexlaLib::CContact& c, int changes) override
    {
        Add("OnContactPropsUpdated", Narrow(c.GetCallTarget()) + "," + std::to_string(changes));
    }
    void OnContactPropsFailed(bool timedOut) override { Add("OnContactPropsFailed", timedOut); }
    void OnAvatarReceived(const VexlaLib::CContact& c, VexlaLib::TByteArraySPtr image) override
    {
        m_lastAvatar = image;
        Add("OnAvatarReceived", Narrow(c.GetCallTarget()));
    }
    void OnGetProfileSuccess(bool changed, const VexlaLib::CProfile&) override { Add("OnGetProfileSuccess", changed); }
    void OnGetProfileFailed(bool timedOut) override { Add("OnGetProfileFailed", timedOut); }
    void OnSaveProfileSuccess() override { Add("OnSaveProfileSuccess"); }
    void OnSaveProfileFailed(bool timedOut) override { Add("OnSaveProfileFailed", timedOut); }
    void OnSearchFinished(const VexlaLib::CSearch& s, bool extendable) override
    {
        Add("OnSearchFinished", std::to_string(s.GetResultCount()) + "," + std::to_string(extendable));
    }
    void OnSearchFailed(const VexlaLib::CSearch&) override { Add("OnSearchFailed"); }
    void OnSearchResultAdded(const VexlaLib::CSearch& s) override { Add("OnSearchResultAdded", s.GetResultCount()); }
    void OnEventAdded(const VexlaLib::CEventBase* e) override { Add("OnEventAdded", Narrow(e->GetDisplayString())); }
    void OnEventDeleted(const VexlaLib::CEventBase* e) override { Add("OnEventDeleted", Narrow(e->GetDisplayString())); }
    void OnEventUpdated(const VexlaLib::CEventBase* e) override { Add("OnEventUpdated", Narrow(e->GetDisplayString())); }
    void OnEventListUpdated() override { Add("OnEventListUpdated"); }
    void OnAddContactSuccess(const VexlaLib::CContact& c) override { Add("OnAddContactSuccess", Narrow(c.GetCallTarget())); }
    void OnAddContactFailed(bool timedOut, int code) override
    {
        Add("OnAddContactFailed", std::to_string(timedOut) + "," + std::to_string(code));
    }
    void OnSendAuthRequestFailed() override { Add("OnSendAuthRequestFailed"); }
    void OnCustomEvent(int id, void*) override { Add("OnCustomEvent", id); }

private:
    static std::string Narrow(const std::wstring& text) { return std::string(text.begin(), text.end()); }
    void Add(const std::string& name) { m_events.push_back(name); }
    template <typename T>
    void Add(const std::string& name, const T& argument)
    {
        std::ostringstream line;
        line << name << "(" << argument << ")";
        m_events.push_back(line.str());
    }
};

}  // namespace VexlaTest
