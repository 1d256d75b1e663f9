#pragma once
// TTimer_Form: the sleep timer dialog around the countdown of app/SleepTimer.
#include <QDialog>
#include <functional>

#include "app/SleepTimer.h"

class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace mirvo {

struct Player;

class TTimer_Form final : public QDialog, public SleepTimerView {
    Q_OBJECT
  public:
    TTimer_Form(QWidget* parent, Player& player, Engine& engine, std::function<void()> exitProgram);

    // SleepTimerView
    void ShowMinutes(const std::string& text) override;
    void ShowCounting(bool counting) override;
    void HideForm() override;
    bool ShutdownWhenDone() const override;

    // Escape, the frame's close button and "&Cancel" all end here.
    void reject() override;

    SleepTimer& timer() { return timer_; }

    QLabel* Label1 = nullptr;
    QLineEdit* Edit1 = nullptr;
    QCheckBox* CheckBox1 = nullptr;
    QPushButton* Button1 = nullptr;

  protected:
    void showEvent(QShowEvent* event) override;

  private:
    SleepTimer timer_;
};

}  // namespace mirvo
