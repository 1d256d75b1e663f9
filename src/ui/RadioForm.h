#pragma once
// TRadio_Form: a station's address and title, with a button that asks the
// station for its official name while the window goes on.
#include <QDialog>
#include <optional>
#include <string>

#include "playback/Radio.h"

class QLineEdit;
class QPushButton;

namespace mirvo {

struct StationFields {
    std::string Address;
    std::string Title;
};

class TRadio_Form final : public QDialog {
    Q_OBJECT
  public:
    TRadio_Form(QWidget* parent, EventLoop& loop, OpenUrlFunction open = LibraryOpenUrl());
    // Shows `entry` modally; its new address and title on OK.
    std::optional<StationFields> Ask(const std::string& entry);
    bool GettingName() const { return lookup_.Waiting(); }

  protected:
    // Closed while asking: the answer is dropped.
    void done(int result) override;

  private:
    // "R": the station's "icy-name" into the title.
    void Button3Click();
    void SetAsking(bool asking);

    StationNameLookup lookup_;
    QLineEdit* urlEdit_ = nullptr;
    QLineEdit* titleEdit_ = nullptr;
    QPushButton* retrieveTitleButton_ = nullptr;
    QPushButton* okButton_ = nullptr;
    QPushButton* cancelButton_ = nullptr;
};

}  // namespace mirvo
