#pragma once

#include <map>

#include "Utils/IPersistentStorage.h"

namespace VexlaLib {

class CLock;

// The store in memory, guarded by its own lock: every accessor may be called from any thread between
// Initialize and Terminate.
class CLocalStorage : public IPersistentStorage
{
public:
    typedef std::map<std::wstring, std::vector<unsigned char>> TEntries;

    CLocalStorage();
    ~CLocalStorage() override;

    CLocalStorage(const CLocalStorage&) = delete;
    CLocalStorage& operator=(const CLocalStorage&) = delete;

    void Initialize() override;
    void Terminate() override;
    void SetString(const std::wstring& key, const std::wstring& value) override;
    void SetBytes(const std::wstring& key, const std::vector<unsigned char>& value) override;
    void SetInt32(const std::wstring& key, int value) override;
    void SetInt64(const std::wstring& key, long long value) override;
    void SetFloat(const std::wstring& key, float value) override;
    void SetBool(const std::wstring& key, bool value) override;
    bool GetString(const std::wstring& key, std::wstring* value) override;
    bool GetBytes(const std::wstring& key, std::vector<unsigned char>* value) override;
    bool GetInt32(const std::wstring& key, int* value) override;
    bool GetInt64(const std::wstring& key, long long* value) override;
    bool GetFloat(const std::wstring& key, float* value) override;
    bool GetBool(const std::wstring& key, bool* value) override;
    void Delete(const std::wstring& key) override;
    bool Synchronize() override;
    void RequestSynchronize() override;

protected:
    // The lock must be held (or the store not yet shared) while the entries are used.
    CLock* m_lock;
    TEntries m_entries;

private:
    // The low `size` bytes of `value`, little-endian.
    void SetLittleEndian(const std::wstring& key, unsigned long long value, size_t size);
    // Reads a value of exactly `size` bytes as a little-endian number.
    bool GetLittleEndian(const std::wstring& key, size_t size, unsigned long long* value);
};

}  // namespace VexlaLib
