// vxhost: the command-line stand-in host.
#include <cstdio>
#include <cstring>
#include <string>

#include "host/edit.h"
#include "host/info.h"
#include "host/render.h"
#include "host/sampleeffect.h"
#include "host/clipio.h"
#include <filesystem>

static void usage(FILE *out)
{
    fprintf(out,
            "usage: vxhost info PLUGIN\n"
            "       vxhost render PLUGIN -o OUT [options]   (see README.md)\n"
            "       vxhost edit PLUGIN [options]            (see README.md)\n"
            "       vxhost sample-effect NAME [--size WxH] [--frames N]\n"
            "       vxhost samples DIR\n"
            "       vxhost contact OUT.png CLIP...\n");
}

// Writes the demo effect as instance NAME's effect file below VXHOME.
static int sampleEffect(int argc, char **argv)
{
    std::string name, err;
    int w = 720, h = 288, frames = 50;
    for (int i = 0; i < argc; ++i) {
        std::string a = argv[i];
        if (a == "--size" && i + 1 < argc) {
            if (sscanf(argv[++i], "%dx%d", &w, &h) != 2 || w < 8 || h < 4 || w > 16384 || h > 16384) {
                fprintf(stderr, "vxhost: --size takes WxH of one field\n");
                return 2;
            }
        } else if (a == "--frames" && i + 1 < argc) {
            frames = atoi(argv[++i]);
        } else if (name.empty() && a[0] != '-') {
            name = a;
        } else {
            fprintf(stderr, "vxhost: sample-effect: unexpected '%s'\n", a.c_str());
            return 2;
        }
    }
    if (name.empty() || name.find('/') != std::string::npos) {
        fprintf(stderr, "vxhost: sample-effect needs a plain instance name\n");
        return 2;
    }
    if (!vxh::ensureHome(err)) {
        fprintf(stderr, "vxhost: %s\n", err.c_str());
        return 2;
    }
    std::string dir = std::string(getenv("VXHOME")) + "/programs/vorlux/";
    std::filesystem::create_directories(dir);
    if (!vxh::writeSampleEffect(dir + name, w, h, frames, err)) {
        fprintf(stderr, "vxhost: %s\n", err.c_str());
        return 2;
    }
    printf("%s%s\n", dir.c_str(), name.c_str());
    return 0;
}

static int writeSamples(int argc, char **argv)
{
    if (argc != 1) {
        fprintf(stderr, "vxhost: samples takes one directory\n");
        return 2;
    }
    std::filesystem::create_directories(argv[0]);
    for (int which = 0; which < 2; ++which) {
        std::string path = std::string(argv[0]) + "/sample" + std::to_string(which) + ".y4m", err;
        if (!vxh::writeClip(path, vxh::makeSampleClip(which), err)) {
            fprintf(stderr, "vxhost: %s\n", err.c_str());
            return 2;
        }
        printf("%s\n", path.c_str());
    }
    return 0;
}

static int contactSheet(int argc, char **argv)
{
    if (argc < 2) {
        fprintf(stderr, "vxhost: contact takes OUT.png and at least one clip\n");
        return 2;
    }
    std::vector<vxh::Clip> clips(argc - 1);
    std::vector<const vxh::Clip *> rows;
    std::string err;
    for (int i = 1; i < argc; ++i) {
        if (!vxh::readClip(argv[i], clips[i - 1], err)) {
            fprintf(stderr, "vxhost: %s\n", err.c_str());
            return 2;
        }
        rows.push_back(&clips[i - 1]);
    }
    if (!vxh::writeContactSheet(argv[0], rows, err)) {
        fprintf(stderr, "vxhost: %s\n", err.c_str());
        return 2;
    }
    printf("%s\n", argv[0]);
    return 0;
}

int main(int argc, char **argv)
{
    if (argc < 2 || !strcmp(argv[1], "-h") || !strcmp(argv[1], "--help") || !strcmp(argv[1], "help")) {
        usage(argc < 2 ? stderr : stdout);
        return argc < 2 ? 2 : 0;
    }
    std::string command = argv[1];
    if (command == "info") {
        if (argc != 3) {
            fprintf(stderr, "vxhost: info takes one plug-in file\n");
            return 2;
        }
        return vxh::printInfo(argv[2], stdout);
    }
    if (command == "render") {
        std::vector<std::string> args(argv + 2, argv + argc);
        vxh::RenderOptions options;
        std::string err;
        if (!vxh::parseRenderArgs(args, options, err)) {
            fprintf(stderr, "vxhost: %s\n", err.c_str());
            return 2;
        }
        return vxh::runRender(options);
    }
    if (command == "edit")
        return vxh::runEdit(std::vector<std::string>(argv + 2, argv + argc));
    if (command == "sample-effect")
        return sampleEffect(argc - 2, argv + 2);
    if (command == "samples")
        return writeSamples(argc - 2, argv + 2);
    if (command == "contact")
        return contactSheet(argc - 2, argv + 2);
    fprintf(stderr, "vxhost: unknown command '%s'\n", command.c_str());
    usage(stderr);
    return 2;
}
