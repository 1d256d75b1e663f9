#pragma once
// A one-line label that never shows a text cut at its edge: it shows the
// text, or a shorter form of it by fixed rules, in its font or one a little
// smaller; only what no form fits is drawn smaller still and, as a last
// resort, ended with "…". A text not shown whole has it whole in its tooltip.
#include <QFont>
#include <QLabel>
#include <QStringList>

namespace mirvo {

class FitLabel final : public QLabel {
  public:
    explicit FitLabel(QWidget* parent);

    // Sets the text; a text not shown whole gets it as its tooltip.
    void SetText(const QString& text);

    // The font the text is drawn in: the label's own, or a smaller one.
    QFont ShownFont() const { return shownFont_; }
    // The text as drawn.
    QString ShownText() const { return shownText_; }

    // The program's texts, ever shorter, each keeping what matters most:
    // "44100 Hz" as "44.1 kHz", a leading "...ing... " dropped, "Press ESC"
    // as "ESC", a stream's rate alone, sound details down to the format and
    // rate, a time text down to its first part.
    static QStringList ShorterForms(const QString& text);

  protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void changeEvent(QEvent* event) override;

  private:
    int TextWidth() const;
    void Fit();

    QString shownText_;
    QFont shownFont_;
};

}  // namespace mirvo
