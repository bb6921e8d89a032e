#include "CallControl.h"

#include "CallDesk.h"

namespace ServerSim {

namespace {

std::string Sent(int count, const std::string& error)
{
    if (count < 0) {
        return CJson::ToLine(CJson::Error(error).get());
    }
    TJsonPtr answer = CJson::Ok();
    json_object_object_add(answer.get(), "sent", json_object_new_int(count));
    return CJson::ToLine(answer.get());
}

}  // namespace

bool CCallControl::Handles(const std::string& name)
{
    return name == "call_setup" || name == "call_answer" || name == "voicemail" || name == "voicemails" ||
           name == "incoming_call";
}

std::string CCallControl::Execute(CCallDesk* desk, const std::string& name, json_object* command)
{
    if (desk == nullptr) {
        return CJson::ToLine(CJson::Error("this simulator serves no calls").get());
    }
    const std::string account = CJson::GetString(command, "account", "");
    std::string error;
    if (name == "call_setup") {
        json_object* setup = nullptr;
        if (!json_object_object_get_ex(command, "setup", &setup)) {
            return CJson::ToLine(CJson::Error("call_setup needs \"setup\" (an object, or null for none)").get());
        }
        return Sent(desk->SetSetup(account, setup, error), error);
    }
    if (name == "call_answer") {
        return desk->SetAnswer(command, error) ? CJson::ToLine(CJson::Ok().get())
                                               : CJson::ToLine(CJson::Error(error).get());
    }
    if (name == "voicemail") {
        return Sent(desk->AddVoicemail(account, command, error), error);
    }
    if (name == "voicemails") {
        TJsonPtr answer = CJson::Ok();
        json_object_object_add(answer.get(), "voicemails", desk->VoicemailsJson(account).release());
        return CJson::ToLine(answer.get());
    }
    return Sent(desk->IncomingCall(account, command), error);
}

}  // namespace ServerSim
