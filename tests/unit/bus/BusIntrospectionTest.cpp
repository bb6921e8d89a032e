// Generic D-Bus tools reach a service: gdbus introspect sees the categories, gdbus call passes plain JSON.

#include "BusTestFixture.h"

namespace
{
// Runs a command while the main loop keeps serving; returns its standard output.
std::string RunTool(const std::vector<std::string>& command)
{
    std::vector<gchar*> argv;
    for (const std::string& arg : command)
    {
        argv.push_back(const_cast<gchar*>(arg.c_str()));
    }
    argv.push_back(nullptr);
    GPid pid = 0;
    gint out = -1;
    EXPECT_TRUE(g_spawn_async_with_pipes(nullptr, argv.data(), nullptr,
                                         static_cast<GSpawnFlags>(G_SPAWN_SEARCH_PATH | G_SPAWN_DO_NOT_REAP_CHILD), nullptr,
                                         nullptr, &pid, nullptr, &out, nullptr, nullptr));
    bool exited = false;
    g_child_watch_add(pid, [](GPid child, gint, gpointer done) { *static_cast<bool*>(done) = true; g_spawn_close_pid(child); }, &exited);
    EXPECT_TRUE(TestSupport::RunUntil([&] { return exited; }));
    std::string output;
    char buffer[4096];
    for (ssize_t n; (n = read(out, buffer, sizeof buffer)) > 0;)
    {
        output.append(buffer, static_cast<size_t>(n));
    }
    close(out);
    return output;
}
} // namespace

TEST_F(BusTestFixture, GdbusSeesCategoriesAndCallsWithPlainJson)
{
    auto service = MakeEchoService(SERVICE, BUS_SCOPE_PRIVATE);
    const std::string root = RunTool({"gdbus", "introspect", "--address", m_bus.Address(), "--dest", SERVICE, "--object-path", "/"});
    EXPECT_NE(root.find("interface com.nylo.Tesk1"), std::string::npos) << root;
    EXPECT_NE(root.find("echo(in  s payload,"), std::string::npos) << root;
    EXPECT_NE(root.find("Reply(u serial,"), std::string::npos) << root;
    EXPECT_NE(root.find("node control"), std::string::npos) << root;
    const std::string control = RunTool({"gdbus", "introspect", "--address", m_bus.Address(), "--dest", SERVICE, "--object-path", "/control"});
    EXPECT_NE(control.find("ping("), std::string::npos) << control;
    EXPECT_EQ(control.find("echo("), std::string::npos) << control;

    EXPECT_EQ(RunTool({"gdbus", "call", "--address", m_bus.Address(), "--dest", SERVICE, "--object-path", "/", "--method",
                       "com.nylo.Tesk1.echo", R"({"a": 1})"}),
              "('{\"a\": 1}',)\n");
}

TEST_F(BusTestFixture, MethodNamesThatDBusCannotCarryAreRefused)
{
    CBusService service;
    std::string error;
    EXPECT_FALSE(service.AddCategory("/", {{"bad-name", [](const TBusMessageSPtr&) {}}}, &error));
    EXPECT_FALSE(service.AddCategory("/", {{"Cancel", [](const TBusMessageSPtr&) {}}}, &error));
    EXPECT_FALSE(service.AddCategory("no/slash", {}, &error));
}
