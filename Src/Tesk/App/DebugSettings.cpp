#include "Tesk/App/DebugSettings.h"

#include <fstream>
#include <iterator>

#include "Utils/LogStream.h"
#include "Utils/Utils.h"

using VexlaLib::CUtils;

bool CDebugSettings::Load(const std::string& fileName, std::vector<TSetting>* settings)
{
    std::ifstream file(fileName, std::ios::binary);
    if (!file)
        return false;
    const std::string text((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    VexlaLib::LogNotice() << "Found a file with debug settings:" << std::endl;
    *settings = Scan(text);
    return true;
}

std::vector<CDebugSettings::TSetting> CDebugSettings::Scan(const std::string& fileText)
{
    static const char kSeparators[] = " \t\r\n";
    // A trailing blank ends the last token, so every key found has an end.
    const std::string text = fileText + ' ';
    std::vector<TSetting> settings;
    size_t position = 0;
    for (;;) {
        const size_t keyStart = text.find_first_not_of(kSeparators, position);
        if (keyStart == std::string::npos)
            break;
        const size_t keyEnd = text.find_first_of(kSeparators, keyStart);
        if (keyEnd == std::string::npos)
            break;
        const size_t valueStart = text.find_first_not_of(kSeparators, keyEnd);
        if (valueStart == std::string::npos)
            break;
        size_t valueEnd = text.find_first_of(kSeparators, valueStart);
        if (valueEnd == std::string::npos)
            valueEnd = text.size();
        position = text.find_first_of("\r\n", valueStart);
        if (position == std::string::npos)
            position = text.size();

        if (text[keyStart] != '#') {
            settings.emplace_back(CUtils::ConvertCharToWide(text.substr(keyStart, keyEnd - keyStart)),
                                  CUtils::ConvertCharToWide(text.substr(valueStart, valueEnd - valueStart)));
        }
    }
    return settings;
}

void CDebugSettings::Apply(const std::vector<TSetting>& settings, const TSetProperty& setProperty)
{
    for (const TSetting& setting : settings) {
        const bool secret = CUtils::ToLowerCase(setting.first).find(L"password") != std::wstring::npos;
        VexlaLib::LogNotice() << "Setting property: " << setting.first
                              << " to: " << (secret ? std::wstring(L"<redacted>") : setting.second) << std::endl;
        setProperty(setting.first, setting.second);
    }
}
