#pragma once

#include <openssl/evp.h>

#include <string>

#include "Utils/ByteArray.h"

namespace ServerSim {

// Which test root key signs the server identity the simulator hands out.
// eWrongDigest: signed with the primary root key, but the digest beside the modulus is not its SHA-1.
enum class TIdentityKey { ePrimary, eBackup, eCorrupt, eWrongDigest };

// The simulator's private keys: the two test root keys that sign the server identity and the test
// server key that recovers the client's master secret.
class CServerKeys {
public:
    // Loads test-root-primary.pem, test-root-backup.pem and test-server.pem from dir; throws
    // std::runtime_error naming the file that cannot be read.
    explicit CServerKeys(const std::string& dir);
    ~CServerKeys();
    CServerKeys(const CServerKeys&) = delete;
    CServerKeys& operator=(const CServerKeys&) = delete;

    // "SK" followed by the 128-byte signature block that carries the server modulus. eCorrupt signs
    // with the primary key and then spoils the signature, so no root key verifies it.
    VexlaLib::TByteArray MakeIdentity(TIdentityKey key) const;

    // Recovers the 20-byte master secret from a KEY_SECRETMASTER value ("PS" and the RSA block);
    // false when the value is malformed or its block does not decode.
    bool DecryptSecret(const VexlaLib::TByteArray& secret, VexlaLib::TByteArray& master) const;

    // The 48-byte server modulus, most significant byte first.
    VexlaLib::TByteArray ServerModulus() const;

private:
    // x^d mod n with the key's private exponent; x and the result are key-sized, big-endian.
    static bool PrivateOperation(EVP_PKEY* key, const unsigned char* in, size_t length, VexlaLib::TByteArray& out);

    EVP_PKEY* m_rootPrimary;
    EVP_PKEY* m_rootBackup;
    EVP_PKEY* m_server;
};

}  // namespace ServerSim
