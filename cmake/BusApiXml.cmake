# cmake -DDOC=docs/bus-api.md -DOUT_DIR=DIR -P BusApiXml.cmake
# Writes DIR/<service>.xml, the introspection XML of each service that the bus API reference
# documents: a "## <service>" heading starts a service, each "### <method>" below it is a method
# of com.nylo.Tesk1 taking and returning one JSON string; the layout is what the services answer
# to Introspect on their root object.
file(STRINGS ${DOC} lines)
set(service "")
set(services "")
foreach(line IN LISTS lines)
  if(line MATCHES "^## (com\\.[a-z.]+)$")
    set(service ${CMAKE_MATCH_1})
    list(APPEND services ${service})
    set(methods_${service} "")
  elseif(line MATCHES "^## ")
    set(service "")
  elseif(service AND line MATCHES "^### ([A-Za-z]+)$")
    list(APPEND methods_${service} ${CMAKE_MATCH_1})
  endif()
endforeach()
if(NOT services)
  message(FATAL_ERROR "${DOC} documents no service")
endif()
file(MAKE_DIRECTORY ${OUT_DIR})
foreach(service IN LISTS services)
  string(CONCAT xml "<!DOCTYPE node PUBLIC \"-//freedesktop//DTD D-BUS Object Introspection 1.0//EN\"\n"
          " \"http://www.freedesktop.org/standards/dbus/1.0/introspect.dtd\">\n"
          "<!-- ${service} on its root object /: every method takes a JSON object and returns the first\n"
          "     reply; later replies come as the Reply signal, sent to the caller only. -->\n"
          "<node>\n  <interface name=\"com.nylo.Tesk1\">\n")
  foreach(method IN LISTS methods_${service})
    string(APPEND xml "    <method name=\"${method}\"><arg name=\"payload\" type=\"s\" direction=\"in\"/>"
                      "<arg name=\"reply\" type=\"s\" direction=\"out\"/></method>\n")
  endforeach()
  string(APPEND xml "    <method name=\"Cancel\"><arg name=\"serial\" type=\"u\" direction=\"in\"/></method>\n"
                    "    <signal name=\"Reply\"><arg name=\"serial\" type=\"u\"/><arg name=\"payload\" type=\"s\"/></signal>\n"
                    "  </interface>\n</node>\n")
  file(WRITE ${OUT_DIR}/${service}.xml.new "${xml}")
  file(COPY_FILE ${OUT_DIR}/${service}.xml.new ${OUT_DIR}/${service}.xml ONLY_IF_DIFFERENT)
  file(REMOVE ${OUT_DIR}/${service}.xml.new)
endforeach()
