#include "ContactControl.h"

#include "ContactDirectory.h"
#include "ContactPackets.h"
#include "ContactRouting.h"
#include "SimPresenceHandler.h"

namespace ServerSim {

namespace {

std::string Line(const TJsonPtr& answer)
{
    return CJson::ToLine(answer.get());
}

}  // namespace

bool CContactControl::Execute(const std::string& name, json_object* command, std::string* answer)
{
    if (name != "user" && name != "presence" && name != "add_buddy" && name != "remove_buddy" &&
        name != "auth_request")
        return false;
    if (m_context.contacts == nullptr) {
        *answer = Line(CJson::Error("the simulator serves no contacts"));
        return true;
    }
    if (name == "user")
        *answer = User(command);
    else if (name == "presence")
        *answer = Presence(command);
    else if (name == "add_buddy")
        *answer = AddBuddy(command);
    else if (name == "remove_buddy")
        *answer = RemoveBuddy(command);
    else
        *answer = AuthRequest(command);
    return true;
}

std::string CContactControl::User(json_object* command)
{
    SSimUser user;
    m_context.contacts->FindUser(CJson::GetString(command, "name", ""), user);
    std::string error;
    if (!CContactDirectory::ParseUser(command, user, error))
        return Line(CJson::Error(error));
    m_context.contacts->SetUser(user);
    for (const std::string& watcher : m_context.contacts->Watchers(user.name))
        CContactRouting::PushEntry(m_context, watcher, user.name);
    return Line(CJson::Ok());
}

std::string CContactControl::Presence(json_object* command)
{
    const std::string name = CJson::GetString(command, "name", "");
    if (name.empty() || CJson::Get(command, "availability") == nullptr)
        return Line(CJson::Error("presence needs \"name\" and \"availability\""));
    CSimPresenceHandler::Announce(m_context, name, static_cast<int>(CJson::GetInt(command, "availability", 1)));
    return Line(CJson::Ok());
}

std::string CContactControl::AddBuddy(json_object* command)
{
    const std::string account = CJson::GetString(command, "account", "");
    const std::string name = CJson::GetString(command, "name", "");
    const std::string number = CJson::GetString(command, "number", "");
    if (account.empty() || name.empty() == number.empty())
        return Line(CJson::Error("add_buddy needs \"account\" and either \"name\" or \"number\""));
    if (!number.empty()) {
        m_context.contacts->AddNumber(account, number, CJson::GetString(command, "fullName", ""));
    } else {
        int error = 0;
        if (m_context.contacts->AddBuddy(account, name, CJson::GetBool(command, "authorized", true), error) == 0)
            return Line(CJson::Error("cannot add " + name + ": error " + std::to_string(error)));
    }
    CContactRouting::PushEntry(m_context, account, number.empty() ? name : number);
    return Line(CJson::Ok());
}

std::string CContactControl::RemoveBuddy(json_object* command)
{
    const std::string account = CJson::GetString(command, "account", "");
    const std::string name = CJson::GetString(command, "name", "");
    const int index = m_context.contacts->IndexOf(account, name);
    if (index == 0 || !m_context.contacts->DeleteBuddy(account, index))
        return Line(CJson::Error(account + " does not list " + name));
    CContactRouting::PushEntry(m_context, account, name);
    return Line(CJson::Ok());
}

std::string CContactControl::AuthRequest(json_object* command)
{
    const std::string account = CJson::GetString(command, "account", "");
    const SAuthRequest request{CJson::GetString(command, "from", ""), CJson::GetString(command, "message", "")};
    if (account.empty() || request.from.empty())
        return Line(CJson::Error("auth_request needs \"account\" and \"from\""));
    m_context.contacts->RequestAuthorization(request.from, account, request.message);
    SSimUser from;
    m_context.contacts->FindUser(request.from, from);
    const int sent = CContactRouting::ToAccount(m_context, account, *CContactPackets::AuthRequest(request, from));
    TJsonPtr answer = CJson::Ok();
    json_object_object_add(answer.get(), "sent", json_object_new_int(sent));
    return Line(answer);
}

}  // namespace ServerSim
