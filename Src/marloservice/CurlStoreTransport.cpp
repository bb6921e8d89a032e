#include "marloservice/CurlStoreTransport.h"

#include <memory>
#include <new>
#include <ostream>

#include <curl/curl.h>
#include <openssl/crypto.h>

namespace
{
struct CEasyDeleter
{
    void operator()(CURL* handle) const { curl_easy_cleanup(handle); }
};

struct CHeaderListDeleter
{
    void operator()(curl_slist* list) const { curl_slist_free_all(list); }
};

// Holds the key passphrase for one transfer and wipes it afterwards.
class CPassphrase
{
public:
    explicit CPassphrase(const CMarloConfig& config) { config.BuildPassphrase(m_text); }
    ~CPassphrase() { OPENSSL_cleanse(m_text, sizeof(m_text)); }
    const char* Text() const { return m_text; }

private:
    char m_text[CMarloConfig::PASSPHRASE_LENGTH + 1];
};
}  // namespace

CCurlStoreTransport::CCurlStoreTransport(const CMarloConfig& config, std::ostream& messages)
    : m_config(config), m_messages(messages)
{
}

TStoreResponse CCurlStoreTransport::curl_send(const std::string& url, const std::string& body)
{
    TStoreResponse response;
    std::unique_ptr<CURL, CEasyDeleter> handle(curl_easy_init());
    if (!handle)
        return response;
    CURL* const curl = handle.get();
    char errorText[CURL_ERROR_SIZE] = "";
    const CPassphrase passphrase(m_config);
    std::unique_ptr<curl_slist, CHeaderListDeleter> headers(curl_slist_append(nullptr, "Content-Type:text/xml"));
    if (!headers)
        return response;

    curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
    curl_easy_setopt(curl, CURLOPT_PROTOCOLS_STR, "https");
    curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(curl, CURLOPT_ERRORBUFFER, errorText);
    curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, &CCurlStoreTransport::parse_marlo_resp);
    curl_easy_setopt(curl, CURLOPT_WRITEDATA, &response.m_body);
    curl_easy_setopt(curl, CURLOPT_SSLCERT, m_config.cert_path.c_str());
    curl_easy_setopt(curl, CURLOPT_SSLKEY, m_config.priv_key_path.c_str());
    curl_easy_setopt(curl, CURLOPT_KEYPASSWD, passphrase.Text());
    curl_easy_setopt(curl, CURLOPT_SSL_VERIFYPEER, 1L);
    curl_easy_setopt(curl, CURLOPT_SSL_VERIFYHOST, 2L);
    if (!m_config.ca_file.empty())
        curl_easy_setopt(curl, CURLOPT_CAINFO, m_config.ca_file.c_str());
    curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT, m_config.connect_timeout);
    curl_easy_setopt(curl, CURLOPT_TIMEOUT, m_config.transfer_timeout);
    curl_easy_setopt(curl, CURLOPT_POST, 1L);
    curl_easy_setopt(curl, CURLOPT_POSTFIELDS, body.data());
    curl_easy_setopt(curl, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(body.size()));
    curl_easy_setopt(curl, CURLOPT_HTTPHEADER, headers.get());

    const CURLcode result = curl_easy_perform(curl);
    if (result != CURLE_OK)
    {
        m_messages << "ERROR: store transfer failed: " << (errorText[0] != '\0' ? errorText : curl_easy_strerror(result))
                   << std::endl;
        response.m_body.clear();
        return response;
    }
    curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &response.m_httpStatus);
    response.m_ok = true;
    return response;
}

std::size_t CCurlStoreTransport::parse_marlo_resp(char* data, std::size_t size, std::size_t count, void* response)
{
    std::string& collected = *static_cast<std::string*>(response);
    const std::size_t length = size * count;
    if (length == 0)
        return 0;
    if (length > MAX_RESPONSE_BYTES - collected.size())
    {
        collected.clear();
        return 0;
    }
    try
    {
        collected.append(data, length);
    }
    catch (const std::bad_alloc&)
    {
        collected.clear();
        return 0;
    }
    return length;
}
