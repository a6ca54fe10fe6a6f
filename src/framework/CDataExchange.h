// Data exchange between a dialog's fields and its controls, in either direction. In the reading
// direction the first control that fails validation shows its message, takes the focus with its
// text selected, and stops the exchange: later fields keep their values.
#pragma once

#include <cstdint>
#include <string>

namespace omblor::framework {

class CDialog;
class CWndControl;

class CDataExchange {
  public:
    CDataExchange(CDialog* dialog, bool saveAndValidate)
        : m_pDlgWnd(dialog), m_bSaveAndValidate(saveAndValidate) {}

    CDialog* m_pDlgWnd = nullptr;
    bool m_bSaveAndValidate = false;

    [[nodiscard]] bool Failed() const { return failed_; }
    // Shows nothing itself: marks control `id` as the failing one and moves the focus to it.
    void Fail(int id);

  private:
    bool failed_ = false;
};

// Binds a control object to control `id` of the dialog (both directions).
void DDX_Control(CDataExchange* pDX, int id, CWndControl& control);
// Plain text.
void DDX_Text(CDataExchange* pDX, int id, std::string& value);
// An unsigned 8-bit number: the text must start (after blanks) with a decimal number of at most
// 255; anything after the number is ignored.
void DDX_Text(CDataExchange* pDX, int id, std::uint8_t& value);
// A check box: 0 or 1.
void DDX_Check(CDataExchange* pDX, int id, int& value);

// The number an 8-bit box holds, or -1 when it holds none in 0..255.
int ParseByteBox(const std::string& text);

}  // namespace omblor::framework
