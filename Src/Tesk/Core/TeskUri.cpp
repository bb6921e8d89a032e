#include "Tesk/Core/TeskUri.h"

#include <gio/gio.h>

namespace
{
const char* const SCHEMES[] = {"nylo://", "tesk://"};

bool StripScheme(const std::string& uri, std::string* rest)
{
    for (const char* scheme : SCHEMES)
    {
        const std::string prefix(scheme);
        if (uri.compare(0, prefix.size(), prefix) == 0)
        {
            *rest = uri.substr(prefix.size());
            return true;
        }
    }
    return false;
}
} // namespace

bool CTeskUri::Parse(const std::string& uri, CTeskUri* out, std::string* error)
{
    std::string rest;
    if (!StripScheme(uri, &rest))
    {
        *error = "Invalid URI \"" + uri + "\": expected nylo:// or tesk://";
        return false;
    }
    const size_t serviceEnd = rest.find('/');
    const size_t methodStart = rest.rfind('/') + 1;
    if (serviceEnd == std::string::npos || methodStart >= rest.size())
    {
        *error = "Invalid URI \"" + uri + "\": no method";
        return false;
    }
    CTeskUri parsed;
    parsed.m_service = rest.substr(0, serviceEnd);
    parsed.m_method = rest.substr(methodStart);
    parsed.m_objectPath = serviceEnd + 1 == methodStart ? "/" : rest.substr(serviceEnd, methodStart - 1 - serviceEnd);
    if (!g_dbus_is_name(parsed.m_service.c_str()))
    {
        *error = "Invalid URI \"" + uri + "\": bad service name";
        return false;
    }
    if (!g_variant_is_object_path(parsed.m_objectPath.c_str()))
    {
        *error = "Invalid URI \"" + uri + "\": bad category";
        return false;
    }
    if (!g_dbus_is_member_name(parsed.m_method.c_str()))
    {
        *error = "Invalid URI \"" + uri + "\": bad method name";
        return false;
    }
    *out = parsed;
    return true;
}
