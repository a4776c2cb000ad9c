#include "host/core/session.h"

#include <algorithm>
#include <utility>

namespace vxh {

namespace {

int stopped(const Session &s)
{
    return s.stopSignal ? (int)*s.stopSignal : 0;
}

// The code of a run ended by a failed read or write: the stop signal's when
// one came (it interrupts reads and writes), else 2.
int failedIoCode(const Session &s)
{
    return stopped(s) ? 128 + stopped(s) : 2;
}

void showJournal(Session &s)
{
    const std::vector<std::string> &journal = s.host->journal;
    if (s.journalSeen > journal.size())
        s.journalSeen = journal.size(); // the host cleared its journal
    for (; s.journalSeen < journal.size(); ++s.journalSeen)
        if (s.onJournal)
            s.onJournal(journal[s.journalSeen]);
}

// The host's field images: the planner's field of the session's frames, cut
// straight into the image handed to the operator.
HostImage *serveField(Session &s, int input, uint32_t field)
{
    if (input != 0 && input != 1)
        return nullptr;
    std::string why;
    const uint32_t *frame = s.frames ? s.frames(input, frameOfField(s.plan, field), why) : nullptr;
    if (!frame) {
        if (s.inputError.empty())
            s.inputError = why;
        ++s.inputFailures;
        return nullptr;
    }
    HostImage *image = newImage(*s.host, s.plan.fieldWidth, s.plan.fieldHeight, false);
    if (image)
        extractFieldInto(s.plan, frame, field,
                         image->pixels + (size_t)image->yOffset * image->stride + image->xOffset,
                         (size_t)image->stride);
    return image;
}

// The size of a rendered field: the plan's, or a message saying what came.
bool checkOutput(const Session &s, long field, std::string &err)
{
    const std::vector<Picture> &outputs = s.host->outputs;
    if (outputs.size() != 1) {
        err = "render of field " + std::to_string(field) + " failed (" + lastJournalLine(*s.host) +
              ")";
        return false;
    }
    const Picture &pic = outputs[0];
    if (pic.width != s.plan.fieldWidth || pic.height != s.plan.fieldHeight) {
        err = "render of field " + std::to_string(field) + " failed (it handed back a picture of " +
              std::to_string(pic.width) + "x" + std::to_string(pic.height) + ", not the field's " +
              std::to_string(s.plan.fieldWidth) + "x" + std::to_string(s.plan.fieldHeight) + ")";
        return false;
    }
    return true;
}

} // namespace

SessionBinding::SessionBinding(Session &session)
{
    Session *s = &session;
    if (!s->services.host)
        s->services = hostServices(*s->host); // no table given: the host's own entries
    s->services.host = s->host;
    s->host->fieldImage = [s](int input, uint32_t field) { return serveField(*s, input, field); };
    previous = vxBindThreadHostServices(&s->services);
}

SessionBinding::~SessionBinding()
{
    vxBindThreadHostServices(previous);
}

std::string lastJournalLine(const Host &host)
{
    return host.journal.empty() ? "no journal line" : host.journal.back();
}

int callAction(Session &s, uint16_t action, uint16_t gadget, uint32_t field, uint8_t flags)
{
    ActionRecord record = {action, gadget, {flags, 0, 0, 0}, s.fieldCount, field, s.instance};
    const int result = s.entry.act(s.entry.self, &record);
    showJournal(s);
    return result;
}

void installOperator(Session &s)
{
    if (!s.host->tags)
        s.host->tags = s.entry.describe(s.entry.self);
    callAction(s, ACTION_INSTALL);
}

void useGadgets(Session &s, const std::vector<GadgetUse> &uses)
{
    for (const GadgetUse &use : uses) {
        if (use.hasValue)
            setGadgetValue(findGadget(s.host->tags, use.index), use.value);
        callAction(s, ACTION_GADGET, (uint16_t)use.index);
    }
}

bool setUpOperator(Session &s, std::string &err)
{
    if (callAction(s, ACTION_SETUP) == 0)
        return true;
    err = "set-up failed (" + lastJournalLine(*s.host) + ")";
    tearDownOperator(s);
    return false;
}

int renderFields(Session &s, long begin, long end, uint8_t firstFlags, const FrameSink &deliver,
                 std::string &err)
{
    s.inputFailures = 0;
    s.inputError.clear();
    std::vector<Picture> &outputs = s.host->outputs;
    int code = 0;
    const long step = fieldStep(s.plan);
    for (long f = begin; f < end && code == 0; f += step) {
        if (stopped(s)) {
            code = 128 + stopped(s);
            break;
        }
        recycleOutputs(*s.host);
        const int result =
            callAction(s, ACTION_RENDER, 0, (uint32_t)f, f == begin ? firstFlags : 0);
        if (s.inputFailures) {
            err = s.inputError;
            code = failedIoCode(s);
        } else if (result != 0) {
            err = "render of field " + std::to_string(f) + " failed (" + lastJournalLine(*s.host) +
                  ")";
            code = 1;
        } else if (!checkOutput(s, f, err)) {
            code = 1;
        }
        if (code != 0)
            break;
        Picture &pic = outputs[0];
        const bool firstOfFrame = ((f - begin) & 1) == 0;
        bool ok = true;
        if (s.plan.progressive) {
            ok = deliver(pic.pixels, err);
        } else if (firstOfFrame && f + 1 < end) {
            std::swap(s.first, pic);
        } else {
            weaveFrame(s.plan, firstOfFrame ? pic : s.first, pic, s.woven);
            ok = deliver(s.woven, err);
        }
        if (!ok)
            code = failedIoCode(s);
        else if (s.onProgress)
            s.onProgress(std::min(f + step, end) - begin, end - begin);
    }
    recycleOutputs(*s.host);
    return code;
}

void tearDownOperator(Session &s)
{
    callAction(s, ACTION_TEARDOWN);
}

int runSession(Session &s, const std::vector<GadgetUse> &uses, long begin, long end,
               uint8_t firstFlags, const FrameSink &deliver, std::string &err)
{
    SessionBinding binding(s);
    installOperator(s);
    useGadgets(s, uses);
    if (!setUpOperator(s, err))
        return 1;
    const int code = renderFields(s, begin, end, firstFlags, deliver, err);
    tearDownOperator(s);
    return code;
}

} // namespace vxh
