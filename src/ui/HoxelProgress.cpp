#include "ui/HoxelProgress.h"

#include <QAccessible>

#include <QFontMetrics>
#include <QPaintEvent>
#include <QPainter>
#include <algorithm>

namespace mirvo {
namespace {

// `length` × `part` div `whole` without overflow, 0 unless both are positive.
std::int64_t Scaled(std::int64_t length, std::int64_t part, std::int64_t whole) {
    if (part <= 0 || whole <= 0) {
        return 0;
    }
    return static_cast<std::int64_t>(static_cast<__int128>(length) * part / whole);
}

// Fills the half-open box [x1, x2) × [y1, y2); an empty or inverted box draws nothing.
void Fill(QPainter& painter, std::int64_t x1, std::int64_t y1, std::int64_t x2, std::int64_t y2,
          const QColor& color) {
    if (x2 <= x1 || y2 <= y1) {
        return;
    }
    painter.fillRect(QRect(static_cast<int>(x1), static_cast<int>(y1), static_cast<int>(x2 - x1),
                           static_cast<int>(y2 - y1)),
                     color);
}

}  // namespace

THoxelProgress::THoxelProgress(QWidget* parent) : QWidget(parent) {
    // Every pixel is painted here, so Qt need not clear the control first.
    setAttribute(Qt::WA_OpaquePaintEvent);
    setAttribute(Qt::WA_NoSystemBackground);
    const QPalette colors = palette();
    backgroundColor_ = colors.color(QPalette::Button);
    barColor_ = colors.color(QPalette::Highlight);
    frameTopColor_ = colors.color(QPalette::Dark);
    frameBottomColor_ = colors.color(QPalette::Light);
    resize(sizeHint());
}

void THoxelProgress::SetMax(std::int64_t value) {
    if (value < position_) {
        SetPosition(value);
    }
    if (value < position2_) {
        SetPosition2(value);
    }
    max_ = value;
    repaint();
}

void THoxelProgress::SetPosition(std::int64_t value) {
    MoveTo(value, position2_, false);
}

void THoxelProgress::SetPosition2(std::int64_t value) {
    MoveTo(position_, value, false);
}

void THoxelProgress::SetPositionsNow(std::int64_t position, std::int64_t position2) {
    MoveTo(position, position2, true);
}

void THoxelProgress::MoveTo(std::int64_t position, std::int64_t position2, bool now) {
    const auto clamp = [this](std::int64_t v) {
        return std::max<std::int64_t>(std::min(v, max_), 0);
    };
    position = clamp(position);
    position2 = clamp(position2);
    if (position == position_ && position2 == position2_) {
        return;
    }
    const auto before = Covered();
    position_ = position;
    position2_ = position2;
    // The status refresh moves a long track's bar many times per pixel.
    if (Covered() != before || captionType_ == TCaptionType::ctPercent ||
        captionType_ == TCaptionType::ctValue) {
        if (now) {
            repaint(InnerRect());
        } else {
            update(InnerRect());
        }
    }
    if (speech_ != Speech::None && QAccessible::isActive()) {
        AnnounceValue();
    }
    if (OnChange) {
        OnChange(this);
    }
}

void THoxelProgress::SetSpeech(Speech speech,
                               std::function<QString(std::int64_t, std::int64_t)> valueText) {
    speech_ = speech;
    valueText_ = std::move(valueText);
}

QString THoxelProgress::SpokenValue() const {
    return valueText_ ? valueText_(position_, max_) : QString();
}

void THoxelProgress::AnnounceValue() {
    // The status refresh moves the bar many times a second; it is read once
    // a second, when its text changes.
    const QString text = SpokenValue();
    if (text != announced_) {
        announced_ = text;
        QAccessibleValueChangeEvent event(this, static_cast<qlonglong>(position_));
        QAccessible::updateAccessibility(&event);
    }
}

void THoxelProgress::SetBackgroundColor(const QColor& value) {
    backgroundColor_ = value;
    repaint();
}

void THoxelProgress::SetBarColor(const QColor& value) {
    barColor_ = value;
    repaint();
}

void THoxelProgress::SetFrameTopColor(const QColor& value) {
    frameTopColor_ = value;
    repaint();
}

void THoxelProgress::SetFrameBottomColor(const QColor& value) {
    frameBottomColor_ = value;
    repaint();
}

void THoxelProgress::SetBarType(TBarType value) {
    barType_ = value;
    repaint();
}

void THoxelProgress::SetBorderWidth(int value) {
    borderWidth_ = value > 0 && value < height() && value < width() ? value : 1;
    repaint();
}

void THoxelProgress::SetCaption(const QString& value) {
    caption_ = value;
    repaint();
}

void THoxelProgress::SetCaptionType(TCaptionType value) {
    captionType_ = value;
    repaint();
}

void THoxelProgress::SetOrientation(TOrientationType value) {
    orientation_ = value;
    repaint();
}

void THoxelProgress::SetStereoSeperation(int value) {
    stereoSeperation_ = value;
    repaint();
}

void THoxelProgress::SetLedSeperation(int value) {
    ledSeperation_ = value;
    repaint();
}

void THoxelProgress::SetLedWidth(int value) {
    ledWidth_ = value;
    repaint();
}

QRect THoxelProgress::InnerRect() const {
    const int inset = borderWidth_ + 1;
    return {inset, inset, width() - 2 * inset, height() - 2 * inset};
}

std::array<std::int64_t, 2> THoxelProgress::Covered() const {
    const QRect inner = InnerRect();
    const bool vertical = orientation_ == TOrientationType::pbVertical;
    const std::int64_t length = vertical ? inner.height() : inner.width();
    switch (barType_) {
        case TBarType::brNormal:
            return {Scaled(length, position_, max_), 0};
        case TBarType::brClassicWindows:
            return {Scaled(inner.width(), position_, max_), 0};
        case TBarType::brStereo:
            return {Scaled(length, position_, max_), Scaled(length, position2_, max_)};
        case TBarType::brStereoLeds:
            return {position_, position2_};
    }
    return {position_, position2_};
}

void THoxelProgress::paintEvent(QPaintEvent* event) {
    QPainter painter(this);
    const int w = width();
    const int h = height();
    const QRect inner = InnerRect();
    // A position change repaints only the inner area and leaves the frame alone.
    if (!inner.contains(event->rect())) {
        painter.fillRect(rect(), backgroundColor_);
        Fill(painter, 0, 0, w - 1, 1, frameTopColor_);
        Fill(painter, 0, 0, 1, h - 1, frameTopColor_);
        Fill(painter, w - 1, 0, w, h, frameBottomColor_);
        Fill(painter, 0, h - 1, w, h, frameBottomColor_);
    }
    if (w == 0 || h == 0 || 2 * (borderWidth_ + 1) >= w || 2 * (borderWidth_ + 1) >= h) {
        return;
    }
    // The backing store is the double buffer: one painter, straight onto it.
    painter.setClipRect(inner, Qt::IntersectClip);
    painter.translate(inner.topLeft());
    painter.fillRect(QRect(QPoint(0, 0), inner.size()), backgroundColor_);
    DrawBars(painter, inner.size());
}

void THoxelProgress::DrawBars(QPainter& painter, QSize size) const {
    const std::int64_t W = size.width();
    const std::int64_t H = size.height();
    const bool vertical = orientation_ == TOrientationType::pbVertical;
    const std::int64_t L = vertical ? H : W;
    const std::int64_t T = vertical ? W : H;
    const std::int64_t half = (T - stereoSeperation_) / 2;

    switch (barType_) {
        case TBarType::brNormal: {
            const std::int64_t g = Scaled(L, position_, max_);
            if (vertical) {
                Fill(painter, 0, L - g, W, L, barColor_);
            } else {
                Fill(painter, 0, 0, g, H, barColor_);
            }
            break;
        }
        case TBarType::brClassicWindows: {
            // Always laid out left to right; the block pitch follows the control's height.
            const std::int64_t e = Scaled(W, position_, max_);
            const std::int64_t u = static_cast<std::int64_t>(height() / 1.55);
            if (e <= 0 || u <= 0) {
                break;
            }
            const std::int64_t n = (e + u - 1) / u;
            for (std::int64_t k = 0; k < n && k * u <= width(); ++k) {
                Fill(painter, k * u, 0, std::min((k + 1) * u - 2, W), H, barColor_);
            }
            break;
        }
        case TBarType::brStereo: {
            const std::int64_t c = Scaled(L, position_, max_);
            const std::int64_t o = Scaled(L, position2_, max_);
            if (c > 0) {
                if (vertical) {
                    Fill(painter, 0, L - c, half, L, barColor_);
                } else {
                    Fill(painter, 0, 0, c, half, barColor_);
                }
            }
            if (o > borderWidth_ + 1) {
                if (vertical) {
                    Fill(painter, half + stereoSeperation_, L - o, T, L, barColor_);
                } else {
                    Fill(painter, 0, half + stereoSeperation_, o, T, barColor_);
                }
            }
            break;
        }
        case TBarType::brStereoLeds: {
            const std::int64_t pitch = std::int64_t{ledWidth_} + ledSeperation_;
            // LEDs past the end are clipped anyway; never loop over more than fit.
            const std::int64_t fit = pitch > 0 ? L / pitch + 1 : 1;
            const std::int64_t rows[2] = {std::min(position_, fit), std::min(position2_, fit)};
            const std::int64_t across[2][2] = {{0, half}, {half + stereoSeperation_, T}};
            for (int row = 0; row < 2; ++row) {
                const auto [from, to] = across[row];
                for (std::int64_t k = 0; k < rows[row]; ++k) {
                    const std::int64_t start = k * pitch;
                    const std::int64_t end = start + ledWidth_;
                    if (vertical) {
                        Fill(painter, from, L - end, to, L - start, barColor_);
                    } else {
                        Fill(painter, start, from, end, to, barColor_);
                    }
                }
            }
            break;
        }
    }

    if (captionType_ != TCaptionType::ctNone) {
        painter.setFont(font());
        painter.setPen(palette().color(QPalette::WindowText));
        const QFontMetrics metrics(font());
        const int y = (static_cast<int>(H) - metrics.height()) / 2;
        painter.drawText(QPoint(1, y + metrics.ascent()), QLatin1Char(' ') + CaptionText());
    }
}

QString THoxelProgress::CaptionText() const {
    switch (captionType_) {
        case TCaptionType::ctCustom:
            return caption_;
        case TCaptionType::ctPercent:
            return QString::number(Scaled(100, position_, max_)) + QStringLiteral(" %");
        case TCaptionType::ctValue:
            return QString::number(position_) + QStringLiteral(" / ") + QString::number(max_);
        case TCaptionType::ctNone:
            break;
    }
    return {};
}

}  // namespace mirvo
