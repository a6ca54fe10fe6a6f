// Resource and control IDs shared by the dialogs and their templates.
#pragma once

namespace omblor::resources {

inline constexpr int IDD_ABOUTBOX = 100;
inline constexpr int IDD_OMBLOR_DIALOG = 102;
inline constexpr int IDD_IDFIND = 129;
inline constexpr int IDD_UPDATE = 130;
inline constexpr int IDD_PASSWORD = 131;

inline constexpr int IDS_ABOUTBOX = 101;
inline constexpr int IDS_SOCKETS_INIT_FAILED = 103;
inline constexpr int IDR_MAINFRAME = 128;  // application icon
inline constexpr int IDB_STATEIMAGES = 133;

inline constexpr int IDM_ABOUTBOX = 0x0010;  // system-menu command

inline constexpr int IDC_IPADDR0 = 1000;
inline constexpr int IDC_IPADDR1 = 1001;
inline constexpr int IDC_IPADDR2 = 1002;
inline constexpr int IDC_IPADDR3 = 1003;
inline constexpr int IDC_FIND = 1004;
inline constexpr int IDC_BROWSE = 1005;
inline constexpr int IDC_FILENAME = 1006;
inline constexpr int IDC_SEARCH_AGAIN = 1008;
inline constexpr int IDC_PROGRESS = 1009;
inline constexpr int IDC_REBOOT = 1012;
inline constexpr int IDC_USERNAME = 1013;
inline constexpr int IDC_PASSWORD = 1014;
inline constexpr int IDC_DEVICE_TREE = 1015;
inline constexpr int IDC_STATUS = 1016;  // the update dialog's status line

}  // namespace omblor::resources
