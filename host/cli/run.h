// What `vxhost render` and `vxhost edit` share: warnings, interruption,
// and the first steps of a run (the inputs opened for random access, the
// clip planned into fields).
#ifndef VXH_RUN_H
#define VXH_RUN_H

#include <csignal>
#include <string>

#include "host/cli/options.h"
#include "host/core/fields.h"
#include "host/core/stopflag.h"
#include "host/io/input.h"

namespace vxh {

// Warnings of a run: said on stderr and counted; under --strict they are
// errors.
struct Warnings {
    bool strict = false;
    int count = 0;
    void say(const std::string &text);
};

// What failed, in words, for a journal line of one of our operators (its
// source name and line lead to the logging site and its reason, with the
// site's file and line); empty for a line of another source.
std::string journalReason(const std::string &line);
// Shows a journal line of the run on stderr, then what failed (afterBar: a
// progress bar is on the line).
void echoJournal(const std::string &line, bool afterBar);

// The signal that interrupts the run (SIGINT, SIGTERM, SIGHUP), 0 while
// none came.
extern StopFlag interruptSignal;
// SIGINT, SIGTERM and SIGHUP end the run at the next field, or at once when a read
// or write is waiting (no SA_RESTART), so temporaries are removed on the
// normal failure path. A closed output pipe is a write error, not a kill.
void catchInterrupts();
// The exit code of a run ended by a failed read or write: 128 + the signal
// when one interrupted it, else 2.
int failedIoCode();

// Says "vxhost: message" on stderr; returns code (2: a refused command).
int fail(const std::string &message, int code = 2);

// The progress bar of a run on stderr: done of total fields.
void showProgress(bool show, long done, long total);

// An input as messages name it: "sample clip N", "standard input", or the
// name given.
std::string shown(const std::string &input, int which);

// The input name that asks for the built-in sample clip explicitly (a file
// of that name is given as ./sample).
inline constexpr char kSampleClip[] = "sample";
// Whether an input names the sample clip: left out or given as kSampleClip.
bool isSampleClip(const std::string &input);
// A plug-in of two inputs given --input0 alone: 2 after saying how to give
// the second clip; 0 otherwise.
int requireSecondInput(const RenderOptions &o, const OpTagItem *tags);

// The two inputs, opened once and read a frame at a time.
struct ClipInputs {
    InputClip in0, in1;
};
// Opens --input0 and --input1 (or the sample clips, the second as long as
// the first) and checks that they fit together; 0, or the exit code after
// saying why.
int openInputs(const RenderOptions &o, ClipInputs &in, Warnings &warn);

// The fields of the run: how frames split, how many the clip has, and the
// output fields rendered.
struct ClipFields {
    FieldPlan plan;
    long fields = 0;
    long begin = 0, end = 0;
};
// Plans the fields (whole frames with Scan::Progressive; else the order
// from the options or input 0's interlacing), the length (--fields, else
// two fields a frame of input 0; a still is a second) and the range; 0, or
// the exit code after saying why.
int planClip(const RenderOptions &o, ClipInputs &in, ClipFields &cf);

} // namespace vxh

#endif
