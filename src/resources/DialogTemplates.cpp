#include <array>

#include "resources/DialogTemplate.h"
#include "resources/ResourceIds.h"

namespace omblor::resources {

namespace {

using K = ControlKind;

constexpr unsigned kAddressBox = kStyleNumber | kStyleBorder | kStyleAutoHScroll | kStyleTabStop;
constexpr unsigned kTextBox = kStyleBorder | kStyleAutoHScroll | kStyleTabStop;

constexpr std::array kAboutControls{
    ControlTemplate{kNoControlId, K::Icon, "", 11, 17, 20, 20},
    ControlTemplate{kNoControlId, K::Static, "Druvane Version " OMBLOR_VERSION, 40, 10, 119, 8},
    ControlTemplate{1, K::DefPushButton, "OK", 178, 7, 32, 14, kStyleTabStop},
};

constexpr std::array kMainControls{
    ControlTemplate{1, K::DefPushButton, "Update", 133, 44, 50, 14, kStyleTabStop},
    ControlTemplate{2, K::PushButton, "Dismiss", 195, 44, 50, 14, kStyleTabStop},
    ControlTemplate{kNoControlId, K::Static, "IP address:", 7, 9, 36, 8},
    ControlTemplate{IDC_IPADDR0, K::Edit, "", 47, 7, 26, 12, kAddressBox},
    ControlTemplate{IDC_IPADDR1, K::Edit, "", 81, 7, 26, 12, kAddressBox},
    ControlTemplate{IDC_IPADDR2, K::Edit, "", 115, 7, 26, 12, kAddressBox},
    ControlTemplate{IDC_IPADDR3, K::Edit, "", 149, 7, 26, 12, kAddressBox},
    ControlTemplate{IDC_FIND, K::PushButton, "Find...", 195, 7, 50, 14, kStyleTabStop},
    ControlTemplate{IDC_BROWSE, K::PushButton, "Browse...", 195, 24, 50, 14, kStyleTabStop},
    ControlTemplate{IDC_FILENAME, K::Edit, "", 44, 26, 139, 12, kTextBox},
    ControlTemplate{kNoControlId, K::Static, "FileName:", 7, 28, 32, 8},
    ControlTemplate{IDC_REBOOT, K::CheckBox, "Reboot when complete", 17, 45, 89, 10, kStyleTabStop},
};

constexpr std::array kFindControls{
    ControlTemplate{1, K::DefPushButton, "OK", 136, 119, 50, 14, kStyleTabStop},
    ControlTemplate{2, K::PushButton, "Cancel", 268, 119, 50, 14, kStyleTabStop},
    ControlTemplate{kNoControlId, K::Static, "Select an ULVO", 19, 18, 54, 8},
    ControlTemplate{IDC_SEARCH_AGAIN, K::PushButton, "Search Again", 21, 50, 50, 14, kStyleTabStop},
    ControlTemplate{IDC_DEVICE_TREE, K::Tree, "", 81, 8, 237, 105,
                    kStyleBorder | kStyleTabStop | kStyleTreeButtons | kStyleTreeLines |
                        kStyleTreeLinesAtRoot | kStyleTreeShowSelAlways},
};

constexpr std::array kUpdateControls{
    ControlTemplate{kNoControlId, K::Static, "Percent Complete", 7, 11, 57, 8},
    ControlTemplate{IDC_PROGRESS, K::Progress, "", 7, 24, 242, 16, kStyleBorder},
    ControlTemplate{2, K::PushButton, "Cancel", 199, 44, 50, 14, kStyleTabStop},
    // Where the exchange stands, under the bar; empty until the dialog says.
    ControlTemplate{IDC_STATUS, K::Static, "", 7, 47, 186, 8},
};

constexpr std::array kPasswordControls{
    ControlTemplate{1, K::DefPushButton, "OK", 207, 74, 50, 14, kStyleTabStop},
    ControlTemplate{2, K::PushButton, "Cancel", 39, 74, 50, 14, kStyleTabStop},
    ControlTemplate{kNoControlId, K::Static, "User Name", 9, 21, 36, 8},
    ControlTemplate{kNoControlId, K::Static, "Password", 7, 42, 32, 8},
    ControlTemplate{IDC_USERNAME, K::Edit, "", 51, 19, 176, 14, kTextBox},
    ControlTemplate{IDC_PASSWORD, K::Edit, "", 50, 39, 177, 14, kTextBox | kStylePassword},
};

constexpr unsigned kModal = kDialogCaption | kDialogSysMenu | kDialogModalFrame;

constexpr std::array kTemplates{
    DialogTemplate{IDD_ABOUTBOX, "About Druvane", 217, 55, "MS Sans Serif", 8, kModal,
                   kAboutControls},
    DialogTemplate{IDD_OMBLOR_DIALOG, "DRUVANE", 252, 71, "MS Sans Serif", 8,
                   kModal | kDialogAppWindow, kMainControls},
    DialogTemplate{IDD_IDFIND, "Find Tarviks", 325, 140, "MS Sans Serif", 8,
                   kModal | kDialogResizable, kFindControls},
    DialogTemplate{IDD_UPDATE, "Program Tarvik", 256, 68, "MS Sans Serif", 8, kModal,
                   kUpdateControls},
    DialogTemplate{IDD_PASSWORD, "Password needed", 264, 95, "MS Sans Serif", 8, kModal,
                   kPasswordControls},
};

}  // namespace

const DialogTemplate* FindDialogTemplate(int id) {
    for (const auto& t : kTemplates) {
        if (t.id == id) return &t;
    }
    return nullptr;
}

}  // namespace omblor::resources
