#include "CliCommands.h"

#include <cstdlib>

#include "CommandLine.h"
#include "JsonLine.h"
#include "CliEventPrinter.h"
#include "Model/Profile.h"
#include "Public/VexlaLib.h"
#include "Utils/Properties.h"
#include "Utils/Utils.h"

using VexlaLib::CContact;
using VexlaLib::CUtils;

namespace {

std::wstring Wide(const std::string& text)
{
    return CUtils::ConvertCharToWide(text);
}

const int AVATAR_SIZE = 96;

}  // namespace

CCliCommands::CCliCommands(VexlaLib::CVexlaLib* lib) : m_lib(lib)
{
    Add("login", 2, [this](const TWords& w) { return Login(Wide(w[0]), Wide(w[1])); });
    Add("login-saved", 0, [this](const TWords&) { return Login(L"", L""); });
    Add("keep-credentials", 1, [this](const TWords& w) { return m_lib->SetUseSavedCredentials(w[0] == "on"); });
    Add("logout", 0, [this](const TWords&) { return m_lib->Logout(); });
    Add("cancel", 0, [this](const TWords&) { return m_lib->CancelLogin(); });
    Add("register", 5, [this](const TWords& w) {
        return m_lib->RegisterUser(Wide(w[0]), Wide(w[1]), Wide(w[2]), Wide(w[3]), w[4] == "1");
    });
    Add("profile", 0, [this](const TWords&) { return m_lib->RequestProfile(); });
    Add("save-profile", 0, [this](const TWords& w) { return SaveProfile(w); });
    Add("balance", 0, [this](const TWords&) { return m_lib->RequestCreditBalance(); });
    Add("set", 2, [this](const TWords& w) {
        m_lib->SetProperty(Wide(w[0]), Wide(w[1]));
        return true;
    });
    Add("contacts", 0, [this](const TWords&) { return ListContacts(); });
    Add("add-contact", 2, [this](const TWords& w) { return m_lib->AddContact(Wide(w[0]), Wide(w[1])); });
    Add("add-number", 2, [this](const TWords& w) { return m_lib->AddVexlaOutContact(Wide(w[0]), Wide(w[1])); });
    Add("delete-contact", 1, [this](const TWords& w) {
        return WithContact(w[0], [this](const CContact& c) { return m_lib->DeleteContact(c.GetHandle()); });
    });
    Add("props", 1, [this](const TWords& w) {
        return WithContact(w[0], [this](const CContact& c) { return m_lib->RequestContactProps(c.GetHandle()); });
    });
    Add("avatar", 1, [this](const TWords& w) {
        return WithContact(w[0], [this](const CContact& c) {
            return m_lib->RequestAvatar(c.GetHandle(), AVATAR_SIZE, AVATAR_SIZE);
        });
    });
    Add("authorize", 1, [this](const TWords& w) { return m_lib->AuthorizeContact(Wide(w[0])); });
    Add("block", 1, [this](const TWords& w) { return m_lib->BlockContact(Wide(w[0])); });
    Add("unblock", 1, [this](const TWords& w) { return m_lib->UnblockContact(Wide(w[0])); });
    Add("reject", 1, [this](const TWords& w) { return m_lib->RejectContact(Wide(w[0])); });
    Add("auth-request", 2, [this](const TWords& w) { return m_lib->SendAuthRequest(Wide(w[0]), Wide(w[1])); });
    Add("search", 1, [this](const TWords& w) { return m_lib->SearchContacts(Wide(w[0])); });
    Add("search-more", 0, [this](const TWords&) { return m_lib->ExtendContactSearch(); });
    Add("search-end", 0, [this](const TWords&) { return m_lib->EndContactSearch(); });
    Add("status", 1, [this](const TWords& w) { return m_lib->SetOnlineStatus(std::atoi(w[0].c_str())); });
    Add("presence", 0, [this](const TWords&) { return m_lib->RequestPresenceUpdate(); });
    Add("foreground", 0, [this](const TWords&) { return m_lib->SetClientState(VexlaLib::CLIENT_STATE_FOREGROUND); });
    Add("background", 0, [this](const TWords&) { return m_lib->SetClientState(VexlaLib::CLIENT_STATE_BACKGROUND); });
    AddChatCommands();
    AddCallCommands();
    Add("quit", 0, [this](const TWords&) {
        m_quit = true;
        return true;
    });
}

void CCliCommands::Add(const std::string& name, size_t words, std::function<bool(const TWords&)> run)
{
    m_commands[name] = SCommand{words, std::move(run)};
}

bool CCliCommands::Execute(const std::string& line)
{
    TWords words = CCommandLine::Split(line);
    if (words.empty())
        return true;
    m_current = words[0];
    words.erase(words.begin());
    auto found = m_commands.find(m_current);
    if (found == m_commands.end()) {
        Fail(m_current, "unknown command; see vexla-cli --help");
        return true;
    }
    if (words.size() < found->second.words) {
        Fail(m_current, "needs " + std::to_string(found->second.words) + " words; see vexla-cli --help");
        return true;
    }
    CJsonLine reply("reply", m_current);
    m_reply = &reply;
    const bool ok = found->second.run(words);
    m_reply = nullptr;
    reply.Bool("ok", ok).Print();
    return !m_quit;
}

void CCliCommands::Fail(const std::string& command, const std::string& message)
{
    CJsonLine("event", "error").Str("command", command).Str("message", message).Print();
}

bool CCliCommands::Login(const std::wstring& user, const std::wstring& password)
{
    // The session drops a login that carries no device number; say so instead of waiting for it.
    std::wstring pstn;
    if (!m_lib->GetProperty(VexlaLib::CProperties::PSTN, &pstn) || pstn.empty()) {
        Fail(m_current, "the PSTN property is not set (set PSTN +31...)");
        return false;
    }
    return m_lib->Login(user, password);
}

bool CCliCommands::WithContact(const std::string& name, const std::function<bool(const CContact&)>& use)
{
    const CContact* contact = m_lib->FindContact(Wide(name));
    if (contact == nullptr) {
        Fail(m_current, "no contact " + name);
        return false;
    }
    return use(*contact);
}

bool CCliCommands::ListContacts()
{
    json_object* list = json_object_new_array();
    VexlaLib::CContactList* contacts = m_lib->GetModel().GetContactList();
    if (contacts != nullptr)
        for (const CContact* contact : contacts->GetList(true))
            json_object_array_add(list, CCliEventPrinter::ContactJson(*contact));
    m_reply->Value("contacts", list);
    return contacts != nullptr;
}

bool CCliCommands::SaveProfile(const TWords& assignments)
{
    const VexlaLib::CProfile* current = m_lib->GetModel().GetProfile();
    VexlaLib::CProfile profile = current ? *current : VexlaLib::CProfile();
    typedef std::function<void(VexlaLib::CProfile&, const std::string&)> TSetter;
    auto text = [](bool (VexlaLib::CProfile::*set)(const std::wstring&)) {
        return TSetter([set](VexlaLib::CProfile& p, const std::string& v) { (p.*set)(Wide(v)); });
    };
    auto number = [](bool (VexlaLib::CProfile::*set)(int)) {
        return TSetter([set](VexlaLib::CProfile& p, const std::string& v) { (p.*set)(std::atoi(v.c_str())); });
    };
    const std::map<std::string, TSetter> setters = {
        {"fullName", text(&VexlaLib::CProfile::SetFullName)},
        {"birthday", number(&VexlaLib::CProfile::SetBirthday)},
        {"gender", number(&VexlaLib::CProfile::SetGender)},
        {"languages", text(&VexlaLib::CProfile::SetLanguages)},
        {"country", text(&VexlaLib::CProfile::SetCountry)},
        {"province", text(&VexlaLib::CProfile::SetProvince)},
        {"city", text(&VexlaLib::CProfile::SetCity)},
        {"phoneHome", text(&VexlaLib::CProfile::SetPhoneHome)},
        {"phoneOffice", text(&VexlaLib::CProfile::SetPhoneOffice)},
        {"phoneMobile", text(&VexlaLib::CProfile::SetPhoneMobile)},
        {"emails", text(&VexlaLib::CProfile::SetEmails)},
        {"homepage", text(&VexlaLib::CProfile::SetHomepage)},
        {"about", text(&VexlaLib::CProfile::SetAbout)},
        {"mood", text(&VexlaLib::CProfile::SetMoodText)},
        {"chatPolicy", number(&VexlaLib::CProfile::SetChatPolicy)},
        {"callPolicy", number(&VexlaLib::CProfile::SetCallPolicy)},
        {"pstnPolicy", number(&VexlaLib::CProfile::SetPstnPolicy)},
    };
    for (const std::string& assignment : assignments) {
        const size_t equals = assignment.find('=');
        auto setter = equals == std::string::npos ? setters.end() : setters.find(assignment.substr(0, equals));
        if (setter == setters.end()) {
            Fail(m_current, "not a KEY=VALUE of the profile: " + assignment);
            return false;
        }
        setter->second(profile, assignment.substr(equals + 1));
    }
    return m_lib->SaveProfile(profile);
}
