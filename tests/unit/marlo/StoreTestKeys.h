#pragma once

#include <string>

// Access to the committed store-sim test keys.
namespace StoreTestKeys
{
// Path of a file in sim/store/keys.
std::string Path(const std::string& name);

// Undoes the service's encryption with the store's private key: Base64 (line feeds allowed), then
// RSA PKCS #1 v1.5. Returns "<decrypt failed>" when that does not work.
std::string Decrypt(const std::string& base64Text);
}  // namespace StoreTestKeys
