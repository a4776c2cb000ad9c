// Records and constants shared by the plug-ins and the host libraries.
// Every record is a plain C struct: fields in the documented order, natural
// alignment, pointer-sized words where a word holds a pointer, every other
// field at its documented width.
#ifndef VX_RECORDS_H
#define VX_RECORDS_H

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/* ---- images ---------------------------------------------------------- */

typedef struct HostImage {
    uint32_t *pixels; /* packed pixels, bytes Y, U, V, A */
    int16_t stride;   /* pixels from row to row */
    int16_t unused;
    int16_t xOffset;
    int16_t yOffset;
    int16_t width;
    int16_t height;
} HostImage;

/* ---- operator descriptor --------------------------------------------- */

#define OP_TAG_BASE 0x4F504500u
#define OP_TAG_CAPS (OP_TAG_BASE + 0)
#define OP_TAG_SINGLE_INPUT (OP_TAG_BASE + 1)
#define OP_TAG_ACTION (OP_TAG_BASE + 3)
#define OP_TAG_GADGET1 (OP_TAG_BASE + 4)
#define OP_TAG_GADGET2 (OP_TAG_BASE + 5)
#define OP_TAG_GADGET3 (OP_TAG_BASE + 6)
#define OP_TAG_GADGET4 (OP_TAG_BASE + 7)
#define OP_TAG_PARAMS (OP_TAG_BASE + 9)
#define OP_TAG_13 (OP_TAG_BASE + 13)
#define OP_TAG_IDENT (OP_TAG_BASE + 16)
#define OP_TAG_END 0u

typedef struct OpTagItem {
    uint32_t tag;
    uintptr_t value; /* an integer or a pointer, by tag */
} OpTagItem;

typedef struct ParamBlockDesc {
    void *block;
    uint32_t size;
    uint32_t reserved;
} ParamBlockDesc;

#define GADGET_POPUP 0
#define GADGET_SLIDER 2
#define GADGET_BUTTON 4

/* Common head of every gadget record; the words after it depend on kind. */
typedef struct GadgetDesc {
    int16_t kind;
    int16_t label; /* string id in "vorlux_ops" */
} GadgetDesc;

typedef struct GadgetPopup {
    GadgetDesc head; /* kind GADGET_POPUP */
    uint32_t word0;
    const uint32_t *entries; /* string ids, ended by 0 */
    int32_t value;           /* current entry index, written by the host */
} GadgetPopup;

typedef struct GadgetSlider {
    GadgetDesc head;   /* kind GADGET_SLIDER */
    uint32_t words[3]; /* the host's */
    int32_t minimum;
    int32_t maximum;
    int32_t value; /* current value, written by the host */
} GadgetSlider;

typedef struct GadgetButton {
    GadgetDesc head; /* kind GADGET_BUTTON */
    uint32_t word;   /* the host's */
} GadgetButton;

/* ---- actions --------------------------------------------------------- */

#define ACTION_SETUP 1
#define ACTION_TEARDOWN 2
#define ACTION_RENDER 3
#define ACTION_GADGET 4
#define ACTION_DELETE 6
#define ACTION_INSTALL 7

typedef struct ActionRecord {
    uint16_t action;
    uint16_t gadget;
    uint8_t flags[4]; /* bit 0 of flags[0]: prepare at the project size */
    uint32_t fieldCount;
    uint32_t field;
    uint32_t instance;
} ActionRecord;

typedef const OpTagItem *(*GetOperatorInfoFn)(void);
typedef int (*OperatorActionFn)(ActionRecord *);

/* ---- requesters ------------------------------------------------------ */

typedef struct TextRequest {
    uint32_t word0;
    const char *text;
    uint32_t word2, word3, word4;
    uint32_t kind; /* 1: one button, 67: two buttons */
    uint32_t word6;
    uint32_t result; /* 1 = first button */
} TextRequest;

#define FILEREQ_LOAD 1
#define FILEREQ_SAVE 2
#define FILEREQ_DELETE 3

typedef struct FileRequest {
    const char *title;
    const char *directory;
    const char *initialName; /* null unless loading */
    uint32_t mode;           /* FILEREQ_* */
    char *pathBuffer;        /* filled by the host */
    int16_t pathSize;        /* 256 */
    int16_t pathPad;
    char *nameBuffer; /* filled by the host */
    int16_t nameSize; /* 1024 */
    int16_t namePad;
    uint32_t result; /* 1 when the user chose a file */
} FileRequest;

#define ARCHIVES_LOAD 4
#define ARCHIVES_SAVE 5
#define ARCHIVES_DELETE 6

typedef struct ArchivesRequest {
    const char *title;
    uint32_t result; /* ARCHIVES_* */
} ArchivesRequest;

#ifdef __cplusplus
}
#endif

#endif
