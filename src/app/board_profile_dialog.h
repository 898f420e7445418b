#pragma once
// Edits one board profile: its name, the bytes and lines a post may have, whether numeric references pass,
// the encoding and the bytes the server's escaping counts for a line break, '"', '<', '>' and '&'.

#include <QDialog>

#include <functional>

#include "posting/board_profile.h"

class QCheckBox;
class QComboBox;
class QLineEdit;
class QSpinBox;

namespace glyphora {

class BoardProfileDialog : public QDialog {
    Q_OBJECT

  public:
    BoardProfileDialog(const posting::BoardProfile& profile, QWidget* parent);

    // Asked on OK with the edited profile; false keeps the dialog open (it has told the user why).
    void set_acceptor(std::function<bool(const posting::BoardProfile&)> acceptor) {
        acceptor_ = std::move(acceptor);
    }
    posting::BoardProfile profile() const;
    void accept() override;

    QLineEdit* name_field() const { return name_; }
    QSpinBox* bytes_field() const { return bytes_; }
    QSpinBox* lines_field() const { return lines_; }
    QCheckBox* references_box() const { return references_; }
    QComboBox* encoding_box() const { return encoding_; }

  private:
    QLineEdit* name_ = nullptr;
    QSpinBox* bytes_ = nullptr;
    QSpinBox* lines_ = nullptr;
    QCheckBox* references_ = nullptr;
    QComboBox* encoding_ = nullptr;
    QSpinBox* line_break_ = nullptr;
    QSpinBox* quote_ = nullptr;
    QSpinBox* less_ = nullptr;
    QSpinBox* greater_ = nullptr;
    QSpinBox* amp_ = nullptr;
    std::function<bool(const posting::BoardProfile&)> acceptor_;
};

}  // namespace glyphora
