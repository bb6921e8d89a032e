#include "PacketJson.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "Network/AttrChunk.h"
#include "Network/AttrKey.h"
#include "Network/Attribute.h"
#include "Network/OutgoingPacket.h"
#include "Network/Value.h"
#include "Utils/Utils.h"

namespace ServerSim {

using VexlaLib::CAttribute;
using VexlaLib::COutgoingPacket;
using VexlaLib::CPacket;
using VexlaLib::CUtils;
using VexlaLib::TPacketSPtr;

namespace {

const int64_t kMaxRepeatedBytes = 64 * 1024 * 1024;
const int kMaxShownBytes = 1024 * 1024;

std::string Hex(const unsigned char* data, int length)
{
    static const char kDigits[] = "0123456789abcdef";
    std::string text;
    text.reserve(static_cast<size_t>(length) * 2);
    for (int i = 0; i < length; ++i) {
        text += kDigits[data[i] >> 4];
        text += kDigits[data[i] & 0x0F];
    }
    return text;
}

bool ParseHex(const std::string& text, std::vector<unsigned char>& bytes)
{
    if (text.size() % 2 != 0) {
        return false;
    }
    bytes.clear();
    for (size_t i = 0; i < text.size(); i += 2) {
        char* end = nullptr;
        const std::string pair = text.substr(i, 2);
        const long value = std::strtol(pair.c_str(), &end, 16);
        if (end != pair.c_str() + 2) {
            return false;
        }
        bytes.push_back(static_cast<unsigned char>(value));
    }
    return true;
}

bool ParseAddress(const std::string& text, unsigned char address[6])
{
    unsigned int parts[4];
    unsigned int port;
    char tail;
    if (std::sscanf(text.c_str(), "%u.%u.%u.%u:%u%c", &parts[0], &parts[1], &parts[2], &parts[3], &port, &tail) != 5) {
        return false;
    }
    for (int i = 0; i < 4; ++i) {
        if (parts[i] > 255) {
            return false;
        }
        address[i] = static_cast<unsigned char>(parts[i]);
    }
    if (port > 65535) {
        return false;
    }
    address[4] = static_cast<unsigned char>(port >> 8);
    address[5] = static_cast<unsigned char>(port & 0xFF);
    return true;
}

}  // namespace

TJsonPtr CPacketJson::ToJson(const CPacket& packet)
{
    return ContainerToJson(packet, true);
}

TJsonPtr CPacketJson::ContainerToJson(const CPacket& packet, bool topLevel)
{
    TJsonPtr object(json_object_new_object());
    for (const VexlaLib::TAttributeSPtr& attribute : packet.GetAttrList()) {
        int chunk = 0;
        std::string name;
        if (topLevel && attribute->GetKey() == VexlaLib::KEY_CHUNKTYPE && attribute->GetInt32(&chunk)) {
            name = "chunk";
        } else {
            const std::wstring keyName = VexlaLib::CAttrKey::Lookup(attribute->GetKey());
            name = keyName == L"<Invalid>" ? std::to_string(attribute->GetKey()) : CUtils::ConvertWideToChar(keyName);
        }
        if (CJson::Get(object.get(), name.c_str()) != nullptr) {
            continue;  // the first attribute with a key is the one readers see
        }
        json_object* value = name == "chunk" ? json_object_new_string(ChunkName(chunk).c_str()) : ValueToJson(*attribute);
        json_object_object_add(object.get(), name.c_str(), value);
    }
    return object;
}

json_object* CPacketJson::ValueToJson(const CAttribute& attribute)
{
    int int32 = 0;
    long long int64 = 0;
    unsigned char* bytes = nullptr;
    int length = 0;
    int* values = nullptr;
    std::wstring text;
    TPacketSPtr container;
    json_object* tagged = nullptr;
    if (attribute.GetInt32(&int32)) {
        return json_object_new_int(int32);
    }
    if (attribute.GetString(&text)) {
        return json_object_new_string(CUtils::ConvertWideToChar(text).c_str());
    }
    if (attribute.GetIntArray(&values, &length)) {
        json_object* list = json_object_new_array();
        for (int i = 0; i < length; ++i) {
            json_object_array_add(list, json_object_new_int(values[i]));
        }
        return list;
    }
    if (attribute.GetContainer(&container)) {
        return ContainerToJson(*container, false).release();
    }
    tagged = json_object_new_object();
    if (attribute.GetBinary(&bytes, &length) && length > kMaxShownBytes) {
        // Events stay lines a test can read quickly: a value this large is shown by its size.
        json_object_object_add(tagged, "binary_length", json_object_new_int(length));
    } else if (attribute.GetBinary(&bytes, &length)) {
        json_object_object_add(tagged, "binary", json_object_new_string(Hex(bytes, length).c_str()));
    } else if (attribute.GetAddress(&bytes)) {
        char address[32];
        std::snprintf(address, sizeof(address), "%u.%u.%u.%u:%u", bytes[0], bytes[1], bytes[2], bytes[3],
                      bytes[4] * 256u + bytes[5]);
        json_object_object_add(tagged, "address", json_object_new_string(address));
    } else if (attribute.GetInt64(&int64)) {
        json_object_object_add(tagged, "int64", json_object_new_int64(int64));
    }
    return tagged;
}

std::string CPacketJson::ChunkName(int code)
{
    const std::wstring name = VexlaLib::CAttrChunk::Lookup(code);
    return name == L"<Invalid>" ? std::to_string(code) : CUtils::ConvertWideToChar(name);
}

bool CPacketJson::ChunkCode(json_object* value, int& code)
{
    if (json_object_is_type(value, json_type_int)) {
        code = json_object_get_int(value);
        return true;
    }
    if (!json_object_is_type(value, json_type_string)) {
        return false;
    }
    const std::wstring name = CUtils::ConvertCharToWide(json_object_get_string(value));
    for (int chunk = 0; chunk < VexlaLib::CAttrChunk::CHUNK_COUNT; ++chunk) {
        if (name == VexlaLib::CAttrChunk::Lookup(chunk)) {
            code = chunk;
            return true;
        }
    }
    return false;
}

bool CPacketJson::KeyCode(const std::string& name, int& key)
{
    const std::wstring wide = CUtils::ConvertCharToWide(name);
    for (int code = 0; code < VexlaLib::CAttrKey::KEY_COUNT; ++code) {
        if (wide == VexlaLib::CAttrKey::Lookup(code)) {
            key = code;
            return true;
        }
    }
    errno = 0;
    char* end = nullptr;
    const long number = std::strtol(name.c_str(), &end, 10);
    if (name.empty() || *end != '\0' || errno != 0 || number < 0 || number > INT_MAX) {
        return false;
    }
    key = static_cast<int>(number);
    return true;
}

bool CPacketJson::FromJson(json_object* object, TPacketSPtr& packet, std::string& error)
{
    int chunk = 0;
    if (!json_object_is_type(object, json_type_object)) {
        error = "a packet must be a JSON object";
        return false;
    }
    if (!ChunkCode(CJson::Get(object, "chunk"), chunk)) {
        error = "a packet needs a known \"chunk\" (name or number)";
        return false;
    }
    packet = COutgoingPacket::Create(chunk);
    return AppendFields(object, packet, error);
}

bool CPacketJson::AppendFields(json_object* fields, const TPacketSPtr& packet, std::string& error)
{
    if (!json_object_is_type(fields, json_type_object)) {
        error = "packet fields must be a JSON object";
        return false;
    }
    json_object_object_foreach(fields, name, value)
    {
        int key = 0;
        if (std::string(name) == "chunk") {
            continue;
        }
        if (!KeyCode(name, key)) {
            error = std::string("unknown attribute key ") + name;
            return false;
        }
        if (!AppendValue(key, value, packet, error)) {
            error = std::string(name) + ": " + error;
            return false;
        }
    }
    return true;
}

bool CPacketJson::AppendValue(int key, json_object* value, const TPacketSPtr& packet, std::string& error)
{
    using namespace VexlaLib;
    switch (json_object_get_type(value)) {
    case json_type_boolean:
    case json_type_int: {
        const int64_t number = json_object_get_int64(value);
        if (number < INT_MIN || number > INT_MAX) {
            error = "number out of the INT32 range (use {\"int64\": n})";
            return false;
        }
        COutgoingPacket::AddInt32(packet, key, static_cast<int>(number));
        return true;
    }
    case json_type_string:
        COutgoingPacket::AddString(packet, key, std::string(json_object_get_string(value)));
        return true;
    case json_type_array: {
        std::vector<int> values;
        for (size_t i = 0; i < json_object_array_length(value); ++i) {
            json_object* element = json_object_array_get_idx(value, i);
            if (!json_object_is_type(element, json_type_int)) {
                error = "an INTARRAY holds numbers only";
                return false;
            }
            values.push_back(json_object_get_int(element));
        }
        if (values.empty()) {
            error = "an INTARRAY cannot be empty";
            return false;
        }
        COutgoingPacket::AddIntArray(packet, key, values);
        return true;
    }
    case json_type_object: {
        if (json_object* binary = CJson::Get(value, "binary")) {
            std::vector<unsigned char> bytes;
            if (!ParseHex(json_object_get_string(binary), bytes) || bytes.empty()) {
                error = "binary must be a non-empty even-length hex string";
                return false;
            }
            // "repeat": N sends the bytes N times, so a test can ask for a large value in a short line.
            const int64_t repeat = json_object_get_int64(CJson::Get(value, "repeat"));
            if (repeat > 1) {
                if (repeat > kMaxRepeatedBytes / static_cast<int64_t>(bytes.size())) {
                    error = "repeat makes the value longer than 64 MiB";
                    return false;
                }
                // Doubling: a few copies however many repetitions.
                const size_t total = bytes.size() * static_cast<size_t>(repeat);
                bytes.reserve(total);
                while (bytes.size() < total) {
                    const size_t more = std::min(bytes.size(), total - bytes.size());
                    bytes.insert(bytes.end(), bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(more));
                }
            }
            COutgoingPacket::AddBinary(packet, key, bytes);
            return true;
        }
        if (json_object* address = CJson::Get(value, "address")) {
            unsigned char bytes[6];
            if (!ParseAddress(json_object_get_string(address), bytes)) {
                error = "address must read a.b.c.d:port";
                return false;
            }
            COutgoingPacket::AddAddress(packet, key, bytes);
            return true;
        }
        if (json_object* int64 = CJson::Get(value, "int64")) {
            COutgoingPacket::AddInt64(packet, key, static_cast<long long>(json_object_get_int64(int64)));
            return true;
        }
        int chunk = 0;
        const TPacketSPtr nested = ChunkCode(CJson::Get(value, "chunk"), chunk) ? COutgoingPacket::Create(chunk)
                                                                                : COutgoingPacket::CreateContainer();
        if (!AppendFields(value, nested, error)) {
            return false;
        }
        COutgoingPacket::AddContainer(packet, key, nested);
        return true;
    }
    default:
        error = "unsupported JSON value";
        return false;
    }
}

}  // namespace ServerSim
