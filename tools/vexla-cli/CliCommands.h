#pragma once

#include <functional>
#include <map>
#include <string>
#include <vector>

class CJsonLine;

namespace VexlaLib {
class CContact;
class CVexlaLib;
}  // namespace VexlaLib

// The commands of vexla-cli: each line names one, with its words after it. Every command is
// answered with a reply line; the library's events follow as it works.
class CCliCommands {
public:
    explicit CCliCommands(VexlaLib::CVexlaLib* lib);

    // Runs one line; false once "quit" was given.
    bool Execute(const std::string& line);

private:
    typedef std::vector<std::string> TWords;
    struct SCommand {
        size_t words;  // how many words the command needs after its name
        std::function<bool(const TWords&)> run;
    };

    void Add(const std::string& name, size_t words, std::function<bool(const TWords&)> run);
    bool Login(const std::wstring& user, const std::wstring& password);
    bool SaveProfile(const TWords& assignments);
    bool WithContact(const std::string& name, const std::function<bool(const VexlaLib::CContact&)>& use);
    // Adds the sorted contact list to the reply.
    bool ListContacts();
    // The chat commands (CliChatCommands.cpp).
    void AddChatCommands();
    // Calls use with the handle of the chat a word names (a handle, or a chat's friendly name,
    // unique name or topic) and adds it to the reply; false when no chat is named so.
    bool WithChat(const std::string& name, const std::function<bool(int)>& use);
    // Creates or opens the dialog with the user and sends the text in it.
    bool ChatWith(const std::string& name, const std::wstring& text);
    // Asks the server for the recent (or unread) chats; the reply lists the chats known so far.
    bool ListChats(bool unreadOnly);
    // The call and voicemail commands (CliCallCommands.cpp).
    void AddCallCommands();
    // Calls use with the handle of the voicemail a word names and adds it to the reply; false when
    // there is no such voicemail.
    bool WithVoicemail(const std::string& word, const std::function<bool(int)>& use);
    // The reply lists the voicemails, newest first.
    bool ListVoicemails();
    void Fail(const std::string& command, const std::string& message);

    VexlaLib::CVexlaLib* m_lib;
    std::map<std::string, SCommand> m_commands;
    std::string m_current;
    CJsonLine* m_reply = nullptr;  // the reply of the running command
    bool m_quit = false;
};
