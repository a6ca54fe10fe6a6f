#include "discovery/CIdFindDlg.h"

#include <variant>

#include "discovery/ReplyReader.h"
#include "discovery/SearchTiming.h"
#include "framework/CDataExchange.h"
#include "framework/MessageBox.h"
#include "resources/Artwork.h"
#include "resources/ResourceIds.h"
#include "resources/Messages.h"

namespace omblor::discovery {

namespace res = resources;
using framework::HTREEITEM;

CIdFindDlg::CIdFindDlg(CDialog* parent, const FindSocketPorts& ports)
    : CDialog(res::IDD_IDFIND, parent), ports_(ports) {}

CIdFindDlg::~CIdFindDlg() {
    socket_.reset();
    devices_.Clear();
}

framework::MessageMap CIdFindDlg::GetMessageMap() const {
    static constexpr auto kTimer = &CIdFindDlg::OnTimer;
    static constexpr auto kSearchAgain = &CIdFindDlg::OnSearchAgain;
    static const framework::MessageMapEntry kMap[] = {
        framework::OnTimerEntry<CIdFindDlg>(&kTimer),
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
    socket_ = std::make_unique<TarvikFindSocket>(*this, ports_);
    devices_.Clear();
    stateImages_.Create(res::IDB_STATEIMAGES, res::kStateImageWidth, 4, res::kStateImageMaskColour);
    tree_.SetImageList(stateImages_, framework::TVSIL_STATE);
    StartSearch();
    return true;
}

void CIdFindDlg::StartSearch() {
    timerId_ = SetTimer(1, kSearchTickMs);
    tickCount_ = 0;
    searchAgain_.EnableWindow(false);
    socket_->SendRequest();
}

void CIdFindDlg::OnTimer(std::uintptr_t /*id*/) {
    ++tickCount_;
    const auto entries = devices_.AcknowledgementEntries();
    socket_->SendAcknowledgement(entries);
    if (tickCount_ == kAcknowledgements) {
        searchAgain_.EnableWindow(true);
        KillTimer(timerId_);
        timerId_ = 0;
    }
}

void CIdFindDlg::OnSearchAgain() {
    tree_.DeleteAllItems();
    devices_.Clear();
    if (timerId_ != 0) KillTimer(timerId_);
    StartSearch();
}

void CIdFindDlg::ProcessReply(std::span<const std::uint8_t> datagram, Ipv4Address sender) {
    auto reading = ReadReply(datagram, sender);
    if (auto* reply = std::get_if<ParsedReply>(&reading)) devices_.AddReply(*reply);
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
    EndDialog(framework::IDOK);
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
