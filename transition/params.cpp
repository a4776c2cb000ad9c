// VorluxOp's gadget reactions and its parameter files: the 100-byte
// parameter block, loaded, saved and deleted through the host's requesters.
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "fileio/atomicfile.h"
#include "operator/host/vxcore.h"
#include "operator/host/vxreq.h"
#include "operator/host/vxres.h"
#include "transition/instance.h"

namespace {

const char kParamDir[] = "/programs/vorlux/op/";

bool validTypeIndex(int index)
{
    return index >= 0 && index < DEFORM_TYPES;
}

bool terminatedWithin(const char *buffer, size_t size)
{
    return memchr(buffer, '\0', size) != nullptr;
}

// A parameter file is named, not addressed: no separator and no "..", in the
// name or the path, so nothing outside the parameter directory is touched.
bool plainFileName(const char *name, const char *path)
{
    return name[0] != '\0' && !strchr(name, '/') && !strchr(name, '\\') && !strstr(name, "..") &&
           !strstr(path, "/..") && !strstr(path, "../");
}

// Shows the file requester in `mode`; true when the user chose a file and
// the host's answer is usable (both buffers terminated inside their size).
bool chooseFile(TransitionInstance &instance, uint32_t mode, int title, const char *initialName)
{
    char *pathBuffer = instance.pathBuffer;
    char *nameBuffer = instance.nameBuffer;
    const VariantDesc *variant = instance.ctx.variant;
    void *strings = resLoadStrings("vorlux_ops");
    memset(pathBuffer, 0, PATH_BUFFER_SIZE);
    memset(nameBuffer, 0, NAME_BUFFER_SIZE);
    FileRequest request = {};
    request.title = resGetString(strings, title);
    request.directory = kParamDir;
    request.initialName = initialName;
    request.mode = mode;
    request.pathBuffer = pathBuffer;
    request.pathSize = PATH_BUFFER_SIZE;
    request.nameBuffer = nameBuffer;
    request.nameSize = NAME_BUFFER_SIZE;
    request.result = 0;
    const int shown = vreqFileRequest(&request);
    resFreeStrings(strings);
    if (shown != 0 || request.result != 1)
        return false;
    if (!terminatedWithin(pathBuffer, PATH_BUFFER_SIZE) ||
        !terminatedWithin(nameBuffer, NAME_BUFFER_SIZE)) {
        LOG_FAILURE(variant); // journal: the file requester returned an overlong name
        return false;
    }
    if (!plainFileName(nameBuffer, pathBuffer)) {
        LOG_FAILURE(variant); // journal: the parameter file name is not a plain name
        return false;
    }
    return true;
}

int16_t clampShort(int16_t v, int16_t lo, int16_t hi)
{
    return v < lo ? lo : v > hi ? hi : v;
}

void loadParamFile(TransitionInstance &instance)
{
    OpParamBlock &opParams = instance.params;
    const VariantDesc *variant = instance.ctx.variant;
    char initial[LAST_FILE_NAME_SIZE];
    memcpy(initial, opParams.lastFileName, sizeof initial);
    initial[sizeof initial - 1] = '\0';
    if (!chooseFile(instance, FILEREQ_LOAD, 224, initial))
        return;
    memcpy(opParams.lastFileName, instance.nameBuffer, LAST_FILE_NAME_SIZE);
    opParams.lastFileName[LAST_FILE_NAME_SIZE - 1] = '\0';
    // A missing file is skipped silently; one that is not a regular file
    // (a FIFO would block) is logged.
    FILE *file = openRegularFile(instance.pathBuffer);
    if (!file) {
        if (errno == EINVAL || errno == EISDIR)
            LOG_FAILURE(variant); // journal: the parameter file is not a regular file
        return;
    }
    // A short file overwrites only what it holds; a long one only the block.
    fread(&opParams, 1, sizeof opParams, file);
    fclose(file);
    opParams.lastFileName[LAST_FILE_NAME_SIZE - 1] = '\0';
    for (int16_t &amount : opParams.deformAmount)
        amount = clampShort(amount, -100, 100);
    opParams.transitionLength = clampShort(opParams.transitionLength, 0, 300);
}

void saveParamFile(TransitionInstance &instance)
{
    const VariantDesc *variant = instance.ctx.variant;
    if (!chooseFile(instance, FILEREQ_SAVE, 225, nullptr))
        return;
    if (atomicWriteFile(instance.pathBuffer, &instance.params, sizeof instance.params) != 0)
        LOG_FAILURE(variant); // journal: saving the parameter file failed
}

void deleteParamFile(TransitionInstance &instance)
{
    if (chooseFile(instance, FILEREQ_DELETE, 226, nullptr))
        remove(instance.pathBuffer);
}

void archivesMenu(TransitionInstance &instance)
{
    void *strings = resLoadStrings("vorlux_ops");
    ArchivesRequest request = {resGetString(strings, 223), 0};
    if (vreqArchivesRequest(&request) == 0) {
        switch (request.result) {
        case ARCHIVES_LOAD:
            loadParamFile(instance);
            // Whatever the load did, the gadgets show type 0 and the block.
            instance.typePopup.value = 0;
            opChangeGadget(0, 0, 0);
            opChangeGadget(1, instance.params.deformAmount[0], 0);
            opChangeGadget(2, instance.params.transitionLength, 0);
            break;
        case ARCHIVES_SAVE:
            saveParamFile(instance);
            break;
        case ARCHIVES_DELETE:
            deleteParamFile(instance);
            break;
        default:
            break;
        }
    }
    resFreeStrings(strings);
}

} // namespace

int transitionGadget(TransitionInstance &instance, int gadget)
{
    OpParamBlock &opParams = instance.params;
    const int type = instance.typePopup.value;
    switch (gadget) {
    case 0: // another type: the amount slider shows its stored amount
        if (validTypeIndex(type))
            opChangeGadget(1, opParams.deformAmount[type], 0);
        break;
    case 1:
        if (validTypeIndex(type))
            opParams.deformAmount[type] = (int16_t)instance.amountSlider.value;
        break;
    case 2:
        opParams.transitionLength = (int16_t)instance.lengthSlider.value;
        break;
    case 3:
        archivesMenu(instance);
        break;
    default:
        break;
    }
    return 0;
}
