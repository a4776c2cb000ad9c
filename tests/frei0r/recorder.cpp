// A frei0r plug-in for the tests only, never installed: it loads the frei0r
// plug-in named by $VXF_RECORD_PLUGIN, forwards every call to it, and
// appends one line per update to $VXF_RECORD_LOG: the host's time, then the
// checksums of input 1, input 2 (0 without one) and the output. So a test
// sees what a host handed the plug-in and what the plug-in gave back,
// whatever the host then makes of the picture.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <dlfcn.h>
#include <fcntl.h>
#include <unistd.h>

extern "C" {
#include <frei0r.h>
}

#include "tests/frei0r/checksum.h"

namespace {

struct Wrapped {
    void *handle = nullptr;
    int (*init)() = nullptr;
    void (*deinit)() = nullptr;
    void (*pluginInfo)(f0r_plugin_info_t *) = nullptr;
    void (*paramInfo)(f0r_param_info_t *, int) = nullptr;
    f0r_instance_t (*construct)(unsigned, unsigned) = nullptr;
    void (*destruct)(f0r_instance_t) = nullptr;
    void (*setParam)(f0r_instance_t, f0r_param_t, int) = nullptr;
    void (*getParam)(f0r_instance_t, f0r_param_t, int) = nullptr;
    void (*update)(f0r_instance_t, double, const uint32_t *, uint32_t *) = nullptr;
    void (*update2)(f0r_instance_t, double, const uint32_t *, const uint32_t *, const uint32_t *,
                    uint32_t *) = nullptr;
    int log = -1;
};

template <typename Fn> void find(void *handle, const char *name, Fn &fn)
{
    fn = (Fn)dlsym(handle, name);
}

// Loaded at the first call; a plug-in that is missing leaves every entry
// point empty, which the host sees as a plug-in with nothing to offer.
const Wrapped &wrapped()
{
    static const Wrapped w = [] {
        Wrapped w;
        const char *file = getenv("VXF_RECORD_PLUGIN");
        const char *log = getenv("VXF_RECORD_LOG");
        w.handle = file ? dlopen(file, RTLD_NOW | RTLD_LOCAL) : nullptr;
        if (!w.handle || !log) {
            fprintf(stderr, "recorder: set VXF_RECORD_PLUGIN and VXF_RECORD_LOG\n");
            return w;
        }
        find(w.handle, "f0r_init", w.init);
        find(w.handle, "f0r_deinit", w.deinit);
        find(w.handle, "f0r_get_plugin_info", w.pluginInfo);
        find(w.handle, "f0r_get_param_info", w.paramInfo);
        find(w.handle, "f0r_construct", w.construct);
        find(w.handle, "f0r_destruct", w.destruct);
        find(w.handle, "f0r_set_param_value", w.setParam);
        find(w.handle, "f0r_get_param_value", w.getParam);
        find(w.handle, "f0r_update", w.update);
        find(w.handle, "f0r_update2", w.update2);
        w.log = open(log, O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
        return w;
    }();
    return w;
}

struct Instance {
    f0r_instance_t inner;
    size_t bytes;
};

uint64_t checksum(const uint32_t *picture, size_t bytes)
{
    return picture ? pictureChecksum(picture, bytes) : 0;
}

// One line per update, written at once: updates on several threads do not
// mix their lines. The inputs are summed before the update (a host may
// hand the output in their place).
void record(double time, uint64_t in1, uint64_t in2, uint64_t out)
{
    char line[128];
    const int n =
        snprintf(line, sizeof line, "%.17g %016llx %016llx %016llx\n", time,
                 (unsigned long long)in1, (unsigned long long)in2, (unsigned long long)out);
    if (write(wrapped().log, line, (size_t)n) != n)
        fprintf(stderr, "recorder: cannot write the log\n");
}

} // namespace

int f0r_init(void)
{
    return wrapped().init ? wrapped().init() : 0;
}

void f0r_deinit(void)
{
    if (wrapped().deinit)
        wrapped().deinit();
}

void f0r_get_plugin_info(f0r_plugin_info_t *info)
{
    if (wrapped().pluginInfo)
        wrapped().pluginInfo(info);
}

void f0r_get_param_info(f0r_param_info_t *info, int index)
{
    wrapped().paramInfo(info, index);
}

f0r_instance_t f0r_construct(unsigned int width, unsigned int height)
{
    f0r_instance_t inner = wrapped().construct(width, height);
    return inner ? new Instance{inner, (size_t)width * height * 4} : nullptr;
}

void f0r_destruct(f0r_instance_t instance)
{
    wrapped().destruct(((Instance *)instance)->inner);
    delete (Instance *)instance;
}

void f0r_set_param_value(f0r_instance_t instance, f0r_param_t value, int index)
{
    wrapped().setParam(((Instance *)instance)->inner, value, index);
}

void f0r_get_param_value(f0r_instance_t instance, f0r_param_t value, int index)
{
    wrapped().getParam(((Instance *)instance)->inner, value, index);
}

void f0r_update(f0r_instance_t instance, double time, const uint32_t *in, uint32_t *out)
{
    const Instance &inst = *(Instance *)instance;
    const uint64_t sum = checksum(in, inst.bytes);
    wrapped().update(inst.inner, time, in, out);
    record(time, sum, 0, checksum(out, inst.bytes));
}

void f0r_update2(f0r_instance_t instance, double time, const uint32_t *in1, const uint32_t *in2,
                 const uint32_t *in3, uint32_t *out)
{
    const Instance &inst = *(Instance *)instance;
    const uint64_t sum1 = checksum(in1, inst.bytes), sum2 = checksum(in2, inst.bytes);
    wrapped().update2(inst.inner, time, in1, in2, in3, out);
    record(time, sum1, sum2, checksum(out, inst.bytes));
}
