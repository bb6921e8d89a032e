#include "DumpOptions.h"

#include "HexText.h"

const char* CDumpOptions::Usage()
{
    return "Usage: vexla-dump [--frame] [--key HEX] [--rc4 HEX] [--binary] [FILE]\n"
           "   or: vexla-dump --pcap FILE [--keylog FILE]\n"
           "\n"
           "Decodes a Vexla packet body, or a captured stream of frames, and prints the readable dump of\n"
           "each packet. The input is read from FILE, or from standard input when FILE is absent or \"-\".\n"
           "\n"
           "  --binary     the input is raw bytes; without it, the input is hexadecimal text: digit\n"
           "               pairs with white space anywhere (41 02 0005), or the byte list the library\n"
           "               logs for a body it could not decode (BINARY, [3]{0x41, 0x1, 0x0})\n"
           "  --frame      the input is one or more frames: varint body length, body, and the 4-byte\n"
           "               little-endian CRC-32 of the checksum key followed by the body; each frame is\n"
           "               reported as \"checksum ok\" or \"checksum mismatch\" before its dump\n"
           "  --key HEX    the checksum key of the frames (default: none, the plain CRC-32 of the body)\n"
           "  --rc4 HEX    decrypts the input first with this RC4 key, after dropping the first 768\n"
           "               key-stream bytes: the key of the one direction the capture was taken from,\n"
           "               starting at the first encrypted byte\n"
           "  --pcap FILE  decodes every Vexla session of a packet capture (tcpdump -w): each TCP\n"
           "               connection is put back together and every frame of both directions is\n"
           "               printed in capture order, the handshake included\n"
           "  --keylog FILE\n"
           "               the session keys that vexla-cli (or a vexlad built for debugging) wrote to\n"
           "               the file named by VEXLA_KEYLOG_FILE; without them only the handshake of a\n"
           "               captured session is decoded\n"
           "  --help       prints this text\n"
           "\n"
           "Exit status: 0 when everything decoded and every checksum matched; 1 on malformed input\n"
           "(the decoder's message is printed on standard error); 2 on a usage error or unreadable\n"
           "input; 3 when everything decoded but a frame's checksum did not match; 4 when a captured\n"
           "session could not be decoded whole (no keys for it, or bytes missing from the capture).\n";
}

bool CDumpOptions::Parse(int argc, char** argv, std::string* error)
{
    for (int i = 1; i < argc; ++i) {
        const std::string argument = argv[i];
        const bool takesValue = argument == "--key" || argument == "--rc4" || argument == "--pcap" ||
                                argument == "--keylog";
        if (takesValue && i + 1 >= argc) {
            *error = argument + " needs a value";
            return false;
        }
        if (argument == "--help") {
            help = true;
        } else if (argument == "--binary") {
            binary = true;
        } else if (argument == "--frame") {
            frames = true;
        } else if (argument == "--key") {
            key = std::make_shared<VexlaLib::TByteArray>();
            if (!CHexText::Parse(argv[++i], key.get())) {
                *error = "--key needs hexadecimal digits";
                return false;
            }
        } else if (argument == "--rc4") {
            if (!CHexText::Parse(argv[++i], &rc4Key) || rc4Key.empty()) {
                *error = "--rc4 needs a key in hexadecimal digits";
                return false;
            }
        } else if (argument == "--pcap") {
            pcapPath = argv[++i];
        } else if (argument == "--keylog") {
            keyLogPath = argv[++i];
        } else if (argument.size() > 1 && argument[0] == '-') {
            *error = "unknown option " + argument;
            return false;
        } else if (!inputPath.empty()) {
            *error = "only one input file can be given";
            return false;
        } else {
            inputPath = argument;
        }
    }
    if (!pcapPath.empty() && (frames || binary || key || !rc4Key.empty() || !inputPath.empty())) {
        *error = "--pcap takes no other input and finds the keys in the key log (--keylog)";
        return false;
    }
    if (!keyLogPath.empty() && pcapPath.empty()) {
        *error = "--keylog applies to a capture only (add --pcap)";
        return false;
    }
    if (key && !frames) {
        *error = "--key applies to frames only (add --frame)";
        return false;
    }
    return true;
}
