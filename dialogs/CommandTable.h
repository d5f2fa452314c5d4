// The whole protocol: the button that owns each command letter. Sorted by
// control ID, the n-th button sends the letter 'a' + n.
#pragma once

#include "res/resource.h"

#include <array>

struct Command {
    int controlId;
    char letter;
};

inline constexpr std::array<Command, 23> kCommands{{
    {IDC_SHIPIN, 'a'},       {IDC_DIANNAOXINHAO, 'b'}, {IDC_TOUYINGKAI, 'c'},
    {IDC_TOUYINGGUAN, 'd'},  {IDC_YINGDIEJI, 'e'},     {IDC_LUXIANGJI, 'f'},
    {IDC_LUYINJI, 'g'},      {IDC_MEITI, 'h'},         {IDC_ZHANSHITAI, 'i'},
    {IDC_TAI, 'j'},          {IDC_SHOUTIDIANNAO, 'k'}, {IDC_SHUZIZHANTAI, 'l'},
    {IDC_PLAY, 'm'},         {IDC_PAUSE, 'n'},         {IDC_STOP, 'o'},
    {IDC_PREVIOUS, 'p'},     {IDC_NEXT, 'q'},          {IDC_REWIND, 'r'},
    {IDC_FAST_FORWARD, 's'}, {IDC_SCREEN_DOWN, 't'},   {IDC_SCREEN_UP, 'u'},
    {IDC_VOLUME_UP, 'v'},    {IDC_VOLUME_DOWN, 'w'},
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
