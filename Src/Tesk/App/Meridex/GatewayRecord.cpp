#include "Tesk/App/Meridex/GatewayRecord.h"

#include "Tesk/App/IMDatabaseKinds.h"

CJSONObject CGatewayRecord::Build(const std::wstring& gatewayNumber)
{
    const bool northAmerican = gatewayNumber.compare(0, 2, L"+1") == 0;
    CJSONObject record;
    record.SetString("_kind", KIND_GATEWAY);
    record.SetString("number", northAmerican ? gatewayNumber.substr(2) : gatewayNumber);
    return record;
}
