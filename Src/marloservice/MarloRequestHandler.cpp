#include "marloservice/MarloRequestHandler.h"

#include <optional>
#include <ostream>

#include <glib.h>
#include <json-c/json.h>

#include "marloservice/MarloReply.h"
#include "marloservice/MarloRequestBuilder.h"
#include "marloservice/StoreKeyEncryptor.h"

namespace
{
CMarloReply::TJsonPtr Parse(const std::string& payload)
{
    return CMarloReply::TJsonPtr(json_tokener_parse(payload.c_str()));
}
}  // namespace

CMarloRequestHandler::CMarloRequestHandler(const CMarloConfig& config, IStoreTransport& transport,
                                           std::ostream& messages)
    : m_config(config), m_transport(transport), m_messages(messages)
{
}

std::string CMarloRequestHandler::device_token_get(const std::string& payload)
{
    const CMarloReply::TJsonPtr parameters = Parse(payload);
    if (!parameters)
        return FailureReply();
    const char* const email = get_call_param(parameters.get(), "email");
    const char* const password = get_call_param(parameters.get(), "password");
    const char* const deviceId = get_call_param(parameters.get(), "deviceid");
    if (email == nullptr || password == nullptr || deviceId == nullptr)
    {
        m_messages << "ERROR: no params" << std::endl;
        return FailureReply();
    }
    if (!CarriedByXml("deviceid", deviceId))
        return FailureReply();
    return EncryptAndSend(email, password, deviceId);
}

std::string CMarloRequestHandler::EncryptAndSend(const char* email, const char* password, const char* deviceId)
{
    CStoreKeyEncryptor encryptor;
    if (!encryptor.Load(m_config.pub_key_path))
    {
        m_messages << "ERROR: cannot read the store's public key " << m_config.pub_key_path << std::endl;
        return FailureReply();
    }
    const std::optional<std::string> encryptedEmail = encryptor.rsa_encrypt_string(email);
    const std::optional<std::string> encryptedPassword = encryptor.rsa_encrypt_string(password);
    if (!encryptedEmail || !encryptedPassword)
    {
        m_messages << "ERROR: cannot encrypt the credentials" << std::endl;
        return FailureReply();
    }
    return Send(m_config.device_tok_get_url(),
                CMarloRequestBuilder::DeviceTokenBody(m_config.partner, deviceId, *encryptedEmail, *encryptedPassword));
}

std::string CMarloRequestHandler::purchase(const std::string& payload)
{
    const CMarloReply::TJsonPtr parameters = Parse(payload);
    if (!parameters)
        return FailureReply();
    const char* const msin = get_call_param(parameters.get(), "msin");
    const char* const deviceToken = get_call_param(parameters.get(), "devicetoken");
    const char* const associateTag = get_call_param(parameters.get(), "associatetag");
    if (msin == nullptr || deviceToken == nullptr)
    {
        m_messages << "ERROR: no params" << std::endl;
        return FailureReply();
    }
    if (!CarriedByXml("msin", msin) || !CarriedByXml("devicetoken", deviceToken) ||
        (associateTag != nullptr && !CarriedByXml("associatetag", associateTag)))
        return FailureReply();
    return Send(m_config.purchase_url(),
                CMarloRequestBuilder::PurchaseBody(msin, associateTag != nullptr ? associateTag : "", deviceToken));
}

std::string CMarloRequestHandler::Send(const std::string& url, const std::string& body)
{
    const TStoreResponse response = m_transport.curl_send(url, body);
    if (!response.m_ok || response.m_body.empty())
        return FailureReply();
    // A bus payload is UTF-8 text; an answer that is not cannot be carried.
    if (!g_utf8_validate_len(response.m_body.data(), response.m_body.size(), nullptr))
    {
        m_messages << "ERROR: the store's answer is not UTF-8 text" << std::endl;
        return FailureReply();
    }
    return CMarloReply::Success(response.m_body, response.m_httpStatus);
}

bool CMarloRequestHandler::CarriedByXml(const char* name, const char* value)
{
    if (CMarloRequestBuilder::IsXmlText(value))
        return true;
    m_messages << "ERROR: " << name << " holds a character that XML 1.0 cannot carry" << std::endl;
    return false;
}

std::string CMarloRequestHandler::FailureReply()
{
    m_messages << "ERROR! returning false reply" << std::endl;
    return CMarloReply::Failure();
}

const char* CMarloRequestHandler::get_call_param(json_object* object, const char* name)
{
    json_object* member = nullptr;
    if (!json_object_is_type(object, json_type_object) || !json_object_object_get_ex(object, name, &member))
        return nullptr;
    return json_object_get_string(member);
}
