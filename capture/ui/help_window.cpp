#include "capture/ui/help_window.h"

#include <QButtonGroup>
#include <QHBoxLayout>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "capture/ui/mode_window.h"
#include "platform/qt/control_ids.h"

namespace vorlanx {

namespace {

QString FromView(std::string_view text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

QLabel* StaticText(const QString& text) {
    auto* label = new QLabel(text);
    label->setAccessibleName(text);
    return label;
}

}  // namespace

HelpWindow::HelpWindow(QWidget* parent) : QDialog(parent) {
    setWindowTitle(QStringLiteral("Help for Brindlecraft VORLANX"));

    // Push-like radio buttons: checkable push buttons of which one is checked at a time.
    m_topics = new QButtonGroup(this);
    m_topics->setExclusive(true);
    auto* topics = new QVBoxLayout;
    const auto all = HelpTopics();
    for (int i = 0; i < static_cast<int>(all.size()); ++i) {
        const HelpTopic& topic = all[static_cast<std::size_t>(i)];
        if (i == 0 || topic.group != all[static_cast<std::size_t>(i - 1)].group) {
            if (i != 0)
                topics->addSpacing(12);
            topics->addWidget(StaticText(topic.group == HelpTopicGroup::PacketMode
                                             ? QStringLiteral("Packet Mode questions:")
                                             : QStringLiteral("File Mode questions:")));
        }
        const QString text = FromView(topic.button);
        auto* button = Tag(new QPushButton(text), kTopicIds[static_cast<std::size_t>(i)], text);
        button->setCheckable(true);
        button->setAutoDefault(false);
        m_topics->addButton(button, i);
        topics->addWidget(button);
    }
    topics->addStretch(1);
    connect(m_topics, &QButtonGroup::idClicked, this, &HelpWindow::showTopic);

    const QString answerLabel = QStringLiteral("Answers / Information:");
    m_answer = Tag(new QPlainTextEdit, kAnswerId, answerLabel);
    m_answer->setReadOnly(true);
    m_answer->setLineWrapMode(QPlainTextEdit::WidgetWidth);
    m_answer->setMinimumSize(DialogUnitsToPixels(QSize(219, 224), font()));
    auto* label = StaticText(answerLabel);
    label->setBuddy(m_answer);
    auto* answer = new QVBoxLayout;
    answer->addWidget(label);
    answer->addWidget(m_answer, 1);

    auto* layout = new QHBoxLayout(this);
    layout->addLayout(topics);
    layout->addLayout(answer, 1);

    showTopic(0);
}

void HelpWindow::showTopic(int index) {
    m_topics->button(index)->setChecked(true);
    m_answer->setPlainText(FromView(HelpTopics()[static_cast<std::size_t>(index)].answer));
}

}  // namespace vorlanx
