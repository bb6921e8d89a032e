#include "Network/AttrChunk.h"

#include "Network/NameTable.h"

namespace VexlaLib {

#define VEXLA_CHUNK_NAME(name, code) VEXLA_WIDE_NAME(name),
const wchar_t* const CAttrChunk::m_lookup[CHUNK_COUNT] = {VEXLA_CHUNK_LIST(VEXLA_CHUNK_NAME)};
const wchar_t* const CAttrChunk::m_internalLookup[INTERNAL_CHUNK_COUNT] = {VEXLA_INTERNAL_CHUNK_LIST(VEXLA_CHUNK_NAME)};

#define VEXLA_CHUNK_CODE(name, code) code,
namespace {
constexpr int kChunkCodes[] = {VEXLA_CHUNK_LIST(VEXLA_CHUNK_CODE)};
constexpr int kInternalChunkCodes[] = {VEXLA_INTERNAL_CHUNK_LIST(VEXLA_CHUNK_CODE)};
static_assert(sizeof(kChunkCodes) / sizeof(kChunkCodes[0]) == CAttrChunk::CHUNK_COUNT, "one name per chunk");
static_assert(sizeof(kInternalChunkCodes) / sizeof(kInternalChunkCodes[0]) == CAttrChunk::INTERNAL_CHUNK_COUNT,
    "one name per internal chunk");
static_assert(IsNameTableInOrder(kChunkCodes, 0), "every chunk code must sit at its own index");
static_assert(IsNameTableInOrder(kInternalChunkCodes, CHUNK_HANDSHAKE_CONTINUE),
    "every internal chunk code must sit at its own index");
}  // namespace

const wchar_t* CAttrChunk::Lookup(int chunk)
{
    if (chunk >= 0 && chunk < CHUNK_COUNT) {
        return m_lookup[chunk];
    }
    if (chunk >= CHUNK_HANDSHAKE_CONTINUE && chunk < CHUNK_HANDSHAKE_CONTINUE + INTERNAL_CHUNK_COUNT) {
        return m_internalLookup[chunk - CHUNK_HANDSHAKE_CONTINUE];
    }
    return kInvalidName;
}

}  // namespace VexlaLib
