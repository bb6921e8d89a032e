#include "KeyLogFile.h"

#include <fstream>
#include <iterator>
#include <memory>
#include <sstream>

#include "HexText.h"

bool CKeyLogFile::Load(const std::string& path, std::string* error)
{
    std::ifstream file(path, std::ios::binary);
    if (!file) {
        *error = "cannot open " + path;
        return false;
    }
    Parse(std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()));
    return true;
}

void CKeyLogFile::Parse(const std::string& text)
{
    std::istringstream lines(text);
    std::string line;
    while (std::getline(lines, line)) {
        std::istringstream words(line);
        std::string label;
        std::string fields[5];
        std::string extra;
        if (!(words >> label) || label != "VEXLA_SESSION")
            continue;
        bool complete = true;
        for (std::string& field : fields)
            complete = complete && static_cast<bool>(words >> field);
        if (!complete || words >> extra)
            continue;
        VexlaLib::TByteArray clientRandom;
        SKeys keys;
        keys.checksumKey = std::make_shared<VexlaLib::TByteArray>();
        if (CHexText::Parse(fields[0], &clientRandom) && CHexText::Parse(fields[1], &keys.serverRandom) &&
            CHexText::Parse(fields[2], &keys.clientKey) && CHexText::Parse(fields[3], &keys.serverKey) &&
            CHexText::Parse(fields[4], keys.checksumKey.get()) && !keys.clientKey.empty() && !keys.serverKey.empty())
            m_sessions[clientRandom] = std::move(keys);
    }
}

const CKeyLogFile::SKeys* CKeyLogFile::Find(const VexlaLib::TByteArray& clientRandom) const
{
    const auto found = m_sessions.find(clientRandom);
    return found == m_sessions.end() ? nullptr : &found->second;
}
