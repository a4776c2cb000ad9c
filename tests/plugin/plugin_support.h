// Helpers for tests that load the built plug-ins like a host does.
#ifndef VX_PLUGIN_SUPPORT_H
#define VX_PLUGIN_SUPPORT_H

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "host/core/host.h"
#include "host/core/plugin.h"

inline std::string pluginPath(const std::string &name)
{
    return std::string(VX_BUILD_PLUGIN_DIR) + "/" + name + ".so";
}

// A fresh VXHOME below the test home, emptied; set in the environment.
inline std::string freshHome(const std::string &name)
{
    const char *base = getenv("VXHOME_BASE");
    if (!base) {
        const char *home = getenv("VXHOME");
        setenv("VXHOME_BASE", home ? home : "/tmp/vx-test-home", 1);
        base = getenv("VXHOME_BASE");
    }
    std::filesystem::path dir = std::filesystem::path(base) / "homes" / name;
    std::filesystem::remove_all(dir);
    std::filesystem::create_directories(dir);
    setenv("VXHOME", dir.c_str(), 1);
    return dir.string();
}

// A loaded plug-in with a host of its own installed.
struct PluginFixture : ::testing::Test {
    vxh::Host host;
    vxh::Plugin plugin;
    const OpTagItem *tags = nullptr;
    std::string home;

    void load(const std::string &name)
    {
        std::string err;
        ASSERT_TRUE(vxh::loadPlugin(pluginPath(name), plugin, err)) << err;
        tags = plugin.getInfo();
        host.tags = tags;
        vxh::installHost(&host);
    }
    void SetUp() override
    {
        const ::testing::TestInfo *test = ::testing::UnitTest::GetInstance()->current_test_info();
        home = freshHome(std::string(test->test_suite_name()) + "." + test->name());
    }
    void TearDown() override
    {
        vxh::installHost(nullptr);
        vxh::unloadPlugin(plugin);
    }
    int act(uint16_t action, uint32_t instance = 1, uint16_t gadget = 0, uint32_t fieldCount = 0,
            uint32_t field = 0, uint8_t flags = 0)
    {
        ActionRecord record = {action, gadget, {flags, 0, 0, 0}, fieldCount, field, instance};
        return plugin.action(&record);
    }
};

#endif
