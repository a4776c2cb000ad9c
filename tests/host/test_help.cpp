// The README and vxhost's --help say the same: the usage block, render's
// and edit's options, and the edit script lines are read from both and
// compared, so neither can gain or lose one alone.
#include <gtest/gtest.h>

#include <fstream>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "tests/host/cli_support.h"

namespace {

using namespace clitest;
using Names = std::set<std::string>;

std::string readme()
{
    std::ifstream in(std::string(VX_SOURCE_DIR) + "/README.md");
    return std::string((std::istreambuf_iterator<char>(in)), {});
}

std::vector<std::string> linesOf(const std::string &text)
{
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}

// The text from the line that starts with `from` up to the next line that
// starts with `to` (or the end).
std::string section(const std::string &text, const std::string &from, const std::string &to)
{
    const size_t begin = text.find("\n" + from);
    EXPECT_NE(begin, std::string::npos) << "README has no '" << from << "'";
    if (begin == std::string::npos)
        return "";
    const size_t end = text.find("\n" + to, begin + 1);
    return text.substr(begin + 1, end == std::string::npos ? end : end - begin - 1);
}

// The option names of backticked items (`--input0 FILE` gives --input0).
Names backtickedOptions(const std::string &text)
{
    Names names;
    static const std::regex item("`(-{1,2}[a-z][a-z0-9-]*)[^`]*`");
    for (std::sregex_iterator m(text.begin(), text.end(), item), end; m != end; ++m)
        names.insert((*m)[1]);
    return names;
}

// The option names a --help text lists: words that start with - after a
// space, a comma or the line's start.
Names helpOptions(const std::string &text)
{
    Names names;
    static const std::regex word("(^|[ ,])(-{1,2}[a-z][a-z0-9-]*)");
    for (const std::string &line : linesOf(text))
        for (std::sregex_iterator m(line.begin(), line.end(), word), end; m != end; ++m)
            names.insert((*m)[2]);
    return names;
}

// The first cell of each row of the first table in text: its backticked
// items, \| read as |.
Names firstCells(const std::string &text)
{
    Names cells;
    static const std::regex item("`([^`]+)`");
    for (const std::string &line : linesOf(text)) {
        if (line.rfind("| `", 0) != 0)
            continue;
        const std::string cell = line.substr(0, line.find(" | ", 2));
        for (std::sregex_iterator m(cell.begin(), cell.end(), item), end; m != end; ++m)
            cells.insert(std::regex_replace((*m)[1].str(), std::regex(R"(\\\|)"), "|"));
    }
    return cells;
}

// The script lines edit --help lists after "one of", separated by "; ".
Names helpScriptLines(const std::string &help)
{
    const size_t at = help.find("one of\n");
    EXPECT_NE(at, std::string::npos) << help;
    std::string list;
    for (const std::string &line : linesOf(help.substr(at + 7))) {
        if (line.rfind("                            ", 0) != 0)
            break;
        list += line.substr(line.find_first_not_of(' ')) + " ";
    }
    Names lines;
    std::istringstream in(list);
    for (std::string one; std::getline(in, one, ';');) {
        one = one.substr(one.find_first_not_of(' '));
        lines.insert(one.substr(0, one.find_last_not_of(' ') + 1));
    }
    return lines;
}

// Both lists, which must agree and must not be empty (a listing the
// reading no longer finds).
void expectSame(const Names &readme, const Names &help, const char *what)
{
    EXPECT_FALSE(readme.empty()) << what;
    EXPECT_EQ(readme, help) << what;
}

TEST_F(Cli, HelpAndReadmeAgree)
{
    const std::string text = readme();
    const std::string usage = section(text, "## Usage", "`render` options:");
    const std::string block = usage.substr(usage.find("```\n") + 4);
    EXPECT_EQ(block.substr(0, block.find("```\n")), vxhost("--help").output);

    const std::string renderHelp = vxhost("render --help").output;
    expectSame(backtickedOptions(section(text, "`render` options:", "`vxhost` streams")),
               helpOptions(renderHelp.substr(renderHelp.find('\n') + 1)), "render options");

    const std::string editHelp = vxhost("edit --help").output;
    expectSame(backtickedOptions(section(text, "## Editing an effect", "Script lines")),
               helpOptions(editHelp.substr(editHelp.find('\n') + 1)), "edit options");
    expectSame(firstCells(section(text, "Script lines", "`NAME` is")), helpScriptLines(editHelp),
               "script lines");
}

} // namespace
