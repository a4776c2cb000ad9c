// Host GUI library: screen and font metrics, panels, gadgets, drawing on the
// screen, the YUVA overlay conversion and the editor's message queue, plus
// the records the editor fills for the host (request, gadget extension,
// message, popup list, progress meter).
//
// Coordinates are screen pixels. Calls that take two points take inclusive
// corners; panels, gadgets, text boxes and pictures take a width and a
// height. Every drawing call clips to the screen. Colours are packed like
// pixels: bytes Y, U, V, A.
#ifndef VX_VXGUI_H
#define VX_VXGUI_H

#include "operator/host/records.h"

#ifdef __cplusplus
extern "C" {
#endif

/* ---- records --------------------------------------------------------- */

/* The full-screen request the editor opens (vreqCreateRequest). */
typedef struct RequestRecord {
    uint32_t handle; /* written by vreqCreateRequest */
    uint32_t word1;
    int16_t screenWidth;
    int16_t screenHeight;
    uint32_t messageQueue; /* from msgQCreate */
    uint32_t flags;        /* 0x21C0 */
    uint32_t words[4];
} RequestRecord;

/* One message of the request's queue (44 bytes). For mouse-button messages
   the low 16 bits of code are the button and bytes 14-15 are x. */
typedef struct EditorMessage {
    uint8_t head[8];
    uint16_t type; /* EDITOR_MSG_* */
    uint16_t pad;
    union {
        uint32_t code; /* gadget handle or key code */
        struct {
            uint16_t button; /* MOUSE_* */
            int16_t x;
        } mouse;
    } u;
    int16_t y;
    uint16_t pad2;
    int32_t value; /* gadget value */
    uint8_t tail[20];
} EditorMessage;

#define EDITOR_MSG_KEY 1
#define EDITOR_MSG_MOUSE_MOVE 2
#define EDITOR_MSG_MOUSE_BUTTON 3
#define EDITOR_MSG_GADGET 4
#define EDITOR_MSG_CLOSE 7

/* Button codes of mouse-button messages. */
#define MOUSE_LEFT_DOWN 1
#define MOUSE_RIGHT_DOWN 2
#define MOUSE_LEFT_UP 0x81
#define MOUSE_RIGHT_UP 0x82

/* Gadget extension (vgAllocGadExt); zero unless set. */
typedef struct GadgetExtension {
    uint32_t word0;
    uint32_t word1;
    const char *text; /* label of a check box */
    uint32_t word3;
    uint32_t word4;
    /* value formatter of a slider: writes the text shown for value */
    void (*formatter)(int32_t value, char *buffer, int32_t size);
    int16_t group; /* toggle buttons of one group: one is selected */
    int16_t pad;
    uint32_t word6;
    uint32_t word7;
} GadgetExtension;

/* Popup lists: a list header and nodes appended at its tail. */
typedef struct ListNode {
    struct ListNode *next;
    struct ListNode *prev;
    uint32_t word2;
    uint32_t kind;    /* 513 for a text entry */
    const char *text; /* entry text */
    uint32_t words[4];
} ListNode;

typedef struct ListHeader {
    ListNode *head;
    ListNode *tail;
} ListHeader;

/* Progress meter (vreqOpenMeter / vreqUpdateMeter / vreqCloseMeter). */
typedef struct MeterRecord {
    const char *title;
    uint32_t word1;
    uint32_t word2;
    int16_t half3;
    int16_t unwritten;
    uint32_t steps;
    uint32_t flags; /* 6 */
    uint32_t word6;
    uint32_t word7;
    uint32_t host[8]; /* the host's */
} MeterRecord;

/* ---- metrics and modes ----------------------------------------------- */

int vgGetScreenWidth(void);
int vgGetScreenHeight(void);
void vgGetVisibleArea(int16_t *left, int16_t *top, int16_t *right, int16_t *bottom);
int vgGetGuiMode(void);
int vgGetVideoMode(void);
int vgGetDefaultMonitor(void);
int vgGetFontHeightMonitor(int monitor);
int vgGetFontHeight(void);
int vgGetAddHeight(void);
void *vgGetGuiResource(int id, int a, int b);
void vgBusyPointer(void);
void vgStandardPointer(void);

/* ---- panels and gadgets ---------------------------------------------- */

int32_t vgCreatePanel(uint32_t request, int x, int y, int w, int h, uint32_t flags, int a, int b);
void vgRemovePanel(uint32_t request, int32_t panel);
GadgetExtension *vgAllocGadExt(void);
void vgFreeGadExt(GadgetExtension *extension);
int32_t vgAddImageButton(uint32_t request, int x, int y, int w, int h, void *image, uint32_t flags,
                         GadgetExtension *extension);
int32_t vgAddTextButton(uint32_t request, int x, int y, int w, int h, const char *text, int a,
                        int b);
int32_t vgAddPopup(uint32_t request, int x, int y, int w, int h, ListHeader *list, int32_t value,
                   int a, int b, int c);
int32_t vgAddCheckBox(uint32_t request, int x, int y, int w, int h, int32_t value, int a,
                      GadgetExtension *extension);
int32_t vgAddSlider(uint32_t request, int x, int y, int w, int h, int32_t minimum, int32_t maximum,
                    int32_t value, int a, const char *label, uint32_t flags,
                    GadgetExtension *extension);
/* attribute 40: value (redraw 1 redraws); attribute 57: shortcut key */
int vgChangeElement(uint32_t request, int32_t gadget, int attribute, int32_t value, int redraw);
void vgEnableElement(uint32_t request, int32_t gadget);
void vgDisableElement(uint32_t request, int32_t gadget);
/* Formatter of the frame slider: "frame (h:mm:ss:ff)". */
void vgSliderCallbackFramesTime(int32_t value, char *buffer, int32_t size);

/* ---- drawing --------------------------------------------------------- */

void vgDrawBackground(int x0, int y0, int x1, int y1);
void vgFillBackground(uint32_t request, int x0, int y0, int x1, int y1, int mode, int a);
uint32_t vgGetGuiColorYUV(int n);
uint32_t vgGetNewGuiColorYUV(int n);
void vgSetColorYUV(uint32_t request, uint32_t colour);
void vgSetPixel(uint32_t request, int x, int y);
void vgLine(uint32_t request, int x0, int y0, int x1, int y1);
void vgRectFill(uint32_t request, int x0, int y0, int x1, int y1);
void vgDrawBox(uint32_t request, int x0, int y0, int x1, int y1, int mode);
void vgBoxText(uint32_t request, const char *text, int x, int y, int w, int h, uint32_t flags);
void vgWriteResImage(uint32_t request, void *image, int x, int y);
/* Packed YUVA pixels (BT.601 studio range), bytesPerRow apart, onto the
   screen at (x, y). */
void vgmxYUVAtoOvl(const uint32_t *pixels, int a, int bytesPerRow, int x, int y, int w, int h);

/* ---- messages -------------------------------------------------------- */

/* Waits for the next message of the open request; timeout -1 waits
   forever. 0 when a message was filled, -1 when there is none to come. */
int vgMsgQReceive(EditorMessage *message, int timeout);

#ifdef __cplusplus
}
#endif

#endif
