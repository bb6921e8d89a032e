#pragma once

#include <cstddef>
#include <string>

// Settings of the store link. The compiled-in values are the defaults; a configuration file of
// "key = value" lines (keys named like the fields below) can move them, for instance to point the
// service at a test store.
class CMarloConfig
{
public:
    // Length of each of the two stored strings, and so of the key passphrase built from them.
    static constexpr std::size_t PASSPHRASE_LENGTH = 21;

    CMarloConfig();

    // Applies the file's settings over the current ones. On failure returns false with a message
    // naming the file and line in error.
    bool LoadFile(const std::string& path, std::string& error);

    // Checks the two stored strings: exactly PASSPHRASE_LENGTH bytes each, and no byte of their XOR
    // zero (which would cut the passphrase short).
    bool Validate(std::string& error) const;

    // Writes the passphrase of the private key (byte i = partner_m[i] XOR partner_pp[i]) and a
    // terminating NUL into buffer. The caller wipes it after use.
    void BuildPassphrase(char (&buffer)[PASSPHRASE_LENGTH + 1]) const;

    std::string device_tok_get_url() const;
    std::string purchase_url() const;

    std::string store_host;      // "host" or "host:port" of the store's HTTPS interface
    std::string cert_path;       // client certificate (PEM)
    std::string priv_key_path;   // private key of the client certificate (PEM, passphrase-protected)
    std::string pub_key_path;    // the store's RSA public key, DER SubjectPublicKeyInfo
    std::string ca_file;         // CA certificates the store's certificate must verify against;
                                 // empty means the system's trust store
    std::string partner;         // partner identifier sent to the store
    std::string partner_m;       // first stored string of the passphrase
    std::string partner_pp;      // second stored string of the passphrase
    long connect_timeout = 15;   // seconds to establish the connection
    long transfer_timeout = 60;  // seconds for the whole transfer

private:
    bool ApplySetting(const std::string& key, const std::string& value, std::string& error);
};
