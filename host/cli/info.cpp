#include "host/cli/info.h"

#include "operator/host/vxres.h"

namespace vxh {

namespace {

const int kMaxTags = 64;

const char *tagName(uint32_t tag)
{
    switch (tag) {
    case OP_TAG_CAPS:
        return "OP_TAG_CAPS";
    case OP_TAG_SINGLE_INPUT:
        return "OP_TAG_SINGLE_INPUT";
    case OP_TAG_ACTION:
        return "OP_TAG_ACTION";
    case OP_TAG_GADGET1:
        return "OP_TAG_GADGET1";
    case OP_TAG_GADGET2:
        return "OP_TAG_GADGET2";
    case OP_TAG_GADGET3:
        return "OP_TAG_GADGET3";
    case OP_TAG_GADGET4:
        return "OP_TAG_GADGET4";
    case OP_TAG_PARAMS:
        return "OP_TAG_PARAMS";
    case OP_TAG_13:
        return "OP_TAG_13";
    case OP_TAG_IDENT:
        return "OP_TAG_IDENT";
    default:
        return nullptr;
    }
}

const char *label(int id)
{
    static void *table = resLoadStrings("vorlux_ops");
    return resGetString(table, id);
}

void printGadget(FILE *out, int index, const GadgetDesc *g)
{
    switch (g->kind) {
    case GADGET_POPUP: {
        auto *p = (const GadgetPopup *)g;
        fprintf(out, "  %d  popup   label %d \"%s\"  word %u  value %d\n", index, g->label,
                label(g->label), p->word0, p->value);
        fprintf(out, "     entries");
        for (int i = 0; p->entries && p->entries[i] && i < 256; ++i)
            fprintf(out, " %u", p->entries[i]);
        fprintf(out, "\n");
        for (int i = 0; p->entries && p->entries[i] && i < 256; ++i)
            fprintf(out, "       %2d: %s\n", i, label((int)p->entries[i]));
        break;
    }
    case GADGET_SLIDER: {
        auto *s = (const GadgetSlider *)g;
        fprintf(out, "  %d  slider  label %d \"%s\"  words %u %u %u  range %d..%d  value %d\n",
                index, g->label, label(g->label), s->words[0], s->words[1], s->words[2], s->minimum,
                s->maximum, s->value);
        break;
    }
    case GADGET_BUTTON: {
        auto *b = (const GadgetButton *)g;
        fprintf(out, "  %d  button  label %d \"%s\"  word %u\n", index, g->label, label(g->label),
                b->word);
        break;
    }
    }
}

} // namespace

bool checkDescriptor(const Plugin &plugin, const OpTagItem *tags, std::string &err)
{
    if (!tags) {
        err = plugin.path + ": GetOperatorInfo returned no descriptor";
        return false;
    }
    int count = 0;
    while (count < kMaxTags && tags[count].tag != OP_TAG_END)
        ++count;
    if (count == kMaxTags) {
        err = plugin.path + ": descriptor tag list is not terminated";
        return false;
    }
    for (int i = 0; i < count; ++i)
        if (!tagName(tags[i].tag)) {
            char text[64];
            snprintf(text, sizeof text, ": unknown descriptor tag 0x%08X", tags[i].tag);
            err = plugin.path + text;
            return false;
        }
    uintptr_t value;
    if (!findTag(tags, OP_TAG_ACTION, value) || value != (uintptr_t)plugin.action) {
        err = plugin.path + ": descriptor's action entry is not OperatorAction";
        return false;
    }
    if (!findTag(tags, OP_TAG_IDENT, value) || !value) {
        err = plugin.path + ": descriptor has no identification string";
        return false;
    }
    if (!findTag(tags, OP_TAG_PARAMS, value) || !value || !((ParamBlockDesc *)value)->block) {
        err = plugin.path + ": descriptor has no parameter block";
        return false;
    }
    for (int i = 0; i < 4; ++i) {
        GadgetDesc *g = findGadget(tags, i);
        if (g && g->kind != GADGET_POPUP && g->kind != GADGET_SLIDER && g->kind != GADGET_BUTTON) {
            err = plugin.path + ": gadget " + std::to_string(i) + " has an unknown kind";
            return false;
        }
    }
    return true;
}

int printInfo(const std::string &path, FILE *out)
{
    Plugin plugin;
    std::string err;
    if (!loadPlugin(findPlugin(path), plugin, err)) {
        fprintf(stderr, "vxhost: %s\n", err.c_str());
        return 2;
    }
    const OpTagItem *tags = plugin.getInfo();
    if (!checkDescriptor(plugin, tags, err)) {
        fprintf(stderr, "vxhost: %s\n", err.c_str());
        return 2;
    }
    fprintf(out, "plug-in  %s\n", plugin.path.c_str());
    fprintf(out, "tags\n");
    for (int i = 0; tags[i].tag != OP_TAG_END; ++i) {
        uint32_t tag = tags[i].tag;
        uintptr_t v = tags[i].value;
        fprintf(out, "  %-20s 0x%08X  ", tagName(tag), tag);
        if (tag == OP_TAG_ACTION)
            fprintf(out, "entry point (OperatorAction)\n");
        else if (tag == OP_TAG_IDENT)
            fprintf(out, "\"%s\"\n", (const char *)v);
        else if (tag == OP_TAG_PARAMS)
            fprintf(out, "parameter block of %u bytes\n", ((ParamBlockDesc *)v)->size);
        else if (tag >= OP_TAG_GADGET1 && tag <= OP_TAG_GADGET4)
            fprintf(out, "gadget %u\n", tag - OP_TAG_GADGET1);
        else
            fprintf(out, "0x%08lX (%lu)\n", (unsigned long)v, (unsigned long)v);
    }
    fprintf(out, "gadgets\n");
    for (int i = 0; i < 4; ++i)
        if (GadgetDesc *g = findGadget(tags, i))
            printGadget(out, i, g);
    uintptr_t value;
    findTag(tags, OP_TAG_PARAMS, value);
    auto *desc = (const ParamBlockDesc *)value;
    fprintf(out, "parameter block  %u bytes, reserved %u, defaults:\n", desc->size, desc->reserved);
    const auto *bytes = (const uint8_t *)desc->block;
    for (uint32_t i = 0; i < desc->size; i += 16) {
        fprintf(out, "  %04X:", i);
        for (uint32_t j = i; j < i + 16 && j < desc->size; ++j)
            fprintf(out, " %02X", bytes[j]);
        fprintf(out, "\n");
    }
    return 0;
}

} // namespace vxh
