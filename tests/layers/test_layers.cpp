// The layers of the code base point down: every #include of our own goes to
// the file's own layer or to one it is allowed to use, and the include graph
// has no circle. The table below is the rule; the check walks the source
// tree, so the rule holds for files added later too.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <map>
#include <regex>
#include <set>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

struct Layer {
    const char *folder; // files below this folder (the longest match wins)
    std::vector<const char *> uses;
};

// Bottom to top. Tests, benchmarks and fuzz targets may include anything.
const std::vector<Layer> kLayers = {
    // declarations of the host libraries and their records
    {"operator/host", {}},
    {"fileio", {}},
    {"engine", {}},
    {"variants", {"operator/host"}},
    // what every operator shares with the host: the action switch, fields,
    // directories, failure logging
    {"operator/frame", {"operator/host", "engine", "variants"}},
    {"effect", {"operator/host", "fileio", "engine", "variants", "operator/frame"}},
    {"editor", {"operator/host", "fileio", "engine", "variants", "operator/frame", "effect"}},
    {"transition", {"operator/host", "fileio", "engine", "variants", "operator/frame", "effect"}},
    // the effect operators' entry points
    {"operator",
     {"operator/host", "fileio", "engine", "variants", "operator/frame", "effect", "editor"}},
    // the host libraries the plug-ins link against
    {"platform", {"operator/host"}},
    // vxhost and the frei0r adapter
    {"host/core", {"operator/host", "platform", "fileio"}},
    {"host/io", {"operator/host", "platform", "fileio", "host/core"}},
    {"host/gui", {"operator/host", "platform", "fileio", "host/core"}},
    {"host/cli", {"operator/host", "platform", "fileio", "host/core", "host/io", "host/gui"}},
    {"frei0r",
     {"operator/host", "platform", "fileio", "engine", "variants", "operator/frame", "effect",
      "transition", "operator", "host/core"}},
};

// Folders whose files are not part of a layer.
const std::vector<std::string> kOutside = {"tests", "bench", "fuzz", "build", "docs", "scripts"};

// Includes that still point up or close a circle, "from -> to" by file.
// Each one is a debt: the list only shrinks.
const std::set<std::string> kKnownUpward = {
#include "tests/layers/known_upward.inc"
};

bool startsWithFolder(const std::string &path, const std::string &folder)
{
    return path.size() > folder.size() && path.compare(0, folder.size(), folder) == 0 &&
           path[folder.size()] == '/';
}

// The layer of a file, or null outside every layer.
const Layer *layerOf(const std::string &path)
{
    const Layer *best = nullptr;
    for (const Layer &layer : kLayers)
        if (startsWithFolder(path, layer.folder) &&
            (!best || std::string(layer.folder).size() > std::string(best->folder).size()))
            best = &layer;
    return best;
}

bool mayUse(const Layer &from, const Layer &to)
{
    return &from == &to || std::any_of(from.uses.begin(), from.uses.end(), [&](const char *folder) {
        return to.folder == std::string(folder);
    });
}

struct Tree {
    std::vector<std::string> files;                        // relative to the root
    std::map<std::string, std::vector<std::string>> edges; // file -> files it includes
};

bool isSource(const fs::path &path)
{
    const std::string ext = path.extension().string();
    return ext == ".h" || ext == ".cpp" || ext == ".inc";
}

bool outside(const std::string &path)
{
    return std::any_of(kOutside.begin(), kOutside.end(),
                       [&](const std::string &folder) { return startsWithFolder(path, folder); }) ||
           path.rfind("build", 0) == 0 || path.find('/') == std::string::npos;
}

// Our own includes are quoted paths from the root or beside the file;
// anything else (system and library headers) is not ours.
std::string resolveInclude(const fs::path &root, const std::string &from, const std::string &name)
{
    if (fs::exists(root / name))
        return fs::path(name).lexically_normal().string();
    const fs::path beside = fs::path(from).parent_path() / name;
    if (fs::exists(root / beside))
        return beside.lexically_normal().string();
    return "";
}

Tree readTree(const fs::path &root)
{
    Tree tree;
    const std::regex include(R"re(^\s*#\s*include\s*"([^"]+)")re");
    for (auto it = fs::recursive_directory_iterator(root); it != fs::recursive_directory_iterator();
         ++it) {
        const std::string rel = fs::relative(it->path(), root).string();
        if (it->is_directory() && (rel[0] == '.' || outside(rel + "/x"))) {
            it.disable_recursion_pending();
            continue;
        }
        if (!it->is_regular_file() || !isSource(it->path()) || outside(rel))
            continue;
        tree.files.push_back(rel);
        std::ifstream in(it->path());
        for (std::string line; std::getline(in, line);) {
            std::smatch m;
            if (std::regex_search(line, m, include)) {
                const std::string to = resolveInclude(root, rel, m[1]);
                if (!to.empty() && !outside(to))
                    tree.edges[rel].push_back(to);
            }
        }
    }
    std::sort(tree.files.begin(), tree.files.end());
    return tree;
}

std::string edgeName(const std::string &from, const std::string &to)
{
    return from + " -> " + to;
}

// A header and its source file are one module ("engine/warp"): a circle
// through a module is a circle even when no header includes itself.
std::string moduleOf(const std::string &file)
{
    return fs::path(file).replace_extension().string();
}

using ModuleGraph = std::map<std::string, std::set<std::string>>;

ModuleGraph moduleGraph(const Tree &tree)
{
    ModuleGraph graph;
    for (const auto &[from, includes] : tree.edges)
        for (const std::string &to : includes)
            if (!kKnownUpward.count(edgeName(from, to)) && moduleOf(from) != moduleOf(to))
                graph[moduleOf(from)].insert(moduleOf(to));
    return graph;
}

// Depth-first search for a circle; true with the circle's path in stack.
bool findCircle(const ModuleGraph &graph, const std::string &module,
                std::map<std::string, int> &state, std::vector<std::string> &stack)
{
    state[module] = 1;
    stack.push_back(module);
    auto it = graph.find(module);
    if (it != graph.end())
        for (const std::string &to : it->second) {
            if (state[to] == 1) {
                stack.push_back(to);
                return true;
            }
            if (state[to] == 0 && findCircle(graph, to, state, stack))
                return true;
        }
    stack.pop_back();
    state[module] = 2;
    return false;
}

const Tree &sourceTree()
{
    static const Tree tree = readTree(VX_SOURCE_DIR);
    return tree;
}

TEST(Layers, EveryFileBelongsToALayer)
{
    for (const std::string &file : sourceTree().files)
        EXPECT_TRUE(layerOf(file)) << file << " lies outside every layer (tests/layers/"
                                   << "test_layers.cpp lists them)";
}

TEST(Layers, IncludesPointDown)
{
    std::set<std::string> present;
    for (const auto &[from, includes] : sourceTree().edges)
        for (const std::string &to : includes) {
            const std::string edge = edgeName(from, to);
            present.insert(edge);
            const Layer *a = layerOf(from), *b = layerOf(to);
            if (a && b && !mayUse(*a, *b) && !kKnownUpward.count(edge))
                ADD_FAILURE() << edge << ": layer " << a->folder << " may not include layer "
                              << b->folder;
        }
    for (const std::string &edge : kKnownUpward)
        EXPECT_TRUE(present.count(edge))
            << edge << " is gone: remove it from tests/layers/known_upward.inc";
}

TEST(Layers, IncludeGraphHasNoCircle)
{
    const ModuleGraph graph = moduleGraph(sourceTree());
    std::map<std::string, int> state;
    for (const auto &[module, includes] : graph) {
        std::vector<std::string> stack;
        if (state[module] == 0 && findCircle(graph, module, state, stack)) {
            std::string circle;
            for (const std::string &f : stack)
                circle += (circle.empty() ? "" : " -> ") + f;
            ADD_FAILURE() << "include circle: " << circle;
            return;
        }
    }
}

} // namespace
