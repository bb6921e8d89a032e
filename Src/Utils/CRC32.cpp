#include "Utils/CRC32.h"

namespace VexlaLib {

namespace {

const uint32_t INITIAL_VALUE = 0xFFFFFFFF;

constexpr std::array<uint32_t, 256> MakeTable() {
    std::array<uint32_t, 256> table{};
    for (uint32_t n = 0; n < 256; ++n) {
        uint32_t value = n;
        for (int bit = 0; bit < 8; ++bit) {
            value = (value & 1) ? (0xEDB88320 ^ (value >> 1)) : (value >> 1);
        }
        table[n] = value;
    }
    return table;
}

}  // namespace

// Built at compile time: constant-initialised, so it is ready before any static constructor runs.
const std::array<uint32_t, 256> CCRC32::m_table = MakeTable();

CCRC32::CCRC32() : m_value(INITIAL_VALUE) {}

void CCRC32::Update(unsigned char value) {
    m_value = m_table[(m_value ^ value) & 0xFF] ^ (m_value >> 8);
}

void CCRC32::Update(const unsigned char* data, size_t length) {
    uint32_t value = m_value;
    for (const unsigned char* end = data + length; data < end; ++data) {
        value = m_table[(value ^ *data) & 0xFF] ^ (value >> 8);
    }
    m_value = value;
}

void CCRC32::Update(const TByteArraySPtr& data) {
    if (data) {
        Update(data->data(), data->size());
    }
}

void CCRC32::Reset(const TByteArraySPtr& key) {
    m_value = INITIAL_VALUE;
    Update(key);
}

uint32_t CCRC32::GetCheckSum() const {
    return ~m_value;
}

}  // namespace VexlaLib
