#pragma once

#include <string>

#include "Network/PacketPtr.h"

namespace VexlaLib {

// The CHUNK_LOGIN packet, built here for every sign-in. The account is named either by the saved
// credentials (the KEY_SAVEDDATA container the server handed out earlier), when there are any, or by
// user name and password; the device's phone number follows.
class CLoginPacket
{
public:
    // A sign-in the user asked for: asks the server to save the credentials (KEY_SAVEPASSWORD 1) and
    // carries the phone number only when there is one.
    static TPacketSPtr ForSignIn(const TPacketSPtr& savedCredentials, const std::wstring& name,
                                 const std::wstring& password, const std::wstring& phoneNumber);
    // Signing in again after a lost connection or into a new server session: the phone number is
    // always there, even empty.
    static TPacketSPtr ForReconnect(const TPacketSPtr& savedCredentials, const std::wstring& name,
                                    const std::wstring& password, const std::wstring& phoneNumber);

private:
    static void AddAccount(const TPacketSPtr& packet, const TPacketSPtr& savedCredentials, const std::wstring& name,
                           const std::wstring& password);
};

}  // namespace VexlaLib
