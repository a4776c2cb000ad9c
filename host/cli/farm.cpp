#include "host/cli/farm.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <sys/wait.h>
#include <unistd.h>

#include "fileio/atomicfile.h"
#include "host/cli/numbers.h"
#include "host/cli/workers.h"

namespace vxh {

namespace fs = std::filesystem;

namespace {

constexpr char kRecord[] = "farm.txt";

// What a submission wrote down: enough for the tasks, the join, status and
// resume. One line per item, its fields separated by tabs.
struct FarmRecord {
    std::string vxhost, cwd, output;
    long fields = 0;
    std::vector<std::string> sbatch, join;
    struct Part {
        long a = 0, b = 0;
        std::vector<std::string> args;
    };
    std::vector<Part> parts;
    std::vector<std::string> arrays; // the job arrays of the parts, oldest first
    std::string joinJob;
};

std::string partPath(const std::string &work, size_t j)
{
    char name[32];
    snprintf(name, sizeof name, "part-%04zu.y4m", j);
    return work + "/parts/" + name;
}

std::string recordText(const FarmRecord &r)
{
    std::string text = "vorlux farm 1\n";
    auto line = [&](const std::string &key, const std::vector<std::string> &fields) {
        text += key;
        for (const std::string &f : fields)
            text += "\t" + f;
        text += "\n";
    };
    line("vxhost", {r.vxhost});
    line("cwd", {r.cwd});
    line("output", {r.output});
    line("fields", {std::to_string(r.fields)});
    line("sbatch", r.sbatch);
    line("join", r.join);
    for (const FarmRecord::Part &p : r.parts) {
        std::vector<std::string> fields = {std::to_string(p.a), std::to_string(p.b)};
        fields.insert(fields.end(), p.args.begin(), p.args.end());
        line("part", fields);
    }
    for (const std::string &id : r.arrays)
        line("array", {id});
    if (!r.joinJob.empty())
        line("joinjob", {r.joinJob});
    return text;
}

bool writeRecord(const std::string &work, const FarmRecord &r, std::string &err)
{
    const std::string text = recordText(r);
    const std::string path = work + "/" + kRecord;
    if (atomicWriteFile(path.c_str(), text.data(), text.size()) != 0) {
        err = path + ": cannot be written (" + strerror(errno) + ")";
        return false;
    }
    return true;
}

bool readRecord(const std::string &work, FarmRecord &r, std::string &err)
{
    const std::string path = work + "/" + kRecord;
    std::ifstream in(path);
    std::string line;
    if (!in || !std::getline(in, line) || line != "vorlux farm 1") {
        err = work + " is not a farm folder (no " + kRecord + " of vxhost farm in it)";
        return false;
    }
    while (std::getline(in, line)) {
        std::vector<std::string> f;
        std::istringstream fields(line);
        for (std::string field; std::getline(fields, field, '\t');)
            f.push_back(field);
        if (f.empty())
            continue;
        const std::string key = f[0];
        f.erase(f.begin());
        const std::string first = f.empty() ? "" : f[0];
        if (key == "vxhost")
            r.vxhost = first;
        else if (key == "cwd")
            r.cwd = first;
        else if (key == "output")
            r.output = first;
        else if (key == "fields")
            r.fields = atol(first.c_str());
        else if (key == "sbatch")
            r.sbatch = f;
        else if (key == "join")
            r.join = f;
        else if (key == "array")
            r.arrays.push_back(first);
        else if (key == "joinjob")
            r.joinJob = first;
        else if (key == "part" && f.size() >= 2)
            r.parts.push_back({atol(f[0].c_str()), atol(f[1].c_str()),
                               std::vector<std::string>(f.begin() + 2, f.end())});
    }
    if (r.vxhost.empty() || r.parts.empty() || r.join.empty()) {
        err = path + " is incomplete";
        return false;
    }
    return true;
}

// Runs a Slurm command; its exit code (127 when it is not there) and what
// it printed on both streams.
int runTool(const std::vector<std::string> &args, std::string &output)
{
    int fds[2];
    if (pipe(fds) != 0)
        return 127;
    fflush(nullptr);
    const pid_t pid = fork();
    if (pid == 0) {
        dup2(fds[1], 1);
        dup2(fds[1], 2);
        close(fds[0]);
        close(fds[1]);
        std::vector<char *> argv;
        for (const std::string &a : args)
            argv.push_back((char *)a.c_str());
        argv.push_back(nullptr);
        execvp(argv[0], argv.data());
        _exit(127);
    }
    close(fds[1]);
    output.clear();
    char buffer[4096];
    for (ssize_t n; (n = read(fds[0], buffer, sizeof buffer)) != 0;)
        if (n > 0)
            output.append(buffer, (size_t)n);
        else if (errno != EINTR)
            break;
    close(fds[0]);
    int status = 0;
    while (pid > 0 && waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    return pid < 0 ? 127 : WIFEXITED(status) ? WEXITSTATUS(status) : 128;
}

std::string quoted(const std::string &text)
{
    std::string q = "'";
    for (char c : text)
        q += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return q + "'";
}

std::string trimmed(std::string text)
{
    while (!text.empty() && isspace((unsigned char)text.back()))
        text.pop_back();
    return text;
}

// Queues `command` (a line for the shell) with sbatch; the job ID, or empty
// with err saying why.
std::string queue(const FarmRecord &r, const std::vector<std::string> &options,
                  const std::string &command, std::string &err)
{
    std::vector<std::string> args = {"sbatch", "--parsable", "--chdir=" + r.cwd};
    args.insert(args.end(), options.begin(), options.end());
    args.insert(args.end(), r.sbatch.begin(), r.sbatch.end());
    args.push_back("--wrap=" + command);
    std::string said;
    const int code = runTool(args, said);
    const std::string id = trimmed(said.substr(0, said.find(';')));
    if (code == 127) {
        err = "sbatch was not found: Slurm's client commands must be on PATH";
        return "";
    }
    if (code != 0 || id.empty() || id.find_first_not_of("0123456789") != std::string::npos) {
        err = "sbatch refused the job (exit " + std::to_string(code) + "): " + trimmed(said);
        return "";
    }
    return id;
}

// Queues the parts `which` as one job array; its ID, or empty.
std::string queueParts(const FarmRecord &r, const std::string &work,
                       const std::vector<size_t> &which, std::string &err)
{
    std::string list;
    for (size_t j : which)
        list += (list.empty() ? "" : ",") + std::to_string(j);
    return queue(
        r, {"--array=" + list, "--job-name=vxhost-part", "--output=" + work + "/logs/part-%a.log"},
        "exec " + quoted(r.vxhost) + " farm task " + quoted(work), err);
}

// Queues the join after the arrays: afterok on `after`, afterany on the
// arrays whose failed tasks a resume replaced (the join checks every part).
std::string queueJoin(const FarmRecord &r, const std::string &work, const std::string &after,
                      const std::vector<std::string> &older, std::string &err)
{
    std::string dependency = after.empty() ? "" : "afterok:" + after;
    for (const std::string &id : older)
        dependency += (dependency.empty() ? "" : ",") + std::string("afterany:") + id;
    std::vector<std::string> options = {"--job-name=vxhost-join",
                                        "--output=" + work + "/logs/join.log"};
    if (!dependency.empty())
        options.push_back("--dependency=" + dependency);
    return queue(r, options, "exec " + quoted(r.vxhost) + " farm join " + quoted(work), err);
}

// The queue's view of the farm's jobs: array task index (or "join") to
// its state, for the jobs still queued or running; false with err when
// squeue cannot be asked.
bool queuedJobs(const FarmRecord &r, std::map<std::string, std::string> &jobs, std::string &err)
{
    std::string ids;
    for (const std::string &id : r.arrays)
        ids += (ids.empty() ? "" : ",") + id;
    if (!r.joinJob.empty())
        ids += (ids.empty() ? "" : ",") + r.joinJob;
    std::string said;
    if (ids.empty())
        return true;
    // squeue fails on IDs the controller has forgotten: asked for all jobs then.
    if (runTool({"squeue", "-h", "-r", "-j", ids, "-o", "%i|%T"}, said) != 0 &&
        runTool({"squeue", "-h", "-r", "-o", "%i|%T"}, said) != 0) {
        err = "squeue could not be asked how the jobs go: " + trimmed(said);
        return false;
    }
    std::istringstream lines(said);
    for (std::string line; std::getline(lines, line);) {
        const size_t bar = line.find('|');
        if (bar == std::string::npos)
            continue;
        const std::string id = line.substr(0, bar), state = line.substr(bar + 1);
        const size_t underscore = id.find('_');
        const bool ours =
            underscore != std::string::npos &&
            std::find(r.arrays.begin(), r.arrays.end(), id.substr(0, underscore)) != r.arrays.end();
        if (id == r.joinJob)
            jobs["join"] = state;
        else if (ours)
            jobs[id.substr(underscore + 1)] = state + " (job " + id + ")";
    }
    return true;
}

bool partDone(const std::string &work, size_t j)
{
    std::error_code ec;
    return fs::is_regular_file(partPath(work, j), ec);
}

int farmUsage(FILE *out)
{
    fprintf(out,
            "usage: vxhost farm PLUGIN -o OUT (--parts N | --frames-per-part K) [--sbatch ARG]...\n"
            "                   [--work DIR] [render options]\n"
            "       vxhost farm status DIR\n"
            "       vxhost farm resume DIR [--sbatch ARG]...\n");
    return out == stdout ? 0 : 2;
}

int failWith(const std::string &message)
{
    fprintf(stderr, "vxhost: farm: %s\n", message.c_str());
    return 2;
}

std::string absolute(const std::string &path)
{
    std::error_code ec;
    const fs::path p = fs::absolute(path, ec);
    return (ec ? fs::path(path) : p).lexically_normal().string();
}

int statusCommand(const std::string &work)
{
    FarmRecord r;
    std::string err;
    std::map<std::string, std::string> jobs;
    if (!readRecord(work, r, err) || !queuedJobs(r, jobs, err))
        return failWith(err);
    size_t done = 0, lost = 0;
    for (size_t j = 0; j < r.parts.size(); ++j) {
        const auto queued = jobs.find(std::to_string(j));
        std::string state =
            partDone(work, j) ? "done"
            : queued != jobs.end()
                ? queued->second
                : "failed or cancelled (log: " + work + "/logs/part-" + std::to_string(j) + ".log)";
        done += state == "done";
        lost += state.rfind("failed", 0) == 0;
        printf("part %zu  fields %ld:%ld  %s\n", j, r.parts[j].a, r.parts[j].b, state.c_str());
    }
    const auto join = jobs.find("join");
    std::error_code ec;
    const bool written =
        fs::exists(r.output, ec) && fs::exists(work + "/logs/join.log", ec) &&
        fs::last_write_time(r.output, ec) >= fs::last_write_time(work + "/" + kRecord, ec);
    printf("join  %s\n", join != jobs.end() ? (join->second + " (job " + r.joinJob + ")").c_str()
                         : written && done == r.parts.size()
                             ? ("done: " + r.output + " written").c_str()
                             : ("not run or failed (log: " + work + "/logs/join.log)").c_str());
    if (lost || (done < r.parts.size() && join == jobs.end()))
        printf("vxhost farm resume %s renders the missing parts and joins them\n", work.c_str());
    return 0;
}

int resumeCommand(const std::string &work, const std::vector<std::string> &sbatch)
{
    FarmRecord r;
    std::string err;
    if (!readRecord(work, r, err))
        return failWith(err);
    r.sbatch.insert(r.sbatch.end(), sbatch.begin(), sbatch.end());
    std::map<std::string, std::string> jobs;
    if (!queuedJobs(r, jobs, err))
        return failWith(err);
    std::vector<size_t> missing;
    bool running = false;
    for (size_t j = 0; j < r.parts.size(); ++j) {
        const bool queued = jobs.count(std::to_string(j)) > 0;
        running = running || queued;
        if (!partDone(work, j) && !queued)
            missing.push_back(j);
    }
    if (missing.empty() && jobs.count("join")) {
        printf("vxhost: farm: nothing to resume: every part is done or queued, and so is the "
               "join (job %s)\n",
               r.joinJob.c_str());
        return 0;
    }
    std::string array;
    if (!missing.empty() && (array = queueParts(r, work, missing, err)).empty())
        return failWith(err);
    // The old join waits on parts that will never all succeed: replaced.
    if (jobs.count("join")) {
        std::string said;
        runTool({"scancel", r.joinJob}, said);
    }
    std::vector<std::string> older = running ? r.arrays : std::vector<std::string>();
    if (!array.empty())
        r.arrays.push_back(array);
    const std::string join = queueJoin(r, work, array, older, err);
    if (join.empty()) {
        if (!array.empty()) {
            std::string said;
            runTool({"scancel", array}, said);
        }
        return failWith(err);
    }
    r.joinJob = join;
    if (!writeRecord(work, r, err))
        return failWith(err);
    printf("vxhost: farm: %zu part(s) queued again as job array %s, the join as job %s\n",
           missing.size(), array.empty() ? "(none)" : array.c_str(), join.c_str());
    return 0;
}

// Becomes the submitting vxhost with args, in the submission's folder;
// returns only on failure.
int execVxhost(const FarmRecord &r, std::vector<std::string> args)
{
    std::vector<char *> argv = {(char *)r.vxhost.c_str()};
    for (std::string &a : args)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    if (chdir(r.cwd.c_str()) != 0)
        return failWith(r.cwd + ": " + strerror(errno));
    execv(r.vxhost.c_str(), argv.data());
    return failWith(r.vxhost + ": " + strerror(errno));
}

// A task of the array: its part, rendered as a --jobs worker renders.
int taskCommand(const std::string &work)
{
    FarmRecord r;
    std::string err;
    if (!readRecord(work, r, err))
        return failWith(err);
    const char *index = getenv("SLURM_ARRAY_TASK_ID");
    long j = -1;
    if (!index || !parseNumber(index, 0, (long)r.parts.size() - 1, j))
        return failWith("a task runs in a Slurm job array (SLURM_ARRAY_TASK_ID of 0.." +
                        std::to_string(r.parts.size() - 1) + ")");
    return execVxhost(r, r.parts[(size_t)j].args);
}

int joinCommand(const std::string &work)
{
    FarmRecord r;
    std::string err;
    if (!readRecord(work, r, err))
        return failWith(err);
    return execVxhost(r, r.join);
}

} // namespace

bool farmSubmits(const RenderOptions &o)
{
    return o.farm.parts > 0 || o.farm.framesPerPart > 0;
}

std::string farmStatePath(const RenderOptions &o)
{
    return o.farm.work + "/state";
}

int submitFarm(const RenderOptions &o, const char *self, const std::string &stateFile, long fields,
               std::string &err)
{
    const std::string &work = o.farm.work;
    FarmRecord r;
    r.vxhost = self;
    r.cwd = fs::current_path().string();
    r.output = absolute(o.output);
    r.fields = fields;
    r.sbatch = o.farm.sbatch;
    const long frames = (fields + 1) / 2;
    const long parts = o.farm.parts > 0
                           ? o.farm.parts
                           : (frames + o.farm.framesPerPart - 1) / o.farm.framesPerPart;
    const auto ranges = splitRanges(fields, (int)std::min(parts, frames));
    for (size_t j = 0; j < ranges.size(); ++j)
        r.parts.push_back({ranges[j].first, ranges[j].second,
                           workerArgs(o, stateFile, fields, ranges[j].first, ranges[j].second,
                                      partPath(work, j))});
    r.join = {"render"};
    r.join.insert(r.join.end(), o.farm.renderArgs.begin(), o.farm.renderArgs.end());
    r.join.insert(r.join.end(), {"--from-parts", work});
    std::error_code ec;
    fs::create_directories(work + "/parts", ec);
    fs::create_directories(work + "/logs", ec);
    if (ec) {
        err = work + ": cannot be made (" + ec.message() + ")";
        return 2;
    }
    if (!writeRecord(work, r, err))
        return 2;
    std::vector<size_t> all(r.parts.size());
    for (size_t j = 0; j < all.size(); ++j)
        all[j] = j;
    const std::string array = queueParts(r, work, all, err);
    if (array.empty()) {
        fs::remove_all(work, ec); // nothing was queued: nothing is left
        return 2;
    }
    r.arrays.push_back(array);
    r.joinJob = queueJoin(r, work, array, {}, err);
    if (r.joinJob.empty()) {
        std::string said;
        runTool({"scancel", array}, said);
        fs::remove_all(work, ec);
        return 2;
    }
    if (!writeRecord(work, r, err))
        return 2;
    fprintf(stderr,
            "vxhost: farm: %zu parts of %ld fields queued as job array %s, the join as job %s "
            "(writes %s); vxhost farm status %s shows how they go\n",
            r.parts.size(), fields, array.c_str(), r.joinJob.c_str(), r.output.c_str(),
            work.c_str());
    printf("%s %s\n", array.c_str(), r.joinJob.c_str());
    return 0;
}

int joinFarm(const std::string &work, long fields, OutputClip &out, std::string &err)
{
    FarmRecord r;
    if (!readRecord(work, r, err))
        return 2;
    if (r.fields != fields) {
        err = "the parts in " + work + " are of a render of " + std::to_string(r.fields) +
              " fields, not " + std::to_string(fields);
        return 2;
    }
    std::vector<std::string> paths;
    std::vector<std::pair<long, long>> ranges;
    for (size_t j = 0; j < r.parts.size(); ++j) {
        paths.push_back(partPath(work, j));
        ranges.emplace_back(r.parts[j].a, r.parts[j].b);
    }
    return joinParts(paths, ranges,
                     "vxhost farm status " + work + " shows why; vxhost farm resume " + work +
                         " renders it again",
                     out, err);
}

int parseFarmSubmit(const std::vector<std::string> &args, RenderOptions &o)
{
    std::vector<std::string> render;
    long number = 0;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string &a = args[i];
        const bool valued =
            a == "--parts" || a == "--frames-per-part" || a == "--sbatch" || a == "--work";
        if (!valued) {
            render.push_back(a);
            continue;
        }
        if (i + 1 >= args.size())
            return failWith(a + " needs a value");
        const std::string &v = args[++i];
        if (a == "--sbatch") {
            o.farm.sbatch.push_back(v);
        } else if (a == "--work") {
            o.farm.work = v;
        } else if (!parseNumber(v, 1, 100000, number)) {
            return failWith(a + " takes a number from 1 to 100000, not '" + v + "'");
        } else if (a == "--parts") {
            o.farm.parts = (int)number;
        } else {
            o.farm.framesPerPart = number;
        }
    }
    if ((o.farm.parts > 0) == (o.farm.framesPerPart > 0))
        return failWith("give the number of parts with --parts N or their length with "
                        "--frames-per-part K (one of them)");
    const RenderOptions::Farm farm = o.farm;
    std::string err;
    if (!parseRenderArgs(render, o, err))
        return failWith(err);
    o.farm = farm;
    if (o.jobs > 1 || o.rangeBegin >= 0)
        return failWith("the farm splits the whole clip itself: leave out --jobs and --range");
    if (o.output == "-" || o.input0 == "-" || o.input1 == "-")
        return failWith("the tasks run elsewhere: give files on the shared file system, not "
                        "standard input or output");
    for (const std::string &a : args)
        if (a.find_first_of("\t\n") != std::string::npos)
            return failWith("an argument holds a tab or a line break: '" + a + "'");
    o.farm.work = absolute(o.farm.work.empty() ? o.output + ".farm" : o.farm.work);
    std::error_code ec;
    if (fs::exists(o.farm.work + "/" + kRecord, ec))
        return failWith(o.farm.work + " holds an earlier farm render: vxhost farm status or "
                                      "resume it, or remove the folder");
    // The join renders with the same arguments, from the parts.
    o.farm.renderArgs = render;
    return 0;
}

int farmCommand(int argc, char **argv, RenderOptions &submit)
{
    std::vector<std::string> args(argv, argv + argc);
    if (args.empty())
        return farmUsage(stderr);
    if (args[0] == "--help" || args[0] == "-h")
        return farmUsage(stdout);
    const std::string sub = args[0];
    if (sub == "status" || sub == "resume" || sub == "task" || sub == "join") {
        if (args.size() < 2)
            return failWith(sub + " needs the farm folder");
        const std::string work = absolute(args[1]);
        if (sub == "status")
            return statusCommand(work);
        if (sub == "task")
            return taskCommand(work);
        if (sub == "join")
            return joinCommand(work);
        std::vector<std::string> sbatch;
        for (size_t i = 2; i < args.size(); ++i) {
            if (args[i] != "--sbatch" || i + 1 >= args.size())
                return failWith("resume takes --sbatch ARG only, not '" + args[i] + "'");
            sbatch.push_back(args[++i]);
        }
        return resumeCommand(work, sbatch);
    }
    const int code = parseFarmSubmit(args, submit);
    return code ? code : -1;
}

} // namespace vxh
