#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <vector>

#include "DirectionDecoder.h"
#include "Network/AttrChunk.h"
#include "Network/ChunkKind.h"
#include "Network/Frame.h"
#include "support/TestPacket.h"
#include "Utils/ARC4.h"

using namespace VexlaLib;
using VexlaTest::CTestPacket;

namespace {

const TByteArray kRc4Key = {1, 2, 3, 4, 5};
const TByteArraySPtr kChecksumKey = std::make_shared<TByteArray>(TByteArray{9, 8, 7});

void Append(TByteArray* stream, int chunk, const TByteArraySPtr& key)
{
    const TByteArraySPtr frame = CFrame::Encode(*CTestPacket(chunk, CPacket::OUTGOING).Build(), key);
    stream->insert(stream->end(), frame->begin(), frame->end());
}

// A client's direction: connect and master key in plain, then two frames encrypted.
TByteArray ClientStream()
{
    TByteArray stream;
    Append(&stream, CHUNK_CONNECT, nullptr);
    Append(&stream, CHUNK_MASTERKEY, nullptr);
    const size_t plain = stream.size();
    Append(&stream, CHUNK_CLIENTDATA, kChecksumKey);
    Append(&stream, CHUNK_LOGIN, kChecksumKey);
    CARC4 cipher(kRc4Key);
    cipher.EncryptBytes(stream.data() + plain, 0, static_cast<int>(stream.size() - plain));
    return stream;
}

int KindOf(const CDirectionDecoder::SFrame& frame)
{
    CByteArrayInputStream in(frame.body);
    return ChunkKindOf(CPacket::Deserialize(&in));
}

}  // namespace

TEST(DirectionDecoderTest, HandshakeInPlainThenTheRestWithTheKeys)
{
    const TByteArray stream = ClientStream();
    std::vector<CDirectionDecoder::SFrame> frames;
    size_t undecoded = 1;
    EXPECT_EQ(CDirectionDecoder::DECODED_WHOLE,
              CDirectionDecoder::Decode(stream, CHUNK_MASTERKEY, &kRc4Key, kChecksumKey, &frames, &undecoded));
    EXPECT_EQ(0u, undecoded);
    ASSERT_EQ(4u, frames.size());
    const int kinds[] = {CHUNK_CONNECT, CHUNK_MASTERKEY, CHUNK_CLIENTDATA, CHUNK_LOGIN};
    for (size_t i = 0; i < frames.size(); ++i) {
        EXPECT_EQ(kinds[i], KindOf(frames[i]));
        EXPECT_EQ(i >= 2, frames[i].encrypted);
        EXPECT_TRUE(frames[i].checksumOk);
    }
    EXPECT_EQ(stream.size(), frames.back().end);
}

TEST(DirectionDecoderTest, WithoutKeysOnlyTheHandshakeIsDecoded)
{
    const TByteArray stream = ClientStream();
    std::vector<CDirectionDecoder::SFrame> frames;
    size_t undecoded = 0;
    EXPECT_EQ(CDirectionDecoder::NO_KEYS,
              CDirectionDecoder::Decode(stream, CHUNK_MASTERKEY, nullptr, nullptr, &frames, &undecoded));
    ASSERT_EQ(2u, frames.size());
    EXPECT_EQ(stream.size() - frames.back().end, undecoded);
}

TEST(DirectionDecoderTest, WrongKeysShowAsChecksumMismatches)
{
    const TByteArray stream = ClientStream();
    std::vector<CDirectionDecoder::SFrame> frames;
    size_t undecoded = 0;
    const TByteArraySPtr otherChecksumKey = std::make_shared<TByteArray>(TByteArray{1});
    EXPECT_EQ(CDirectionDecoder::DECODED_WHOLE,
              CDirectionDecoder::Decode(stream, CHUNK_MASTERKEY, &kRc4Key, otherChecksumKey, &frames, &undecoded));
    ASSERT_EQ(4u, frames.size());
    EXPECT_TRUE(frames[1].checksumOk);
    EXPECT_FALSE(frames[2].checksumOk);

    frames.clear();
    const TByteArray otherRc4Key = {5, 4, 3, 2, 1};
    CDirectionDecoder::Decode(stream, CHUNK_MASTERKEY, &otherRc4Key, kChecksumKey, &frames, &undecoded);
    // Garbage: whatever still reads as a frame fails its checksum.
    ASSERT_LE(2u, frames.size());
    EXPECT_TRUE(std::none_of(frames.begin() + 2, frames.end(),
                             [](const CDirectionDecoder::SFrame& frame) { return frame.checksumOk; }));
}
