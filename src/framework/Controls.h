// Control objects: thin handles that a dialog binds to one of its controls (DDX_Control) and
// through which it changes that control while the window is open. They own nothing; when the
// window is not open every call does nothing and returns the empty value.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "framework/ControlState.h"
#include "framework/WinTypes.h"

namespace omblor::framework {

class CDialog;

class CWndControl {
  public:
    CWndControl() = default;
    CWndControl(const CWndControl&) = delete;
    CWndControl& operator=(const CWndControl&) = delete;
    virtual ~CWndControl() = default;

    void Attach(CDialog* dialog, int id);
    [[nodiscard]] int GetDlgCtrlID() const { return id_; }

    void SetWindowText(std::string_view text);
    [[nodiscard]] std::string GetWindowText() const;
    void EnableWindow(bool enable);
    [[nodiscard]] bool IsWindowEnabled() const;
    void SetFocus();

  protected:
    [[nodiscard]] ControlState* State() const;
    void Changed() const;
    void ItemChanged(HTREEITEM item) const;

  private:
    CDialog* dialog_ = nullptr;
    int id_ = 0;
};

class CEdit : public CWndControl {
  public:
    // Selects all text when start is 0 and end is -1, the only selection the program makes.
    void SetSel(int start, int end);
};

class CButton : public CWndControl {
  public:
    [[nodiscard]] int GetCheck() const;
    void SetCheck(int check);
};

class CProgressCtrl : public CWndControl {
  public:
    void SetRange(int low, int high);
    // Positions outside the range show as the nearest end, as the native control does.
    int SetPos(int position);
    [[nodiscard]] int GetPos() const;
};

// A strip of equal-sized images taken from a bitmap resource; the hosts draw from the resource.
class CImageList {
  public:
    bool Create(int bitmapId, int imageWidth, int grow, std::uint32_t maskColour);
    [[nodiscard]] int BitmapId() const { return bitmapId_; }
    [[nodiscard]] int ImageWidth() const { return imageWidth_; }
    [[nodiscard]] std::uint32_t MaskColour() const { return maskColour_; }

  private:
    int bitmapId_ = 0;
    int imageWidth_ = 0;
    std::uint32_t maskColour_ = 0;
};

class CTreeCtrl : public CWndControl {
  public:
    // Items are always added after the last child of `parent` (TVI_ROOT for the top level).
    HTREEITEM InsertItem(std::string_view text, HTREEITEM parent = TVI_ROOT,
                         HTREEITEM after = TVI_LAST);
    bool SetItemText(HTREEITEM item, std::string_view text);
    [[nodiscard]] std::string GetItemText(HTREEITEM item) const;
    bool SetItemState(HTREEITEM item, unsigned state, unsigned mask);
    [[nodiscard]] unsigned GetItemState(HTREEITEM item, unsigned mask) const;
    bool SetItemData(HTREEITEM item, std::uintptr_t data);
    [[nodiscard]] std::uintptr_t GetItemData(HTREEITEM item) const;
    bool SelectItem(HTREEITEM item);
    [[nodiscard]] HTREEITEM GetSelectedItem() const;
    [[nodiscard]] HTREEITEM GetRootItem() const;
    [[nodiscard]] HTREEITEM GetChildItem(HTREEITEM item) const;
    [[nodiscard]] HTREEITEM GetNextSiblingItem(HTREEITEM item) const;
    bool DeleteAllItems();
    void SetImageList(const CImageList& images, unsigned which);

  private:
    [[nodiscard]] TreeItemState* Item(HTREEITEM item) const;
    [[nodiscard]] HTREEITEM FirstWithParent(HTREEITEM parent, std::size_t from) const;
};

}  // namespace omblor::framework
