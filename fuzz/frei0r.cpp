// The frei0r plug-ins as a frei0r host drives them: the first byte picks
// the plug-in, then up to three instances of random sizes are made, given
// parameter values and strings, updated and destroyed in any order.
#include <dlfcn.h>
#include <frei0r.h>

#include <cmath>
#include <cstdlib>
#include <string>
#include <vector>

#include "fuzz/support.h"
#include "host/cli/sampleeffect.h"

namespace {

struct Frei0r {
    int (*init)();
    void (*deinit)();
    void (*pluginInfo)(f0r_plugin_info_t *);
    void (*paramInfo)(f0r_param_info_t *, int);
    f0r_instance_t (*construct)(unsigned, unsigned);
    void (*destruct)(f0r_instance_t);
    void (*setParam)(f0r_instance_t, f0r_param_t, int);
    void (*getParam)(f0r_instance_t, f0r_param_t, int);
    void (*update)(f0r_instance_t, double, const uint32_t *, uint32_t *);
    void (*update2)(f0r_instance_t, double, const uint32_t *, const uint32_t *, const uint32_t *,
                    uint32_t *);
    f0r_plugin_info_t info;
    std::vector<int> types;
};

template <typename F> void find(void *h, const char *name, F &f)
{
    f = reinterpret_cast<F>(dlsym(h, name));
    if (!f)
        std::abort();
}

Frei0r &plugin(int kind)
{
    static const char *const names[] = {"vorlux_warp", "vorlux_draw", "vorlux_morph", "vorlux_fx",
                                        "vorlux_op"};
    static Frei0r loaded[5];
    static bool done[5] = {};
    Frei0r &p = loaded[kind];
    if (done[kind])
        return p;
    void *h = dlopen(vxfuzz::frei0rPath(names[kind]).c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!h)
        std::abort();
    find(h, "f0r_init", p.init), find(h, "f0r_deinit", p.deinit);
    find(h, "f0r_get_plugin_info", p.pluginInfo), find(h, "f0r_get_param_info", p.paramInfo);
    find(h, "f0r_construct", p.construct), find(h, "f0r_destruct", p.destruct);
    find(h, "f0r_set_param_value", p.setParam), find(h, "f0r_get_param_value", p.getParam);
    find(h, "f0r_update", p.update), find(h, "f0r_update2", p.update2);
    p.pluginInfo(&p.info);
    for (int i = 0; i < p.info.num_params; ++i) {
        f0r_param_info_t pi;
        p.paramInfo(&pi, i);
        p.types.push_back(pi.type);
    }
    done[kind] = true;
    return p;
}

int side(vxfuzz::Bytes &in)
{
    const uint8_t b = in.u8();
    static const int odd[] = {0, 1, 2, 3, 16384, 16385, 1 << 20};
    return b < 240 ? 1 + b % 40 : odd[b % 7];
}

double number(vxfuzz::Bytes &in)
{
    const uint8_t b = in.u8();
    static const double odd[] = {NAN, INFINITY, -INFINITY, -1e300, 1e300, -0.0, 0.5, 1e-320};
    if (b < 200)
        return double(int32_t(in.u32()) % 1000) / double(1 + b % 50);
    return odd[b % 8];
}

struct Live {
    f0r_instance_t handle;
    unsigned w, h;
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static const bool made = [] {
        std::string err;
        // An effect that fits 24 x 12 frames, which instances may name.
        return vxh::writeSampleEffect(vxfuzz::effectDir() + "/fz", 24, 6, 50, false, err);
    }();
    (void)made;
    vxfuzz::Bytes in{data, size};
    Frei0r &p = plugin(in.u8() % 5);
    p.init();
    std::vector<Live> live;
    std::vector<uint32_t> a, b, out;
    for (int step = 0; step < 48 && !in.empty(); ++step) {
        const uint8_t op = in.u8() % 5;
        if (op == 0 && live.size() < 3) {
            const unsigned w = side(in), h = side(in);
            if (f0r_instance_t i = p.construct(w, h))
                live.push_back({i, w, h});
            continue;
        }
        if (live.empty())
            continue;
        Live &l = live[in.u8() % live.size()];
        if (op == 1) {
            p.destruct(l.handle);
            live.erase(live.begin() + (&l - live.data()));
        } else if (op == 2 && !p.types.empty()) {
            const int index = in.u8() % int(p.types.size());
            if (p.types[index] == F0R_PARAM_STRING) {
                static const char *const names[] = {"fz", "missing", "/no/such/dir/x", "", "../x"};
                std::string text = in.u8() & 1 ? std::string(names[in.u8() % 5]) : in.text(40);
                char *s = text.data();
                p.setParam(l.handle, &s, index);
            } else {
                double v = p.types[index] == F0R_PARAM_BOOL ? (in.u8() & 1) : number(in);
                p.setParam(l.handle, &v, index);
            }
        } else if (op == 3 && size_t(l.w) * l.h <= (size_t(1) << 22)) {
            const size_t n = size_t(l.w) * l.h;
            a.assign(n, 0xff204080u ^ in.u8());
            b.assign(n, 0xff806040u);
            out.assign(n, 0);
            const double t = number(in);
            if (p.info.plugin_type == F0R_PLUGIN_TYPE_MIXER2)
                p.update2(l.handle, t, a.data(), b.data(), nullptr, out.data());
            else
                p.update(l.handle, t, a.data(), out.data());
        } else if (op == 4 && !p.types.empty()) {
            const int index = in.u8() % int(p.types.size());
            double v = 0;
            char *s = nullptr;
            p.getParam(l.handle, p.types[index] == F0R_PARAM_STRING ? (void *)&s : (void *)&v,
                       index);
        }
    }
    for (Live &l : live)
        p.destruct(l.handle);
    p.deinit();
    return 0;
}
