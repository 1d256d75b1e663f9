#pragma once
// A one-line label that never shows a text cut at its edge: it either ends
// the text with "…" (the whole text in its tooltip) or draws it in a smaller
// font until it fits.
#include <QFont>
#include <QLabel>

namespace mirvo {

class FitLabel final : public QLabel {
  public:
    enum class Fit { Elide, Shrink };
    FitLabel(Fit fit, QWidget* parent);

    // Sets the text; a cut text gets the whole one as its tooltip.
    void SetText(const QString& text);

    // The font the text is drawn in: the label's own, or a smaller one.
    QFont ShownFont() const;
    // The text as drawn.
    QString ShownText() const;

    // The largest size of `base`, at most its own, in which `text` is no wider
    // than `width` (never below a readable minimum).
    static QFont FittingFont(const QFont& base, const QString& text, int width);

  protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

  private:
    int TextWidth() const;
    void RefreshToolTip();

    Fit fit_;
    // What the last fit was worked out for: texts of one length share it.
    mutable qsizetype fittedLength_ = -1;
    mutable int fittedWidth_ = -1;
    mutable QFont fitted_;
};

}  // namespace mirvo
