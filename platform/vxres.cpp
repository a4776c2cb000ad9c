// Host resource library: the string table "vorlux_ops" with the host's own
// wording. Unknown ids give an empty text, never null.
#include "operator/host/vxres.h"

#include <cstring>

#include "platform/export.h"

namespace {

struct StringEntry {
    int id;
    const char *text;
};

const StringEntry kStrings[] = {
    {200, "Edit effect..."},
    {220, "Deformation"},
    {221, "Amount"},
    {222, "Fade length"},
    {223, "Archives..."},
    {224, "Load parameters"},
    {225, "Save parameters"},
    {226, "Delete parameters"},
    {311, "Horizontal wave by row"},
    {312, "Vertical wave by column"},
    {313, "Horizontal wave by column"},
    {314, "Vertical wave by row"},
    {315, "Radial wave"},
    {316, "Diagonal ripple"},
    {317, "Random row shift"},
    {318, "Random column shift"},
    {319, "Random jitter"},
    {320, "Rotation"},
    {321, "Twirl at the rim"},
    {322, "Twirl at the centre"},
    {323, "Sine-cosine field"},
    {324, "Checker wave"},
    {325, "Centred checker wave"},
    {326, "Slow ripple"},
    {327, "Crossed waves"},
    {505, "Preparing effect"},
};

// A table handle is the address of this marker: there is one table.
char stringTableMarker;
char imageTableMarker;

} // namespace

VX_EXPORT void *resLoadStrings(const char *name)
{
    return name && strcmp(name, "vorlux_ops") == 0 ? &stringTableMarker : nullptr;
}

VX_EXPORT const char *resGetString(void *table, int id)
{
    if (table != &stringTableMarker)
        return "";
    for (const StringEntry &e : kStrings)
        if (e.id == id)
            return e.text;
    return "";
}

VX_EXPORT void resFreeStrings(void *) {}

VX_EXPORT void *resLoadImages(const char *name)
{
    return name && strcmp(name, "vorlux_ops") == 0 ? &imageTableMarker : nullptr;
}

VX_EXPORT void *resGetImage(void *, int) { return nullptr; }

VX_EXPORT void resFreeImages(void *) {}
