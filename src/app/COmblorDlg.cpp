#include "app/COmblorDlg.h"

#include "app/CAboutDlg.h"
#include "app/CommandLine.h"
#include "app/Settings.h"
#include "discovery/CIdFindDlg.h"
#include "framework/CDataExchange.h"
#include "framework/CFileDialog.h"
#include "framework/MessageBox.h"
#include "resources/Messages.h"
#include "resources/ResourceIds.h"
#include "resources/Strings.h"
#include "update/CUpdateDlg.h"

namespace omblor::app {

using framework::AfxMessageBox;
using framework::IDCANCEL;
using framework::IDOK;
namespace res = resources;

COmblorDlg::COmblorDlg(std::string_view commandLine, CDialog* parent)
    : CDialog(res::IDD_OMBLOR_DIALOG, parent), icon(res::IDR_MAINFRAME) {
    std::uint32_t address = LoadIpAddrSetting();
    if (!commandLine.empty()) {
        const CommandLineOptions options = ScanCommandLine(commandLine);
        if (options.autoMode) autoMode = 1;
        if (options.reboot) rebootWhenComplete = 1;
        if (options.fileName) fileName = *options.fileName;
        if (options.address) address = *options.address;
    }
    if (address != 0) SetAddress(address);
}

std::uint32_t COmblorDlg::Address() const {
    return static_cast<std::uint32_t>(addressBytes[0]) << 24 |
           static_cast<std::uint32_t>(addressBytes[1]) << 16 |
           static_cast<std::uint32_t>(addressBytes[2]) << 8 | addressBytes[3];
}

void COmblorDlg::SetAddress(std::uint32_t address) {
    for (int i = 0; i < 4; ++i) {
        addressBytes[static_cast<std::size_t>(i)] =
            static_cast<std::uint8_t>(address >> (24 - 8 * i));
    }
}

framework::MessageMap COmblorDlg::GetMessageMap() const {
    static constexpr auto kFind = &COmblorDlg::OnFind;
    static constexpr auto kBrowse = &COmblorDlg::OnBrowse;
    static constexpr auto kUpdate = &COmblorDlg::OnUpdate;
    static constexpr auto kSysCommand = &COmblorDlg::OnSysCommand;
    static const framework::MessageMapEntry kMap[] = {
        framework::OnSysCommandEntry<COmblorDlg>(&kSysCommand),
        framework::OnCommandEntry<COmblorDlg>(res::IDC_FIND, &kFind),
        framework::OnCommandEntry<COmblorDlg>(res::IDC_BROWSE, &kBrowse),
        framework::OnCommandEntry<COmblorDlg>(IDOK, &kUpdate),
    };
    return kMap;
}

void COmblorDlg::DoDataExchange(framework::CDataExchange* pDX) {
    framework::DDX_Control(pDX, res::IDC_FILENAME, fileNameEdit);
    for (int i = 0; i < 4; ++i) {
        framework::DDX_Text(pDX, res::IDC_IPADDR0 + i, addressBytes[static_cast<std::size_t>(i)]);
    }
    framework::DDX_Text(pDX, res::IDC_FILENAME, fileName);
    framework::DDX_Check(pDX, res::IDC_REBOOT, rebootWhenComplete);
}

bool COmblorDlg::OnInitDialog() {
    CDialog::OnInitDialog();
    if ((Template()->style & res::kDialogSysMenu) != 0) {
        const std::string_view about = res::LoadStringResource(res::IDS_ABOUTBOX);
        if (!about.empty()) AppendSystemMenuItem(res::IDM_ABOUTBOX, about);
    }
    SetIcon(icon);
    if (autoMode != 0) OnUpdate();
    return true;
}

void COmblorDlg::OnSysCommand(unsigned id, std::intptr_t lParam) {
    if ((id & 0xFFF0U) == static_cast<unsigned>(res::IDM_ABOUTBOX)) {
        CAboutDlg about;
        about.DoModal();
    } else {
        DefaultSysCommand(id, lParam);
    }
}

void COmblorDlg::OnBrowse() {
    framework::CFileDialog chooser(true, "", "", framework::OFN_HIDEREADONLY,
                                   "Application Files *_APP.s19|*_APP.s19||");
    const std::string stored = LoadFileDirSetting();
    if (!stored.empty()) chooser.SetInitialLocation(stored);
    if (chooser.DoModal() != IDOK) return;
    UseChosenFile(chooser.GetPathName());
}

void COmblorDlg::OnDropFile(std::string_view path) {
    UseChosenFile(std::string(path));
}

void COmblorDlg::UseChosenFile(const std::string& path) {
    fileNameEdit.SetWindowText(path);
    SaveFileDirSetting(path);
}

void COmblorDlg::OnFind() {
    UpdateData(true);  // keeps what was typed, since the boxes are refilled below; a failing
                       // box does not stop Find
    discovery::CIdFindDlg find(this);
    if (find.DoModal() == IDOK && find.resultAddress != 0) {
        SaveIpAddrSetting(find.resultAddress);
        SetAddress(find.resultAddress);
        UpdateData(false);
        return;
    }
    AfxMessageBox(messages::kIpNotSet);
}

void COmblorDlg::OnUpdate() {
    if (!UpdateData(true)) return;
    const std::uint32_t address = Address();
    if (address == 0) {
        AfxMessageBox(messages::kInvalidIpAddress);
        return;
    }
    SaveIpAddrSetting(address);
    // The update dialog lives to the end of this handler, so the connection stays open until
    // the final message has been dismissed.
    update::CUpdateDlg update(fileName, address, rebootWhenComplete, this);
    if (update.DoModal() == IDOK) {
        if (autoMode == 0) AfxMessageBox(messages::kProgrammingCompleted);
        CDialog::OnOK();
    } else {
        AfxMessageBox(messages::kUpdateFailed);
    }
}

}  // namespace omblor::app
