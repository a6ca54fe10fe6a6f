// The discovery dialog: broadcasts a search as it opens (a request, then three acknowledgements
// 1.5 s apart), lists the modules that answer in a tree, and on OK hands back the selected
// entry's usable address. Replies are taken for as long as the dialog is open.
#pragma once

#include <cstdint>
#include <memory>
#include <span>

#include "discovery/DeviceList.h"
#include "discovery/DeviceTreeView.h"
#include "discovery/TarvikFindSocket.h"
#include "framework/CDialog.h"
#include "framework/Controls.h"

namespace omblor::discovery {

class CIdFindDlg final : public framework::CDialog, public FindSocketOwner {
  public:
    explicit CIdFindDlg(CDialog* parent, const FindSocketPorts& ports = {});
    ~CIdFindDlg() override;

    std::uint32_t resultAddress = 0;

    void ProcessReply(std::span<const std::uint8_t> datagram, Ipv4Address sender) override;
    void OnTimer(std::uintptr_t id);
    void OnSearchAgain();

    [[nodiscard]] const DeviceList& Devices() const { return devices_; }

  protected:
    void DoDataExchange(framework::CDataExchange* pDX) override;
    bool OnInitDialog() override;
    void OnOK() override;
    [[nodiscard]] framework::MessageMap GetMessageMap() const override;

  private:
    // The device list's view of the tree control.
    class TreeView final : public DeviceTreeView {
      public:
        explicit TreeView(framework::CTreeCtrl& tree) : tree_(tree) {}
        Item InsertItem(std::string_view text, Item parent) override;
        void SetItemText(Item item, std::string_view text) override;
        void SetStateImage(Item item, int index) override;
        void SetItemRecord(Item item, const DeviceRecord* record) override;
        void SelectItem(Item item) override;
        void DeleteAllItems() override;

      private:
        framework::CTreeCtrl& tree_;
    };

    void StartSearch();

    FindSocketPorts ports_;
    std::unique_ptr<TarvikFindSocket> socket_;
    framework::CImageList stateImages_;
    framework::CTreeCtrl tree_;
    framework::CButton searchAgain_;
    TreeView treeView_{tree_};
    DeviceList devices_{treeView_};
    std::uintptr_t timerId_ = 0;
    int tickCount_ = 0;
};

}  // namespace omblor::discovery
