#include "tests/unit/support.h"

#include <cstdlib>
#include <filesystem>

#include <gtest/gtest.h>

#include "engine/heap.h"
#include "platform/services.h"

static std::vector<std::string> journalLines;

static void observeJournal(void *, const char *line)
{
    journalLines.emplace_back(line);
}

void CoreTest::useVariant(const VariantDesc *variant)
{
    failAllocationAfter(-1);
    releaseEffectInstance(instance);
    const EffectParamBlock params = instance.params;
    initEffectInstance(instance, *variant);
    instance.params = params;
    VxHostServices services = {};
    services.journal = observeJournal;
    vxInstallHostServices(&services);
    journalLines.clear();
}

std::vector<std::string> takeJournal()
{
    std::vector<std::string> lines;
    lines.swap(journalLines);
    return lines;
}

std::string scratchDir(const std::string &name)
{
    const char *home = getenv("VXHOME");
    // One directory per test: ctest runs tests in parallel processes.
    const ::testing::TestInfo *test = ::testing::UnitTest::GetInstance()->current_test_info();
    std::string owner = test ? std::string(test->test_suite_name()) + "." + test->name() : "none";
    std::filesystem::path dir =
        std::filesystem::path(home ? home : "/tmp/vx-test-home") / "scratch" / owner / name;
    std::filesystem::remove_all(dir);
    std::filesystem::create_directories(dir);
    return dir.string();
}
