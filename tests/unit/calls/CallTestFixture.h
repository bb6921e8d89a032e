#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "Model/Voicemail.h"
#include "support/LibraryFixture.h"

namespace VexlaTest {

// Hears the call events the shared recording listener leaves out, one line of text each.
class CCallEventListener : public VexlaLib::IVexlaLibListener {
public:
    void OnCallsEnabled(bool enabled) override { Add("OnCallsEnabled(" + std::to_string(enabled) + ")"); }
    void OnGatewayNumberUpdated(const std::wstring& number, const std::wstring& name) override
    {
        Add("OnGatewayNumberUpdated(" + Narrow(number) + "," + Narrow(name) + ")");
    }
    void OnCallingContact(int localTime, const std::wstring& callTarget, const std::wstring& vexlaName,
                          const std::wstring& displayName) override
    {
        Add("OnCallingContact(" + std::to_string(localTime) + "," + Narrow(callTarget) + "," + Narrow(vexlaName) +
            "," + Narrow(displayName) + ")");
    }
    void OnUseDialOutNumber(const std::wstring& number) override { Add("OnUseDialOutNumber(" + Narrow(number) + ")"); }
    void OnDialOutFailed(eDialoutError error) override { Add("OnDialOutFailed(" + std::to_string(error) + ")"); }

    std::vector<std::string> m_events;

private:
    static std::string Narrow(const std::wstring& text) { return std::string(text.begin(), text.end()); }
    void Add(const std::string& event) { m_events.push_back(event); }
};

// A library signed in as alice with bob (buddy index 3), carol (index 12) and a Vexla-out number
// (index 4), and builders for the call packets the server sends.
class CCallFixture : public CLibraryFixture {
protected:
    void SetUp() override
    {
        CLibraryFixture::SetUp();
        m_lib.AddListener(&m_calls);
        SignInWithList({BuddyRecord(3, L"bob"), BuddyRecord(12, L"carol"),
                        BuddyRecord(4, L"", 10).Str(VexlaLib::KEY_CALLTARGET, L"+3170123")});
    }

    static CTestPacket CallSetup(const std::vector<int>& methods)
    {
        return CTestPacket(VexlaLib::CHUNK_CALLSETUP).Ints(VexlaLib::KEY_CALLMETHODS, methods);
    }
    // Methods with a dial-in prefix and range, voicemail prefix and range, and Vexla-out on.
    static CTestPacket FullSetup(const std::vector<int>& methods, const std::wstring& prefix = L"+4420",
                                 int range = 10)
    {
        return CallSetup(methods)
            .Str(VexlaLib::KEY_DIALIN_NUMBER_PREFIX, prefix)
            .Int(VexlaLib::KEY_DIALIN_NUMBER_RANGE_SIZE, range)
            .Str(VexlaLib::KEY_VOICEMAIL_NUMBER_PREFIX, L"5000")
            .Int(VexlaLib::KEY_VOICEMAIL_NUMBER_RANGE_SIZE, 20)
            .Int(VexlaLib::KEY_VO_ENABLED, 1);
    }
    static CTestPacket Answer(int requestId, const std::wstring& number)
    {
        CTestPacket packet(VexlaLib::CHUNK_USEPSTNNUMBER);
        packet.Int(VexlaLib::KEY_REQUEST_ID, requestId);
        if (!number.empty())
            packet.Str(VexlaLib::KEY_CALLPSTNNUMBER, number);
        return packet;
    }
    static CTestPacket VoicemailRecord(int index, const std::wstring& from, int timestamp = 0)
    {
        CTestPacket record = CTestPacket::Record();
        record.Int(VexlaLib::KEY_VMINDEX, index).Str(VexlaLib::KEY_VEXLANAME, from);
        if (timestamp != 0)
            record.Int(VexlaLib::KEY_TIMESTAMP, timestamp);
        return record;
    }
    static CTestPacket Voicemails(const std::vector<CTestPacket>& records)
    {
        CTestPacket container = CTestPacket::Record();
        for (const CTestPacket& record : records)
            container.Sub(VexlaLib::KEY_VMRECORDS, record);
        return CTestPacket(VexlaLib::CHUNK_VOICEMAILS).Sub(VexlaLib::KEY_VMRECORDS, container);
    }

    void Deliver(const CTestPacket& packet)
    {
        Receive(packet);
        Drain();
    }
    // Delivers the set-up and forgets the events it raised.
    void ApplySetup(const CTestPacket& packet)
    {
        Deliver(packet);
        ClearEvents();
    }
    void ClearEvents()
    {
        m_calls.m_events.clear();
        m_listener.Clear();
    }
    int ContactHandle(int index)
    {
        return m_lib.GetModel().GetContactList()->FindContact(index)->GetHandle();
    }
    VexlaLib::CVoicemail* Voicemail(int index)
    {
        VexlaLib::CEventList* list = m_lib.GetModel().GetEventList();
        return list ? list->FindVoicemail(index) : nullptr;
    }
    std::vector<VexlaLib::TPacketSPtr> Sent(int chunk) const { return m_net->SentOfChunk(chunk); }
    std::vector<std::string> CallEvents() const { return m_calls.m_events; }

    CCallEventListener m_calls;
};

}  // namespace VexlaTest
