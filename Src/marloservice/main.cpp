// marloservice: links the phone to the Marlo store. Offers "devicetokenget" and "purchase" on
// com.nylo.marlo (public bus) and answers each with the store's XML inside a JSON reply.

#include <cstdio>
#include <cstring>
#include <iostream>
#include <string>

#include <curl/curl.h>

#include "marloservice/CurlStoreTransport.h"
#include "marloservice/MarloConfig.h"
#include "marloservice/MarloRequestHandler.h"
#include "marloservice/MarloService.h"

namespace
{
void PrintUsage(FILE* stream)
{
    std::fprintf(stream,
                 "Usage: marloservice [--config FILE] [--version] [--help]\n"
                 "  --config FILE  key = value settings over the compiled-in ones: store_host, cert_path,\n"
                 "                 priv_key_path, pub_key_path, ca_file, partner_m, partner_pp,\n"
                 "                 connect_timeout, transfer_timeout\n"
                 "  --version      print the version and exit\n"
                 "  --help         print this help and exit\n");
}
}  // namespace

int main(int argc, char** argv)
{
    const char* configPath = nullptr;
    for (int i = 1; i < argc; ++i)
    {
        if (std::strcmp(argv[i], "--config") == 0 && i + 1 < argc)
            configPath = argv[++i];
        else if (std::strcmp(argv[i], "--version") == 0)
        {
            std::printf("marloservice %s\n", MARLO_VERSION);
            return 0;
        }
        else if (std::strcmp(argv[i], "--help") == 0)
        {
            PrintUsage(stdout);
            return 0;
        }
        else
        {
            PrintUsage(stderr);
            return 2;
        }
    }

    CMarloConfig config;
    std::string error;
    if ((configPath != nullptr && !config.LoadFile(configPath, error)) || !config.Validate(error))
    {
        std::cerr << "marloservice: " << error << std::endl;
        return 1;
    }

    curl_global_init(CURL_GLOBAL_DEFAULT);
    CCurlStoreTransport transport(config, std::cout);
    CMarloRequestHandler handler(config, transport, std::cout);
    bool registered = false;
    {
        CMarloService service(handler);
        registered = service.setup_service();
        if (registered)
            service.Run();
    }
    curl_global_cleanup();
    return registered ? 0 : 1;
}
