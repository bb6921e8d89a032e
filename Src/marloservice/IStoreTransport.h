#pragma once

#include <string>

// Outcome of one POST to the store.
struct TStoreResponse
{
    bool m_ok = false;       // the transfer completed (whatever the HTTP status)
    long m_httpStatus = 0;   // the store's HTTP status, 0 when no answer came
    std::string m_body;      // the answer's body
};

// Posts an XML request body to one of the store's endpoints.
class IStoreTransport
{
public:
    virtual ~IStoreTransport() = default;
    virtual TStoreResponse curl_send(const std::string& url, const std::string& body) = 0;
};
