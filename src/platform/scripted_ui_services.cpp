#include "platform/scripted_ui_services.h"

#include <algorithm>
#include <exception>
#include <new>
#include <thread>
#include <utility>

namespace glyphora {

void ScriptedUiServices::answer_yes(bool yes) {
    answers_.push_back({AnswerKind::yes_no, yes, {}});
}
void ScriptedUiServices::answer_file(const std::string& path) {
    answers_.push_back({AnswerKind::path, false, path});
}
void ScriptedUiServices::answer_text(const std::string& text) {
    answers_.push_back({AnswerKind::text, false, text});
}
void ScriptedUiServices::answer_cancel() {
    answers_.push_back({AnswerKind::cancel, false, {}});
}

std::optional<ScriptedUiServices::Answer> ScriptedUiServices::next_answer(
    std::initializer_list<AnswerKind> accepted, const std::string& what) {
    if (answers_.empty()) {
        script_errors_.push_back("no answer scripted for " + what);
        return std::nullopt;
    }
    const Answer answer = answers_.front();
    if (std::find(accepted.begin(), accepted.end(), answer.kind) == accepted.end()) {
        script_errors_.push_back("the next scripted answer does not fit " + what);
        return std::nullopt;
    }
    answers_.pop_front();
    return answer;
}

std::vector<std::string> ScriptedUiServices::messages() const {
    std::vector<std::string> out;
    for (const Event& e : events_)
        if (e.kind == EventKind::message) out.push_back(e.text);
    return out;
}

std::vector<std::string> ScriptedUiServices::questions() const {
    std::vector<std::string> out;
    for (const Event& e : events_)
        if (e.kind == EventKind::question) out.push_back(e.text);
    return out;
}

std::vector<std::string> ScriptedUiServices::trace() const {
    std::vector<std::string> out;
    for (const Event& e : events_) {
        switch (e.kind) {
            case EventKind::message:
                out.push_back("message:" + e.text);
                break;
            case EventKind::question:
                out.push_back("question:" + e.text);
                break;
            case EventKind::open_file:
                out.push_back("open:" + e.file_request.proposed_name);
                break;
            case EventKind::save_file:
                out.push_back("save:" + e.file_request.proposed_name);
                break;
            case EventKind::choose_folder:
                out.push_back("folder:" + e.file_request.proposed_name);
                break;
            case EventKind::text_dialog:
                out.push_back("text:" + e.text);
                break;
            case EventKind::progress_begin:
                out.push_back("progress:" + e.text);
                break;
            case EventKind::progress_end:
                out.push_back("progress-end");
                break;
            case EventKind::busy_begin:
                out.push_back("busy");
                break;
            case EventKind::busy_end:
                out.push_back("busy-end");
                break;
            case EventKind::clipboard_set:
                out.push_back("clipboard");
                break;
            case EventKind::clipboard_image:
                out.push_back("clipboard-image:" + e.text);
                break;
            case EventKind::program_started:
                out.push_back("start:" + e.text);
                break;
            case EventKind::task:
                out.push_back("task:" + e.text);
                break;
        }
    }
    return out;
}

void ScriptedUiServices::show_message(QWidget*, std::string_view text, std::string_view caption) {
    events_.push_back({EventKind::message, std::string(text), std::string(caption), {}, {}, {}});
}

bool ScriptedUiServices::ask_yes_no(QWidget*, std::string_view text, std::string_view caption,
                                    DefaultAnswer default_answer) {
    const auto answer = next_answer({AnswerKind::yes_no}, "the question \"" + std::string(text) + "\"");
    const bool yes = answer && answer->yes;
    events_.push_back({EventKind::question,
                       std::string(text),
                       std::string(caption),
                       {},
                       {},
                       yes ? "yes" : "no",
                       default_answer});
    return yes;
}

std::optional<std::string> ScriptedUiServices::file_dialog(EventKind kind, const FileDialogRequest& request) {
    const auto answer = next_answer({AnswerKind::path, AnswerKind::cancel},
                                    kind == EventKind::open_file ? "an open dialog" : "a save dialog");
    std::optional<std::string> path;
    if (answer && answer->kind == AnswerKind::path)
        path = apply_default_extension(answer->value, request.default_extension);
    events_.push_back({kind, request.title, {}, request, {}, path ? *path : "<cancel>"});
    return path;
}

std::optional<std::string> ScriptedUiServices::open_file(QWidget*, const FileDialogRequest& request) {
    return file_dialog(EventKind::open_file, request);
}

std::optional<std::string> ScriptedUiServices::save_file(QWidget*, const FileDialogRequest& request) {
    return file_dialog(EventKind::save_file, request);
}

std::optional<std::string> ScriptedUiServices::choose_folder(QWidget*, std::string_view title,
                                                             const std::string& start_folder) {
    const auto answer = next_answer({AnswerKind::path, AnswerKind::cancel}, "a folder dialog");
    std::optional<std::string> path;
    if (answer && answer->kind == AnswerKind::path) path = answer->value;
    FileDialogRequest request;
    request.title = std::string(title);
    request.proposed_name = start_folder;
    events_.push_back({EventKind::choose_folder, request.title, {}, request, {}, path ? *path : "<cancel>"});
    return path;
}

std::optional<std::string> ScriptedUiServices::ask_text(QWidget*, const TextDialogRequest& request) {
    const auto answer =
        next_answer({AnswerKind::text, AnswerKind::cancel}, "the text dialog " + request.title);
    std::optional<std::string> text;
    if (answer && answer->kind == AnswerKind::text) text = answer->value;
    events_.push_back({EventKind::text_dialog, request.title, {}, {}, request, text ? *text : "<cancel>"});
    return text;
}

void ScriptedUiServices::begin_progress(QWidget*, std::string_view text) {
    ++progress_depth_;
    events_.push_back({EventKind::progress_begin, std::string(text), {}, {}, {}, {}});
}

void ScriptedUiServices::end_progress() {
    --progress_depth_;
    events_.push_back({EventKind::progress_end, {}, {}, {}, {}, {}});
}

bool ScriptedUiServices::run_task(QWidget*, std::string_view text,
                                  const std::function<void(TaskProgress&)>& task) {
    TaskProgress progress;
    if (cancel_task_at_) progress.cancel_at(*cancel_task_at_);
    cancel_task_at_.reset();
    std::exception_ptr failure;
    const bool out_of_memory = std::exchange(task_out_of_memory_, false);
    std::thread worker([&] {
        try {
            if (out_of_memory) throw std::bad_alloc();
            task(progress);
        } catch (...) {
            failure = std::current_exception();
        }
    });
    worker.join();
    Event event{EventKind::task, std::string(text), {}, {}, {}, progress.cancelled() ? "cancelled" : "done"};
    events_.push_back(std::move(event));
    if (failure) std::rethrow_exception(failure);
    return !progress.cancelled();
}

void ScriptedUiServices::begin_busy() {
    ++busy_depth_;
    events_.push_back({EventKind::busy_begin, {}, {}, {}, {}, {}});
}

void ScriptedUiServices::end_busy() {
    --busy_depth_;
    events_.push_back({EventKind::busy_end, {}, {}, {}, {}, {}});
}

bool ScriptedUiServices::set_clipboard_text(std::string_view sjis) {
    clipboard = std::string(sjis);
    events_.push_back({EventKind::clipboard_set, std::string(sjis), {}, {}, {}, {}});
    return true;
}

bool ScriptedUiServices::set_clipboard_image(const QImage& image) {
    if (image.isNull()) return false;
    clipboard_picture = image;
    const std::string size = std::to_string(image.width()) + "x" + std::to_string(image.height());
    events_.push_back({EventKind::clipboard_image, size, {}, {}, {}, {}});
    return true;
}

ClipboardText ScriptedUiServices::clipboard_text() {
    ClipboardText result;
    if (!clipboard) return result;
    result.has_text = true;
    result.ok = true;
    result.text = *clipboard;
    return result;
}

std::string ScriptedUiServices::find_program(const std::vector<std::string>& candidates) {
    for (const std::string& c : candidates)
        if (std::find(installed_programs.begin(), installed_programs.end(), c) != installed_programs.end())
            return c;
    return {};
}

bool ScriptedUiServices::start_program(const std::string& program, const std::vector<std::string>&) {
    events_.push_back({EventKind::program_started, program, {}, {}, {}, {}});
    return std::find(installed_programs.begin(), installed_programs.end(), program) !=
           installed_programs.end();
}

}  // namespace glyphora
