#pragma once
// What the posting windows share for the run: the board profiles and the current one, kept by the main
// dialog (as its child object) and read from the settings folder the first time they are needed; and the
// rendering of a preview page as the text that is posted, with where its lines came from.

#include <QObject>

#include <string>
#include <string_view>

#include "posting/board_profile.h"
#include "posting/post_count.h"
#include "session/app_context.h"

class QWidget;

namespace glyphora {

class MainDialog;

struct RenderedPage {
    bool has_content = false;
    std::string text;  // Shift_JIS, CR LF line breaks: what "コピー" posts
};

// Renders preview page `page` as the temporary rendering does, with the busy cursor unless `quiet` (a page
// renders in a millisecond or two; a count beside a result already shown needs no cursor). The width
// table must be built.
RenderedPage render_page_text(AppContext& ctx, int page, bool quiet = false);

// The page and settings a rendering of preview page `page` came from, so that findings can name parts.
posting::PageSource page_source(AppContext& ctx, int page);

class PostingSession : public QObject {
    Q_OBJECT

  public:
    // The main dialog's session, made on first use.
    static PostingSession& of(MainDialog& dialog);

    PostingSession(AppContext& ctx, QObject* parent);

    const posting::ProfileList& profiles() const { return list_; }
    const posting::BoardProfile& current() const;
    std::string profiles_path() const;

    // Why the profiles file could not be read, once: the caller shows it. The file is then left as it is
    // (edits hold for this run only), so that nothing in it is lost.
    std::string take_load_error();
    bool profiles_file_damaged() const { return damaged_; }

    // Makes the named profile current and stores the choice in the settings file (a failed write is told
    // over parent; the choice holds for the run).
    void set_current(const std::string& name, QWidget* parent);
    // Adds a profile, or replaces the one called old_name, and saves the list. False, with a message over
    // parent, for a profile that cannot be used or whose name another one has; nothing changes then.
    bool put_profile(const std::string& old_name, const posting::BoardProfile& profile, QWidget* parent);
    // Removes a profile (never the built-in one) and saves the list.
    void remove_profile(const std::string& name, QWidget* parent);

  Q_SIGNALS:
    // The current profile or its limits changed: counts shown elsewhere are out of date.
    void profile_changed();

  private:
    void save(QWidget* parent);

    AppContext& ctx_;
    posting::ProfileList list_;
    std::string current_name_;
    std::string load_error_;
    bool damaged_ = false;
};

// Mends the part a space finding names, on the current preview page, as the page's render flags allow
// (undoable, like any edit of a part). False, with a message over parent, when it cannot be mended.
bool fix_finding(AppContext& ctx, const posting::Finding& finding, QWidget* parent);

// The finding as the windows list it (UTF-8): "N行目：" and what it is, with the part it comes from.
std::string finding_text(const posting::Finding& finding);

// "1,834 / 4,096 バイト · 32 / 60 行", then the references and, over budget, how many posts it takes.
std::string count_text(const posting::PostCount& count, const posting::BoardProfile& profile, int posts = 1);

// The count_text of a whole rendered page (Shift_JIS), and whether it is over budget.
struct PageCountLine {
    std::string text;
    bool over = false;
};
PageCountLine page_count_line(std::string_view rendered, const posting::BoardProfile& profile);

}  // namespace glyphora
