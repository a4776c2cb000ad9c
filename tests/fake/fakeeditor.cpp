// A small editor plug-in for the host's own tests: it builds a panel with
// one gadget of each kind through the host GUI libraries, as an editor
// does, writes every message it receives to $VXHOME/messages.txt, previews
// on its Preview button and leaves on Done, on close or when the queue
// fails. Its render hands input 0's field back unchanged.
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "operator/host/vxcore.h"
#include "operator/host/vxcoreimg.h"
#include "operator/host/vxgui.h"
#include "operator/host/vxlist.h"
#include "operator/host/vxmsgq.h"
#include "operator/host/vxreq.h"
#include "operator/host/vxres.h"
#include "operator/host/export.h"

namespace {

uint8_t params[28];
ParamBlockDesc paramDesc = {params, sizeof params, 0};
GadgetButton editButton = {{GADGET_BUTTON, 200}, 0};

int editor(const ActionRecord *record)
{
    void *strings = resLoadStrings("vorlux_ops");
    void *images = resLoadImages("vorlux_ops");
    RequestRecord request{};
    request.screenWidth = static_cast<int16_t>(vgGetScreenWidth());
    request.screenHeight = static_cast<int16_t>(vgGetScreenHeight());
    request.messageQueue = msgQCreate(10, 44, 0);
    request.flags = 0x21C0;
    if (vreqCreateRequest(&request) != 0)
        return -1;
    const uint32_t r = request.handle;
    const int gh = vgGetFontHeightMonitor(vgGetDefaultMonitor()) + vgGetAddHeight() + 4;
    vgDrawBackground(0, 0, vgGetScreenWidth() - 1, vgGetScreenHeight() - 1);
    std::vector<int32_t> panels = {vgCreatePanel(r, 20, 40, 200, 220, 0x40, 0, 0),
                                   vgCreatePanel(r, 240, 40, 200, 160, 0x400, 0, 0)};
    vgSetColorYUV(r, vgGetNewGuiColorYUV(1001));
    vgBoxText(r, resGetString(strings, 502), 24, 40 - 19, 200, gh, 0x51);

    GadgetExtension *group = vgAllocGadExt(), *mirror = vgAllocGadExt(), *frames = vgAllocGadExt();
    group->group = 100;
    mirror->text = resGetString(strings, 400);
    frames->formatter = vgSliderCallbackFramesTime;
    for (int k = 0; k < 4; ++k)
        vgAddImageButton(r, 28 + 34 * k, 48, 32, gh, resGetImage(images, 200 + k),
                         0x20000 | (k == 1), group);
    ListHeader list;
    ListNode nodes[8] = {};
    listInitHeader(&list);
    for (int k = 0; k < 8; ++k) {
        nodes[k].kind = 513;
        nodes[k].text = resGetString(strings, 300 + k);
        listAppendNode(&list, &nodes[k]);
    }
    const int32_t popup = vgAddPopup(r, 28, 80, 168, gh, &list, 1, 0, 0, 0);
    const int32_t check = vgAddCheckBox(r, 164, 110, 32, gh, 0, 0, mirror);
    const int32_t frame =
        vgAddSlider(r, 28, 140, 168, gh, 0, static_cast<int32_t>(record->fieldCount / 2 - 1), 0, 0,
                    nullptr, 0x130000, frames);
    const int32_t level = vgAddSlider(r, 28, 170, 168, gh, 0, 255, 0, 0, resGetString(strings, 404),
                                      0x30000, nullptr);
    const int32_t preview = vgAddTextButton(r, 28, 200, 134, gh, resGetString(strings, 405), 0, 0);
    const int32_t done = vgAddImageButton(r, 164, 230, 32, gh,
                                          resGetImage(vgGetGuiResource(50, 0, 0), 50), 0, nullptr);
    vgChangeElement(r, popup, 57, 'm', 0);
    vgChangeElement(r, check, 57, 's', 0);
    vgChangeElement(r, frame, 57, 0x200074, 0);
    vgChangeElement(r, level, 57, 0x200066, 0);
    vgChangeElement(r, preview, 57, 0xE010, 0);
    vgChangeElement(r, done, 57, 0x100063, 0);

    // The first field of input 0 in the picture frame.
    if (HostImage *field = opGetField(0, 0)) {
        vgmxYUVAtoOvl(field->pixels + field->yOffset * field->stride + field->xOffset, 0,
                      field->stride * 4, 244, 44, field->width < 192 ? field->width : 192,
                      field->height < 152 ? field->height : 152);
        opFreeImage(field);
    }

    std::string path = std::string(getenv("VXHOME") ? getenv("VXHOME") : ".") + "/messages.txt";
    FILE *log = fopen(path.c_str(), "w");
    EditorMessage m;
    for (bool leave = false; !leave;) {
        if (vgMsgQReceive(&m, -1) != 0) {
            fprintf(log, "receive failed\n");
            break;
        }
        const bool mouse = m.type == EDITOR_MSG_MOUSE_BUTTON || m.type == EDITOR_MSG_MOUSE_MOVE;
        fprintf(log, "%d 0x%X %d %d %d\n", m.type, mouse ? m.u.mouse.button : m.u.code,
                mouse ? m.u.mouse.x : 0, m.y, m.value);
        if (m.type == EDITOR_MSG_GADGET && static_cast<int32_t>(m.u.code) == preview)
            fprintf(log, "preview %d\n", opPreview(0));
        if (m.type == EDITOR_MSG_GADGET && static_cast<int32_t>(m.u.code) == level) {
            TextRequest ask{0, resGetString(strings, 506), 0, 0, 0, 67, 0, 0};
            vreqTextRequest(&ask);
            fprintf(log, "asked %u\n", ask.result);
        }
        leave = m.type == EDITOR_MSG_CLOSE ||
                (m.type == EDITOR_MSG_GADGET && static_cast<int32_t>(m.u.code) == done);
    }
    fclose(log);
    for (int32_t p : panels)
        vgRemovePanel(r, p);
    vreqDeleteRequest(&request);
    vgFreeGadExt(group);
    vgFreeGadExt(mirror);
    vgFreeGadExt(frames);
    resFreeImages(images);
    resFreeStrings(strings);
    return 0;
}

int action(ActionRecord *record)
{
    switch (record->action) {
    case ACTION_GADGET:
        return record->gadget == 0 ? editor(record) : 0;
    case ACTION_RENDER: {
        HostImage *field = opGetField(0, record->field);
        return field ? opPutField(field) : -1;
    }
    default:
        return 0;
    }
}

OpTagItem tags[] = {{OP_TAG_ACTION, 0},
                    {OP_TAG_GADGET1, reinterpret_cast<uintptr_t>(&editButton)},
                    {OP_TAG_PARAMS, reinterpret_cast<uintptr_t>(&paramDesc)},
                    {OP_TAG_IDENT, reinterpret_cast<uintptr_t>("FakeEditor")},
                    {OP_TAG_END, 0}};

} // namespace

VX_EXPORT int OperatorAction(ActionRecord *record)
{
    return action(record);
}

VX_EXPORT const OpTagItem *GetOperatorInfo(void)
{
    tags[0].value = reinterpret_cast<uintptr_t>(&OperatorAction);
    return tags;
}
