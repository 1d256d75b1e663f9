#pragma once
// TTransferFiles_Form: copies the selected files to a device folder, with the
// space it has and will have, refreshed every three seconds.
#include <QDialog>
#include <memory>

#include "tools/CopyToDevice.h"

class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;
class QTimer;

namespace mirvo {

struct Player;

class TTransferFiles_Form final : public QDialog {
    Q_OBJECT
  public:
    TTransferFiles_Form(QWidget* parent, Player& player);
    ~TTransferFiles_Form() override;

    void Timer1Timer();
    void Button1Click();
    void Button2Click();
    void Button3Click();
    void Button4Click();
    bool Copying() const { return copy_ && copy_->Running(); }

    // Escape and the frame's close button cancel a copy instead of leaving it.
    void reject() override;

    QLineEdit* Edit1 = nullptr;
    QPushButton* Button1 = nullptr;
    QLabel* Label4 = nullptr;
    QLabel* Label5 = nullptr;
    QLabel* Label6 = nullptr;
    QLabel* LabelSelectedFiles = nullptr;
    QLabel* LabelDeviceFree = nullptr;
    QLabel* LabelInUse = nullptr;
    QProgressBar* ProgressBar1 = nullptr;
    QPushButton* Button2 = nullptr;
    QPushButton* Button3 = nullptr;
    QPushButton* Button4 = nullptr;
    QTimer* Timer1 = nullptr;

  protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

  private:
    void FormShow();
    void Finished(const DeviceCopy::Outcome& outcome);

    Player& p_;
    std::unique_ptr<DeviceCopy> copy_;
};

}  // namespace mirvo
