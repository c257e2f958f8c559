// Help: the topic buttons of both modes and the answer pane that shows the pressed one's
// text. Opened from Help > Help and F1 in both mode windows; run modally.
#pragma once

#include <QDialog>
#include <array>

#include "capture/help_topics.h"

class QButtonGroup;
class QPlainTextEdit;

namespace vorlanx {

class HelpWindow final : public QDialog {
    Q_OBJECT

  public:
    static constexpr int kAnswerId = 1023;
    // The topic buttons' ids, in the order of HelpTopics().
    static constexpr std::array<int, kHelpTopicCount> kTopicIds = {1024, 1031, 1032, 1033, 1026,
                                                                   1027, 1028, 1029, 1030};

    // Opens on "Intro to Packet Mode": its button checked, its text shown. Esc and the
    // close box close the window.
    explicit HelpWindow(QWidget* parent = nullptr);

  private:
    // Checks topic `index` of HelpTopics() and replaces the answer with its text.
    void showTopic(int index);

    QButtonGroup* m_topics = nullptr;
    QPlainTextEdit* m_answer = nullptr;
};

}  // namespace vorlanx
