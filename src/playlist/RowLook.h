#pragma once
// How one playlist row looks: its text, colours and weight.
#include <string>

#include "playlist/SchemeFile.h"

namespace mirvo {

struct PlaylistState;

struct RowLook {
    std::string Text;
    Colour Background = 0;
    Colour TextColour = 0;
    bool Bold = false;
};

// `deviceReady`: something plays, so the playing row stands out.
RowLook DescribeRow(const PlaylistState& pl, bool deviceReady, const SchemeValues& scheme,
                    int index, bool selected);

}  // namespace mirvo
