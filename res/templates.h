// The two dialog templates and the string table.
#pragma once

#include "res/DialogTemplate.h"
#include "res/resource.h"

#include <array>

inline constexpr std::array<ControlTemplate, 4> kPortControls{{
    {IDC_RADIO_COM1, ControlKind::RadioButton, "使用COM1口", 39, 13, 56, 10, 0},
    {IDC_RADIO_COM2, ControlKind::RadioButton, "使用COM2口", 39, 28, 56, 10, 0},
    {IDC_CONFIRM, ControlKind::PushButton, "确定", 131, 17, 29, 14, TabStop},
    {IDC_MSCOMM, ControlKind::SerialControl, "", 172, 19, 19, 19, TabStop},
}};

// 12 pt Song: 8 x 16 pixel base units, 2 pixels per dialog unit.
inline constexpr DialogTemplate kPortTemplate{IDD_PORT, "Lumo", 205, 51, 12, 8, 16, kPortControls};

inline constexpr unsigned kPictureStyle = TabStop | ExTransparent;

inline constexpr std::array<ControlTemplate, 24> kPanelControls{{
    {IDC_SHIPIN, ControlKind::OwnerDrawButton, "SHIPIN", 20, 35, 37, 15, kPictureStyle},
    {IDC_STATIC, ControlKind::StaticText, "KT4200多媒体中央控制系统", 110, 15, 97, 10,
     Group | ExTransparent},
    {IDC_DIANNAOXINHAO, ControlKind::OwnerDrawButton, "DIANNAOXINHAO", 20, 65, 57, 14,
     kPictureStyle},
    {IDC_TOUYINGKAI, ControlKind::OwnerDrawButton, "TOUYINGKAI", 20, 95, 45, 14, TabStop},
    {IDC_TOUYINGGUAN, ControlKind::OwnerDrawButton, "TOUYINGGUAN", 20, 125, 49, 14, kPictureStyle},
    {IDC_YINGDIEJI, ControlKind::OwnerDrawButton, "YINGDIEJI", 95, 35, 41, 14, kPictureStyle},
    {IDC_LUXIANGJI, ControlKind::OwnerDrawButton, "LUXIANGJI", 175, 35, 41, 14, kPictureStyle},
    {IDC_LUYINJI, ControlKind::OwnerDrawButton, "LUYINJI", 250, 125, 33, 14, kPictureStyle},
    {IDC_MEITI, ControlKind::OwnerDrawButton, "MEITI", 175, 125, 29, 15, kPictureStyle},
    {IDC_ZHANSHITAI, ControlKind::OwnerDrawButton, "ZHANSHITAI", 250, 35, 45, 14, kPictureStyle},
    {IDC_TAI, ControlKind::OwnerDrawButton, "TAI", 95, 65, 37, 15, kPictureStyle},
    {IDC_SHOUTIDIANNAO, ControlKind::OwnerDrawButton, "SHOUTIDIANNAO", 95, 95, 57, 14,
     kPictureStyle},
    {IDC_SHUZIZHANTAI, ControlKind::OwnerDrawButton, "SHUZIZHANTAI", 95, 125, 53, 14,
     kPictureStyle | CenterText},
    {IDC_SCREEN_DOWN, ControlKind::OwnerDrawButton, "B", 95, 165, 29, 15, kPictureStyle},
    // A tab stop like every other command button: without one, "银幕 升/停"
    // could not be reached from the keyboard at all.
    {IDC_SCREEN_UP, ControlKind::OwnerDrawButton, "A", 20, 165, 29, 14,
     kPictureStyle | LeftVCenterText | ExRightAligned},
    {IDC_VOLUME_UP, ControlKind::OwnerDrawButton, "C", 175, 165, 29, 15, kPictureStyle},
    {IDC_VOLUME_DOWN, ControlKind::OwnerDrawButton, "D", 250, 165, 29, 15, kPictureStyle},
    {IDC_PLAY, ControlKind::IconButton, "", 190, 65, 15, 15, TabStop},
    {IDC_PAUSE, ControlKind::IconButton, "", 220, 65, 15, 15, TabStop},
    {IDC_STOP, ControlKind::IconButton, "", 250, 65, 15, 15, TabStop},
    {IDC_PREVIOUS, ControlKind::IconButton, "", 175, 95, 15, 15, TabStop},
    {IDC_NEXT, ControlKind::IconButton, "", 205, 95, 15, 15, TabStop},
    {IDC_REWIND, ControlKind::IconButton, "", 235, 95, 15, 15, TabStop},
    {IDC_FAST_FORWARD, ControlKind::IconButton, "", 265, 95, 15, 15, TabStop},
}};

// 15 pt Song: 10 x 20 pixel base units, 2.5 pixels per dialog unit.
inline constexpr DialogTemplate kPanelTemplate{IDD_PANEL, "KT4200", 316, 208,
                                               15,        10,       20,  kPanelControls};

// The string table: the port dialog's extra menu entry.
inline constexpr std::string_view kSysMenuEntryText = "关于 Lumo(&A)...";

static_assert(kPortTemplate.HasUniqueIds() && kPanelTemplate.HasUniqueIds());
static_assert(IDC_STATIC == DialogTemplate::kStaticId);
static_assert(kPortTemplate.ClientSize() == QSize(410, 102));
static_assert(kPanelTemplate.ClientSize() == QSize(790, 520));
