// A UserPrompt that records every request and answers from a script.
#pragma once

#include <deque>
#include <mutex>
#include <vector>

#include "platform/user_prompt.h"

namespace vorlanx::test {

class ScriptedPrompt final : public UserPrompt {
  public:
    // Answers given in order; when the script is empty, Ok for an OK box, else Cancel.
    void script(std::initializer_list<PromptAnswer> answers) {
        std::lock_guard lock(m_mutex);
        m_answers.insert(m_answers.end(), answers);
    }

    PromptAnswer ask(const PromptRequest& request) override {
        std::lock_guard lock(m_mutex);
        m_asked.push_back(request);
        if (!m_answers.empty()) {
            PromptAnswer a = m_answers.front();
            m_answers.pop_front();
            return a;
        }
        return request.buttons == PromptButtons::Ok ? PromptAnswer::Ok : PromptAnswer::Cancel;
    }

    std::vector<PromptRequest> asked() const {
        std::lock_guard lock(m_mutex);
        return m_asked;
    }
    std::vector<std::string> texts() const {
        std::lock_guard lock(m_mutex);
        std::vector<std::string> t;
        for (const auto& r : m_asked)
            t.push_back(r.text);
        return t;
    }

  private:
    mutable std::mutex m_mutex;
    std::deque<PromptAnswer> m_answers;
    std::vector<PromptRequest> m_asked;
};

}  // namespace vorlanx::test
