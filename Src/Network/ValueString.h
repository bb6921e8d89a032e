#pragma once

#include <memory>
#include <string>

#include "Network/Value.h"

namespace VexlaLib {

class IInputStream;

// Text, sent as UTF-8 followed by a 0 byte (there is no length field).
class CValueString : public CValue {
public:
    explicit CValueString(const std::wstring& value);

    const std::wstring& GetValue() const { return m_value; }

    // Writes the text up to its first 0 character, which would otherwise end it early on the wire
    // and leave the rest to be misread as further attributes.
    void Serialize(IOutputStream* out) const override;
    int GetType() const override { return TYPE_STRING; }
    void Dump(CLogStream& stream) const override;
    // Collects bytes up to a 0 byte or the end of the input; both end the text successfully.
    static std::unique_ptr<CValueString> Deserialize(IInputStream* in);

private:
    std::wstring m_value;
};

}  // namespace VexlaLib
