/* A C host, as ffmpeg and melt are: each frei0r plug-in given is loaded,
 * used (every parameter set and read, three frames rendered) and unloaded
 * three times. Under the sanitizers LeakSanitizer then looks at the
 * process's memory at exit; it fails the run on a leak, or when an unloaded
 * plug-in left a thread-local slot it cannot read. */
#include <dlfcn.h>
#include <frei0r.h>
#include <stdint.h>
#include <stdio.h>

enum { W = 96, H = 64 };

static int cycle(const char *path)
{
    static uint32_t in[W * H], out[W * H];
    void *h = dlopen(path, RTLD_NOW | RTLD_LOCAL);
    if (!h) {
        fprintf(stderr, "%s\n", dlerror());
        return 0;
    }
    int (*init)(void) = (int (*)(void))dlsym(h, "f0r_init");
    void (*deinit)(void) = (void (*)(void))dlsym(h, "f0r_deinit");
    void (*pluginInfo)(f0r_plugin_info_t *) =
        (void (*)(f0r_plugin_info_t *))dlsym(h, "f0r_get_plugin_info");
    void (*paramInfo)(f0r_param_info_t *, int) =
        (void (*)(f0r_param_info_t *, int))dlsym(h, "f0r_get_param_info");
    f0r_instance_t (*construct)(unsigned, unsigned) =
        (f0r_instance_t(*)(unsigned, unsigned))dlsym(h, "f0r_construct");
    void (*destruct)(f0r_instance_t) = (void (*)(f0r_instance_t))dlsym(h, "f0r_destruct");
    void (*setParam)(f0r_instance_t, f0r_param_t, int) =
        (void (*)(f0r_instance_t, f0r_param_t, int))dlsym(h, "f0r_set_param_value");
    void (*getParam)(f0r_instance_t, f0r_param_t, int) =
        (void (*)(f0r_instance_t, f0r_param_t, int))dlsym(h, "f0r_get_param_value");
    void (*update2)(f0r_instance_t, double, const uint32_t *, const uint32_t *, const uint32_t *,
                    uint32_t *) =
        (void (*)(f0r_instance_t, double, const uint32_t *, const uint32_t *, const uint32_t *,
                  uint32_t *))dlsym(h, "f0r_update2");
    f0r_plugin_info_t info;
    if (!init())
        return 0;
    pluginInfo(&info);
    f0r_instance_t instance = construct(W, H);
    for (int p = 0; p < info.num_params; ++p) {
        f0r_param_info_t param;
        paramInfo(&param, p);
        if (param.type == F0R_PARAM_STRING) {
            const char *text = "unload";
            char *back = NULL;
            setParam(instance, &text, p);
            getParam(instance, &back, p);
        } else {
            double value = 0.5;
            setParam(instance, &value, p);
            getParam(instance, &value, p);
        }
    }
    for (int f = 0; f < 3; ++f)
        update2(instance, f / 25.0, in, in, NULL, out);
    destruct(instance);
    deinit();
    return dlclose(h) == 0;
}

int main(int argc, char **argv)
{
    for (int i = 1; i < argc; ++i)
        for (int round = 0; round < 3; ++round)
            if (!cycle(argv[i])) {
                fprintf(stderr, "%s: cycle %d failed\n", argv[i], round);
                return 1;
            }
    return 0;
}
