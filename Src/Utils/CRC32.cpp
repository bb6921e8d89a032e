#include "Utils/CRC32.h"

#include "Utils/CRC32Kernels.h"

namespace VexlaLib {

namespace {

const uint32_t INITIAL_VALUE = 0xFFFFFFFF;

}  // namespace

CCRC32::CCRC32() : m_value(INITIAL_VALUE) {}

void CCRC32::Update(unsigned char value)
{
    m_value = CRC32Kernels::TableEntry(static_cast<unsigned char>(m_value ^ value)) ^ (m_value >> 8);
}

void CCRC32::Update(const unsigned char* data, size_t length)
{
    m_value = CRC32Kernels::ClmulAvailable() ? CRC32Kernels::UpdateClmul(m_value, data, length)
                                             : CRC32Kernels::UpdateSliced(m_value, data, length);
}

void CCRC32::Update(const TByteArraySPtr& data)
{
    if (data) {
        Update(data->data(), data->size());
    }
}

void CCRC32::Reset(const TByteArraySPtr& key)
{
    m_value = INITIAL_VALUE;
    Update(key);
}

uint32_t CCRC32::GetCheckSum() const
{
    return ~m_value;
}

}  // namespace VexlaLib
