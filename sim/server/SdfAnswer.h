#pragma once

#include <map>
#include <string>

namespace ServerSim {

// The identifiers of a discovery answer.
struct SSdfIdentity {
    std::string sessionId = "sdf-session-1";  // key 3 of the answer packet; not sent when empty
    int operatorId = -1;                       // key 4; not sent when negative
};

// How the discovery (SDF) server answers a request.
struct SSdfAnswer {
    int status = 200;                             // HTTP status
    SSdfIdentity identity;                        // for phone numbers not in `numbers`
    std::map<std::string, SSdfIdentity> numbers;  // by phone number
    std::string location;                         // Location header of a redirect status
    // In place of a well-formed answer: "not_packet" (a 200 whose body is not a packet), "no_blank"
    // (a header without the blank line that ends it), "close" (no answer at all); "" for none.
    std::string fault;

    const SSdfIdentity& IdentityFor(const std::string& phone) const
    {
        const auto known = numbers.find(phone);
        return known != numbers.end() ? known->second : identity;
    }
};

}  // namespace ServerSim
