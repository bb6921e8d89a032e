// The call and voicemail commands of vexla-cli. A call's number comes back as OnUseDialOutNumber (or
// OnDialOutFailed); a voicemail is named by its handle (printed by "voicemails").
#include "CliCommands.h"

#include <cstdlib>

#include "JsonLine.h"
#include "Model/Voicemail.h"
#include "Public/VexlaLib.h"
#include "Utils/Utils.h"

using VexlaLib::CUtils;
using VexlaLib::CVoicemail;

namespace {

json_object* VoicemailJson(const CVoicemail& voicemail)
{
    json_object* object = json_object_new_object();
    json_object_object_add(object, "handle", json_object_new_int(voicemail.GetHandle()));
    json_object_object_add(object, "index", json_object_new_int(voicemail.GetIndex()));
    json_object_object_add(object, "from", CJsonLine::Text(voicemail.GetVexlaName()));
    json_object_object_add(object, "display", CJsonLine::Text(voicemail.GetDisplayString()));
    json_object_object_add(object, "subject", CJsonLine::Text(voicemail.GetSubject()));
    json_object_object_add(object, "duration", json_object_new_int(voicemail.GetDuration()));
    json_object_object_add(object, "heard", json_object_new_boolean(!voicemail.IsMissed()));
    return object;
}

}  // namespace

void CCliCommands::AddCallCommands()
{
    Add("call", 1, [this](const TWords& w) { return m_lib->RequestVexlaCall(CUtils::ConvertCharToWide(w[0])); });
    Add("call-number", 1, [this](const TWords& w) {
        return m_lib->RequestVexlaOutCall(CUtils::ConvertCharToWide(w[0]));
    });
    Add("voicemails", 0, [this](const TWords&) { return ListVoicemails(); });
    Add("listen", 1, [this](const TWords& w) {
        return WithVoicemail(w[0], [this](int h) { return m_lib->RequestListenVoicemail(h); });
    });
    Add("heard", 1, [this](const TWords& w) {
        return WithVoicemail(w[0], [this](int h) { return m_lib->MarkVoicemailAsRead(h); });
    });
    Add("heard-all", 0, [this](const TWords&) { return m_lib->MarkAllVoicemailsAsRead(); });
    Add("delete-voicemail", 1, [this](const TWords& w) {
        return WithVoicemail(w[0], [this](int h) { return m_lib->DeleteVoicemail(h); });
    });
    Add("delete-all-voicemails", 0, [this](const TWords&) { return m_lib->DeleteAllVoicemails(); });
}

bool CCliCommands::WithVoicemail(const std::string& word, const std::function<bool(int)>& use)
{
    const CVoicemail* voicemail = m_lib->GetModel().GetVoicemail(std::atoi(word.c_str()));
    if (voicemail == nullptr) {
        Fail(m_current, "no voicemail " + word);
        return false;
    }
    m_reply->Int("voicemail", voicemail->GetHandle());
    return use(voicemail->GetHandle());
}

bool CCliCommands::ListVoicemails()
{
    json_object* list = json_object_new_array();
    VexlaLib::CEventList* events = m_lib->GetModel().GetEventList();
    if (events != nullptr) {
        for (const auto& event : events->GetList(true)) {
            if (event->IsVoicemail())
                json_object_array_add(list, VoicemailJson(*static_cast<const CVoicemail*>(event.get())));
        }
    }
    m_reply->Value("voicemails", list);
    return m_lib->IsLoggedIn();
}
