#include "Tesk/Core/BusIntrospection.h"

#include "Tesk/Core/BusTypes.h"
#include "Tesk/Core/IBusDispatcher.h"

#include <set>

namespace
{
// The name of the node directly below `path` on the way to `category`, or "" when there is none.
std::string ChildOnTheWay(const std::string& path, const std::string& category)
{
    const std::string prefix = path == "/" ? "/" : path + "/";
    if (category.size() <= prefix.size() || category.compare(0, prefix.size(), prefix) != 0)
    {
        return "";
    }
    const std::string rest = category.substr(prefix.size());
    return rest.substr(0, rest.find('/'));
}
} // namespace

std::string CBusIntrospection::Describe(const std::string& path, const IBusDispatcher* dispatcher)
{
    std::string xml = "<!DOCTYPE node PUBLIC \"-//freedesktop//DTD D-BUS Object Introspection 1.0//EN\"\n"
                      " \"http://www.freedesktop.org/standards/dbus/1.0/introspect.dtd\">\n<node>\n";
    if (dispatcher != nullptr)
    {
        std::set<std::string> children;
        bool isCategory = false;
        for (const std::string& category : dispatcher->Categories())
        {
            isCategory = isCategory || category == path;
            const std::string child = ChildOnTheWay(path, category);
            if (!child.empty())
            {
                children.insert(child);
            }
        }
        if (isCategory)
        {
            xml += std::string("  <interface name=\"") + TESK_INTERFACE + "\">\n";
            for (const std::string& method : dispatcher->Methods(path))
            {
                xml += "    <method name=\"" + method +
                       "\"><arg name=\"payload\" type=\"s\" direction=\"in\"/><arg name=\"reply\" type=\"s\" direction=\"out\"/></method>\n";
            }
            xml += "    <method name=\"Cancel\"><arg name=\"serial\" type=\"u\" direction=\"in\"/></method>\n"
                   "    <signal name=\"Reply\"><arg name=\"serial\" type=\"u\"/><arg name=\"payload\" type=\"s\"/></signal>\n"
                   "  </interface>\n";
        }
        for (const std::string& child : children)
        {
            xml += "  <node name=\"" + child + "\"/>\n";
        }
    }
    return xml + "</node>\n";
}
