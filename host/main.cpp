// vxhost: the command-line stand-in host.
#include <cstdio>
#include <cstring>
#include <string>

#include "host/info.h"

static void usage(FILE *out)
{
    fprintf(out,
            "usage: vxhost info PLUGIN\n"
            "       vxhost render PLUGIN -o OUT [options]   (see README.md)\n");
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
    fprintf(stderr, "vxhost: unknown command '%s'\n", command.c_str());
    usage(stderr);
    return 2;
}
