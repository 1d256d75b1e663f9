#pragma once
// Drawing one playlist row.
#include <QColor>
#include <QRect>

#include "playlist/SchemeFile.h"

class QPainter;

namespace mirvo {

struct PlaylistState;
class THoxelListbox;

QColor ToQColor(Colour colour);
Colour FromQColor(const QColor& colour);

// Row `index` of `list` into `rect` (`deviceReady` as DescribeRow takes it).
// The last row also clears everything below it down to `windowHeight`.
void ListScreenDrawItem(QPainter& painter, const PlaylistState& playlist, bool deviceReady,
                        const THoxelListbox& list, int index, const QRect& rect, bool selected,
                        int windowHeight);

}  // namespace mirvo
