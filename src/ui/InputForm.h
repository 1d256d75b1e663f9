#pragma once
// TInput_Form: the one-line input dialog (a prompt, a text, OK and Cancel).
#include <QDialog>
#include <optional>

class QLabel;
class QLineEdit;

namespace mirvo {

class TInput_Form final : public QDialog {
    Q_OBJECT
  public:
    explicit TInput_Form(QWidget* parent);
    // Shows the dialog modally; the edited text on OK, nothing on Cancel.
    std::optional<QString> Ask(const QString& caption, const QString& prompt, const QString& text);

  private:
    void FitTo(const QString& caption, const QString& text);

    QLabel* promptLabel_ = nullptr;
    QLineEdit* textEdit_ = nullptr;
};

}  // namespace mirvo
