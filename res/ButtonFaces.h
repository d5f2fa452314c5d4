// What each panel button shows: the picture it is drawn from (or its icon), the
// Chinese label drawn into the picture and the same in English. The image
// generator draws from this table, the panel names its buttons for screen
// readers from it, and the virtual controller explains the letters with it.
#pragma once

#include "res/resource.h"

#include <array>
#include <string_view>

struct PictureFace {
    int controlId;
    std::string_view caption; // names the pictures: caption + "U" and caption + "D"
    std::string_view label;   // UTF-8, exactly as drawn into the picture
    std::string_view meaning;
};

struct IconFace {
    int controlId;
    int iconId;
    std::string_view label; // UTF-8 transport word
    std::string_view meaning;
};

inline constexpr std::array<PictureFace, 16> kPictureFaces{{
    {IDC_SHIPIN, "SHIPIN", "视频信号", "video signal"},
    {IDC_DIANNAOXINHAO, "DIANNAOXINHAO", "电脑信号", "computer signal"},
    {IDC_TOUYINGKAI, "TOUYINGKAI", "投影机开", "projector on"},
    {IDC_TOUYINGGUAN, "TOUYINGGUAN", "投影机关", "projector off"},
    {IDC_YINGDIEJI, "YINGDIEJI", "影碟机", "video disc player"},
    {IDC_LUXIANGJI, "LUXIANGJI", "录象机", "video recorder"},
    {IDC_LUYINJI, "LUYINJI", "录音机", "tape recorder"},
    {IDC_MEITI, "MEITI", "媒 体", "media"},
    {IDC_ZHANSHITAI, "ZHANSHITAI", "展示台", "presenter"},
    {IDC_TAI, "TAI", "台式电脑", "desktop computer"},
    {IDC_SHOUTIDIANNAO, "SHOUTIDIANNAO", "手提电脑", "laptop computer"},
    {IDC_SHUZIZHANTAI, "SHUZIZHANTAI", "数字展台", "digital presenter"},
    {IDC_SCREEN_DOWN, "B", "银幕 降/停", "screen down / stop"},
    {IDC_SCREEN_UP, "A", "银幕 升/停", "screen up / stop"},
    {IDC_VOLUME_UP, "C", "音量+", "volume up"},
    {IDC_VOLUME_DOWN, "D", "音量-", "volume down"},
}};

inline constexpr std::array<IconFace, 7> kIconFaces{{
    {IDC_PLAY, IDI_PLAY, "播放", "play"},
    {IDC_PAUSE, IDI_PAUSE, "暂停", "pause"},
    {IDC_STOP, IDI_STOP, "停止", "stop"},
    {IDC_PREVIOUS, IDI_PREVIOUS, "上一个", "previous"},
    {IDC_NEXT, IDI_NEXT, "下一个", "next"},
    {IDC_REWIND, IDI_REWIND, "快退", "rewind"},
    {IDC_FAST_FORWARD, IDI_FAST_FORWARD, "快进", "fast forward"},
}};
