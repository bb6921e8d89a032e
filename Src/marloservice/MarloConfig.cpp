#include "marloservice/MarloConfig.h"

#include <cerrno>
#include <cstdlib>
#include <fstream>

namespace
{
const char* const DEVICE_TOKEN_GET_PATH = "/DexelRESTInterface/protected/accountLink/deviceTokenGet.jsp";
const char* const PURCHASE_PATH = "/DexelRESTInterface/protected/purchase/offerPurchase.jsp";
const long MAX_TIMEOUT_SECONDS = 3600;

std::string Trim(const std::string& text)
{
    const char* const blanks = " \t\r";
    const std::size_t first = text.find_first_not_of(blanks);
    if (first == std::string::npos)
        return std::string();
    return text.substr(first, text.find_last_not_of(blanks) - first + 1);
}

bool ParseSeconds(const std::string& text, long& seconds)
{
    if (text.empty() || text.find_first_not_of("0123456789") != std::string::npos)
        return false;
    errno = 0;
    const long value = std::strtol(text.c_str(), nullptr, 10);
    if (errno != 0 || value < 1 || value > MAX_TIMEOUT_SECONDS)
        return false;
    seconds = value;
    return true;
}
}  // namespace

CMarloConfig::CMarloConfig()
    : store_host(MARLO_STORE_HOST),
      cert_path("/usr/share/ssl/nylo.crt"),
      priv_key_path("/usr/share/ssl/nylo.key"),
      pub_key_path("/usr/share/ssl/pubkey.der"),
      partner("nylo"),
      partner_m("k7Qw2Rf9LpZx4Vb1Nc8Ht"),
      partner_pp("M3rLo5Ty8Ua2Wq6Es9Dg0")
{
}

bool CMarloConfig::LoadFile(const std::string& path, std::string& error)
{
    std::ifstream file(path);
    if (!file)
    {
        error = path + ": cannot open the file";
        return false;
    }
    std::string line;
    for (int number = 1; std::getline(file, line); ++number)
    {
        const std::string content = Trim(line);
        if (content.empty() || content[0] == '#')
            continue;
        const std::size_t equals = content.find('=');
        std::string settingError;
        if (equals == std::string::npos)
            settingError = "expected \"key = value\"";
        else
            ApplySetting(Trim(content.substr(0, equals)), Trim(content.substr(equals + 1)), settingError);
        if (!settingError.empty())
        {
            error = path + ":" + std::to_string(number) + ": " + settingError;
            return false;
        }
    }
    if (file.bad())
    {
        error = path + ": read error";
        return false;
    }
    return true;
}

bool CMarloConfig::ApplySetting(const std::string& key, const std::string& value, std::string& error)
{
    static const struct
    {
        const char* key;
        std::string CMarloConfig::*member;
    } stringSettings[] = {
        {"store_host", &CMarloConfig::store_host},       {"cert_path", &CMarloConfig::cert_path},
        {"priv_key_path", &CMarloConfig::priv_key_path}, {"pub_key_path", &CMarloConfig::pub_key_path},
        {"ca_file", &CMarloConfig::ca_file},             {"partner_m", &CMarloConfig::partner_m},
        {"partner_pp", &CMarloConfig::partner_pp},
    };
    static const struct
    {
        const char* key;
        long CMarloConfig::*member;
    } secondSettings[] = {
        {"connect_timeout", &CMarloConfig::connect_timeout},
        {"transfer_timeout", &CMarloConfig::transfer_timeout},
    };
    for (const auto& setting : stringSettings)
    {
        if (key == setting.key)
        {
            this->*setting.member = value;
            return true;
        }
    }
    for (const auto& setting : secondSettings)
    {
        if (key == setting.key)
        {
            if (ParseSeconds(value, this->*setting.member))
                return true;
            error = key + " must be a whole number of seconds from 1 to " + std::to_string(MAX_TIMEOUT_SECONDS);
            return false;
        }
    }
    error = "unknown key \"" + key + "\"";
    return false;
}

bool CMarloConfig::Validate(std::string& error) const
{
    if (partner_m.size() != PASSPHRASE_LENGTH || partner_pp.size() != PASSPHRASE_LENGTH)
    {
        error = "partner_m and partner_pp must be exactly " + std::to_string(PASSPHRASE_LENGTH) + " characters";
        return false;
    }
    for (std::size_t i = 0; i < PASSPHRASE_LENGTH; ++i)
    {
        if (partner_m[i] == partner_pp[i])
        {
            error = "partner_m and partner_pp are equal at character " + std::to_string(i + 1) +
                    ", which would cut the passphrase short";
            return false;
        }
    }
    if (store_host.empty())
    {
        error = "store_host is empty";
        return false;
    }
    return true;
}

void CMarloConfig::BuildPassphrase(char (&buffer)[PASSPHRASE_LENGTH + 1]) const
{
    std::size_t length = 0;
    for (; length < partner_pp.size() && length < partner_m.size() && length < PASSPHRASE_LENGTH; ++length)
        buffer[length] = static_cast<char>(partner_m[length] ^ partner_pp[length]);
    buffer[length] = '\0';
}

std::string CMarloConfig::device_tok_get_url() const
{
    return "https://" + store_host + DEVICE_TOKEN_GET_PATH;
}

std::string CMarloConfig::purchase_url() const
{
    return "https://" + store_host + PURCHASE_PATH;
}
