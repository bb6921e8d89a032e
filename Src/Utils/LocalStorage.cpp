#include "Utils/LocalStorage.h"

#include <cassert>
#include <cstdint>
#include <cstring>

#include "Utils/Lock.h"
#include "Utils/Synchronize.h"
#include "Utils/Utils.h"

namespace VexlaLib {

namespace {

CLock* Checked(CLock* lock)
{
    assert(lock != nullptr && "LocalStorage.cpp: store used outside Initialize and Terminate");
    return lock;
}

}  // namespace

CLocalStorage::CLocalStorage() : m_lock(nullptr) {}

CLocalStorage::~CLocalStorage()
{
    CLocalStorage::Terminate();
}

void CLocalStorage::Initialize()
{
    if (m_lock == nullptr) {
        m_lock = new CLock();
    }
}

void CLocalStorage::Terminate()
{
    delete m_lock;
    m_lock = nullptr;
}

void CLocalStorage::SetString(const std::wstring& key, const std::wstring& value)
{
    std::string text = CUtils::ConvertWideToChar(value);
    SetBytes(key, std::vector<unsigned char>(text.begin(), text.end()));
}

void CLocalStorage::SetBytes(const std::wstring& key, const std::vector<unsigned char>& value)
{
    CSynchronize guard(Checked(m_lock));
    m_entries[key] = value;
}

void CLocalStorage::SetInt32(const std::wstring& key, int value)
{
    SetLittleEndian(key, static_cast<unsigned int>(value), 4);
}

void CLocalStorage::SetInt64(const std::wstring& key, long long value)
{
    SetLittleEndian(key, static_cast<unsigned long long>(value), 8);
}

void CLocalStorage::SetFloat(const std::wstring& key, float value)
{
    uint32_t bits;
    memcpy(&bits, &value, sizeof(bits));
    SetLittleEndian(key, bits, 4);
}

void CLocalStorage::SetBool(const std::wstring& key, bool value)
{
    SetLittleEndian(key, value ? 1 : 0, 1);
}

bool CLocalStorage::GetString(const std::wstring& key, std::wstring* value)
{
    std::vector<unsigned char> bytes;
    if (!GetBytes(key, &bytes)) {
        return false;
    }
    *value = CUtils::ConvertCharToWide(std::string(bytes.begin(), bytes.end()));
    return true;
}

bool CLocalStorage::GetBytes(const std::wstring& key, std::vector<unsigned char>* value)
{
    CSynchronize guard(Checked(m_lock));
    TEntries::const_iterator entry = m_entries.find(key);
    if (entry == m_entries.end()) {
        return false;
    }
    *value = entry->second;
    return true;
}

bool CLocalStorage::GetInt32(const std::wstring& key, int* value)
{
    unsigned long long bits;
    if (!GetLittleEndian(key, 4, &bits)) {
        return false;
    }
    *value = static_cast<int>(static_cast<uint32_t>(bits));
    return true;
}

bool CLocalStorage::GetInt64(const std::wstring& key, long long* value)
{
    unsigned long long bits;
    if (!GetLittleEndian(key, 8, &bits)) {
        return false;
    }
    *value = static_cast<long long>(bits);
    return true;
}

bool CLocalStorage::GetFloat(const std::wstring& key, float* value)
{
    unsigned long long bits;
    if (!GetLittleEndian(key, 4, &bits)) {
        return false;
    }
    uint32_t word = static_cast<uint32_t>(bits);
    memcpy(value, &word, sizeof(word));
    return true;
}

bool CLocalStorage::GetBool(const std::wstring& key, bool* value)
{
    unsigned long long bits;
    if (!GetLittleEndian(key, 1, &bits)) {
        return false;
    }
    *value = bits != 0;
    return true;
}

void CLocalStorage::Delete(const std::wstring& key)
{
    CSynchronize guard(Checked(m_lock));
    m_entries.erase(key);
}

bool CLocalStorage::Synchronize()
{
    return true;
}

void CLocalStorage::RequestSynchronize() {}

void CLocalStorage::SetLittleEndian(const std::wstring& key, unsigned long long value, size_t size)
{
    std::vector<unsigned char> bytes(size);
    for (size_t n = 0; n < size; ++n) {
        bytes[n] = static_cast<unsigned char>(value >> (8 * n));
    }
    SetBytes(key, bytes);
}

bool CLocalStorage::GetLittleEndian(const std::wstring& key, size_t size, unsigned long long* value)
{
    CSynchronize guard(Checked(m_lock));
    TEntries::const_iterator entry = m_entries.find(key);
    if (entry == m_entries.end() || entry->second.size() != size) {
        return false;
    }
    unsigned long long result = 0;
    for (size_t n = 0; n < size; ++n) {
        result |= static_cast<unsigned long long>(entry->second[n]) << (8 * n);
    }
    *value = result;
    return true;
}

}  // namespace VexlaLib
