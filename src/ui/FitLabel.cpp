#include "ui/FitLabel.h"

#include <QEvent>
#include <QFontMetrics>
#include <QPainter>
#include <QRegularExpression>
#include <algorithm>
#include <optional>

namespace mirvo {
namespace {

constexpr int kSmallestPixels = 8;
// A form is taken in a font at most this much smaller than the label's.
constexpr int kReadablePixelsLess = 2;

// The largest size of `base`, at most its own and at least `smallest`, in
// which `text` is no wider than `width`.
std::optional<QFont> FittingFont(const QFont& base, const QString& text, int width, int smallest) {
    QFont font = base;
    int pixels = QFontInfo(base).pixelSize();
    for (;;) {
        if (QFontMetrics(font).horizontalAdvance(text) <= width) {
            return font;
        }
        if (--pixels < smallest) {
            return std::nullopt;
        }
        font.setPixelSize(pixels);
    }
}

QString KiloHertz(const QString& text) {
    static const QRegularExpression hertz(QStringLiteral("\\b(\\d{4,}) Hz\\b"));
    QString out;
    qsizetype done = 0;
    for (auto it = hertz.globalMatch(text); it.hasNext();) {
        const QRegularExpressionMatch m = it.next();
        out += text.mid(done, m.capturedStart() - done);
        out += QString::number(m.captured(1).toDouble() / 1000.0, 'g', 6) + QStringLiteral(" kHz");
        done = m.capturedEnd();
    }
    return out + text.mid(done);
}

}  // namespace

FitLabel::FitLabel(QWidget* parent) : QLabel(parent) {}

QStringList FitLabel::ShorterForms(const QString& text) {
    static const QRegularExpression activity(QStringLiteral("^[^.]*\\.\\.\\.\\s+(?=\\S)"));
    static const QRegularExpression press(QStringLiteral("\\bPress (?=ESC\\b)"));
    static const QRegularExpression stream(QStringLiteral("^.*\\bstream at (?=\\S)"));
    static const QRegularExpression afterRate(QStringLiteral("( k?Hz)\\b.+$"));
    static const QRegularExpression rate(QStringLiteral(" [\\d.]+ k?Hz$"));
    static const QRegularExpression aside(QStringLiteral(" \\([^()]*\\)$"));
    QStringList forms;
    QString t = text;
    const auto add = [&](QString shorter) {
        shorter = shorter.trimmed();
        if (!shorter.isEmpty() && shorter != t) {
            t = shorter;
            forms << t;
        }
    };
    add(KiloHertz(QString(t).replace(QStringLiteral(" - "), QStringLiteral(" "))));
    add(QString(t).remove(activity));
    add(QString(t).remove(press));
    add(QString(t).remove(stream));
    add(QString(t).replace(afterRate, QStringLiteral("\\1")));
    add(QString(t).remove(rate));
    add(QString(t).remove(aside));
    for (qsizetype cut = t.lastIndexOf(QStringLiteral(" / ")); cut > 0;
         cut = t.lastIndexOf(QStringLiteral(" / "))) {
        add(t.left(cut));
    }
    return forms;
}

int FitLabel::TextWidth() const {
    return std::max(0, contentsRect().width() - 2 * margin() - std::max(0, indent()));
}

void FitLabel::Fit() {
    const int width = TextWidth();
    const QString whole = text();
    QStringList candidates = ShorterForms(whole);
    candidates.prepend(whole);
    const int readable =
        std::max(kSmallestPixels, QFontInfo(font()).pixelSize() - kReadablePixelsLess);
    std::optional<QFont> fitted;
    for (const QString& candidate : candidates) {
        if ((fitted = FittingFont(font(), candidate, width, readable))) {
            shownText_ = candidate;
            break;
        }
    }
    if (!fitted) {
        shownText_ = candidates.back();
        fitted = FittingFont(font(), shownText_, width, kSmallestPixels);
        if (!fitted) {
            fitted = font();
            fitted->setPixelSize(kSmallestPixels);
            shownText_ = QFontMetrics(*fitted).elidedText(shownText_, Qt::ElideRight, width);
        }
    }
    shownFont_ = *fitted;
    setToolTip(shownText_.trimmed() == whole.trimmed() ? QString() : whole);
    update();
}

void FitLabel::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    drawFrame(&painter);
    const int inset = margin() + std::max(0, indent());
    const QRect area = contentsRect().adjusted(inset, 0, -margin(), 0);
    painter.setFont(shownFont_);
    painter.setPen(palette().color(foregroundRole()));
    painter.drawText(area, static_cast<int>(alignment()) | Qt::TextSingleLine, shownText_);
}

void FitLabel::SetText(const QString& text) {
    if (text != this->text()) {
        setText(text);
        Fit();
    }
}

void FitLabel::resizeEvent(QResizeEvent* event) {
    QLabel::resizeEvent(event);
    Fit();
}

void FitLabel::changeEvent(QEvent* event) {
    QLabel::changeEvent(event);
    if (event->type() == QEvent::FontChange) {
        Fit();
    }
}

}  // namespace mirvo
