// The whole protocol: the button that owns each command letter, and the
// command's name on the command line. Sorted by control ID, the n-th button
// sends the letter 'a' + n.
#pragma once

#include "res/resource.h"

#include <array>
#include <string_view>

struct Command {
    int controlId;
    char letter;
    std::string_view name; // what scripts call it: `lumo send projector-off`
};

// The Chinese label and the meaning of each button live in res/ButtonFaces.h,
// joined to this table by control ID.
inline constexpr std::array<Command, 23> kCommands{{
    {IDC_SHIPIN, 'a', "video-signal"},
    {IDC_DIANNAOXINHAO, 'b', "computer-signal"},
    {IDC_TOUYINGKAI, 'c', "projector-on"},
    {IDC_TOUYINGGUAN, 'd', "projector-off"},
    {IDC_YINGDIEJI, 'e', "video-disc-player"},
    {IDC_LUXIANGJI, 'f', "video-recorder"},
    {IDC_LUYINJI, 'g', "tape-recorder"},
    {IDC_MEITI, 'h', "media"},
    {IDC_ZHANSHITAI, 'i', "presenter"},
    {IDC_TAI, 'j', "desktop-computer"},
    {IDC_SHOUTIDIANNAO, 'k', "laptop-computer"},
    {IDC_SHUZIZHANTAI, 'l', "digital-presenter"},
    {IDC_PLAY, 'm', "play"},
    {IDC_PAUSE, 'n', "pause"},
    {IDC_STOP, 'o', "stop"},
    {IDC_PREVIOUS, 'p', "previous"},
    {IDC_NEXT, 'q', "next"},
    {IDC_REWIND, 'r', "rewind"},
    {IDC_FAST_FORWARD, 's', "fast-forward"},
    {IDC_SCREEN_DOWN, 't', "screen-down"},
    {IDC_SCREEN_UP, 'u', "screen-up"},
    {IDC_VOLUME_UP, 'v', "volume-up"},
    {IDC_VOLUME_DOWN, 'w', "volume-down"},
}};

constexpr bool commandsFollowControlIds()
{
    for (std::size_t n = 0; n < kCommands.size(); ++n) {
        if (kCommands[n].letter != char('a' + n))
            return false;
        if (n > 0 && kCommands[n].controlId <= kCommands[n - 1].controlId)
            return false;
    }
    return true;
}
static_assert(commandsFollowControlIds(), "letters follow the control IDs, 'a' to 'w'");
