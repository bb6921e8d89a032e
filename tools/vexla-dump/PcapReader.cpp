#include "PcapReader.h"

#include <arpa/inet.h>
#include <pcap/pcap.h>

#include <cstdint>

namespace {

const uint16_t kEtherTypeIPv4 = 0x0800;
const uint16_t kEtherTypeIPv6 = 0x86dd;
const uint16_t kEtherTypeVlan = 0x8100;
const uint8_t kProtocolTcp = 6;

uint16_t Read16(const unsigned char* p)
{
    return static_cast<uint16_t>(p[0] << 8 | p[1]);
}

uint32_t Read32(const unsigned char* p)
{
    return static_cast<uint32_t>(p[0]) << 24 | static_cast<uint32_t>(p[1]) << 16 | static_cast<uint32_t>(p[2]) << 8 | p[3];
}

std::string Endpoint(int family, const unsigned char* address, uint16_t port)
{
    char text[INET6_ADDRSTRLEN] = "";
    inet_ntop(family, address, text, sizeof(text));
    return family == AF_INET6 ? "[" + std::string(text) + "]:" + std::to_string(port)
                              : std::string(text) + ":" + std::to_string(port);
}

bool ParseTcp(const unsigned char* p, size_t length, int family, const unsigned char* source,
              const unsigned char* destination, STcpSegment* segment)
{
    if (length < 20)
        return false;
    const size_t headerLength = (p[12] >> 4) * 4u;
    if (headerLength < 20 || headerLength > length)
        return false;
    const uint8_t flags = p[13];
    segment->source = Endpoint(family, source, Read16(p));
    segment->destination = Endpoint(family, destination, Read16(p + 2));
    segment->sequence = Read32(p + 4);
    segment->syn = (flags & 0x02) != 0;
    segment->ack = (flags & 0x10) != 0;
    segment->payload.assign(p + headerLength, p + length);
    return true;
}

// `length` is what was captured of the IP packet; a packet longer than that was cut short.
bool ParseIPv4(const unsigned char* p, size_t length, STcpSegment* segment)
{
    if (length < 20 || p[0] >> 4 != 4)
        return false;
    const size_t headerLength = (p[0] & 0x0f) * 4u;
    const size_t totalLength = Read16(p + 2);
    const bool fragment = (Read16(p + 6) & 0x3fff) != 0;  // more fragments, or an offset
    if (headerLength < 20 || totalLength < headerLength || totalLength > length || fragment || p[9] != kProtocolTcp)
        return false;
    return ParseTcp(p + headerLength, totalLength - headerLength, AF_INET, p + 12, p + 16, segment);
}

bool ParseIPv6(const unsigned char* p, size_t length, STcpSegment* segment)
{
    if (length < 40 || p[0] >> 4 != 6)
        return false;
    const size_t payloadLength = Read16(p + 4);
    if (p[6] != kProtocolTcp || 40 + payloadLength > length)
        return false;
    return ParseTcp(p + 40, payloadLength, AF_INET6, p + 8, p + 24, segment);
}

bool ParseIP(const unsigned char* p, size_t length, STcpSegment* segment)
{
    if (length == 0)
        return false;
    return p[0] >> 4 == 4 ? ParseIPv4(p, length, segment) : ParseIPv6(p, length, segment);
}

bool ParseEtherType(uint16_t type, const unsigned char* p, size_t length, STcpSegment* segment)
{
    if (type == kEtherTypeIPv4)
        return ParseIPv4(p, length, segment);
    if (type == kEtherTypeIPv6)
        return ParseIPv6(p, length, segment);
    return false;
}

}  // namespace

bool CPcapReader::ParseFrame(int linkType, const unsigned char* data, size_t length, STcpSegment* segment)
{
    switch (linkType) {
    case DLT_EN10MB: {
        size_t offset = 12;
        if (length < offset + 2)
            return false;
        uint16_t type = Read16(data + offset);
        if (type == kEtherTypeVlan) {
            offset += 4;
            if (length < offset + 2)
                return false;
            type = Read16(data + offset);
        }
        return ParseEtherType(type, data + offset + 2, length - offset - 2, segment);
    }
    case DLT_NULL:
    case DLT_LOOP:  // a 4-byte address family; the IP version says the rest
        return length > 4 && ParseIP(data + 4, length - 4, segment);
    case DLT_RAW:
    case DLT_IPV4:
    case DLT_IPV6:
        return ParseIP(data, length, segment);
    case DLT_LINUX_SLL:
        return length >= 16 && ParseEtherType(Read16(data + 14), data + 16, length - 16, segment);
    case DLT_LINUX_SLL2:
        return length >= 20 && ParseEtherType(Read16(data), data + 20, length - 20, segment);
    default:
        return false;
    }
}

bool CPcapReader::Read(const std::string& path, std::vector<STcpSegment>* segments, std::string* problem)
{
    char message[PCAP_ERRBUF_SIZE] = "";
    pcap_t* capture = pcap_open_offline(path.c_str(), message);
    if (capture == nullptr) {
        *problem = message;
        return false;
    }
    const int linkType = pcap_datalink(capture);
    pcap_pkthdr* header = nullptr;
    const unsigned char* data = nullptr;
    int result = 0;
    while ((result = pcap_next_ex(capture, &header, &data)) == 1) {
        STcpSegment segment;
        if (!ParseFrame(linkType, data, header->caplen, &segment))
            continue;
        segment.time = static_cast<double>(header->ts.tv_sec) + static_cast<double>(header->ts.tv_usec) / 1e6;
        segments->push_back(std::move(segment));
    }
    if (result == PCAP_ERROR)
        *problem = std::string("the capture ends early: ") + pcap_geterr(capture);
    pcap_close(capture);
    return true;
}
