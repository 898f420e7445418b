#pragma once
// The strip along the bottom of the preview canvas while it shows a temporary rendering: how the rendered
// text counts on the current board ("1,834 / 4,096 バイト · 32 / 60 行"), red when over budget. What the
// count says is installed by the program; without a counter the strip never shows. Clicks go through it to
// the canvas.

#include <QLabel>

#include <functional>
#include <string>
#include <string_view>

namespace glyphora {

struct TempCount {
    std::string text;  // UTF-8
    bool over = false;
};
using TempCounter = std::function<TempCount(std::string_view rendered_sjis)>;

class CountStrip : public QLabel {
    Q_OBJECT

  public:
    explicit CountStrip(QWidget* canvas);

    void set_counter(TempCounter counter) { counter_ = std::move(counter); }
    // Counts a new temporary rendering (Shift_JIS), kept for recount().
    void count(std::string_view rendered_sjis);
    // Counts the last rendering again, after the board profile changed.
    void recount();
    // Shows the strip while the canvas shows the temporary rendering. Called from the canvas's paint, so
    // the change waits for the event loop.
    void follow(bool temporary_shown);
    bool over() const { return over_; }

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    void place();

    TempCounter counter_;
    std::string rendered_;
    bool over_ = false;
    bool wanted_ = false;
};

}  // namespace glyphora
