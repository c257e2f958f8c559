// UserPrompt as QMessageBox, shown on the user-interface thread for any calling thread.
#pragma once

#include "platform/user_prompt.h"

class QWidget;

namespace vorlanx {

class QtUserPrompt final : public UserPrompt {
  public:
    // owner: the window that owned boxes are modal to; null: the current main window (the
    // visible mode window), else the active window. May change later.
    explicit QtUserPrompt(QWidget* owner = nullptr) : m_owner(owner) {}
    void setOwner(QWidget* owner) { m_owner = owner; }

    PromptAnswer ask(const PromptRequest& request) override;

    // The window an owned box is modal to now. User-interface thread.
    QWidget* owner() const;

  private:
    PromptAnswer askHere(const PromptRequest& request);
    QWidget* m_owner;
};

}  // namespace vorlanx
