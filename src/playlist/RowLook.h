#pragma once
// How one playlist row looks: its text, colours and weight.
#include <string>

#include "playlist/SchemeFile.h"

namespace mirvo {

struct Player;

struct RowLook {
    std::string Text;
    Colour Background = 0;
    Colour TextColour = 0;
    bool Bold = false;
};

RowLook DescribeRow(const Player& player, const SchemeValues& scheme, int index, bool selected);

}  // namespace mirvo
