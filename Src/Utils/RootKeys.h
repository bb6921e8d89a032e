#pragma once

namespace VexlaLib {

// Public exponent of every key of the protocol (65537), big-endian.
const int RSA_PUBLIC_EXPONENT_LENGTH = 3;
extern const unsigned char RSA_PUBLIC_EXPONENT[RSA_PUBLIC_EXPONENT_LENGTH];

// Moduli of the root keys that sign server identities: 1024 bits, stored as 129 bytes big-endian with
// a leading zero byte (so they read as positive numbers). The TEST environment has its own pair; LIVE
// and STAGING share the operator's pair.
const int ROOT_KEY_BITS = 1024;
const int ROOT_KEY_LENGTH = 129;
extern const unsigned char ROOT_KEY_TEST_PRIMARY[ROOT_KEY_LENGTH];
extern const unsigned char ROOT_KEY_TEST_BACKUP[ROOT_KEY_LENGTH];
extern const unsigned char ROOT_KEY_LIVE_PRIMARY[ROOT_KEY_LENGTH];
extern const unsigned char ROOT_KEY_LIVE_BACKUP[ROOT_KEY_LENGTH];

}  // namespace VexlaLib
