#pragma once

#include "Network/OutputStream.h"
#include "Utils/ByteArray.h"

namespace VexlaLib {

// Appends every byte to a byte vector of its own, which ToByteArray shares without copying.
class CByteArrayOutputStream : public IOutputStream {
 public:
  CByteArrayOutputStream();

  void WriteByte(unsigned char byte) override;
  void Flush() override;

  TByteArraySPtr ToByteArray() const;

 private:
  TByteArraySPtr m_bytes;
};

}  // namespace VexlaLib
