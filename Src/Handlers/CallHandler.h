#pragma once

#include "Handlers/BaseHandler.h"
#include "Public/IVexlaLibListener.h"
#include "Utils/ITimer.h"

#include <string>

namespace VexlaLib {

class CCallSetup;
class CContact;
class CModel;
class CTimer;
class CVexlaLib;
class CVoicemail;

// Obtains the telephone number the phone dials to reach a contact, a user, a Vexla-out number or a
// voicemail: computed from the dial-in or voicemail prefix and range the server's call set-up gave
// (method 1), or asked of the server with CHUNK_PLACECALL / CHUNK_LISTENVOICEMAIL (methods 2 and 3),
// answered by CHUNK_USEPSTNNUMBER. Also keeps the call set-up and the voicemails, and reports the
// calls the server announces. Every request ends in one OnUseDialOutNumber or one OnDialOutFailed.
class CCallHandler : public CBaseHandler, public ITimer
{
public:
    enum eTimerId
    {
        TIMER_PLACE_CALL = 1,
        TIMER_LISTEN_VOICEMAIL = 2
    };

    static const int NUMBER_REQUEST_TIMEOUT_MS = 30000;

    CCallHandler(CVexlaLib* pLib, CModel* pModel);
    ~CCallHandler() override;

    void RequestContactCall(const CContact* contact);
    // A user who is not a contact.
    void RequestVexlaCall(const std::wstring& vexlaName);
    void RequestVexlaOutCall(const std::wstring& number);
    void RequestListenVoicemail(CVoicemail* voicemail);
    void MarkVoicemailAsRead(CVoicemail* voicemail);
    void MarkAllVoicemailsAsRead();
    void DeleteVoicemail(CVoicemail* voicemail);
    void DeleteAllVoicemails();

    void HandleCallSetup(const TPacketSPtr& packet);
    void HandleUsePstnNumber(const TPacketSPtr& packet);
    void HandleVoicemails(const TPacketSPtr& packet);
    void HandleCallingBuddy(const TPacketSPtr& packet);

    void ClearSessionData() override;
    bool HandleError(const TPacketSPtr& /*packet*/, int /*code*/) override { return false; }
    void OnTimer(int id) override;

    // True for a text that starts with "+" or a decimal digit.
    static bool IsVexlaOutNumber(const std::wstring& text);
    // The number method 1 dials: prefix read as a decimal number plus index, keeping a leading "+".
    // False when the index lies outside 1..range or the prefix gives no positive number.
    static bool ComputeDialInNumber(const std::wstring& prefix, int range, int index, std::wstring* number);

private:
    // The call set-up when calls can be requested; otherwise reports why not and returns null.
    const CCallSetup* CallSetupForRequest();
    // Offers each method of the set-up, in order, to tryMethod until it returns true (the request is
    // done); when none does, reports DIALOUT_NO_METHOD.
    template <typename TTryMethod>
    void WalkCallMethods(const CCallSetup& setup, TTryMethod tryMethod);
    void PlaceCall(const std::wstring& target, int method);
    void ListenVoicemail(const CVoicemail* voicemail, int method);
    // Sends a number request and guards it with the timer; a running request is replaced.
    void SendNumberRequest(const TPacketSPtr& packet, eTimerId timerId);
    bool DialInNumber(const std::wstring& prefix, int range, int index);
    // Applies one record of CHUNK_VOICEMAILS; true if a voicemail was added or changed.
    bool AddVoicemail(const TPacketSPtr& record);

    CVexlaLib* m_pLib;
    CModel* m_pModel;
    CTimer* m_pTimer;
    int m_pendingRequestId = 0;
};

}  // namespace VexlaLib
