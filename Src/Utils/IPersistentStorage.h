#pragma once

#include <string>
#include <vector>

namespace VexlaLib {

// A typed key-value store. Values are kept as bytes: strings in UTF-8, numbers little-endian. Every
// getter returns false, leaving its output untouched, when the key is missing or its value has
// another size than the type needs.
class IPersistentStorage {
public:
    virtual ~IPersistentStorage() = default;

    virtual void Initialize() = 0;
    virtual void Terminate() = 0;
    virtual void SetString(const std::wstring& key, const std::wstring& value) = 0;
    virtual void SetBytes(const std::wstring& key, const std::vector<unsigned char>& value) = 0;
    virtual void SetInt32(const std::wstring& key, int value) = 0;
    virtual void SetInt64(const std::wstring& key, long long value) = 0;
    virtual void SetFloat(const std::wstring& key, float value) = 0;
    virtual void SetBool(const std::wstring& key, bool value) = 0;
    virtual bool GetString(const std::wstring& key, std::wstring* value) = 0;
    virtual bool GetBytes(const std::wstring& key, std::vector<unsigned char>* value) = 0;
    virtual bool GetInt32(const std::wstring& key, int* value) = 0;
    virtual bool GetInt64(const std::wstring& key, long long* value) = 0;
    virtual bool GetFloat(const std::wstring& key, float* value) = 0;
    virtual bool GetBool(const std::wstring& key, bool* value) = 0;
    virtual void Delete(const std::wstring& key) = 0;
    // Makes the current entries durable where the store has a backing file, waiting for the write;
    // false if that failed.
    virtual bool Synchronize() = 0;
    // Asks for the current entries to be made durable soon and returns at once.
    virtual void RequestSynchronize() = 0;
};

}  // namespace VexlaLib
