#include "ui/PlaylistRendering.h"

#include <QPainter>
#include <algorithm>

#include "player/PlaylistState.h"
#include "playlist/RowLook.h"
#include "ui/HoxelListbox.h"

namespace mirvo {

QColor ToQColor(Colour c) {
    return QColor(static_cast<int>(RedOf(c)), static_cast<int>(GreenOf(c)),
                  static_cast<int>(BlueOf(c)));
}

Colour FromQColor(const QColor& c) {
    return MakeColour(static_cast<unsigned>(c.red()), static_cast<unsigned>(c.green()),
                      static_cast<unsigned>(c.blue()));
}

void ListScreenDrawItem(QPainter& painter, const PlaylistState& playlist, bool deviceReady,
                        const THoxelListbox& list, int index, const QRect& rect, bool selected,
                        int windowHeight) {
    const SchemeValues& scheme = list.Scheme();
    const RowLook look = DescribeRow(playlist, deviceReady, scheme, index, selected);
    if (index == list.RowCount() - 1) {
        painter.fillRect(QRect(rect.topLeft(), QPoint(rect.right(), windowHeight)),
                         ToQColor(scheme.Background));
    }
    painter.fillRect(rect, ToQColor(look.Background));
    QFont font = list.ListFont();
    font.setBold(look.Bold);
    painter.setFont(font);
    painter.setPen(ToQColor(look.TextColour));
    // One line from the row's top-left corner, never shortened. Only what can
    // fit in the row is laid out: every character takes at least a pixel, and
    // shaping a path of megabytes stalls each repaint for a second.
    const QFontMetrics metrics(font);
    const auto visible = static_cast<std::size_t>(std::max(rect.width(), 0)) + 64;
    QString text = QString::fromUtf8(
        look.Text.data(), static_cast<qsizetype>(std::min(look.Text.size(), 4 * visible)));
    text.truncate(static_cast<qsizetype>(visible));
    painter.drawText(QPoint(rect.left() + 4, rect.top() + metrics.ascent()), text);
}

}  // namespace mirvo
