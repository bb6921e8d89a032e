// marloservice's two bus methods ("devicetokenget", "purchase") with fuzzed payloads, answered by a
// store that returns a fuzzed answer (transfer outcome, HTTP status and body). Every reply must be a
// JSON object with a boolean "returnValue", whatever came in from either side, and every request that
// reaches the store must be a body XML 1.0 can carry.

#include <fuzzer/FuzzedDataProvider.h>
#include <json-c/json.h>

#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <string>

#include "marloservice/IStoreTransport.h"
#include "marloservice/MarloConfig.h"
#include "marloservice/MarloRequestBuilder.h"
#include "marloservice/MarloRequestHandler.h"

namespace {

class CFuzzedStore : public IStoreTransport {
public:
    TStoreResponse curl_send(const std::string&, const std::string& body) override
    {
        if (!CMarloRequestBuilder::IsXmlText(body)) {
            fprintf(stderr, "the request body holds characters XML 1.0 cannot carry: %s\n", body.c_str());
            abort();
        }
        return m_answer;
    }

    TStoreResponse m_answer;
};

void CheckReply(const std::string& reply)
{
    json_object* parsed = json_tokener_parse(reply.c_str());
    json_object* returnValue = nullptr;
    const bool valid = json_object_is_type(parsed, json_type_object) &&
                       json_object_object_get_ex(parsed, "returnValue", &returnValue) &&
                       json_object_is_type(returnValue, json_type_boolean);
    json_object_put(parsed);
    if (!valid) {
        fprintf(stderr, "reply is not a JSON object with a boolean returnValue: %s\n", reply.c_str());
        abort();
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static const CMarloConfig config = [] {
        CMarloConfig made;
        made.pub_key_path = VEXLA_SOURCE_DIR "/sim/store/keys/pubkey.der";
        return made;
    }();
    FuzzedDataProvider input(data, size);
    CFuzzedStore store;
    store.m_answer.m_ok = input.ConsumeBool();
    store.m_answer.m_httpStatus = input.ConsumeIntegral<long>();
    const bool purchase = input.ConsumeBool();
    const std::string payload = input.ConsumeRandomLengthString();
    store.m_answer.m_body = input.ConsumeRemainingBytesAsString();

    std::ostringstream messages;
    CMarloRequestHandler handler(config, store, messages);
    CheckReply(purchase ? handler.purchase(payload) : handler.device_token_get(payload));
    return 0;
}
