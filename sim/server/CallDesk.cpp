#include "CallDesk.h"

#include <algorithm>
#include <ctime>
#include <fstream>
#include <sstream>

#include "Connection.h"
#include "Network/AttrChunk.h"
#include "Network/AttrKey.h"
#include "Network/OutgoingPacket.h"
#include "PacketJson.h"
#include "ServerSim.h"

namespace ServerSim {

using namespace VexlaLib;

namespace {

const char kDefaultSetup[] = R"({"KEY_CALLMETHODS": [2, 3], "KEY_VO_ENABLED": 1})";

}  // namespace

CCallDesk::CCallDesk(int timeOffset) : m_timeOffset(timeOffset)
{
    m_defaultSetup.fields = kDefaultSetup;
}

void CCallDesk::SetServer(CServerSim* server)
{
    std::lock_guard<std::mutex> guard(m_lock);
    m_server = server;
}

int CCallDesk::Now() const
{
    return static_cast<int>(std::time(nullptr) + m_timeOffset);
}

bool CCallDesk::Load(const std::string& path, std::string& error)
{
    std::ifstream file(path);
    std::stringstream text;
    text << file.rdbuf();
    TJsonPtr scenario = CJson::Parse(text.str());
    if (!file || !scenario || !json_object_is_type(scenario.get(), json_type_object)) {
        error = "cannot read the calls of scenario file " + path;
        return false;
    }
    json_object* calls = CJson::Get(scenario.get(), "calls");
    return calls == nullptr || Apply(calls, error);
}

bool CCallDesk::Apply(json_object* calls, std::string& error)
{
    if (!json_object_is_type(calls, json_type_object)) {
        error = "\"calls\" must be an object";
        return false;
    }
    json_object* setup = nullptr;
    if (json_object_object_get_ex(calls, "setup", &setup) && SetSetup("", setup, error) < 0) {
        return false;
    }
    if (json_object* accounts = CJson::Get(calls, "accounts")) {
        if (!json_object_is_type(accounts, json_type_object)) {
            error = "\"calls\".\"accounts\" must map account names to set-ups";
            return false;
        }
        json_object_object_foreach(accounts, name, accountSetup) {
            if (SetSetup(name, accountSetup, error) < 0) {
                return false;
            }
        }
    }
    if (json_object* answer = CJson::Get(calls, "answer")) {
        if (!SetAnswer(answer, error)) {
            return false;
        }
    }
    if (json_object* voicemails = CJson::Get(calls, "voicemails")) {
        if (!json_object_is_type(voicemails, json_type_object)) {
            error = "\"calls\".\"voicemails\" must map account names to lists";
            return false;
        }
        json_object_object_foreach(voicemails, account, list) {
            if (!json_object_is_type(list, json_type_array)) {
                error = "the voicemails of " + std::string(account) + " must be a list";
                return false;
            }
            for (size_t i = 0; i < json_object_array_length(list); ++i) {
                if (AddVoicemail(account, json_object_array_get_idx(list, i), error) < 0) {
                    return false;
                }
            }
        }
    }
    return true;
}

bool CCallDesk::ParseSetup(json_object* setup, SSetup& parsed, std::string& error) const
{
    if (setup == nullptr) {
        parsed.send = false;
        return true;
    }
    // Checked once here, so every later set-up packet builds.
    const TPacketSPtr probe = COutgoingPacket::CreateContainer();
    if (!json_object_is_type(setup, json_type_object) || !CPacketJson::AppendFields(setup, probe, error)) {
        error = "a call set-up is an object of CHUNK_CALLSETUP fields or null" + (error.empty() ? "" : ": " + error);
        return false;
    }
    parsed.send = true;
    parsed.fields = CJson::ToLine(setup);
    return true;
}

int CCallDesk::SetSetup(const std::string& account, json_object* setup, std::string& error)
{
    SSetup parsed;
    if (!ParseSetup(setup, parsed, error)) {
        return -1;
    }
    std::lock_guard<std::mutex> guard(m_lock);
    if (account.empty()) {
        m_defaultSetup = parsed;
    } else {
        m_accountSetups[account] = parsed;
    }
    // Clients already signed in get the new set-up at once.
    int sent = 0;
    std::map<std::string, bool> pushed;
    for (const auto& link : m_links) {
        if ((!account.empty() && link.second != account) || pushed.count(link.second) != 0) {
            continue;
        }
        pushed[link.second] = true;
        if (account.empty() && m_accountSetups.count(link.second) != 0) {
            continue;
        }
        if (TPacketSPtr packet = SetupPacketLocked(link.second)) {
            sent += ToAccountLocked(link.second, *packet);
        }
    }
    return sent;
}

TPacketSPtr CCallDesk::SetupPacketLocked(const std::string& account) const
{
    const auto own = m_accountSetups.find(account);
    const SSetup& setup = own != m_accountSetups.end() ? own->second : m_defaultSetup;
    if (!setup.send) {
        return nullptr;
    }
    TPacketSPtr packet = COutgoingPacket::Create(CHUNK_CALLSETUP);
    TJsonPtr fields = CJson::Parse(setup.fields);
    std::string error;
    CPacketJson::AppendFields(fields.get(), packet, error);
    return packet;
}

bool CCallDesk::SetAnswer(json_object* answer, std::string& error)
{
    if (!json_object_is_type(answer, json_type_object)) {
        error = "a call answer is an object";
        return false;
    }
    std::lock_guard<std::mutex> guard(m_lock);
    m_number = CJson::GetString(answer, "number", m_number);
    m_voicemailNumber = CJson::GetString(answer, "voicemail_number", m_voicemailNumber);
    m_delayMs = std::max(0, static_cast<int>(CJson::GetInt(answer, "delay_ms", m_delayMs)));
    m_silent = CJson::GetBool(answer, "silent", m_silent);
    return true;
}

bool CCallDesk::ParseVoicemail(json_object* object, const std::string& account, SSimVoicemail& voicemail,
                               std::string& error) const
{
    if (!json_object_is_type(object, json_type_object) || account.empty()) {
        error = "a voicemail is an object and belongs to an account";
        return false;
    }
    int highest = 0;
    const auto list = m_voicemails.find(account);
    if (list != m_voicemails.end()) {
        for (const SSimVoicemail& existing : list->second) {
            highest = std::max(highest, existing.index);
        }
    }
    voicemail.index = static_cast<int>(CJson::GetInt(object, "index", highest + 1));
    voicemail.from = CJson::GetString(object, "from", "");
    voicemail.fullName = CJson::GetString(object, "fullName", "");
    voicemail.subject = CJson::GetString(object, "subject", "");
    voicemail.timestamp = static_cast<int>(CJson::GetInt(object, "timestamp", Now()));
    voicemail.duration = static_cast<int>(CJson::GetInt(object, "duration", 0));
    if (voicemail.index < 1) {
        error = "a voicemail index is 1 or more";
        return false;
    }
    return true;
}

int CCallDesk::AddVoicemail(const std::string& account, json_object* object, std::string& error)
{
    std::lock_guard<std::mutex> guard(m_lock);
    SSimVoicemail voicemail;
    if (!ParseVoicemail(object, account, voicemail, error)) {
        return -1;
    }
    std::vector<SSimVoicemail>& list = m_voicemails[account];
    const auto same = std::find_if(list.begin(), list.end(),
                                   [&](const SSimVoicemail& existing) { return existing.index == voicemail.index; });
    if (same != list.end()) {
        *same = voicemail;
    } else {
        list.push_back(voicemail);
    }
    return ToAccountLocked(account, *VoicemailsPacket({voicemail}));
}

TPacketSPtr CCallDesk::VoicemailsPacket(const std::vector<SSimVoicemail>& voicemails)
{
    TPacketSPtr records = COutgoingPacket::CreateContainer();
    for (const SSimVoicemail& voicemail : voicemails) {
        TPacketSPtr record = COutgoingPacket::CreateContainer();
        COutgoingPacket::AddInt32(record, KEY_VMINDEX, voicemail.index);
        COutgoingPacket::AddString(record, KEY_VEXLANAME, voicemail.from);
        if (!voicemail.fullName.empty()) {
            COutgoingPacket::AddString(record, KEY_FULLNAME, voicemail.fullName);
        }
        if (!voicemail.subject.empty()) {
            COutgoingPacket::AddString(record, KEY_SUBJECT, voicemail.subject);
        }
        COutgoingPacket::AddInt32(record, KEY_TIMESTAMP, voicemail.timestamp);
        COutgoingPacket::AddInt32(record, KEY_DURATION, voicemail.duration);
        COutgoingPacket::AddContainer(records, KEY_VMRECORDS, record);
    }
    TPacketSPtr packet = COutgoingPacket::Create(CHUNK_VOICEMAILS);
    COutgoingPacket::AddContainer(packet, KEY_VMRECORDS, records);
    return packet;
}

TJsonPtr CCallDesk::VoicemailsJson(const std::string& account) const
{
    std::lock_guard<std::mutex> guard(m_lock);
    TJsonPtr list(json_object_new_array());
    const auto found = m_voicemails.find(account);
    if (found == m_voicemails.end()) {
        return list;
    }
    for (const SSimVoicemail& voicemail : found->second) {
        json_object* item = json_object_new_object();
        json_object_object_add(item, "index", json_object_new_int(voicemail.index));
        json_object_object_add(item, "from", json_object_new_string(voicemail.from.c_str()));
        json_object_object_add(item, "fullName", json_object_new_string(voicemail.fullName.c_str()));
        json_object_object_add(item, "subject", json_object_new_string(voicemail.subject.c_str()));
        json_object_object_add(item, "timestamp", json_object_new_int(voicemail.timestamp));
        json_object_object_add(item, "duration", json_object_new_int(voicemail.duration));
        json_object_array_add(list.get(), item);
    }
    return list;
}

int CCallDesk::IncomingCall(const std::string& account, json_object* call)
{
    const std::string from = CJson::GetString(call, "from", "");
    const TPacketSPtr packet = COutgoingPacket::Create(CHUNK_CALLINGBUDDY);
    COutgoingPacket::AddString(packet, KEY_CALLTARGET, CJson::GetString(call, "target", from));
    COutgoingPacket::AddString(packet, KEY_VEXLANAME, from);
    COutgoingPacket::AddString(packet, KEY_DISPLAYNAME, CJson::GetString(call, "display", from));
    COutgoingPacket::AddInt32(packet, KEY_TIMESTAMP, static_cast<int>(CJson::GetInt(call, "timestamp", Now())));
    std::lock_guard<std::mutex> guard(m_lock);
    return ToAccountLocked(account, *packet, account.empty());
}

std::string CCallDesk::NoteAccountLocked(CConnection& connection)
{
    const std::string& account = connection.State().account;
    if (account.empty()) {
        m_links.erase(connection.Id());
    } else {
        m_links[connection.Id()] = account;
    }
    return account;
}

void CCallDesk::OnLoggedIn(CConnection& connection)
{
    std::lock_guard<std::mutex> guard(m_lock);
    const std::string account = NoteAccountLocked(connection);
    if (account.empty()) {
        return;
    }
    if (TPacketSPtr setup = SetupPacketLocked(account)) {
        connection.Send(*setup);
    }
    const auto voicemails = m_voicemails.find(account);
    if (voicemails != m_voicemails.end() && !voicemails->second.empty()) {
        connection.Send(*VoicemailsPacket(voicemails->second));
    }
}

void CCallDesk::AnswerNumberRequest(CConnection& connection, const CPacket& request)
{
    std::lock_guard<std::mutex> guard(m_lock);
    if (NoteAccountLocked(connection).empty() || m_silent) {
        return;
    }
    int chunk = 0;
    request.GetAttrInt32(KEY_CHUNKTYPE, &chunk);
    const std::string& number = chunk == CHUNK_LISTENVOICEMAIL ? m_voicemailNumber : m_number;
    TPacketSPtr answer = COutgoingPacket::Create(CHUNK_USEPSTNNUMBER);
    if (!number.empty()) {
        COutgoingPacket::AddString(answer, KEY_CALLPSTNNUMBER, number);
    }
    int requestId = 0;
    if (request.GetAttrInt32(KEY_REQUEST_ID, &requestId)) {
        COutgoingPacket::AddInt32(answer, KEY_REQUEST_ID, requestId);
    }
    if (m_delayMs > 0 && m_server != nullptr) {
        m_delayed.Post(*m_server, connection.Id(), answer, std::chrono::milliseconds(m_delayMs));
    } else {
        connection.Send(*answer);
    }
}

void CCallDesk::DeleteVoicemail(CConnection& connection, int index)
{
    std::lock_guard<std::mutex> guard(m_lock);
    const std::string account = NoteAccountLocked(connection);
    const auto list = m_voicemails.find(account);
    if (account.empty() || list == m_voicemails.end()) {
        return;
    }
    list->second.erase(std::remove_if(list->second.begin(), list->second.end(),
                                      [index](const SSimVoicemail& voicemail) { return voicemail.index == index; }),
                       list->second.end());
}

void CCallDesk::SendVoicemails(CConnection& connection)
{
    std::lock_guard<std::mutex> guard(m_lock);
    const std::string account = NoteAccountLocked(connection);
    if (account.empty()) {
        return;
    }
    const auto list = m_voicemails.find(account);
    connection.Send(*VoicemailsPacket(list != m_voicemails.end() ? list->second : std::vector<SSimVoicemail>()));
}

int CCallDesk::ToAccountLocked(const std::string& account, const CPacket& packet, bool all)
{
    if (m_server == nullptr) {
        return 0;
    }
    int count = 0;
    for (const auto& connection : m_server->Connections()) {
        const auto link = m_links.find(connection->Id());
        if (connection->Finished() || link == m_links.end() || (!all && link->second != account)) {
            continue;
        }
        if (connection->Send(packet)) {
            ++count;
        }
    }
    return count;
}

}  // namespace ServerSim
