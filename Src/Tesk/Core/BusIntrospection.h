#pragma once
// The introspection XML of one object path of a service: the com.nylo.Tesk1 interface with the
// category's methods (each one string in, one string out), Cancel and the Reply signal, and the
// child nodes leading to deeper categories. Lets generic tools (gdbus call, gdbus introspect) see
// that every method takes a string.

#include <string>

class IBusDispatcher;

class CBusIntrospection
{
public:
    // `dispatcher` may be null (a client-only connection): an empty node.
    static std::string Describe(const std::string& path, const IBusDispatcher* dispatcher);
};
