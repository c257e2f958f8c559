// Message boxes and questions, as the core asks them.
//
// Core code (also on worker threads) reports and asks through this interface; the Qt
// implementation shows a QMessageBox on the user-interface thread and blocks the caller
// until the user answers; tests answer with a scripted fake.
#pragma once

#include <string>

namespace vorlanx {

enum class PromptButtons { Ok, OkCancel, YesNo, YesNoCancel };
enum class PromptIcon { None, Information, Question, Warning, Error };
enum class PromptAnswer { Ok, Cancel, Yes, No };

struct PromptRequest {
    std::string caption;  // empty: the application's title (the executable's name)
    std::string text;
    PromptButtons buttons = PromptButtons::Ok;
    PromptIcon icon = PromptIcon::None;
    bool owned = false;  // true: modal to the current main window; false: no owner
    bool blankCaption = false;  // true: the box has an empty caption, whatever `caption` is
};

class UserPrompt {
  public:
    virtual ~UserPrompt() = default;
    // Shows the message and returns the button the user pressed. Any thread; blocks until
    // answered. Closing the box without a button answers Cancel (or Ok for an Ok-only box).
    virtual PromptAnswer ask(const PromptRequest& request) = 0;

    // Convenience for a plain message with an OK button.
    void tell(const std::string& caption, const std::string& text,
              PromptIcon icon = PromptIcon::None) {
        ask(PromptRequest{caption, text, PromptButtons::Ok, icon, false});
    }
};

}  // namespace vorlanx
