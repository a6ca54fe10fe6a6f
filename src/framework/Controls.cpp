#include "framework/Controls.h"

#include <algorithm>

#include "framework/CDialog.h"

namespace omblor::framework {

void CWndControl::Attach(CDialog* dialog, int id) {
    dialog_ = dialog;
    id_ = id;
}

ControlState* CWndControl::State() const {
    if (dialog_ == nullptr || !dialog_->IsOpen()) return nullptr;
    return dialog_->FindControl(id_);
}

void CWndControl::Changed() const {
    if (dialog_ != nullptr) dialog_->NotifyChanged(id_);
}

void CWndControl::ItemChanged(HTREEITEM item) const {
    if (dialog_ != nullptr) dialog_->NotifyTreeItemChanged(id_, item);
}

void CWndControl::SetWindowText(std::string_view text) {
    if (ControlState* s = State()) {
        s->text = std::string(text);
        Changed();
    }
}

std::string CWndControl::GetWindowText() const {
    const ControlState* s = State();
    return s != nullptr ? s->text : std::string();
}

void CWndControl::EnableWindow(bool enable) {
    if (ControlState* s = State(); s != nullptr && s->enabled != enable) {
        s->enabled = enable;
        Changed();
    }
}

bool CWndControl::IsWindowEnabled() const {
    const ControlState* s = State();
    return s != nullptr && s->enabled;
}

void CWndControl::SetFocus() {
    if (State() != nullptr) dialog_->GotoDlgCtrl(id_);
}

void CEdit::SetSel(int /*start*/, int /*end*/) {
    if (State() != nullptr) {
        // Only "select all" is ever asked for.
        CWndControl::SetFocus();
    }
}

int CButton::GetCheck() const {
    const ControlState* s = State();
    return s != nullptr ? s->checked : 0;
}

void CButton::SetCheck(int check) {
    if (ControlState* s = State()) {
        s->checked = check != 0 ? 1 : 0;
        Changed();
    }
}

void CProgressCtrl::SetRange(int low, int high) {
    if (ControlState* s = State()) {
        s->rangeLow = low;
        s->rangeHigh = high;
        s->position = std::clamp(s->position, low, std::max(low, high));
        Changed();
    }
}

int CProgressCtrl::SetPos(int position) {
    ControlState* s = State();
    if (s == nullptr) return 0;
    const int previous = s->position;
    s->position = std::clamp(position, s->rangeLow, std::max(s->rangeLow, s->rangeHigh));
    if (s->position != previous) Changed();
    return previous;
}

int CProgressCtrl::GetPos() const {
    const ControlState* s = State();
    return s != nullptr ? s->position : 0;
}

bool CImageList::Create(int bitmapId, int imageWidth, int /*grow*/, std::uint32_t maskColour) {
    bitmapId_ = bitmapId;
    imageWidth_ = imageWidth;
    maskColour_ = maskColour;
    return bitmapId != 0 && imageWidth > 0;
}

TreeItemState* CTreeCtrl::Item(HTREEITEM item) const {
    ControlState* s = State();
    return s != nullptr ? s->FindItem(item) : nullptr;
}

HTREEITEM CTreeCtrl::InsertItem(std::string_view text, HTREEITEM parent, HTREEITEM /*after*/) {
    ControlState* s = State();
    if (s == nullptr) return 0;
    if (parent == TVI_ROOT) parent = 0;
    if (parent != 0 && Item(parent) == nullptr) return 0;
    TreeItemState item;
    item.handle = s->nextItem++;
    item.parent = parent;
    item.text = std::string(text);
    s->items.push_back(std::move(item));
    ItemChanged(s->items.back().handle);
    return s->items.back().handle;
}

bool CTreeCtrl::SetItemText(HTREEITEM item, std::string_view text) {
    TreeItemState* i = Item(item);
    if (i == nullptr) return false;
    i->text = std::string(text);
    ItemChanged(item);
    return true;
}

std::string CTreeCtrl::GetItemText(HTREEITEM item) const {
    const TreeItemState* i = Item(item);
    return i != nullptr ? i->text : std::string();
}

bool CTreeCtrl::SetItemState(HTREEITEM item, unsigned state, unsigned mask) {
    TreeItemState* i = Item(item);
    if (i == nullptr) return false;
    i->state = (i->state & ~mask) | (state & mask);
    ItemChanged(item);
    return true;
}

unsigned CTreeCtrl::GetItemState(HTREEITEM item, unsigned mask) const {
    const TreeItemState* i = Item(item);
    return i != nullptr ? (i->state & mask) : 0;
}

bool CTreeCtrl::SetItemData(HTREEITEM item, std::uintptr_t data) {
    TreeItemState* i = Item(item);
    if (i == nullptr) return false;
    i->data = data;
    return true;
}

std::uintptr_t CTreeCtrl::GetItemData(HTREEITEM item) const {
    const TreeItemState* i = Item(item);
    return i != nullptr ? i->data : 0;
}

bool CTreeCtrl::SelectItem(HTREEITEM item) {
    ControlState* s = State();
    if (s == nullptr || (item != 0 && Item(item) == nullptr)) return false;
    s->selected = item;
    Changed();
    return true;
}

HTREEITEM CTreeCtrl::GetSelectedItem() const {
    const ControlState* s = State();
    return s != nullptr ? s->selected : 0;
}

HTREEITEM CTreeCtrl::FirstWithParent(HTREEITEM parent, std::size_t from) const {
    const ControlState* s = State();
    if (s == nullptr) return 0;
    for (std::size_t k = from; k < s->items.size(); ++k) {
        if (s->items[k].parent == parent) return s->items[k].handle;
    }
    return 0;
}

HTREEITEM CTreeCtrl::GetRootItem() const {
    return FirstWithParent(0, 0);
}

HTREEITEM CTreeCtrl::GetChildItem(HTREEITEM item) const {
    return Item(item) != nullptr ? FirstWithParent(item, 0) : 0;
}

HTREEITEM CTreeCtrl::GetNextSiblingItem(HTREEITEM item) const {
    const ControlState* s = State();
    const TreeItemState* i = Item(item);
    if (s == nullptr || i == nullptr) return 0;
    const auto index = static_cast<std::size_t>(i - s->items.data());
    return FirstWithParent(i->parent, index + 1);
}

bool CTreeCtrl::DeleteAllItems() {
    ControlState* s = State();
    if (s == nullptr) return false;
    s->items.clear();
    s->selected = 0;
    Changed();
    return true;
}

void CTreeCtrl::SetImageList(const CImageList& images, unsigned which) {
    if (ControlState* s = State(); s != nullptr && which == TVSIL_STATE) {
        s->stateImageList = images.BitmapId();
        Changed();
    }
}

}  // namespace omblor::framework
