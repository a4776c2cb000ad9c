// Descriptors, exports and library dependencies of the built plug-ins.
#include <elf.h>

#include <cstring>
#include <fstream>
#include <iterator>
#include <set>

#include "tests/plugin/plugin_support.h"

namespace {

const char *kEffectPlugins[] = {"VorluxMorph", "VorluxDraw", "VorluxFX", "VorluxWarp"};

// Defined dynamic symbols and NEEDED entries of an ELF shared object.
struct DynamicInfo {
    std::set<std::string> exports;
    std::set<std::string> needed;
    std::set<std::string> writable; // objects in .data and .bss (from the symbol table)
};

DynamicInfo readDynamic(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    std::string image((std::istreambuf_iterator<char>(in)), {});
    DynamicInfo info;
    if (image.size() < sizeof(Elf64_Ehdr))
        return info;
    auto *eh = (const Elf64_Ehdr *)image.data();
    auto *sections = (const Elf64_Shdr *)(image.data() + eh->e_shoff);
    for (int i = 0; i < eh->e_shnum; ++i) {
        const Elf64_Shdr &s = sections[i];
        const char *strings = image.data() + sections[s.sh_link].sh_offset;
        if (s.sh_type == SHT_DYNSYM) {
            auto *sym = (const Elf64_Sym *)(image.data() + s.sh_offset);
            for (size_t k = 0; k < s.sh_size / sizeof(Elf64_Sym); ++k)
                if (sym[k].st_shndx != SHN_UNDEF && ELF64_ST_BIND(sym[k].st_info) != STB_LOCAL &&
                    sym[k].st_name)
                    info.exports.insert(strings + sym[k].st_name);
        } else if (s.sh_type == SHT_SYMTAB) {
            // Objects in the writable sections (.data, .bss; not .data.rel.ro).
            const char *names = image.data() + sections[eh->e_shstrndx].sh_offset;
            auto *sym = (const Elf64_Sym *)(image.data() + s.sh_offset);
            for (size_t k = 0; k < s.sh_size / sizeof(Elf64_Sym); ++k) {
                if (ELF64_ST_TYPE(sym[k].st_info) != STT_OBJECT || sym[k].st_shndx == SHN_UNDEF ||
                    sym[k].st_shndx >= eh->e_shnum)
                    continue;
                const std::string section = names + sections[sym[k].st_shndx].sh_name;
                if (section == ".data" || section == ".bss")
                    info.writable.insert(strings + sym[k].st_name);
            }
        } else if (s.sh_type == SHT_DYNAMIC) {
            auto *dyn = (const Elf64_Dyn *)(image.data() + s.sh_offset);
            for (size_t k = 0; k < s.sh_size / sizeof(Elf64_Dyn); ++k)
                if (dyn[k].d_tag == DT_NEEDED)
                    info.needed.insert(strings + dyn[k].d_un.d_val);
        }
    }
    return info;
}

TEST(PluginFiles, ExportExactlyTheTwoEntryPoints)
{
    for (const char *name : {"VorluxMorph", "VorluxDraw", "VorluxFX", "VorluxWarp", "VorluxOp"}) {
        DynamicInfo info = readDynamic(pluginPath(name));
        EXPECT_EQ(info.exports, (std::set<std::string>{"GetOperatorInfo", "OperatorAction"}))
            << name;
    }
}

// All state of a plug-in lives in the instance its exports hold; the rest
// of the writable data is the C and C++ runtime's, and in a sanitized
// build the address sanitizer's one-definition markers of our globals.
TEST(PluginFiles, WritableDataIsTheOneInstance)
{
    const std::set<std::string> runtime = {"completed.0",     "__dso_handle",
                                           "__TMC_END__",     "__cpu_model",
                                           "__cpu_features2", "DW.ref.__gxx_personality_v0"};
    for (const char *name : {"VorluxMorph", "VorluxDraw", "VorluxFX", "VorluxWarp", "VorluxOp"}) {
        std::set<std::string> ours;
        for (const std::string &symbol : readDynamic(pluginPath(name)).writable)
            if (!runtime.count(symbol) && symbol.rfind("__odr_asan.", 0) != 0)
                ours.insert(symbol);
        EXPECT_EQ(ours, (std::set<std::string>{"_ZN12_GLOBAL__N_18instanceE"})) << name;
    }
}

TEST(PluginFiles, TransitionNeedsOnlyFiveHostLibraries)
{
    const std::set<std::string> allowed = {"libvxcore.so", "libvxcoreimg.so", "libvxres.so",
                                           "libvxreq.so", "libvxjournal.so"};
    DynamicInfo info = readDynamic(pluginPath("VorluxOp"));
    ASSERT_FALSE(info.needed.empty());
    for (const std::string &lib : info.needed) {
        if (lib.rfind("libvx", 0) == 0) {
            EXPECT_TRUE(allowed.count(lib)) << lib;
        }
    }
    for (const char *name : kEffectPlugins)
        EXPECT_TRUE(readDynamic(pluginPath(name)).needed.count("libvxcore.so")) << name;
}

struct Descriptor : PluginFixture {};

// Expected (tag, value) pairs with pointers checked separately.
void expectTags(const OpTagItem *tags, const std::vector<std::pair<uint32_t, uintptr_t>> &expected,
                const std::set<uint32_t> &pointerTags)
{
    size_t i = 0;
    for (; tags[i].tag != OP_TAG_END; ++i) {
        ASSERT_LT(i, expected.size());
        EXPECT_EQ(tags[i].tag, expected[i].first) << "pair " << i;
        if (pointerTags.count(tags[i].tag))
            EXPECT_NE(tags[i].value, 0u) << "pair " << i;
        else
            EXPECT_EQ(tags[i].value, expected[i].second) << "pair " << i;
    }
    EXPECT_EQ(i, expected.size());
    EXPECT_EQ(tags[i].value, 0u);
}

TEST_F(Descriptor, EffectOperatorsTagsInOrder)
{
    for (const char *name : kEffectPlugins) {
        SCOPED_TRACE(name);
        vxh::unloadPlugin(plugin);
        load(name);
        const bool warp = !strcmp(name, "VorluxWarp");
        expectTags(tags,
                   {{0x4F504500, 0x00010228},
                    {0x4F504501, warp ? 1u : 0u},
                    {0x4F504503, 0},
                    {0x4F50450D, 2},
                    {0x4F504510, 0},
                    {0x4F504509, 0},
                    {0x4F504504, 0}},
                   {OP_TAG_ACTION, OP_TAG_IDENT, OP_TAG_PARAMS, OP_TAG_GADGET1});
        EXPECT_EQ(tags[2].value, (uintptr_t)plugin.action);
        EXPECT_EQ(std::string((const char *)tags[4].value),
                  std::string("$Id: ") + name + ",v 1.0 2014/12/17 00:00:00 vorlux $");
        auto *desc = (const ParamBlockDesc *)tags[5].value;
        EXPECT_EQ(desc->size, 28u);
        EXPECT_EQ(desc->reserved, 0u);
        auto *button = (const GadgetButton *)tags[6].value;
        const uint8_t expectButton[8] = {4, 0, 200, 0, 2, 0, 0, 0};
        EXPECT_EQ(memcmp(button, expectButton, 8), 0);
    }
}

TEST_F(Descriptor, EffectParamBlockDefaultsEveryCall)
{
    for (const char *name : kEffectPlugins) {
        SCOPED_TRACE(name);
        vxh::unloadPlugin(plugin);
        load(name);
        auto *block = (uint8_t *)((const ParamBlockDesc *)tags[5].value)->block;
        memset(block, 0xAB, 28);
        plugin.getInfo();
        const bool warp = !strcmp(name, "VorluxWarp");
        uint8_t expected[28] = {0xAB, 0xAB, 1, 0, 1, 0, 0, 0, 128, 0, 0, 0};
        if (warp) // the warp leaves viewBlend alone
            memset(expected + 8, 0xAB, 4);
        EXPECT_EQ(memcmp(block, expected, 28), 0);
    }
}

TEST_F(Descriptor, TransitionTagsGadgetsAndBlock)
{
    load("VorluxOp");
    expectTags(tags,
               {{0x4F504500, 0},
                {0x4F504501, 0},
                {0x4F504503, 0},
                {0x4F50450D, 2},
                {0x4F504510, 0},
                {0x4F504509, 0},
                {0x4F504504, 0},
                {0x4F504505, 0},
                {0x4F504506, 0},
                {0x4F504507, 0}},
               {OP_TAG_ACTION, OP_TAG_IDENT, OP_TAG_PARAMS, OP_TAG_GADGET1, OP_TAG_GADGET2,
                OP_TAG_GADGET3, OP_TAG_GADGET4});
    EXPECT_STREQ((const char *)tags[4].value, "$Id: VorluxFX,v 1.0 2014/03/31 00:00:00 vorlux $");

    auto *popup = (const GadgetPopup *)tags[6].value;
    EXPECT_EQ(popup->head.kind, 0);
    EXPECT_EQ(popup->head.label, 220);
    EXPECT_EQ(popup->word0, 0u);
    EXPECT_EQ(popup->value, 0);
    for (int i = 0; i < 17; ++i)
        EXPECT_EQ(popup->entries[i], 311u + i);
    EXPECT_EQ(popup->entries[17], 0u);

    auto *amount = (const GadgetSlider *)tags[7].value;
    const int32_t expectAmount[7] = {0, 110, 0, -100, 100, 0};
    EXPECT_EQ(amount->head.kind, 2);
    EXPECT_EQ(amount->head.label, 221);
    EXPECT_EQ(memcmp(amount->words, expectAmount, 24), 0);
    auto *length = (const GadgetSlider *)tags[8].value;
    const int32_t expectLength[6] = {1, 0, 0, 0, 300, 25};
    EXPECT_EQ(length->head.kind, 2);
    EXPECT_EQ(length->head.label, 222);
    EXPECT_EQ(memcmp(length->words, expectLength, 24), 0);
    auto *button = (const GadgetButton *)tags[9].value;
    EXPECT_EQ(button->head.kind, 4);
    EXPECT_EQ(button->head.label, 223);
    EXPECT_EQ(button->word, 0u);

    auto *desc = (const ParamBlockDesc *)tags[5].value;
    EXPECT_EQ(desc->size, 100u);
    auto *block = (uint8_t *)desc->block;
    memset(block, 0x5A, 100);
    plugin.getInfo();
    uint8_t expected[100];
    memset(expected, 0x5A, 100);
    memset(expected, 0, 34);
    const uint8_t length25[4] = {25, 0, 0, 0};
    memcpy(expected + 34, length25, 4);
    EXPECT_EQ(memcmp(block, expected, 100), 0);
}

TEST(RecordLayout, PointerSizedWordsOnThisPlatform)
{
    EXPECT_EQ(sizeof(OpTagItem), 16u);
    EXPECT_EQ(sizeof(ParamBlockDesc), 16u);
    EXPECT_EQ(sizeof(ActionRecord), 20u);
    EXPECT_EQ(offsetof(ActionRecord, fieldCount), 8u);
    EXPECT_EQ(offsetof(ActionRecord, instance), 16u);
    EXPECT_EQ(offsetof(HostImage, stride), 8u);
    EXPECT_EQ(offsetof(HostImage, height), 18u);
    EXPECT_EQ(offsetof(GadgetSlider, value), 24u);
}

} // namespace

namespace {

// Codes without an action return 0 and touch nothing: no host call, no
// journal line, no file.
TEST_F(Descriptor, ActionCodesWithoutMeaningDoNothing)
{
    for (const char *name : {"VorluxMorph", "VorluxDraw", "VorluxFX", "VorluxWarp", "VorluxOp"}) {
        SCOPED_TRACE(name);
        vxh::unloadPlugin(plugin);
        load(name);
        host.instanceNames[1] = "clip";
        for (uint16_t code : {0, 5, 8, 9, 100, 0xFFFF})
            EXPECT_EQ(act(code), 0) << code;
        EXPECT_TRUE(host.journal.empty());
        EXPECT_EQ(host.fieldRequests, 0);
        EXPECT_TRUE(host.liveImages.empty());
        EXPECT_TRUE(host.gadgetChanges.empty());
        EXPECT_TRUE(std::filesystem::is_empty(home));
    }
}

TEST_F(Descriptor, NullRecordIsRefused)
{
    for (const char *name : {"VorluxMorph", "VorluxOp"}) {
        vxh::unloadPlugin(plugin);
        load(name);
        EXPECT_EQ(plugin.action(nullptr), -1) << name;
    }
}

} // namespace
