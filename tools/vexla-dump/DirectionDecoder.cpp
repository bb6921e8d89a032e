#include "DirectionDecoder.h"

#include <memory>

#include "Network/ByteArrayInputStream.h"
#include "Network/ChunkKind.h"
#include "Network/Frame.h"
#include "Network/Packet.h"
#include "Utils/ARC4.h"

using namespace VexlaLib;

namespace {

int KindOf(const TByteArraySPtr& body)
{
    CByteArrayInputStream in(body);
    return ChunkKindOf(CPacket::Deserialize(&in));
}

}  // namespace

CDirectionDecoder::TOutcome CDirectionDecoder::Decode(const TByteArray& stream, int switchKind,
                                                      const TByteArray* rc4Key, const TByteArraySPtr& checksumKey,
                                                      std::vector<SFrame>* frames, size_t* undecoded)
{
    // Decrypted in place once the switch is reached; the input stream reads the same buffer.
    const TByteArraySPtr bytes = std::make_shared<TByteArray>(stream);
    CByteArrayInputStream in(bytes);
    bool encrypted = false;
    while (in.Available() > 0) {
        SFrame frame;
        frame.encrypted = encrypted;
        const CFrame::TReadResult result = CFrame::Read(&in, encrypted ? checksumKey : TByteArraySPtr(), &frame.body);
        if (result == CFrame::FRAME_MALFORMED) {
            *undecoded = in.Available();
            return MALFORMED;
        }
        frame.checksumOk = result == CFrame::FRAME_OK;
        frame.end = bytes->size() - in.Available();
        frames->push_back(frame);
        if (encrypted || KindOf(frame.body) != switchKind)
            continue;
        encrypted = true;
        if (rc4Key == nullptr || rc4Key->empty()) {
            *undecoded = in.Available();
            return in.Available() > 0 ? NO_KEYS : DECODED_WHOLE;
        }
        CARC4 cipher(*rc4Key);
        cipher.DecryptBytes(bytes->data() + frame.end, 0, static_cast<int>(in.Available()));
    }
    *undecoded = 0;
    return DECODED_WHOLE;
}
