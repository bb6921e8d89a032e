#include "LoginHandler.h"

#include "Account.h"
#include "CallDesk.h"
#include "Connection.h"
#include "ContactPackets.h"
#include "DirectiveAnswer.h"
#include "Network/AttrChunk.h"
#include "Network/AttrKey.h"
#include "Network/OutgoingPacket.h"
#include "PacketJson.h"
#include "RegistrationRules.h"
#include "Scenario.h"
#include "SessionTable.h"
#include "Utils/LogStream.h"
#include "Utils/SHA1.h"
#include "Utils/Utils.h"

namespace ServerSim {

using namespace VexlaLib;

namespace {

// Server logout reasons.
const int kReasonNameTaken = 5;
const int kReasonNoSuchIdentity = 7;
const int kReasonWrongPassword = 8;

}  // namespace

std::vector<int> CLoginHandler::Chunks() const
{
    return {CHUNK_LOGIN, CHUNK_REGISTERUSER, CHUNK_LOGOUT};
}

void CLoginHandler::Handle(CConnection& connection, const CPacket& packet)
{
    int chunk = 0;
    packet.GetAttrInt32(KEY_CHUNKTYPE, &chunk);
    if (chunk == CHUNK_LOGIN) {
        OnLogin(connection, packet);
    } else if (chunk == CHUNK_REGISTERUSER) {
        OnRegister(connection, packet);
    } else {
        OnLogout(connection);
    }
}

TByteArray CLoginHandler::CredentialsToken(const SAccount& account)
{
    const std::string text = account.name + "\n" + account.password;
    return CSHA1::Calc(TByteArray(text.begin(), text.end()));
}

void CLoginHandler::OnLogin(CConnection& connection, const CPacket& packet)
{
    if (CDirectiveAnswer::Apply(connection, "login")) {
        return;
    }
    SAccount account;
    bool authentic = false;
    if (!Identify(connection, packet, account, authentic)) {
        SendLoggedOut(connection, kReasonNoSuchIdentity);
        return;
    }
    if (!authentic) {
        SendLoggedOut(connection, kReasonWrongPassword);
        return;
    }
    switch (account.outcome) {
    case TLoginOutcome::eLoggedIn:
        LogIn(connection, packet, account);
        break;
    case TLoginOutcome::eLoggedOut:
        SendLoggedOut(connection, account.code);
        break;
    case TLoginOutcome::eError: {
        const TPacketSPtr answer = COutgoingPacket::Create(CHUNK_ERROR);
        COutgoingPacket::AddInt32(answer, KEY_ERROR_CODE, account.code);
        connection.Send(*answer);
        break;
    }
    case TLoginOutcome::eSilent:
        break;
    }
}

void CLoginHandler::OnRegister(CConnection& connection, const CPacket& packet)
{
    if (CDirectiveAnswer::Apply(connection, "login")) {
        return;
    }
    std::wstring name;
    std::wstring password;
    if (!packet.GetAttrString(KEY_VEXLANAME, &name) || name.empty() || !packet.GetAttrString(KEY_PASSWORD, &password)) {
        SendLoggedOut(connection, kReasonNoSuchIdentity);
        return;
    }
    SAccount account;
    CScenario& scenario = connection.Context().scenario;
    account.name = CUtils::ConvertWideToChar(name);
    std::wstring email;
    const std::string emailText = packet.GetAttrString(KEY_EMAIL, &email) ? CUtils::ConvertWideToChar(email) : "";
    if (const int refusal = CRegistrationRules::Check(account.name, CUtils::ConvertWideToChar(password),
                                                      packet.GetAttr(KEY_EMAIL) ? &emailText : nullptr)) {
        connection.Send(*CContactPackets::Error(refusal, "Registration refused"));
        return;
    }
    if (scenario.FindAccount(account.name, account)) {
        const TPacketSPtr answer = COutgoingPacket::Create(CHUNK_LOGGEDOUT);
        COutgoingPacket::AddInt32(answer, KEY_LOGOUTREASON, kReasonNameTaken);
        COutgoingPacket::AddString(answer, KEY_SUGGESTED_VEXLANAMES, name + L"1 " + name + L"2");
        connection.Send(*answer);
        return;
    }
    account.password = CUtils::ConvertWideToChar(password);
    scenario.SetAccount(account);
    LogIn(connection, packet, account);
}

bool CLoginHandler::Identify(CConnection& connection, const CPacket& packet, SAccount& account, bool& authentic)
{
    CScenario& scenario = connection.Context().scenario;
    std::wstring name;
    std::wstring password;
    TPacketSPtr saved;
    if (packet.GetAttrString(KEY_VEXLANAME, &name)) {
        if (!scenario.FindAccount(CUtils::ConvertWideToChar(name), account)) {
            return false;
        }
        authentic = packet.GetAttrString(KEY_PASSWORD, &password) && CUtils::ConvertWideToChar(password) == account.password;
        return true;
    }
    if (packet.GetAttrContainer(KEY_SAVEDDATA, &saved) && saved->GetAttrString(KEY_VEXLANAME, &name)) {
        if (!scenario.FindAccount(CUtils::ConvertWideToChar(name), account)) {
            return false;
        }
        TByteArraySPtr token;
        authentic = saved->GetAttrBinary(KEY_CREDENTIALS, &token) && *token == CredentialsToken(account);
        return true;
    }
    return false;
}

void CLoginHandler::LogIn(CConnection& connection, const CPacket& packet, const SAccount& account)
{
    CSessionTable& sessions = connection.Context().sessions;
    SClientState& state = connection.State();
    TByteArraySPtr named;
    if (packet.GetAttrBinary(KEY_SESSION_ID, &named) && sessions.Belongs(*named, account.name)) {
        state.sessionId = *named;
    } else {
        state.sessionId = sessions.Create(account.name);
    }
    state.account = account.name;

    const TPacketSPtr loggedIn = COutgoingPacket::Create(CHUNK_LOGGEDIN);
    COutgoingPacket::AddBinary(loggedIn, KEY_SESSION_ID, state.sessionId);
    if (!account.loggedIn.empty()) {
        TJsonPtr fields = CJson::Parse(account.loggedIn);
        std::string error;
        if (!CPacketJson::AppendFields(fields.get(), loggedIn, error)) {
            LogError() << "vexla-server-sim: loggedin fields of " << account.name << ": " << error;
        }
    }
    connection.Send(*loggedIn);

    if (account.saveData) {
        const TByteArray token = CredentialsToken(account);
        const TPacketSPtr savedData = COutgoingPacket::CreateContainer();
        COutgoingPacket::AddString(savedData, KEY_VEXLANAME, account.name);
        COutgoingPacket::AddBinary(savedData, KEY_CREDENTIALS, token);
        const TPacketSPtr saveData = COutgoingPacket::Create(CHUNK_SAVEDATA);
        COutgoingPacket::AddContainer(saveData, KEY_SAVEDDATA, savedData);
        connection.Send(*saveData);
    }
    if (CCallDesk* calls = connection.Context().calls) {
        calls->OnLoggedIn(connection);
    }
}

void CLoginHandler::OnLogout(CConnection& connection)
{
    SClientState& state = connection.State();
    if (!state.sessionId.empty()) {
        connection.Context().sessions.Remove(state.sessionId);
    }
    state.sessionId.clear();
    state.account.clear();
    SendLoggedOut(connection, connection.Context().scenario.LogoutReason());
}

void CLoginHandler::SendLoggedOut(CConnection& connection, int reason)
{
    const TPacketSPtr answer = COutgoingPacket::Create(CHUNK_LOGGEDOUT);
    COutgoingPacket::AddInt32(answer, KEY_LOGOUTREASON, reason);
    connection.Send(*answer);
}

}  // namespace ServerSim
