// The whole protocol, one row per command: the button that sends it, its
// letter, what scripts call it, the Chinese label drawn on the button, what
// it means, and the button's face (a pair of pictures or an icon). The panel,
// `lumo send`, the session bus, the virtual controller and the picture
// generator all read this table and no other.
#pragma once

#include "res/resource.h"

#include <array>
#include <cstddef>
#include <string_view>

struct Command {
    int controlId;
    char letter;
    std::string_view name;    // what scripts call it: `lumo send projector-off`
    std::string_view label;   // UTF-8, exactly as drawn on the button
    std::string_view meaning; // in English, one line
    // A picture button's pictures are picture + "U" and picture + "D"; an
    // icon button has none and shows iconId instead.
    std::string_view picture;
    int iconId;
    // The panel sets its buttons up in this order, pictures and icons each
    // counted on their own.
    int setupOrder;

    constexpr bool IsPicture() const { return !picture.empty(); }
};

// Sorted by control ID: the n-th button sends the letter 'a' + n.
// clang-format off
inline constexpr std::array<Command, 23> kCommands{{
    {IDC_SHIPIN, 'a', "video-signal", "视频信号", "video signal", "SHIPIN", 0, 11},
    {IDC_DIANNAOXINHAO, 'b', "computer-signal", "电脑信号", "computer signal", "DIANNAOXINHAO", 0, 10},
    {IDC_TOUYINGKAI, 'c', "projector-on", "投影机开", "projector on", "TOUYINGKAI", 0, 7},
    {IDC_TOUYINGGUAN, 'd', "projector-off", "投影机关", "projector off", "TOUYINGGUAN", 0, 6},
    {IDC_YINGDIEJI, 'e', "video-disc-player", "影碟机", "video disc player", "YINGDIEJI", 0, 12},
    {IDC_LUXIANGJI, 'f', "video-recorder", "录象机", "video recorder", "LUXIANGJI", 0, 13},
    {IDC_LUYINJI, 'g', "tape-recorder", "录音机", "tape recorder", "LUYINJI", 0, 14},
    {IDC_MEITI, 'h', "media", "媒 体", "media", "MEITI", 0, 15},
    {IDC_ZHANSHITAI, 'i', "presenter", "展示台", "presenter", "ZHANSHITAI", 0, 8},
    {IDC_TAI, 'j', "desktop-computer", "台式电脑", "desktop computer", "TAI", 0, 4},
    {IDC_SHOUTIDIANNAO, 'k', "laptop-computer", "手提电脑", "laptop computer", "SHOUTIDIANNAO", 0, 5},
    {IDC_SHUZIZHANTAI, 'l', "digital-presenter", "数字展台", "digital presenter", "SHUZIZHANTAI", 0, 9},
    {IDC_PLAY, 'm', "play", "播放", "play", "", IDI_PLAY, 3},
    {IDC_PAUSE, 'n', "pause", "暂停", "pause", "", IDI_PAUSE, 1},
    {IDC_STOP, 'o', "stop", "停止", "stop", "", IDI_STOP, 2},
    {IDC_PREVIOUS, 'p', "previous", "上一个", "previous", "", IDI_PREVIOUS, 5},
    {IDC_NEXT, 'q', "next", "下一个", "next", "", IDI_NEXT, 4},
    {IDC_REWIND, 'r', "rewind", "快退", "rewind", "", IDI_REWIND, 6},
    {IDC_FAST_FORWARD, 's', "fast-forward", "快进", "fast forward", "", IDI_FAST_FORWARD, 0},
    {IDC_SCREEN_DOWN, 't', "screen-down", "银幕 降/停", "screen down / stop", "B", 0, 1},
    {IDC_SCREEN_UP, 'u', "screen-up", "银幕 升/停", "screen up / stop", "A", 0, 0},
    {IDC_VOLUME_UP, 'v', "volume-up", "音量+", "volume up", "C", 0, 2},
    {IDC_VOLUME_DOWN, 'w', "volume-down", "音量-", "volume down", "D", 0, 3},
}};
// clang-format on

inline constexpr std::size_t kPictureButtonCount = 16;
inline constexpr std::size_t kIconButtonCount = 7;

// The commands of one kind of button, in the order the panel sets them up.
template <bool pictures> constexpr auto CommandsInSetupOrder()
{
    std::array<const Command*, pictures ? kPictureButtonCount : kIconButtonCount> ordered{};
    for (const Command& c : kCommands)
        if (c.IsPicture() == pictures && c.setupOrder >= 0 &&
            std::size_t(c.setupOrder) < ordered.size())
            ordered[std::size_t(c.setupOrder)] = &c;
    return ordered;
}

namespace commands_detail
{
constexpr bool lettersFollowControlIds()
{
    for (std::size_t n = 0; n < kCommands.size(); ++n) {
        if (kCommands[n].letter != char('a' + n))
            return false;
        if (n > 0 && kCommands[n].controlId <= kCommands[n - 1].controlId)
            return false;
    }
    return true;
}

// Each button has a picture or an icon, never both, and every place in
// each setup order is taken exactly once.
// (Counted by place, not by pointer: a sanitizer's build does not take a
// pointer into the table as a constant.)
template <bool pictures> constexpr bool setupOrderIsComplete()
{
    std::array<int, pictures ? kPictureButtonCount : kIconButtonCount> taken{};
    for (const Command& c : kCommands) {
        if (c.IsPicture() == (c.iconId != 0))
            return false;
        if (c.IsPicture() != pictures)
            continue;
        if (c.setupOrder < 0 || std::size_t(c.setupOrder) >= taken.size())
            return false;
        ++taken[std::size_t(c.setupOrder)];
    }
    for (int placed : taken)
        if (placed != 1)
            return false;
    return true;
}

constexpr bool namesAreUnique()
{
    for (std::size_t i = 0; i < kCommands.size(); ++i)
        for (std::size_t j = i + 1; j < kCommands.size(); ++j)
            if (kCommands[i].name == kCommands[j].name ||
                kCommands[i].label == kCommands[j].label ||
                (kCommands[i].IsPicture() && kCommands[i].picture == kCommands[j].picture))
                return false;
    return true;
}
} // namespace commands_detail

static_assert(commands_detail::lettersFollowControlIds(),
              "letters follow the control IDs, 'a' to 'w'");
static_assert(commands_detail::setupOrderIsComplete<true>() &&
                  commands_detail::setupOrderIsComplete<false>(),
              "16 picture buttons and 7 icon buttons, each set up once");
static_assert(commands_detail::namesAreUnique(), "every name, label and picture names one command");
