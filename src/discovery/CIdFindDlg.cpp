#include "discovery/CIdFindDlg.h"

#include "framework/CDataExchange.h"
#include "framework/MessageBox.h"
#include "resources/Artwork.h"
#include "resources/Messages.h"
#include "resources/ResourceIds.h"

namespace omblor::discovery {

namespace res = resources;
using framework::HTREEITEM;

CIdFindDlg::CIdFindDlg(CDialog* parent, const FindSocketPorts& ports)
    : CDialog(res::IDD_IDFIND, parent), search_(*this, ports, &treeView_) {}

CIdFindDlg::~CIdFindDlg() = default;

framework::MessageMap CIdFindDlg::GetMessageMap() const {
    static constexpr auto kSearchAgain = &CIdFindDlg::OnSearchAgain;
    static const framework::MessageMapEntry kMap[] = {
        framework::OnCommandEntry<CIdFindDlg>(res::IDC_SEARCH_AGAIN, &kSearchAgain),
    };
    return kMap;
}

void CIdFindDlg::DoDataExchange(framework::CDataExchange* pDX) {
    framework::DDX_Control(pDX, res::IDC_DEVICE_TREE, tree_);
    framework::DDX_Control(pDX, res::IDC_SEARCH_AGAIN, searchAgain_);
}

bool CIdFindDlg::OnInitDialog() {
    CDialog::OnInitDialog();
    // The bind message, if any, comes first, while the dialog is still as the template made it.
    search_.Open();
    stateImages_.Create(res::IDB_STATEIMAGES, res::kStateImageWidth, 4, res::kStateImageMaskColour);
    tree_.SetImageList(stateImages_, framework::TVSIL_STATE);
    searchAgain_.EnableWindow(false);
    return true;
}

void CIdFindDlg::OnSearchAgain() {
    searchAgain_.EnableWindow(false);
    search_.SearchAgain();
}

void CIdFindDlg::OnBindFailed() {
    framework::AfxMessageBox(messages::kUnableToBind);
}

void CIdFindDlg::OnSearchEnded() {
    searchAgain_.EnableWindow(true);
}

void CIdFindDlg::OnOK() {
    const HTREEITEM selected = tree_.GetSelectedItem();
    if (selected == 0) {
        framework::AfxMessageBox(messages::kSelectADevice);
        return;
    }
    // The item data is the record the item shows; the list owns it until the dialog ends.
    const auto* device = reinterpret_cast<const DeviceRecord*>(tree_.GetItemData(selected));
    if (device == nullptr) return;
    resultAddress = UsableAddress(device->record, device->source).HostOrder();
    // Nothing more goes out once the window has gone, though the dialog outlives it (its caller
    // may still show a box).
    search_.Stop();
    EndDialog(framework::IDOK);
}

void CIdFindDlg::OnCancel() {
    search_.Stop();
    CDialog::OnCancel();
}

DeviceTreeView::Item CIdFindDlg::TreeView::InsertItem(std::string_view text, Item parent) {
    return tree_.InsertItem(text, parent == kNoItem ? framework::TVI_ROOT : parent,
                            framework::TVI_LAST);
}

void CIdFindDlg::TreeView::SetItemText(Item item, std::string_view text) {
    tree_.SetItemText(item, text);
}

void CIdFindDlg::TreeView::SetStateImage(Item item, int index) {
    tree_.SetItemState(item, framework::INDEXTOSTATEIMAGEMASK(static_cast<unsigned>(index)),
                       framework::TVIS_STATEIMAGEMASK);
}

void CIdFindDlg::TreeView::SetItemRecord(Item item, const DeviceRecord* record) {
    tree_.SetItemData(item, reinterpret_cast<std::uintptr_t>(record));
}

void CIdFindDlg::TreeView::SelectItem(Item item) {
    tree_.SelectItem(item);
}

void CIdFindDlg::TreeView::DeleteAllItems() {
    tree_.DeleteAllItems();
}

}  // namespace omblor::discovery
