#include <gtest/gtest.h>

#include <initializer_list>
#include <memory>

#include "Network/AttrChunk.h"
#include "Network/AttrKey.h"
#include "Network/Attribute.h"
#include "Network/LoginPacket.h"
#include "WireTestHelpers.h"

using namespace VexlaLib;
using VexlaTest::Encode;

namespace {

TAttributeSPtr Int(int key, int value)
{
    return std::make_shared<CAttribute>(key, TYPE_INT32, value);
}
TAttributeSPtr Text(int key, const std::wstring& value)
{
    return std::make_shared<CAttribute>(key, TYPE_STRING, value);
}
TAttributeSPtr Box(int key, const TPacketSPtr& value)
{
    return std::make_shared<CAttribute>(key, TYPE_CONTAINER, value);
}

// The login packets as the client has always sent them, attribute by attribute.
TPacketSPtr Login(std::initializer_list<TAttributeSPtr> attributes)
{
    const TPacketSPtr packet = std::make_shared<CPacket>(CPacket::OUTGOING);
    packet->AddAttr(Int(KEY_CHUNKTYPE, CHUNK_LOGIN));
    for (const TAttributeSPtr& attribute : attributes)
        packet->AddAttr(attribute);
    return packet;
}

TPacketSPtr SavedCredentials()
{
    const TPacketSPtr saved = std::make_shared<CPacket>(CPacket::OUTGOING);
    saved->AddAttr(Text(KEY_VEXLANAME, L"alice"));
    saved->AddAttr(Text(KEY_CREDENTIALS, L"token-123"));
    return saved;
}

}  // namespace

TEST(LoginPacket, SignInNamesTheAccountAsksToSaveItAndCarriesThePhoneNumberOnlyWhenThereIsOne)
{
    EXPECT_EQ(Encode(*CLoginPacket::ForSignIn(nullptr, L"alice", L"s3cret", L"+15550100")),
              Encode(*Login({Int(KEY_SAVEPASSWORD, 1), Text(KEY_VEXLANAME, L"alice"), Text(KEY_PASSWORD, L"s3cret"),
                             Text(KEY_DEVICE_PSTNNUMBER, L"+15550100")})));
    EXPECT_EQ(Encode(*CLoginPacket::ForSignIn(nullptr, L"alice", L"s3cret", L"")),
              Encode(*Login({Int(KEY_SAVEPASSWORD, 1), Text(KEY_VEXLANAME, L"alice"), Text(KEY_PASSWORD, L"s3cret")})));
}

TEST(LoginPacket, SignInWithSavedCredentialsSendsThemInsteadOfNameAndPassword)
{
    EXPECT_EQ(Encode(*CLoginPacket::ForSignIn(SavedCredentials(), L"alice", L"s3cret", L"+15550100")),
              Encode(*Login({Int(KEY_SAVEPASSWORD, 1), Box(KEY_SAVEDDATA, SavedCredentials()),
                             Text(KEY_DEVICE_PSTNNUMBER, L"+15550100")})));
    EXPECT_EQ(Encode(*CLoginPacket::ForSignIn(SavedCredentials(), L"", L"", L"")),
              Encode(*Login({Int(KEY_SAVEPASSWORD, 1), Box(KEY_SAVEDDATA, SavedCredentials())})));
}

TEST(LoginPacket, ReconnectAsksNothingSavedAndAlwaysCarriesThePhoneNumber)
{
    EXPECT_EQ(Encode(*CLoginPacket::ForReconnect(nullptr, L"alice", L"s3cret", L"+15550100")),
              Encode(*Login({Text(KEY_VEXLANAME, L"alice"), Text(KEY_PASSWORD, L"s3cret"),
                             Text(KEY_DEVICE_PSTNNUMBER, L"+15550100")})));
    EXPECT_EQ(Encode(*CLoginPacket::ForReconnect(nullptr, L"alice", L"s3cret", L"")),
              Encode(*Login(
                  {Text(KEY_VEXLANAME, L"alice"), Text(KEY_PASSWORD, L"s3cret"), Text(KEY_DEVICE_PSTNNUMBER, L"")})));
    EXPECT_EQ(Encode(*CLoginPacket::ForReconnect(SavedCredentials(), L"alice", L"s3cret", L"")),
              Encode(*Login({Box(KEY_SAVEDDATA, SavedCredentials()), Text(KEY_DEVICE_PSTNNUMBER, L"")})));
}
