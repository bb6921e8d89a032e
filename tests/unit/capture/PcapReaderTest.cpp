#include <gtest/gtest.h>

#include <pcap/pcap.h>
#include <unistd.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "PcapReader.h"

namespace {

// IPv4 + TCP from 10.0.0.1:40000 to 10.0.0.2:10010, sequence 0x01020304, the payload "hi".
std::vector<unsigned char> Ipv4Tcp(uint16_t totalLength = 42, uint8_t protocol = 6, uint16_t fragment = 0)
{
    std::vector<unsigned char> packet = {
        0x45, 0, static_cast<unsigned char>(totalLength >> 8), static_cast<unsigned char>(totalLength), 0, 0,
        static_cast<unsigned char>(fragment >> 8), static_cast<unsigned char>(fragment), 64, protocol, 0, 0,
        10, 0, 0, 1, 10, 0, 0, 2,
        0x9c, 0x40, 0x27, 0x1a, 0x01, 0x02, 0x03, 0x04, 0, 0, 0, 0, 0x50, 0x18, 0xff, 0xff, 0, 0, 0, 0,
        'h', 'i'};
    return packet;
}

std::vector<unsigned char> Ethernet(const std::vector<unsigned char>& payload, uint16_t type = 0x0800)
{
    std::vector<unsigned char> frame(12, 0);
    frame.push_back(static_cast<unsigned char>(type >> 8));
    frame.push_back(static_cast<unsigned char>(type));
    frame.insert(frame.end(), payload.begin(), payload.end());
    frame.resize(std::max<size_t>(frame.size(), 60), 0);  // padded to the Ethernet minimum
    return frame;
}

}  // namespace

TEST(PcapReaderTest, EthernetIPv4SegmentIsDecoded)
{
    const std::vector<unsigned char> frame = Ethernet(Ipv4Tcp());
    STcpSegment segment;
    ASSERT_TRUE(CPcapReader::ParseFrame(DLT_EN10MB, frame.data(), frame.size(), &segment));
    EXPECT_EQ("10.0.0.1:40000", segment.source);
    EXPECT_EQ("10.0.0.2:10010", segment.destination);
    EXPECT_EQ(0x01020304u, segment.sequence);
    EXPECT_FALSE(segment.syn);
    EXPECT_TRUE(segment.ack);
    EXPECT_EQ((VexlaLib::TByteArray{'h', 'i'}), segment.payload);  // the padding is not payload
}

TEST(PcapReaderTest, LinuxCookedIPv6SegmentIsDecoded)
{
    std::vector<unsigned char> packet = {0x60, 0, 0, 0, 0, 21, 6, 64};
    for (int side = 0; side < 2; ++side) {
        packet.insert(packet.end(), 15, 0);
        packet.push_back(static_cast<unsigned char>(side + 1));  // ::1 and ::2
    }
    const std::vector<unsigned char> tcp = {0x9c, 0x40, 0x27, 0x1a, 0, 0, 0, 9, 0, 0, 0, 0, 0x50, 0x02, 0xff, 0xff,
                                            0, 0, 0, 0, 'x'};
    packet.insert(packet.end(), tcp.begin(), tcp.end());
    std::vector<unsigned char> frame(20, 0);  // the "any" device's header, protocol first
    frame[0] = 0x86;
    frame[1] = 0xdd;
    frame.insert(frame.end(), packet.begin(), packet.end());
    STcpSegment segment;
    ASSERT_TRUE(CPcapReader::ParseFrame(DLT_LINUX_SLL2, frame.data(), frame.size(), &segment));
    EXPECT_EQ("[::1]:40000", segment.source);
    EXPECT_EQ("[::2]:10010", segment.destination);
    EXPECT_TRUE(segment.syn);
    EXPECT_EQ(9u, segment.sequence);
}

TEST(PcapReaderTest, IncompleteOrForeignPacketsAreSkipped)
{
    STcpSegment segment;
    const std::vector<unsigned char> whole = Ethernet(Ipv4Tcp());
    // Cut short by the snapshot length: the IP packet is longer than what was captured.
    EXPECT_FALSE(CPcapReader::ParseFrame(DLT_EN10MB, whole.data(), 14 + 41, &segment));
    const std::vector<unsigned char> udp = Ethernet(Ipv4Tcp(42, 17));
    EXPECT_FALSE(CPcapReader::ParseFrame(DLT_EN10MB, udp.data(), udp.size(), &segment));
    const std::vector<unsigned char> fragment = Ethernet(Ipv4Tcp(42, 6, 0x2000));
    EXPECT_FALSE(CPcapReader::ParseFrame(DLT_EN10MB, fragment.data(), fragment.size(), &segment));
    const std::vector<unsigned char> arp = Ethernet(Ipv4Tcp(), 0x0806);
    EXPECT_FALSE(CPcapReader::ParseFrame(DLT_EN10MB, arp.data(), arp.size(), &segment));
    const std::vector<unsigned char> tiny = {0x45, 0};
    EXPECT_FALSE(CPcapReader::ParseFrame(DLT_RAW, tiny.data(), tiny.size(), &segment));
    EXPECT_FALSE(CPcapReader::ParseFrame(DLT_EN10MB, tiny.data(), tiny.size(), &segment));
}

TEST(PcapReaderTest, ACaptureCutShortKeepsWhatWasWritten)
{
    char path[] = "/tmp/vexla-capture-XXXXXX";
    const int fd = mkstemp(path);
    ASSERT_GE(fd, 0);
    close(fd);
    pcap_t* dead = pcap_open_dead(DLT_EN10MB, 65535);
    pcap_dumper_t* dumper = pcap_dump_open(dead, path);
    ASSERT_NE(nullptr, dumper);
    const std::vector<unsigned char> frame = Ethernet(Ipv4Tcp());
    pcap_pkthdr header {};
    header.caplen = header.len = static_cast<bpf_u_int32>(frame.size());
    header.ts.tv_sec = 5;
    for (int i = 0; i < 2; ++i)
        pcap_dump(reinterpret_cast<u_char*>(dumper), &header, frame.data());
    pcap_dump_close(dumper);
    pcap_close(dead);

    std::vector<STcpSegment> segments;
    std::string problem;
    ASSERT_TRUE(CPcapReader::Read(path, &segments, &problem));
    EXPECT_EQ(2u, segments.size());
    EXPECT_EQ(5.0, segments[0].time);
    EXPECT_TRUE(problem.empty());

    ASSERT_EQ(0, truncate(path, 24 + 2 * (16 + static_cast<off_t>(frame.size())) - 10));
    segments.clear();
    ASSERT_TRUE(CPcapReader::Read(path, &segments, &problem));
    EXPECT_EQ(1u, segments.size());
    EXPECT_NE(std::string::npos, problem.find("ends early")) << problem;

    EXPECT_FALSE(CPcapReader::Read("/nonexistent/capture.pcap", &segments, &problem));
    unlink(path);
}
