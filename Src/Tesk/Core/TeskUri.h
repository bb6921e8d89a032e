#pragma once
// A Tesk URI, "nylo://SERVICE/METHOD" or "tesk://SERVICE/CATEGORY/METHOD", split into what D-Bus
// addresses: the well-known name SERVICE, the object path of the category ("/" when there is none)
// and the method name. Everything between the service and the last "/" is the category.

#include <string>

class CTeskUri
{
public:
    // Fills `out` and returns true when `uri` is well formed; otherwise describes the fault in `error`.
    static bool Parse(const std::string& uri, CTeskUri* out, std::string* error);

    const std::string& Service() const { return m_service; }
    const std::string& ObjectPath() const { return m_objectPath; }
    const std::string& Method() const { return m_method; }

private:
    std::string m_service;
    std::string m_objectPath;
    std::string m_method;
};
