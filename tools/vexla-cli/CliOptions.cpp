#include "CliOptions.h"

#include <cstring>

bool CCliOptions::Parse(int argc, char** argv, std::string* error)
{
    for (int i = 1; i < argc; ++i) {
        const std::string option = argv[i];
        const bool hasValue = i + 1 < argc;
        if (option == "--help" || option == "-h") {
            m_help = true;
        } else if (option == "--stderr") {
            m_stderr = true;
        } else if (option == "--data-dir" && hasValue) {
            m_dataDir = argv[++i];
        } else if (option == "--settings" && hasValue) {
            m_settingsFile = argv[++i];
        } else {
            *error = "unknown option or missing value: " + option;
            return false;
        }
    }
    return true;
}

const char* CCliOptions::Usage()
{
    return "Usage: vexla-cli [--settings FILE] [--data-dir DIR] [--stderr] [--help]\n"
           "\n"
           "A command-line client of the Vexla protocol library. It reads one command per line on\n"
           "standard input, runs the library's processing step every 100 ms, and prints every library\n"
           "event as one JSON line on standard output, e.g. {\"event\":\"OnLoginFailed\",\"reason\":7}.\n"
           "Each command is answered by a line {\"reply\":COMMAND,\"ok\":true|false,...}; a command that\n"
           "cannot be carried out prints {\"event\":\"error\",\"command\":COMMAND,\"message\":TEXT}.\n"
           "While signed out or signing in, every command that needs a session answers ok false at once\n"
           "(all but login, login-saved, register, cancel, keep-credentials, set, foreground, background\n"
           "and quit).\n"
           "\n"
           "Options:\n"
           "  --settings FILE  library properties, one key and value per line (as for vexlad), applied\n"
           "                   at start-up after PLATFORMID 2017/1.0.0.0\n"
           "  --data-dir DIR   folder of the store file vexla.dat (default /var/vexla)\n"
           "  --stderr         mirror the library's log to standard error\n"
           "  --help           this text\n"
           "\n"
           "Commands (words with blanks go in double quotes):\n"
           "  login USER PASSWORD          sign in; needs the PSTN property (set PSTN +31...)\n"
           "  login-saved                  sign in with the stored name and saved credentials\n"
           "  keep-credentials on|off      keep the saved credentials after sign-out\n"
           "  logout | cancel              sign out | cancel a login or registration\n"
           "  register NAME PASSWORD FULLNAME EMAIL ALLOWSPAM   create an account (ALLOWSPAM 0 or 1)\n"
           "  profile | balance            fetch the profile | the credit balance\n"
           "  save-profile KEY=VALUE...    save the profile with changed fields; keys: fullName birthday\n"
           "                               gender languages country province city phoneHome phoneOffice\n"
           "                               phoneMobile emails homepage about mood chatPolicy callPolicy\n"
           "                               pstnPolicy\n"
           "  set PROPERTY VALUE           set a library property\n"
           "  contacts                     print the contact list, sorted\n"
           "  add-contact NAME MESSAGE     add a network user, asking for authorisation\n"
           "  add-number NUMBER FULLNAME   add a telephone number (Vexla-out)\n"
           "  delete-contact NAME          delete a contact (by user name or number)\n"
           "  authorize|block|unblock|reject NAME   answer or change an authorisation\n"
           "  auth-request NAME MESSAGE    ask a user for authorisation\n"
           "  props NAME | avatar NAME     fetch a contact's properties | picture (96x96)\n"
           "  search TEXT | search-more | search-end   contact search\n"
           "  status CODE                  set the own availability (2 online, 3 away, 6 invisible...)\n"
           "  presence                     ask for presence updates\n"
           "  foreground | background      tell the library the client state\n"
           "  chats | unread               ask for the recent | unread chats; the reply lists the known ones\n"
           "  chat NAME TEXT...            send TEXT in the dialog with NAME (created when missing)\n"
           "  open CHAT | close CHAT       fetch a chat's messages and keep it synchronised | stop that\n"
           "  send CHAT TEXT...            send a message; CHAT is a chat handle, name or topic\n"
           "  topic CHAT TEXT...           set a chat's topic\n"
           "  add-members CHAT NAME...     add users to a chat\n"
           "  read CHAT | read-all         mark a chat | all chats read\n"
           "  leave CHAT | leave-all       leave a chat | all chats\n"
           "  call NAME                    get the number to dial for a contact or user (OnUseDialOutNumber)\n"
           "  call-number NUMBER           the same for a telephone number (Vexla-out)\n"
           "  voicemails                   print the voicemails, newest first, with their handles\n"
           "  listen VOICEMAIL             get the number to dial to hear a voicemail (by handle)\n"
           "  heard VOICEMAIL | heard-all  mark a voicemail | all voicemails heard\n"
           "  delete-voicemail VOICEMAIL | delete-all-voicemails   delete one | all voicemails\n"
           "  quit                         sign out if signed in, and exit (also at end of input)\n"
           "\n"
           "Against the server simulator:\n"
           "  vexla-server-sim --port 0 --control /tmp/sim.sock --scenario scenario.json\n"
           "  printf 'SERVER_ENVIRONMENT TEST\\nSERVER_ADDRESS_LIST 127.0.0.1:PORT\\nUSE_SDF_SERVER NO\\n"
           "PSTN +31600000000\\n' > cli.settings\n"
           "  vexla-cli --settings cli.settings --data-dir /tmp/cli\n";
}
