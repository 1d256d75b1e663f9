#pragma once
// The parts of the main window that playback drives, beyond MainView.
#include <string>

namespace mirvo {

class PlaybackView {
  public:
    virtual ~PlaybackView() = default;
    // The progress bar `Progres`: maximum = track length, position = played, in ms.
    virtual void SetProgressMax(int maximum) = 0;
    virtual int ProgressMax() const = 0;
    virtual void SetProgressPosition(int position) = 0;
    virtual int ProgressPosition() const = 0;
    // "N %" beside the meters and the volume bar's position (0 to 100).
    virtual void ShowVolume(int percent) = 0;
    // The record button and the time label's left edge follow the entry kind.
    virtual void SetRecordVisible(bool visible) = 0;
    virtual void SetTimeLabelLeft(int left) = 0;
    virtual bool PlayBarVisible() const = 0;
    // The record command's caption: "&Record" or "Stop &recording".
    virtual void SetRecordCaption(const std::string& caption) = 0;
    // The locale's separator of thousands in numbers shown.
    virtual std::string ThousandsSeparator() const = 0;
};

}  // namespace mirvo
