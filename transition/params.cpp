// VorluxOp's gadget reactions and its parameter files: the 100-byte
// parameter block, loaded, saved and deleted through the host's requesters.
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "effect/context.h"
#include "fileio/atomicfile.h"
#include "operator/host/vxcore.h"
#include "operator/host/vxreq.h"
#include "operator/host/vxres.h"
#include "transition/transition.h"

namespace {

const char kParamDir[] = "/programs/vorlux/op/";
enum { PATH_BUFFER_SIZE = 256, NAME_BUFFER_SIZE = 1024 };

char pathBuffer[PATH_BUFFER_SIZE];
char nameBuffer[NAME_BUFFER_SIZE];

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
bool chooseFile(uint32_t mode, int title, const char *initialName)
{
    void *strings = resLoadStrings("vorlux_ops");
    memset(pathBuffer, 0, sizeof pathBuffer);
    memset(nameBuffer, 0, sizeof nameBuffer);
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
    if (!terminatedWithin(pathBuffer, sizeof pathBuffer) ||
        !terminatedWithin(nameBuffer, sizeof nameBuffer)) {
        LOG_FAILURE();
        return false;
    }
    if (!plainFileName(nameBuffer, pathBuffer)) {
        LOG_FAILURE();
        return false;
    }
    return true;
}

int16_t clampShort(int16_t v, int16_t lo, int16_t hi)
{
    return v < lo ? lo : v > hi ? hi : v;
}

void loadParamFile(void)
{
    char initial[LAST_FILE_NAME_SIZE];
    memcpy(initial, opParams.lastFileName, sizeof initial);
    initial[sizeof initial - 1] = '\0';
    if (!chooseFile(FILEREQ_LOAD, 224, initial))
        return;
    memcpy(opParams.lastFileName, nameBuffer, LAST_FILE_NAME_SIZE);
    opParams.lastFileName[LAST_FILE_NAME_SIZE - 1] = '\0';
    // A missing file is skipped silently; one that is not a regular file
    // (a FIFO would block) is logged.
    FILE *file = openRegularFile(pathBuffer);
    if (!file) {
        if (errno == EINVAL || errno == EISDIR)
            LOG_FAILURE();
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

void saveParamFile(void)
{
    if (!chooseFile(FILEREQ_SAVE, 225, nullptr))
        return;
    if (atomicWriteFile(pathBuffer, &opParams, sizeof opParams) != 0)
        LOG_FAILURE();
}

void deleteParamFile(void)
{
    if (chooseFile(FILEREQ_DELETE, 226, nullptr))
        remove(pathBuffer);
}

void archivesMenu(void)
{
    void *strings = resLoadStrings("vorlux_ops");
    ArchivesRequest request = {resGetString(strings, 223), 0};
    if (vreqArchivesRequest(&request) == 0) {
        switch (request.result) {
        case ARCHIVES_LOAD:
            loadParamFile();
            // Whatever the load did, the gadgets show type 0 and the block.
            typePopup.value = 0;
            opChangeGadget(0, 0, 0);
            opChangeGadget(1, opParams.deformAmount[0], 0);
            opChangeGadget(2, opParams.transitionLength, 0);
            break;
        case ARCHIVES_SAVE:
            saveParamFile();
            break;
        case ARCHIVES_DELETE:
            deleteParamFile();
            break;
        default:
            break;
        }
    }
    resFreeStrings(strings);
}

} // namespace

int transitionGadget(int gadget)
{
    const int type = typePopup.value;
    switch (gadget) {
    case 0: // another type: the amount slider shows its stored amount
        if (validTypeIndex(type))
            opChangeGadget(1, opParams.deformAmount[type], 0);
        break;
    case 1:
        if (validTypeIndex(type))
            opParams.deformAmount[type] = (int16_t)amountSlider.value;
        break;
    case 2:
        opParams.transitionLength = (int16_t)lengthSlider.value;
        break;
    case 3:
        archivesMenu();
        break;
    default:
        break;
    }
    return 0;
}
