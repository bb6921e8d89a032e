#pragma once

#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "DelayedSender.h"
#include "Json.h"
#include "Network/Packet.h"

namespace ServerSim {

class CConnection;
class CServerSim;

// A voicemail the network keeps for an account.
struct SSimVoicemail {
    int index = 0;
    std::string from;
    std::string fullName;
    std::string subject;
    int timestamp = 0;  // server time
    int duration = 0;   // seconds
};

// The call side of the simulated network: the call set-up each account gets after signing in (one
// for every account, replaced per account or left out), the answers to number requests
// (CHUNK_PLACECALL, CHUNK_LISTENVOICEMAIL: a number, late or never), each account's voicemails, and
// incoming-call announcements. Shared by the connection threads and the control socket, so every
// access is locked.
class CCallDesk {
public:
    explicit CCallDesk(int timeOffset = 0);
    CCallDesk(const CCallDesk&) = delete;
    CCallDesk& operator=(const CCallDesk&) = delete;

    // The server whose connections receive pushed packets; none until set.
    void SetServer(CServerSim* server);
    // Applies the "calls" member of a scenario file, if it has one; false with a reason.
    bool Load(const std::string& path, std::string& error);
    // Applies a "calls" object (see README.md); members that are absent keep their values.
    bool Apply(json_object* calls, std::string& error);

    // Client side, on the connection's thread. After a login: the call set-up and the voicemails.
    void OnLoggedIn(CConnection& connection);
    // Answers CHUNK_PLACECALL or CHUNK_LISTENVOICEMAIL with CHUNK_USEPSTNNUMBER, carrying the
    // request's KEY_REQUEST_ID.
    void AnswerNumberRequest(CConnection& connection, const VexlaLib::CPacket& request);
    void DeleteVoicemail(CConnection& connection, int index);
    void SendVoicemails(CConnection& connection);

    // Control side. Each returns how many connections got the resulting packet, or -1 with a reason.
    // An empty account names the set-up of every account without its own; setup null leaves it out.
    int SetSetup(const std::string& account, json_object* setup, std::string& error);
    bool SetAnswer(json_object* answer, std::string& error);
    int AddVoicemail(const std::string& account, json_object* voicemail, std::string& error);
    int IncomingCall(const std::string& account, json_object* call);
    TJsonPtr VoicemailsJson(const std::string& account) const;

private:
    // A call set-up: the CHUNK_CALLSETUP fields as packet JSON text; none when not sent.
    struct SSetup {
        bool send = true;
        std::string fields;
    };

    // The account signed in on the connection (noted for pushes); empty when signed out.
    std::string NoteAccountLocked(CConnection& connection);
    bool ParseSetup(json_object* setup, SSetup& parsed, std::string& error) const;
    bool ParseVoicemail(json_object* object, const std::string& account, SSimVoicemail& voicemail,
                        std::string& error) const;
    bool ParseAnswer(json_object* answer, std::string& error);
    VexlaLib::TPacketSPtr SetupPacketLocked(const std::string& account) const;
    static VexlaLib::TPacketSPtr VoicemailsPacket(const std::vector<SSimVoicemail>& voicemails);
    // Sends the packet to every live connection of the account (every signed-in one when all);
    // returns how many got it.
    int ToAccountLocked(const std::string& account, const VexlaLib::CPacket& packet, bool all = false);
    int Now() const;

    mutable std::mutex m_lock;
    const int m_timeOffset;
    CServerSim* m_server = nullptr;
    SSetup m_defaultSetup;
    std::map<std::string, SSetup> m_accountSetups;
    std::string m_number = "+15550100";
    std::string m_voicemailNumber = "+15550111";
    int m_delayMs = 0;
    bool m_silent = false;
    std::map<std::string, std::vector<SSimVoicemail>> m_voicemails;
    std::map<int, std::string> m_links;  // connection id → signed-in account
    CDelayedSender m_delayed;
};

}  // namespace ServerSim
