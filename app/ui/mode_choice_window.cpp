#include "app/ui/mode_choice_window.h"

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "settings/product.h"
#include "capture/ui/mode_window.h"
#include "platform/qt/control_ids.h"

namespace vorlanx {
namespace {

constexpr const char* kCaption = "Brindlecraft VORLANX Mode Choice";
constexpr const char* kPrompt =
    "Choose a mode of analyzation below. For more information, choose \"¿Help?\".";
constexpr const char* kHelpButton = "¿Help?";
constexpr const char* kHelpText =
    "Packet Mode:\r\n"
    "  Packet Mode is for the reception of TCP/IP packets, this mode allows you to view the "
    "contents of received packets.\r\n"
    "\r\n"
    "File Mode:\r\n"
    "  File Mode collects packets of the HTTP protocol, and then attempts to construct these "
    "packets into the form of files while auto saving these files for later viewing.\r\n"
    "\r\n"
    "\"Remember my choice\"\r\n"
    "  Check this option if you do not wish for this dialog to be displayed in the future, and "
    "you wish for your choice of mode to be automatically chosen in the future.";

}  // namespace

ModeChoiceWindow::ModeChoiceWindow(SettingsRecord& settings, UserPrompt& prompt, QWidget* parent,
                                   WebPageOpener openWebPage)
    : QDialog(parent),
      m_settings(settings),
      m_prompt(prompt),
      m_openWebPage(openWebPage ? std::move(openWebPage) : WebPageOpener(OpenInBrowser)) {
    setWindowTitle(QString::fromUtf8(kCaption));
    setWindowIcon(QApplication::windowIcon());
    setModal(true);

    // TODO: the product logo bitmap once the resources carry it; until then the product
    // name in large type stands for it, with the same behaviour.
    m_logo = new MakerLogo(kLogoId, m_openWebPage, this);
    m_logo->setText(QString::fromUtf8(kProductName));
    QFont logoFont = m_logo->font();
    logoFont.setPointSizeF(logoFont.pointSizeF() * 2);
    logoFont.setBold(true);
    m_logo->setFont(logoFont);
    m_logo->setAlignment(Qt::AlignCenter);

    auto* promptLabel = new QLabel(QString::fromUtf8(kPrompt), this);
    promptLabel->setObjectName("prompt");
    promptLabel->setWordWrap(true);

    auto* packetMode = Tag(new QPushButton("Packet Mode", this), kPacketModeId, "Packet Mode");
    auto* fileMode = Tag(new QPushButton("File Mode", this), kFileModeId, "File Mode");
    m_remember = Tag(new QCheckBox("Remember my choice", this), kRememberId, "Remember my choice");
    auto* help = Tag(new QPushButton(QString::fromUtf8(kHelpButton), this), kHelpId,
                     QString::fromUtf8(kHelpButton));
    packetMode->setDefault(true);

    connect(packetMode, &QPushButton::clicked, this,
            [this] { choose(ModeChoiceOutcome::PacketMode); });
    connect(fileMode, &QPushButton::clicked, this, [this] { choose(ModeChoiceOutcome::FileMode); });
    connect(help, &QPushButton::clicked, this, &ModeChoiceWindow::showHelp);

    auto* modes = new QHBoxLayout;
    modes->addWidget(packetMode);
    modes->addWidget(fileMode);
    auto* options = new QHBoxLayout;
    options->addWidget(m_remember);
    options->addStretch(1);
    options->addWidget(help);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_logo);
    layout->addWidget(promptLabel);
    layout->addLayout(modes);
    layout->addLayout(options);
    layout->setSizeConstraint(QLayout::SetFixedSize);

    packetMode->setFocus();
}

void ModeChoiceWindow::choose(ModeChoiceOutcome outcome) {
    m_settings.setShowModeChoice(!m_remember->isChecked());
    m_settings.setMode(outcome == ModeChoiceOutcome::FileMode ? CaptureMode::File
                                                              : CaptureMode::Packet);
    m_outcome = outcome;
    accept();
}

void ModeChoiceWindow::showHelp() {
    m_prompt.ask(
        PromptRequest{kProductName, kHelpText, PromptButtons::Ok, PromptIcon::Information, true});
}

void ModeChoiceWindow::closeEvent(QCloseEvent* event) {
    // Only the close box arrives here: the buttons and Esc end the window without a close
    // event. Start-up ends the process when it sees this outcome; nothing is saved.
    m_outcome = ModeChoiceOutcome::Closed;
    QDialog::closeEvent(event);
}

}  // namespace vorlanx
