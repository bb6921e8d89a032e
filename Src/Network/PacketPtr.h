#pragma once

#include <memory>

namespace VexlaLib {

class CAttribute;
class CPacket;

typedef std::shared_ptr<CPacket> TPacketSPtr;
typedef std::shared_ptr<CAttribute> TAttributeSPtr;

}  // namespace VexlaLib
