#pragma once

#include <cstddef>
#include <iosfwd>

#include "marloservice/IStoreTransport.h"
#include "marloservice/MarloConfig.h"

// HTTPS POST through libcurl with the client certificate and its key, verifying the store's
// certificate against the configured CA file, within the configured time-outs.
class CCurlStoreTransport : public IStoreTransport
{
public:
    // A store answer larger than this fails the transfer.
    static constexpr std::size_t MAX_RESPONSE_BYTES = 16 * 1024 * 1024;

    // Transfer failures are described on messages.
    CCurlStoreTransport(const CMarloConfig& config, std::ostream& messages);

    TStoreResponse curl_send(const std::string& url, const std::string& body) override;

private:
    // libcurl's write callback: appends each chunk of the answer to the response string.
    static std::size_t parse_marlo_resp(char* data, std::size_t size, std::size_t count, void* response);

    const CMarloConfig& m_config;
    std::ostream& m_messages;
};
