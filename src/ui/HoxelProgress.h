#pragma once
// THoxelProgress: the bar control of the main window. One class draws a plain
// bar, classic blocks, two stereo bars or two rows of stereo LEDs, either way
// round, inside a sunken frame, with an optional caption.
#include <QColor>
#include <QString>
#include <QWidget>
#include <array>
#include <cstdint>
#include <functional>

class QPainter;

namespace mirvo {

enum class TCaptionType { ctCustom, ctPercent, ctValue, ctNone };
enum class TBarType { brNormal, brClassicWindows, brStereo, brStereoLeds };
enum class TOrientationType { pbHorizontal, pbVertical };

class THoxelProgress : public QWidget {
  public:
    explicit THoxelProgress(QWidget* parent = nullptr);

    std::int64_t Max() const { return max_; }
    std::int64_t Position() const { return position_; }
    std::int64_t Position2() const { return position2_; }
    QColor BackgroundColor() const { return backgroundColor_; }
    QColor BarColor() const { return barColor_; }
    QColor FrameTopColor() const { return frameTopColor_; }
    QColor FrameBottomColor() const { return frameBottomColor_; }
    TBarType BarType() const { return barType_; }
    int BorderWidth() const { return borderWidth_; }
    QString Caption() const { return caption_; }
    TCaptionType CaptionType() const { return captionType_; }
    TOrientationType Orientation() const { return orientation_; }
    int StereoSeperation() const { return stereoSeperation_; }
    int LedSeperation() const { return ledSeperation_; }
    int LedWidth() const { return ledWidth_; }

    // Positions above the new maximum come down to it first.
    void SetMax(std::int64_t value);
    // Kept within 0..Max; an unchanged value neither repaints nor notifies.
    void SetPosition(std::int64_t value);
    void SetPosition2(std::int64_t value);
    // Both at once, drawn before it returns: a meter's tick then paints in its
    // own pass of the event loop instead of posting another.
    void SetPositionsNow(std::int64_t position, std::int64_t position2);
    void SetBackgroundColor(const QColor& value);
    void SetBarColor(const QColor& value);
    void SetFrameTopColor(const QColor& value);
    void SetFrameBottomColor(const QColor& value);
    void SetBarType(TBarType value);
    // Must leave room inside the control; anything else becomes 1.
    void SetBorderWidth(int value);
    void SetCaption(const QString& value);
    void SetCaptionType(TCaptionType value);
    void SetOrientation(TOrientationType value);
    void SetStereoSeperation(int value);
    void SetLedSeperation(int value);
    void SetLedWidth(int value);

    // Called after a position changed.
    std::function<void(THoxelProgress*)> OnChange;

    // How a screen reader sees the bar: a value read as `valueText` makes of
    // the position and the maximum, or (None) a decoration that is not read.
    enum class Speech { None, Progress, Slider };
    void SetSpeech(Speech speech, std::function<QString(std::int64_t, std::int64_t)> valueText);
    Speech Spoken() const { return speech_; }
    QString SpokenValue() const;

    QSize sizeHint() const override { return {150, 16}; }

  protected:
    void paintEvent(QPaintEvent* event) override;

  private:
    void MoveTo(std::int64_t position, std::int64_t position2, bool now);
    // The drawing area inside the frame and the border.
    QRect InnerRect() const;
    // How far the bars reach as drawn: in pixels, or in LEDs.
    std::array<std::int64_t, 2> Covered() const;
    void DrawBars(QPainter& painter, QSize size) const;
    QString CaptionText() const;
    // Tells a screen reader of a new value when its text changed.
    void AnnounceValue();

    std::int64_t max_ = 100;
    std::int64_t position_ = 0;
    std::int64_t position2_ = 0;
    QColor backgroundColor_;
    QColor barColor_;
    QColor frameTopColor_;
    QColor frameBottomColor_;
    TBarType barType_ = TBarType::brNormal;
    int borderWidth_ = 1;
    QString caption_ = QStringLiteral("THoxelProgress");
    TCaptionType captionType_ = TCaptionType::ctNone;
    TOrientationType orientation_ = TOrientationType::pbHorizontal;
    int stereoSeperation_ = 1;
    int ledSeperation_ = 1;
    int ledWidth_ = 1;
    Speech speech_ = Speech::None;
    std::function<QString(std::int64_t, std::int64_t)> valueText_;
    QString announced_;
};

}  // namespace mirvo
