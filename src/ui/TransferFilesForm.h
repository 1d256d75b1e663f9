#pragma once
// TTransferFiles_Form: copies the selected files to a device folder, with the
// space it has and will have, refreshed every three seconds.
#include <QDialog>
#include <memory>

#include "player/PlaylistContext.h"
#include "tools/CopyToDevice.h"

class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;
class QTimer;

namespace mirvo {

class TTransferFiles_Form final : public QDialog {
    Q_OBJECT
  public:
    TTransferFiles_Form(QWidget* parent, const PlaylistContext& ctx);
    ~TTransferFiles_Form() override;

    // Reads the device's space again, as every three seconds while shown.
    void Timer1Timer();
    bool Copying() const { return copy_ && copy_->Running(); }

    // Escape and the frame's close button cancel a copy instead of leaving it.
    void reject() override;

    QLabel* LabelSelectedFiles = nullptr;
    QLabel* LabelDeviceFree = nullptr;
    QLabel* LabelInUse = nullptr;

  protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

  private:
    void FormShow();
    void Button1Click();
    void Button2Click();
    void Button3Click();
    void Button4Click();
    void Finished(const DeviceCopy::Outcome& outcome);

    PlaylistContext ctx_;
    std::unique_ptr<DeviceCopy> copy_;
    QLineEdit* deviceEdit_ = nullptr;
    QPushButton* browseButton_ = nullptr;
    QLabel* notConnectedLabel_ = nullptr;
    QLabel* deviceFreeCaption_ = nullptr;
    QLabel* inUseCaption_ = nullptr;
    QProgressBar* progressBar_ = nullptr;
    QPushButton* startButton_ = nullptr;
    QPushButton* cancelButton_ = nullptr;
    QPushButton* exploreButton_ = nullptr;
    QTimer* refreshTimer_ = nullptr;
};

}  // namespace mirvo
