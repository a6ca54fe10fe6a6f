#include <windows.h>

#include <commctrl.h>

#include <cstring>
#include <string_view>

#include "framework/win32/DialogTemplateBuilder.h"
#include "resources/DialogTemplate.h"
#include "resources/ResourceIds.h"

namespace omblor::framework::win32 {

namespace {

using resources::ControlKind;
using resources::ControlTemplate;

// Appends WORDs, keeping to the alignment rules of the format.
class Writer {
  public:
    void Word(unsigned value) { words_.push_back(static_cast<WORD>(value)); }
    void Dword(DWORD value) {
        Word(value & 0xFFFF);
        Word(value >> 16);
    }
    void AlignDword() {
        if (words_.size() % 2 != 0) Word(0);
    }
    // The templates' texts are ASCII; UTF-16 is a widening.
    void Text(std::string_view text) {
        for (const char c : text) Word(static_cast<unsigned char>(c));
        Word(0);
    }
    void Ordinal(unsigned value) {
        Word(0xFFFF);
        Word(value);
    }
    std::vector<std::uint32_t> Finish() {
        AlignDword();
        std::vector<std::uint32_t> out(words_.size() / 2);
        std::memcpy(out.data(), words_.data(), words_.size() * sizeof(WORD));
        return out;
    }

  private:
    std::vector<WORD> words_;
};

constexpr unsigned kButtonAtom = 0x0080;
constexpr unsigned kEditAtom = 0x0081;
constexpr unsigned kStaticAtom = 0x0082;

DWORD ControlStyle(const ControlTemplate& c) {
    DWORD style = WS_CHILD | WS_VISIBLE;
    const unsigned s = c.style;
    if ((s & resources::kStyleTabStop) != 0) style |= WS_TABSTOP;
    if ((s & resources::kStyleBorder) != 0) style |= WS_BORDER;
    switch (c.kind) {
        case ControlKind::PushButton:
            return style | BS_PUSHBUTTON;
        case ControlKind::DefPushButton:
            return style | BS_DEFPUSHBUTTON;
        case ControlKind::CheckBox:
            return style | BS_AUTOCHECKBOX;
        case ControlKind::Edit:
            style |= ES_LEFT;
            if ((s & resources::kStyleNumber) != 0) style |= ES_NUMBER;
            if ((s & resources::kStyleAutoHScroll) != 0) style |= ES_AUTOHSCROLL;
            if ((s & resources::kStylePassword) != 0) style |= ES_PASSWORD;
            return style;
        case ControlKind::Static:
            return style | SS_LEFT;
        case ControlKind::Icon:
            return style | SS_ICON;
        case ControlKind::Tree:
            if ((s & resources::kStyleTreeButtons) != 0) style |= TVS_HASBUTTONS;
            if ((s & resources::kStyleTreeLines) != 0) style |= TVS_HASLINES;
            if ((s & resources::kStyleTreeLinesAtRoot) != 0) style |= TVS_LINESATROOT;
            if ((s & resources::kStyleTreeShowSelAlways) != 0) style |= TVS_SHOWSELALWAYS;
            return style;
        case ControlKind::Progress:
            return style;
    }
    return style;
}

void ControlClass(Writer& out, ControlKind kind) {
    switch (kind) {
        case ControlKind::PushButton:
        case ControlKind::DefPushButton:
        case ControlKind::CheckBox:
            out.Ordinal(kButtonAtom);
            return;
        case ControlKind::Edit:
            out.Ordinal(kEditAtom);
            return;
        case ControlKind::Static:
        case ControlKind::Icon:
            out.Ordinal(kStaticAtom);
            return;
        case ControlKind::Tree:
            out.Text(WC_TREEVIEWA);
            return;
        case ControlKind::Progress:
            out.Text(PROGRESS_CLASSA);
            return;
    }
}

}  // namespace

std::vector<std::uint32_t> BuildDialogTemplate(const resources::DialogTemplate& dialog) {
    Writer out;
    // Visible from the start: a dialog whose first handlers open a message box would otherwise stay
    // hidden until its loop first falls idle.
    DWORD style = WS_POPUP | WS_VISIBLE | DS_SETFONT | DS_CENTER;
    if ((dialog.style & resources::kDialogCaption) != 0) style |= WS_CAPTION;
    if ((dialog.style & resources::kDialogSysMenu) != 0) style |= WS_SYSMENU;
    if ((dialog.style & resources::kDialogModalFrame) != 0) style |= DS_MODALFRAME;
    const DWORD exStyle = (dialog.style & resources::kDialogAppWindow) != 0 ? WS_EX_APPWINDOW : 0;

    out.Dword(style);
    out.Dword(exStyle);
    out.Word(static_cast<unsigned>(dialog.controls.size()));
    out.Word(0);  // x
    out.Word(0);  // y
    out.Word(static_cast<unsigned>(dialog.cx));
    out.Word(static_cast<unsigned>(dialog.cy));
    out.Word(0);  // no menu
    out.Word(0);  // the dialog class
    out.Text(dialog.title);
    out.Word(static_cast<unsigned>(dialog.pointSize));
    out.Text(dialog.font);

    for (const ControlTemplate& c : dialog.controls) {
        out.AlignDword();
        out.Dword(ControlStyle(c));
        out.Dword(0);
        out.Word(static_cast<unsigned>(c.x));
        out.Word(static_cast<unsigned>(c.y));
        out.Word(static_cast<unsigned>(c.cx));
        out.Word(static_cast<unsigned>(c.cy));
        out.Word(static_cast<WORD>(c.id));  // labels: 0xFFFF, IDC_STATIC
        ControlClass(out, c.kind);
        if (c.kind == ControlKind::Icon) {
            out.Ordinal(resources::IDR_MAINFRAME);
        } else {
            out.Text(c.text);
        }
        out.Word(0);  // no creation data
    }
    return out.Finish();
}

}  // namespace omblor::framework::win32
