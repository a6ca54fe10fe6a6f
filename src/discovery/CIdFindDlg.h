// The discovery dialog, a view over DiscoverySearch: the search starts as it opens and again on
// Search Again; the dialog shows the modules that answer in its tree, the bind message in a box,
// and on OK hands back the selected entry's usable address.
#pragma once

#include <cstdint>
#include <memory>

#include "discovery/DeviceList.h"
#include "discovery/DeviceTreeView.h"
#include "discovery/DiscoverySearch.h"
#include "discovery/TarvikFindSocket.h"
#include "framework/CDialog.h"
#include "framework/Controls.h"

namespace omblor::discovery {

class CIdFindDlg final : public framework::CDialog, private DiscoverySearchOwner {
  public:
    explicit CIdFindDlg(CDialog* parent, const FindSocketPorts& ports = {});
    ~CIdFindDlg() override;

    std::uint32_t resultAddress = 0;

    void OnSearchAgain();

    [[nodiscard]] const DeviceList& Devices() const { return search_.Devices(); }

  protected:
    void DoDataExchange(framework::CDataExchange* pDX) override;
    bool OnInitDialog() override;
    void OnOK() override;
    void OnCancel() override;
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

    void OnBindFailed() override;
    void OnSearchEnded() override;

    framework::CImageList stateImages_;
    framework::CTreeCtrl tree_;
    framework::CButton searchAgain_;
    TreeView treeView_{tree_};
    DiscoverySearch search_;
};

}  // namespace omblor::discovery
