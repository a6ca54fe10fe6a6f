#include "framework/CDataExchange.h"

#include <cctype>

#include "framework/CDialog.h"
#include "framework/Controls.h"
#include "framework/MessageBox.h"
#include "resources/Messages.h"

namespace omblor::framework {

namespace {

ControlState* Control(CDataExchange* pDX, int id) {
    if (pDX->Failed()) return nullptr;
    return pDX->m_pDlgWnd->FindControl(id);
}
}  // namespace

void CDataExchange::Fail(int id) {
    failed_ = true;
    m_pDlgWnd->GotoDlgCtrl(id);
    m_pDlgWnd->SelectAllText(id);
}

int ParseByteBox(const std::string& text) {
    std::size_t i = 0;
    while (i < text.size() && std::isspace(static_cast<unsigned char>(text[i])) != 0) ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
    if (i >= text.size() || std::isdigit(static_cast<unsigned char>(text[i])) == 0) return -1;
    unsigned long value = 0;
    for (; i < text.size() && std::isdigit(static_cast<unsigned char>(text[i])) != 0; ++i) {
        value = value * 10 + static_cast<unsigned long>(text[i] - '0');
        if (value > 255) return -1;
    }
    // "-0" is still 0; any other negative number wraps far above 255.
    if (negative && value != 0) return -1;
    return static_cast<int>(value);
}

void DDX_Control(CDataExchange* pDX, int id, CWndControl& control) {
    if (pDX->Failed()) return;
    control.Attach(pDX->m_pDlgWnd, id);
}

void DDX_Text(CDataExchange* pDX, int id, std::string& value) {
    ControlState* control = Control(pDX, id);
    if (control == nullptr) return;
    if (pDX->m_bSaveAndValidate) {
        value = control->text;
    } else {
        SecureWipe(control->text);
        control->text = value;
        pDX->m_pDlgWnd->NotifyChanged(id);
    }
}

void DDX_Text(CDataExchange* pDX, int id, std::uint8_t& value) {
    ControlState* control = Control(pDX, id);
    if (control == nullptr) return;
    if (!pDX->m_bSaveAndValidate) {
        control->text = std::to_string(value);
        pDX->m_pDlgWnd->NotifyChanged(id);
        return;
    }
    const int parsed = ParseByteBox(control->text);
    if (parsed < 0) {
        AfxMessageBox(messages::kByteRange);
        pDX->Fail(id);
        return;
    }
    value = static_cast<std::uint8_t>(parsed);
}

void DDX_Check(CDataExchange* pDX, int id, int& value) {
    ControlState* control = Control(pDX, id);
    if (control == nullptr) return;
    if (pDX->m_bSaveAndValidate) {
        value = control->checked;
    } else {
        control->checked = value != 0 ? 1 : 0;
        pDX->m_pDlgWnd->NotifyChanged(id);
    }
}

}  // namespace omblor::framework
