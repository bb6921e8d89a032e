#pragma once

#include <string>
#include <vector>

namespace VexlaLib {

class CProperties;

// Typed, read-only view of the network settings kept in the library's properties, with their defaults,
// and the compiled-in constants of each server environment.
class CConnectionSettings
{
public:
    explicit CConnectionSettings(CProperties* properties);

    std::wstring GetServerEnvironment() const;
    std::wstring GetUseSDFServer() const;
    std::wstring GetDefaultSDFServer() const;
    int GetCurrentProtocolVersion() const;
    std::wstring GetPlattformID() const;
    std::wstring GetLanguage() const;
    std::vector<int> GetCallMethods() const;
    std::vector<int> GetReconnectPattern() const;
    int GetReadTimeoutDuringHandshake() const;
    int GetWriteTimeoutDuringHandshake() const;
    int GetReadTimeoutNormalOperation() const;
    int GetWriteTimeoutNormalOperation() const;
    std::wstring GetRequiredLocalAddress() const;
    void SetRequiredLocalAddress(const std::wstring& address);
    bool GetAskForRequiredLocalAddress() const;
    std::wstring GetPSTN() const;

    // The servers of the current environment, or the "SERVER_ADDRESS_LIST" entries when that is set.
    std::vector<std::wstring> GetDefaultRootServers() const;
    // CHECK_IDENTITY_DIGEST "YES" or "NO": whether the server identity's digest of its modulus is
    // checked as well; by default YES in the TEST environment (its identities carry the digest), NO elsewhere.
    bool GetCheckIdentityDigest() const;
    std::vector<unsigned char> GetDefaultRootKeyPrimary() const;
    std::vector<unsigned char> GetDefaultRootKeyBackup() const;
    std::vector<unsigned char> GetDefaultCommonExp() const;
    std::vector<unsigned char> GetConstClient() const;
    std::vector<unsigned char> GetConstServer() const;
    std::vector<unsigned char> GetConstHashKey() const;
    std::vector<unsigned char> GetConstUserData() const;

    // The first whitespace-separated integer of the property, or `defaultValue` when it is missing.
    int GetIntFromString(const std::wstring& key, int defaultValue) const;
    // Every whitespace-separated integer of the property; empty when it is missing.
    std::vector<int> GetIntArrayFromString(const std::wstring& key) const;

private:
    std::wstring GetStringOr(const std::wstring& key, const std::wstring& defaultValue) const;
    bool UsesTestKeys() const;

    CProperties* m_properties;
};

}  // namespace VexlaLib
