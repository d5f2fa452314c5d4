// Resource numbers and control IDs shared by the dialog templates, the resource
// lookup and the code. One place for all of them.
#pragma once

// Dialog templates
inline constexpr int IDD_PANEL = 100;
inline constexpr int IDD_PORT = 102;

// String table
inline constexpr int IDS_SYSMENU_ENTRY = 101;

// Icons
inline constexpr int IDR_MAINFRAME = 128;
inline constexpr int IDI_FAST_FORWARD = 138;
inline constexpr int IDI_PAUSE = 139;
inline constexpr int IDI_STOP = 140;
inline constexpr int IDI_NEXT = 143;
inline constexpr int IDI_PREVIOUS = 147;
inline constexpr int IDI_REWIND = 148;
inline constexpr int IDI_PLAY = 150;

// Cursor
inline constexpr int IDC_HAND_CURSOR = 131;

// System-menu commands of the port dialog's extra entries: the panel
// without a line, and the choice of devices ("Ports…")
inline constexpr int IDM_SYSMENU_ENTRY = 0x0010;
inline constexpr int IDM_PORTS_ENTRY = 0x0020;

// Port dialog controls
inline constexpr int IDC_RADIO_COM1 = 1000;
inline constexpr int IDC_RADIO_COM2 = 1001;
inline constexpr int IDC_CONFIRM = 1002;
inline constexpr int IDC_MSCOMM = 1003;

// Panel controls
inline constexpr int IDC_SHIPIN = 1002;
inline constexpr int IDC_DIANNAOXINHAO = 1025;
inline constexpr int IDC_TOUYINGKAI = 1026;
inline constexpr int IDC_TOUYINGGUAN = 1027;
inline constexpr int IDC_YINGDIEJI = 1028;
inline constexpr int IDC_LUXIANGJI = 1029;
inline constexpr int IDC_LUYINJI = 1030;
inline constexpr int IDC_MEITI = 1031;
inline constexpr int IDC_ZHANSHITAI = 1032;
inline constexpr int IDC_TAI = 1033;
inline constexpr int IDC_SHOUTIDIANNAO = 1034;
inline constexpr int IDC_SHUZIZHANTAI = 1035;
inline constexpr int IDC_PLAY = 1036;
inline constexpr int IDC_PAUSE = 1037;
inline constexpr int IDC_STOP = 1038;
inline constexpr int IDC_PREVIOUS = 1039;
inline constexpr int IDC_NEXT = 1040;
inline constexpr int IDC_REWIND = 1041;
inline constexpr int IDC_FAST_FORWARD = 1042;
inline constexpr int IDC_SCREEN_DOWN = 1043; // picture "B"
inline constexpr int IDC_SCREEN_UP = 1044;   // picture "A"
inline constexpr int IDC_VOLUME_UP = 1045;   // picture "C"
inline constexpr int IDC_VOLUME_DOWN = 1046; // picture "D"
inline constexpr int IDC_STATIC = -1;
