// The store file loader: the daemon's main store file and its temporary twin, as found at start-up.
// The harness completes each file with its SHA-1 so that the fuzzer reaches the records. Whatever
// was loaded must survive being written and loaded again unchanged.

#include <fuzzer/FuzzedDataProvider.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "FuzzLog.h"
#include "ScratchDir.h"
#include "Utils/PersistentFileStorage.h"
#include "Utils/SHA1.h"
#include "Utils/Utils.h"

using namespace VexlaLib;

namespace {

long long FixedClock() { return 1700000000000LL; }

void WriteWithDigest(const std::string& path, std::vector<unsigned char> body)
{
    unsigned char digest[CSHA1::DIGEST_LENGTH];
    CSHA1::Calc(body.data(), static_cast<int>(body.size()), digest);
    body.insert(body.end(), digest, digest + sizeof(digest));
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(body.data()), body.size());
}

std::string ReadFile(const std::string& path)
{
    std::ifstream file(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

// Loads the store and writes it back, as a daemon run that changes nothing does.
std::string LoadAndWrite(const std::string& path)
{
    CPersistentFileStorage store(CUtils::ConvertCharToWide(path));
    store.Initialize();
    store.Terminate();
    return ReadFile(path);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    FuzzSupport::InstallDiscardingLog();
    CUtils::SetClockSource(FixedClock);
    const std::string path = FuzzSupport::ScratchDir() + "/vexla.dat";
    const std::string tempPath = path + ".tmp";
    unlink(path.c_str());
    unlink(tempPath.c_str());

    FuzzedDataProvider input(data, size);
    const bool withTemp = input.ConsumeBool();
    const std::vector<unsigned char> main = input.ConsumeBytes<unsigned char>(
        withTemp ? input.ConsumeIntegralInRange<size_t>(0, input.remaining_bytes()) : input.remaining_bytes());
    WriteWithDigest(path, main);
    if (withTemp)
        WriteWithDigest(tempPath, input.ConsumeRemainingBytes<unsigned char>());

    const std::string written = LoadAndWrite(path);
    if (LoadAndWrite(path) != written) {
        fprintf(stderr, "a loaded store does not survive writing and loading again\n");
        abort();
    }
    return 0;
}
