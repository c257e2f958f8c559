// About: the product's blurb, the maker's web site and support address, the check for a
// newer version and the version history. Opened from Help > About of both mode windows;
// run modally.
#pragma once

#include <QDialog>
#include <cstdint>
#include <string>
#include <thread>

#include "platform/qt/web_page.h"
#include "platform/user_prompt.h"
#include "settings/settings_record.h"
#include "setup/update_check.h"

class QPushButton;
class QTreeWidget;

namespace vorlanx {

// Where the check asks: the maker's server unless a test names another.
struct UpdateServer {
    std::string host = kUpdateHost;
    uint16_t port = kUpdatePort;
    int timeoutMs = kUpdateTimeoutSeconds * 1000;
};

struct AboutWindowServices {
    UserPrompt& prompt;
    WebPageOpener openWebPage = OpenInBrowser;
    UpdateServer server = {};
};

class AboutWindow final : public QDialog {
    Q_OBJECT

  public:
    static constexpr int kBlurbId = 1116;
    static constexpr int kSiteButtonId = 1016;
    static constexpr int kMailButtonId = 1017;
    static constexpr int kAddressId = 1027;
    static constexpr int kCheckButtonId = 1018;
    static constexpr int kHistoryId = 1028;
    static constexpr int kCloseId = 1;

    // The history list takes the pane colours unless the settings ask for the system's.
    AboutWindow(const SettingsRecord& settings, AboutWindowServices services,
                QWidget* parent = nullptr);
    // A check still under way is stopped and waited for; its result is dropped.
    ~AboutWindow() override;

    // True from a press of 1018 until its result is shown (or the window closes).
    bool checking() const { return m_checking; }

    // Closing (Close, Esc, the close box) stops a check under way and drops its result.
    void done(int result) override;

  protected:
    void showEvent(QShowEvent* event) override;

  private:
    // 1018: the wait cursor, 1018 disabled, the exchange on a worker thread.
    void checkForNewerVersion();
    // Back on the user-interface thread: the cursor and 1018 restored, the verdict's message.
    void showVerdict(UpdateVerdict verdict);
    // Ends the wait cursor and enables 1018 again.
    void endCheck();

    AboutWindowServices m_services;
    QTreeWidget* m_history = nullptr;
    QPushButton* m_check = nullptr;
    bool m_checking = false;
    std::jthread m_worker;  // declared last: stopped and joined first
};

}  // namespace vorlanx
