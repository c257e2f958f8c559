// Mode Choice: Packet Mode or File Mode at start-up, optionally remembered.
#pragma once

#include <QDialog>
#include <functional>
#include <string>

#include "settings/settings_record.h"
#include "platform/user_prompt.h"

class QCheckBox;

namespace vorlanx {

class MakerLogo;
using WebPageOpener = std::function<void(const std::string& address)>;

enum class ModeChoiceOutcome {
    PacketMode,  // mode 0 chosen
    FileMode,    // mode 1 chosen
    Cancelled,   // Esc: nothing changed, start-up runs the stored mode
    Closed,      // the close box: the process ends without a mode window
};

class ModeChoiceWindow final : public QDialog {
    Q_OBJECT

  public:
    static constexpr int kLogoId = 1061;
    static constexpr int kPacketModeId = 1050;
    static constexpr int kFileModeId = 1051;
    static constexpr int kHelpId = 1052;
    static constexpr int kRememberId = 1053;

    // `settings` and `prompt` must outlive the window. `openWebPage` is used when the logo
    // is clicked (the desktop's browser by default).
    ModeChoiceWindow(SettingsRecord& settings, UserPrompt& prompt, QWidget* parent = nullptr,
                     WebPageOpener openWebPage = {});

    // How the window ended (Cancelled while it is still open).
    ModeChoiceOutcome outcome() const { return m_outcome; }

  protected:
    void closeEvent(QCloseEvent* event) override;

  private:
    void choose(ModeChoiceOutcome outcome);
    void showHelp();

    SettingsRecord& m_settings;
    UserPrompt& m_prompt;
    WebPageOpener m_openWebPage;
    MakerLogo* m_logo = nullptr;
    QCheckBox* m_remember = nullptr;
    ModeChoiceOutcome m_outcome = ModeChoiceOutcome::Cancelled;
};

}  // namespace vorlanx
