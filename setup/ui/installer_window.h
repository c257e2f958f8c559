// The installer: the directory to install to, the four choices and the button that runs
// the installation. The installation itself is the caller's: the window hands it the
// state of its controls and shows the outcome.
#pragma once

#include <QDialog>
#include <functional>
#include <string>

#include "platform/user_prompt.h"
#include "setup/install.h"

class QCheckBox;
class QLineEdit;

namespace vorlanx {

// Runs the installation for a request (the caller adds the running executable and the
// icon); user-interface thread, may block and may ask through the prompt.
using InstallFunction = std::function<InstallOutcome(const InstallRequest&)>;

class InstallerWindow final : public QDialog {
    Q_OBJECT

  public:
    static constexpr int kDirectoryId = 1069;
    static constexpr int kDesktopEntryId = 1070;
    static constexpr int kMenuEntryId = 1071;
    static constexpr int kRunWhenDoneId = 1072;
    static constexpr int kInstallId = 1073;
    static constexpr int kAllUsersId = 1074;

    // `defaultDirectory` goes into 1069. `prompt` asks before the close box quits.
    InstallerWindow(const std::string& defaultDirectory, UserPrompt& prompt,
                    InstallFunction install, QWidget* parent = nullptr);

    // The controls as they stand, as the installation receives them.
    InstallRequest request() const;

  protected:
    // The close box quits only when the user confirms; not while an installation runs.
    void closeEvent(QCloseEvent* event) override;

  private:
    // 1073: wait cursor and window disabled around the installation; success closes the
    // window, a failure puts the outcome's directory into 1069 for another try.
    void install();

    UserPrompt& m_prompt;
    InstallFunction m_install;
    QLineEdit* m_directory = nullptr;
    QCheckBox* m_desktopEntry = nullptr;
    QCheckBox* m_menuEntry = nullptr;
    QCheckBox* m_runWhenDone = nullptr;
    QCheckBox* m_allUsers = nullptr;
    bool m_installing = false;
};

}  // namespace vorlanx
