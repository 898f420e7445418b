#pragma once
// The count and the findings of a rendered page under the current board profile, as the rendering
// result dialog and the 投稿 dialog show them: one line of counts (red when over budget), the findings
// with their lines and parts, and "修正" for a finding that can be mended mechanically.

#include <QWidget>

#include <functional>
#include <string>
#include <vector>

#include "posting/post_count.h"

class QLabel;
class QListWidget;
class QPushButton;

namespace glyphora {

class PageCheckView : public QWidget {
    Q_OBJECT

  public:
    explicit PageCheckView(QWidget* parent = nullptr);

    // count_line is UTF-8; over colours it red.
    void show_check(const std::string& count_line, bool over, std::vector<posting::Finding> findings);
    // Called with the selected finding when "修正" is pressed.
    void set_fix_handler(std::function<void(const posting::Finding&)> handler) { fix_ = std::move(handler); }

    QLabel* count_label() const { return count_; }
    QListWidget* findings_list() const { return list_; }
    QPushButton* fix_button() const { return fix_button_; }
    const std::vector<posting::Finding>& findings() const { return findings_; }

  private:
    void selection_changed();

    QLabel* count_ = nullptr;
    QListWidget* list_ = nullptr;
    QPushButton* fix_button_ = nullptr;
    std::vector<posting::Finding> findings_;
    std::function<void(const posting::Finding&)> fix_;
};

// The colour of counts over budget, on the canvas strip too.
inline constexpr const char* kOverBudgetStyle = "color: #c00000; font-weight: bold;";

}  // namespace glyphora
