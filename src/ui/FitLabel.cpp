#include "ui/FitLabel.h"

#include <QFontMetrics>
#include <QPainter>
#include <algorithm>

namespace mirvo {
namespace {

constexpr int kSmallestPixels = 8;

}  // namespace

FitLabel::FitLabel(Fit fit, QWidget* parent) : QLabel(parent), fit_(fit) {}

QFont FitLabel::FittingFont(const QFont& base, const QString& text, int width) {
    QFont font = base;
    if (QFontMetrics(font).horizontalAdvance(text) <= width) {
        return font;
    }
    int pixels = QFontInfo(base).pixelSize();
    while (pixels > kSmallestPixels) {
        font.setPixelSize(--pixels);
        if (QFontMetrics(font).horizontalAdvance(text) <= width) {
            break;
        }
    }
    return font;
}

int FitLabel::TextWidth() const {
    return std::max(0, contentsRect().width() - 2 * margin() - std::max(0, indent()));
}

QFont FitLabel::ShownFont() const {
    if (fit_ == Fit::Elide) {
        return font();
    }
    // The status refresh sets a new text many times a second; the digits
    // are of one width, so only a change of length or room needs a new fit.
    const int width = TextWidth();
    if (text().size() != fittedLength_ || width != fittedWidth_) {
        fittedLength_ = text().size();
        fittedWidth_ = width;
        fitted_ = FittingFont(font(), text(), width);
    }
    return fitted_;
}

QString FitLabel::ShownText() const {
    if (fit_ == Fit::Shrink) {
        return text();
    }
    return QFontMetrics(font()).elidedText(text(), Qt::ElideRight, TextWidth());
}

void FitLabel::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    drawFrame(&painter);
    const int inset = margin() + std::max(0, indent());
    const QRect area = contentsRect().adjusted(inset, 0, -margin(), 0);
    painter.setFont(ShownFont());
    painter.setPen(palette().color(foregroundRole()));
    painter.drawText(area, static_cast<int>(alignment()) | Qt::TextSingleLine, ShownText());
}

void FitLabel::SetText(const QString& text) {
    if (text != this->text()) {
        setText(text);
        RefreshToolTip();
    }
}

void FitLabel::RefreshToolTip() {
    if (fit_ == Fit::Elide) {
        setToolTip(ShownText() == text() ? QString() : text());
    }
}

void FitLabel::resizeEvent(QResizeEvent* event) {
    QLabel::resizeEvent(event);
    RefreshToolTip();
}

}  // namespace mirvo
