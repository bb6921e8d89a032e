#include "Handlers/AccountHandler.h"

#include "Network/OutgoingPacket.h"
#include "Model/Model.h"
#include "Network/AttrChunk.h"
#include "Network/AttrKey.h"
#include "Network/Attribute.h"
#include "Network/LoginPacket.h"
#include "Network/Packet.h"
#include "Public/INetworkModule.h"
#include "Public/VexlaLib.h"
#include "Utils/LogStream.h"
#include "Utils/Properties.h"
#include "Utils/Timer.h"
#include "Utils/Utils.h"

#include <cassert>

namespace VexlaLib {

namespace {

// Server logout reasons 0 to 11 as each listener enumeration reads them; reasons that the server
// does not send in that state, and any reason beyond the table, read as 0.
const int REGISTER_ERROR_BY_REASON[] = {0, 0, 10, 11, 12, 13, 14, 15, 0, 0, 0, 16};
const int LOGIN_ERROR_BY_REASON[] = {0, 0, 5, 0, 0, 0, 0, 6, 7, 8, 0, 9};
const int LOGOUT_REASON_BY_REASON[] = {0, 4, 0, 0, 0, 0, 0, 0, 0, 0, 5, 6};

template <size_t N>
int Translate(const int (&table)[N], int reason)
{
    return reason >= 0 && reason < static_cast<int>(N) ? table[reason] : 0;
}

// Network error reasons 0 (no network), 1 (outside the home network) and 2 (no usable interface):
// the same three values in every listener enumeration.
int NetworkErrorCode(TNetworkErrorReason reason)
{
    switch (reason) {
    case NETWORK_ERROR_OUTSIDE_HOME:
        return 3;
    case NETWORK_ERROR_NO_INTERFACE:
        return 2;
    default:
        return 1;
    }
}

}  // namespace

CAccountHandler::CAccountHandler(CVexlaLib* pLib, CModel* pModel, INetworkModule* pNetModule)
    : m_pLib(pLib)
    , m_pModel(pModel)
    , m_pNetModule(pNetModule)
{
    assert(m_pLib != nullptr && "m_pLib != __null");
    assert(m_pModel != nullptr && "m_pModel != __null");
    m_pProfileGetTimer = m_pLib->CreateTimer(this);
    m_pProfileSaveTimer = m_pLib->CreateTimer(this);
    m_pBalanceTimer = m_pLib->CreateTimer(this);
    m_pLoginTimer = m_pLib->CreateTimer(this);
    m_pLogoutTimer = m_pLib->CreateTimer(this);
}

CAccountHandler::~CAccountHandler()
{
    ClearSessionData();
}

eRegisterError CAccountHandler::RegisterErrorForReason(int reason)
{
    return static_cast<eRegisterError>(Translate(REGISTER_ERROR_BY_REASON, reason));
}

eLoginError CAccountHandler::LoginErrorForReason(int reason)
{
    return static_cast<eLoginError>(Translate(LOGIN_ERROR_BY_REASON, reason));
}

eLogoutReason CAccountHandler::LogoutReasonForReason(int reason)
{
    return static_cast<eLogoutReason>(Translate(LOGOUT_REASON_BY_REASON, reason));
}

eRegisterError CAccountHandler::RegisterErrorForCode(int code)
{
    switch (code) {
    case 9:
        return REGISTER_ERROR_INVALID_VEXLANAME;
    case 28:
        return REGISTER_ERROR_PASSWORD_TOO_LONG;
    case 29:
        return REGISTER_ERROR_PASSWORD_TOO_SHORT;
    case 30:
        return REGISTER_ERROR_PASSWORD_INVALID_CHAR;
    case 31:
        return REGISTER_ERROR_PASSWORD_HAS_SPACES;
    case 32:
        return REGISTER_ERROR_PASSWORD_SAME_AS_NAME;
    case 45:
        return REGISTER_ERROR_INVALID_EMAIL;
    default:
        return REGISTER_ERROR_UNKNOWN;
    }
}

void CAccountHandler::AddDevicePstnNumber(const TPacketSPtr& packet) const
{
    std::wstring pstn;
    if (m_pLib->GetProperty(CProperties::PSTN, &pstn) && !pstn.empty())
        COutgoingPacket::AddString(packet, KEY_DEVICE_PSTNNUMBER, pstn);
}

void CAccountHandler::Login(const std::wstring& user, const std::wstring& password)
{
    if (m_state != STATE_LOGGED_OUT) {
        m_pLib->NotifyLoginFailed(LOGIN_ERROR_NOT_LOGGED_OUT);
        return;
    }
    TPacketSPtr savedCredentials;
    if (m_pLib->GetUseSavedCredentials())
        savedCredentials = m_pLib->GetSavedCredentials();

    m_state = STATE_LOGGING_IN;
    m_pModel->SetUserName(user);

    std::wstring pstn;
    m_pLib->GetProperty(CProperties::PSTN, &pstn);
    m_pLib->SendPacket(CLoginPacket::ForSignIn(savedCredentials, user, password, pstn));
    m_pLoginTimer->StartTimer(LOGIN_TIMEOUT_MS, TIMER_LOGIN);
}

void CAccountHandler::RegisterUser(const std::wstring& name, const std::wstring& password,
                                   const std::wstring& fullName, const std::wstring& email, bool allowSpam)
{
    if (m_state != STATE_LOGGED_OUT) {
        m_pLib->NotifyRegisterUserFailed(REGISTER_ERROR_NOT_LOGGED_OUT, nullptr);
        return;
    }
    m_state = STATE_REGISTERING;
    TPacketSPtr packet = COutgoingPacket::Create(CHUNK_REGISTERUSER);
    COutgoingPacket::AddString(packet, KEY_VEXLANAME, name);
    COutgoingPacket::AddString(packet, KEY_PASSWORD, password);
    if (!fullName.empty())
        COutgoingPacket::AddString(packet, KEY_FULLNAME, fullName);
    COutgoingPacket::AddString(packet, KEY_EMAIL, email);
    COutgoingPacket::AddInt32(packet, KEY_ALLOWSPAM, allowSpam ? 1 : 0);
    AddDevicePstnNumber(packet);
    m_pLib->SendPacket(packet);
}

void CAccountHandler::Logout()
{
    if (m_state != STATE_LOGGED_IN) {
        LogWarning() << L"Failed to logout, user is currently not logged in." << std::endl;
        return;
    }
    m_pLib->SendPacket(COutgoingPacket::Create(CHUNK_LOGOUT));
    m_pLogoutTimer->StartTimer(LOGOUT_TIMEOUT_MS, TIMER_LOGOUT);
}

bool CAccountHandler::Cancel()
{
    if (m_state != STATE_REGISTERING && m_state != STATE_LOGGING_IN)
        return false;
    m_pendingError.reset();
    m_pNetModule->ForceDisconnect();
    m_state = m_state == STATE_REGISTERING ? STATE_REGISTER_CANCELLED : STATE_LOGIN_CANCELLED;
    return true;
}

bool CAccountHandler::RequestCreditBalance()
{
    const CContactList* list = m_pModel->GetContactList();
    if (list == nullptr || !list->IsComplete() || m_pBalanceTimer->IsRunning())
        return false;
    m_pLib->SendPacket(COutgoingPacket::Create(CHUNK_GETBALANCE));
    m_pBalanceTimer->StartTimer(BALANCE_TIMEOUT_MS, TIMER_BALANCE);
    return true;
}

bool CAccountHandler::RequestProfile()
{
    const CContactList* list = m_pModel->GetContactList();
    if (list == nullptr || !list->IsComplete() || m_pProfileGetTimer->IsRunning() || m_pProfileSaveTimer->IsRunning())
        return false;
    m_pLib->SendPacket(COutgoingPacket::Create(CHUNK_GETPROFILEDATA));
    m_pProfileGetTimer->StartTimer(PROFILE_TIMEOUT_MS, TIMER_GET_PROFILE);
    return true;
}

bool CAccountHandler::SaveProfile(const CProfile& profile)
{
    if (m_pProfileGetTimer->IsRunning() || m_pProfileSaveTimer->IsRunning())
        return false;
    TPacketSPtr packet = COutgoingPacket::Create(CHUNK_SETPROFILEDATA);
    COutgoingPacket::AddString(packet, KEY_FULLNAME, profile.GetFullName());
    const CProfile* current = m_pModel->GetProfile();
    if (current == nullptr || current->GetBirthday() != profile.GetBirthday())
        COutgoingPacket::AddInt32(packet, KEY_BIRTHDAY, profile.GetBirthday());
    COutgoingPacket::AddInt32(packet, KEY_GENDER, profile.GetGender());
    COutgoingPacket::AddString(packet, KEY_LANGUAGES, profile.GetLanguages());
    COutgoingPacket::AddString(packet, KEY_COUNTRY, profile.GetCountry());
    COutgoingPacket::AddString(packet, KEY_PROVINCE, profile.GetProvince());
    COutgoingPacket::AddString(packet, KEY_CITY, profile.GetCity());
    COutgoingPacket::AddString(packet, KEY_PHONE_HOME, profile.GetPhoneHome());
    COutgoingPacket::AddString(packet, KEY_PHONE_OFFICE, profile.GetPhoneOffice());
    COutgoingPacket::AddString(packet, KEY_PHONE_MOBILE, profile.GetPhoneMobile());
    COutgoingPacket::AddString(packet, KEY_EMAILS, profile.GetEmails());
    COutgoingPacket::AddString(packet, KEY_HOMEPAGE, profile.GetHomepage());
    COutgoingPacket::AddString(packet, KEY_ABOUT, profile.GetAbout());
    COutgoingPacket::AddString(packet, KEY_MOOD_TEXT, profile.GetMoodText());
    COutgoingPacket::AddInt32(packet, KEY_CHAT_POLICY, profile.GetChatPolicy());
    COutgoingPacket::AddInt32(packet, KEY_PSTN_CALL_POLICY, profile.GetPstnPolicy());
    COutgoingPacket::AddInt32(packet, KEY_VEXLA_CALL_POLICY, profile.GetCallPolicy());
    m_pLib->SendPacket(packet);
    m_pProfileSaveTimer->StartTimer(PROFILE_TIMEOUT_MS, TIMER_SAVE_PROFILE);
    return true;
}

void CAccountHandler::ClearSessionData()
{
    m_pProfileGetTimer->StopTimer();
    m_pProfileSaveTimer->StopTimer();
    m_pBalanceTimer->StopTimer();
    m_pLoginTimer->StopTimer();
    m_pLogoutTimer->StopTimer();
    m_pendingError.reset();
}

void CAccountHandler::HandleLoggedin(const TPacketSPtr& /*packet*/)
{
    switch (m_state) {
    case STATE_REGISTERING:
        m_pLib->ClearSessionData();
        m_state = STATE_LOGGED_IN;
        m_pLib->AddContact(L"echo123", L"");
        m_pLib->NotifyRegisterUserSuccess();
        m_pLib->NotifyNewSession(true);
        break;
    case STATE_LOGGING_IN:
        m_pLib->ClearSessionData();
        m_state = STATE_LOGGED_IN;
        m_pLib->NotifyLoginSuccess();
        m_pLib->NotifyNewSession(true);
        break;
    case STATE_LOGGED_IN:
        m_pLib->NotifyNewSession(false);
        m_pLib->ClearSessionData();
        break;
    default:
        LogError() << L"Unexpected LOGGEDIN chunk received from server." << std::endl;
        return;
    }
    m_pLib->RequestContactList();
    RequestChats();
}

void CAccountHandler::HandleReconnected(const TPacketSPtr& /*packet*/)
{
    RequestChats();
}

void CAccountHandler::RequestChats()
{
    std::wstring policy;
    if (m_pLib->GetProperty(CProperties::CHAT_RETRIEVAL_POLICY, &policy) && policy == L"UNREAD")
        m_pLib->RequestUnreadChats();
    else
        m_pLib->RequestRecentChats();
}

void CAccountHandler::HandleLoggedout(const TPacketSPtr& packet)
{
    m_pLogoutTimer->StopTimer();
    const int state = m_state;
    m_state = STATE_LOGGED_OUT;
    int reason = 0;
    packet->GetAttrInt32(KEY_LOGOUTREASON, &reason);

    switch (state) {
    case STATE_REGISTERING: {
        std::wstring names;
        packet->GetAttrString(KEY_SUGGESTED_VEXLANAMES, &names);
        std::vector<std::wstring> suggestions;
        for (const std::wstring& name : CUtils::Tokenize(names, L" \t\r\n"))
            if (!name.empty())
                suggestions.push_back(name);
        m_pLib->NotifyRegisterUserFailed(RegisterErrorForReason(reason), &suggestions);
        m_pNetModule->ForceDisconnect();
        break;
    }
    case STATE_LOGGING_IN:
        m_pLib->NotifyLoginFailed(LoginErrorForReason(reason));
        m_pLib->SetUseSavedCredentials(false);
        m_pNetModule->ForceDisconnect();
        break;
    case STATE_LOGGED_IN:
        if (!m_pLib->GetUseSavedCredentials())
            m_pLib->EraseSavedCredentials();
        m_pLib->NotifyLogout(LogoutReasonForReason(reason));
        break;
    default:
        LogError() << L"Unexpected LOGGEDOUT chunk received from server." << std::endl;
        break;
    }
    m_pLib->ClearSessionData();
    ForgetPasswordUnlessSigningInAgain();
}

void CAccountHandler::ForgetPasswordUnlessSigningInAgain()
{
    if (m_state == STATE_LOGGED_OUT)
        m_pNetModule->ForgetPassword();
}

bool CAccountHandler::HandleError(const TPacketSPtr& packet, int code)
{
    if (m_state == STATE_REGISTERING || m_state == STATE_LOGGING_IN) {
        m_pendingError = packet;
        m_pNetModule->ForceDisconnect();
        return true;
    }
    if (m_state != STATE_LOGGED_IN)
        return false;
    switch (code) {
    case 18:
        if (m_pProfileGetTimer->StopTimer())
            m_pLib->NotifyGetProfileFailed(false);
        else if (m_pProfileSaveTimer->StopTimer())
            m_pLib->NotifySaveProfileFailed(false);
        return true;
    case 25:
        if (m_pProfileSaveTimer->StopTimer())
            m_pLib->NotifySaveProfileFailed(false);
        return true;
    case 26:
        m_pLib->SetUseSavedCredentials(false);
        return false;
    default:
        return false;
    }
}

void CAccountHandler::ReportRegisterFailure()
{
    int code = 0;
    if (!m_pendingError || !m_pendingError->GetAttrInt32(KEY_ERROR_CODE, &code)) {
        m_pLib->NotifyRegisterUserFailed(REGISTER_ERROR_UNKNOWN, nullptr);
        return;
    }
    m_pLib->NotifyRegisterUserFailed(RegisterErrorForCode(code), nullptr);
}

void CAccountHandler::HandleForcedDisconnect(const TPacketSPtr& /*packet*/)
{
    const int state = m_state;
    m_state = STATE_LOGGED_OUT;
    switch (state) {
    case STATE_REGISTERING:
        ReportRegisterFailure();
        break;
    case STATE_REGISTER_CANCELLED:
        m_pLib->NotifyRegisterUserFailed(REGISTER_ERROR_CANCELLED, nullptr);
        break;
    case STATE_LOGGING_IN:
        m_pLib->NotifyLoginFailed(LOGIN_ERROR_UNKNOWN);
        break;
    case STATE_LOGIN_CANCELLED:
        m_pLib->NotifyLoginFailed(LOGIN_ERROR_CANCELLED);
        break;
    default:
        LogError() << L"Unexpected CAccountHandler::HandleForcedDisconnect call." << std::endl;
        return;
    }
    m_pendingError.reset();
    m_pLoginTimer->StopTimer();
    ForgetPasswordUnlessSigningInAgain();
}

void CAccountHandler::HandleNetworkError(TNetworkErrorReason reason)
{
    const int state = m_state;
    m_state = STATE_LOGGED_OUT;
    const int code = NetworkErrorCode(reason);
    switch (state) {
    case STATE_REGISTERING:
        m_pLib->NotifyRegisterUserFailed(static_cast<eRegisterError>(code), nullptr);
        break;
    case STATE_LOGGING_IN:
        m_pLib->NotifyLoginFailed(static_cast<eLoginError>(code));
        break;
    case STATE_LOGGED_IN:
        m_pLib->NotifyLogout(static_cast<eLogoutReason>(code));
        // The session is over: nothing of it may keep running while signed out.
        m_pLib->ClearSessionData();
        ForgetPasswordUnlessSigningInAgain();
        return;
    default:
        LogError() << L"Unexpected CAccountHandler::HandleNetworkError call." << std::endl;
        return;
    }
    m_pLoginTimer->StopTimer();
    ForgetPasswordUnlessSigningInAgain();
}

void CAccountHandler::HandleProfileData(const TPacketSPtr& packet)
{
    const bool getRunning = m_pProfileGetTimer->StopTimer();
    const bool saveRunning = m_pProfileSaveTimer->StopTimer();
    if (!getRunning && !saveRunning)
        return;

    CProfile* profile = m_pModel->GetOrCreateProfile();
    bool changed = false;
    for (const TAttributeSPtr& attr : packet->GetAttrList()) {
        std::wstring text;
        int number = 0;
        const bool isText = attr->GetString(&text);
        const bool isNumber = attr->GetInt32(&number);
        switch (attr->GetKey()) {
        case KEY_VEXLANAME: changed |= isText && profile->SetVexlaName(text); break;
        case KEY_FULLNAME: changed |= isText && profile->SetFullName(text); break;
        case KEY_BIRTHDAY: changed |= isNumber && profile->SetBirthday(number); break;
        case KEY_GENDER: changed |= isNumber && profile->SetGender(number); break;
        case KEY_LANGUAGES: changed |= isText && profile->SetLanguages(text); break;
        case KEY_COUNTRY: changed |= isText && profile->SetCountry(text); break;
        case KEY_PROVINCE: changed |= isText && profile->SetProvince(text); break;
        case KEY_CITY: changed |= isText && profile->SetCity(text); break;
        case KEY_PHONE_HOME: changed |= isText && profile->SetPhoneHome(text); break;
        case KEY_PHONE_OFFICE: changed |= isText && profile->SetPhoneOffice(text); break;
        case KEY_PHONE_MOBILE: changed |= isText && profile->SetPhoneMobile(text); break;
        case KEY_EMAILS: changed |= isText && profile->SetEmails(text); break;
        case KEY_HOMEPAGE: changed |= isText && profile->SetHomepage(text); break;
        case KEY_ABOUT: changed |= isText && profile->SetAbout(text); break;
        case KEY_MOOD_TEXT: changed |= isText && profile->SetMoodText(text); break;
        case KEY_CHAT_POLICY: changed |= isNumber && profile->SetChatPolicy(number); break;
        case KEY_VEXLA_CALL_POLICY: changed |= isNumber && profile->SetCallPolicy(number); break;
        case KEY_PSTN_CALL_POLICY: changed |= isNumber && profile->SetPstnPolicy(number); break;
        default: break;
        }
    }
    if (getRunning)
        m_pLib->NotifyGetProfileSuccess(changed, *profile);
    else
        m_pLib->NotifySaveProfileSuccess();
}

void CAccountHandler::HandleBalance(const TPacketSPtr& packet)
{
    if (!m_pBalanceTimer->StopTimer())
        return;
    std::wstring currency;
    int amount = 0;
    // The request is over either way: an answer without both members is a failure, not silence.
    if (!packet->GetAttrString(KEY_BALANCE_CURRENCY, &currency) || !packet->GetAttrInt32(KEY_BALANCE_AMOUNT, &amount)) {
        m_pLib->NotifyGetBalanceFailed(false);
        return;
    }
    CCredit* credit = m_pModel->GetOrCreateCredit();
    credit->SetBalanceCurrency(currency);
    credit->SetBalanceAmount(amount);
    m_pLib->NotifyGetBalanceSuccess();
}

void CAccountHandler::OnTimer(int id)
{
    switch (id) {
    case TIMER_GET_PROFILE:
        LogWarning() << L"Get user profile (CHUNK_GETPROFILEDATA) time-out." << std::endl;
        m_pLib->NotifyGetProfileFailed(true);
        break;
    case TIMER_SAVE_PROFILE:
        LogWarning() << L"Save user profile (CHUNK_SAVEPROFILEDATA) time-out." << std::endl;
        m_pLib->NotifySaveProfileFailed(true);
        break;
    case TIMER_BALANCE:
        LogWarning() << L"Get credit balance (CHUNK_GETBALANCE) time-out." << std::endl;
        m_pLib->NotifyGetBalanceFailed(true);
        break;
    case TIMER_LOGIN:
        // The attempt ends here, reported once: the forced disconnect that follows finds it over.
        LogWarning() << L"Login time-out." << std::endl;
        m_state = STATE_LOGGED_OUT;
        m_pendingError.reset();
        m_pNetModule->ForceDisconnect();
        m_pLib->NotifyLoginFailed(LOGIN_ERROR_UNKNOWN);
        ForgetPasswordUnlessSigningInAgain();
        break;
    case TIMER_LOGOUT:
        LogWarning() << L"Logout time-out." << std::endl;
        m_pNetModule->RequestReconnect();
        break;
    default:
        assert(false && "unknown account timer");
        break;
    }
}

}  // namespace VexlaLib
