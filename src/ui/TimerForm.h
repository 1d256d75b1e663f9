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

struct EngineState;
struct Services;

class TTimer_Form final : public QDialog, public SleepTimerView {
    Q_OBJECT
  public:
    TTimer_Form(QWidget* parent, Services& ui, const EngineState& state, Engine& engine,
                std::function<void()> exitProgram);

    // SleepTimerView
    void ShowMinutes(const std::string& text) override;
    void ShowCounting(bool counting) override;
    void HideForm() override;
    bool ShutdownWhenDone() const override;

    // Escape, the frame's close button and "&Cancel" all end here.
    void reject() override;

    SleepTimer& timer() { return timer_; }

  protected:
    void showEvent(QShowEvent* event) override;

  private:
    SleepTimer timer_;
    QLabel* promptLabel_ = nullptr;
    QLineEdit* minutesEdit_ = nullptr;
    QCheckBox* shutdownBox_ = nullptr;
    QPushButton* startButton_ = nullptr;
};

}  // namespace mirvo
