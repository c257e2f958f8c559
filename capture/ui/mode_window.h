// The frame both mode windows share around their own controls: the main menu with its
// Network interface, Mode > Change and Exit commands, the maker's logo, the Esc and F1
// keys, queued calls from worker threads and the wait that keeps the event loop turning
// while a window closes.
#pragma once

#include <QLabel>
#include <QMainWindow>
#include <QMetaObject>
#include <QStyle>
#include <functional>
#include <string>
#include <utility>

#include "capture/capture_source.h"
#include "capture/mode_switch.h"
#include "capture/ui/interface_choice_window.h"
#include "platform/process.h"
#include "platform/qt/main_menu.h"
#include "platform/qt/web_page.h"
#include "platform/qt/qt_sound_player.h"
#include "platform/sound.h"
#include "platform/user_prompt.h"
#include "settings/settings_record.h"

class QToolButton;

namespace vorlanx {

// The maker's logo (control 1058 in both mode windows and the mode choice). A click, the
// left button pressed and released over it, opens the maker's web page; other buttons
// and a press that ends elsewhere do nothing.
class MakerLogo final : public QLabel {
    Q_OBJECT
  public:
    MakerLogo(int controlId, WebPageOpener openWebPage, QWidget* parent = nullptr);

  protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

  private:
    WebPageOpener m_openWebPage;
    bool m_pressed = false;
};

// A flat picture button of the capture row (Start, Stop, Clear, ...), tagged with its id;
// its name is its text (shown when the style asks for it) and tool tip.
QToolButton* MakePictureButton(int controlId, QStyle::StandardPixmap picture,
                               const QString& accessibleName, int iconPixels = 24,
                               QWidget* parent = nullptr);

// A size given in dialog units, in pixels for `font`: a horizontal unit is a quarter of the
// font's average character width (taken over the 52 letters, rounded), a vertical one an
// eighth of its height.
QSize DialogUnitsToPixels(QSize dialogUnits, const QFont& font);

// Turns the event loop until `done` returns true; `done` itself waits a little (for worker
// threads) before it answers no. For a close that must wait for worker threads which may
// still need the user-interface thread (a question box they wait on). User-interface
// thread.
void PumpUntil(const std::function<bool()>& done);

// Runs About modally over `owner`. Start-up supplies it: the window belongs to the setup
// floor, above the mode windows' own.
using AboutOpener = std::function<void(QWidget* owner, const SettingsRecord& settings)>;

// What a mode window gets from start-up; each outlives the window.
struct ModeWindowServices {
    UserPrompt& prompt;
    ProgramLauncher& launcher;
    // The machine's IPv4 addresses for Choose Interface (empty: the interfaces that are up).
    InterfaceChoiceWindow::AddressProvider interfaceAddresses = {};
    WebPageOpener openWebPage = OpenInBrowser;
    // Help > About; the item is greyed without it.
    AboutOpener openAbout = {};
    // A player of its own for each opening of General settings, whose close stops it.
    SoundPlayerFactory generalSettingsSound = MakeDesktopSoundPlayer;
};

class ModeWindow : public QMainWindow {
    Q_OBJECT
  public:
    // `otherMode` is the mode Mode > Change switches to.
    ModeWindow(SettingsRecord& settings, std::string settingsPath, ModeWindowServices services,
               CaptureMode otherMode, QWidget* parent = nullptr);

    // Copies the window's own controls into the settings record. User-interface thread.
    virtual void storeSettings() = 0;

    // Queues `call` to the user-interface thread; it is dropped if the window is gone by
    // then. Any thread; never waits.
    template <typename F>
    void post(F&& call) {
        QMetaObject::invokeMethod(this, std::forward<F>(call), Qt::QueuedConnection);
    }

    // The trial capture on the record's interface before the window shows: an unusable
    // address runs Choose Interface (then interfaceChosen()); when capture is impossible
    // on this machine the user was told and the result is false (the process then ends
    // with 0). User-interface thread.
    bool tryCaptureInterface(CaptureSourceFactory& sources);

  signals:
    // The close sequence finished: the settings are written and nothing is left running.
    void closeFinished();

  protected:
    // Fills the menu bar: `commands` as given, with Network interface, Mode > Change,
    // Help and Exit filled in by the frame.
    void buildMainMenu(MainMenuCommands commands);
    // The logo with the window's control id, opening the maker's page through the services.
    MakerLogo* makeLogo(int controlId);
    // Runs Choose Interface modally, then interfaceChosen().
    void chooseInterface();
    // After Choose Interface closed (whether or not the address changed).
    virtual void interfaceChosen() {}
    // Settings > General: runs General settings modally on the record.
    void openGeneralSettings();
    // General settings stored new values into the record (Apply or OK), synchronously
    // while it is open. User-interface thread.
    virtual void generalSettingsChanged() {}
    // Mode > Change: asks, stores the controls, saves, starts the other mode, closes.
    void changeMode();
    // Esc does nothing (the window stays).
    void keyPressEvent(QKeyEvent* event) override;

    SettingsRecord& m_settings;
    const std::string m_settingsPath;
    ModeWindowServices m_frameServices;

  private:
    // Help > Help and F1 (whatever has the focus): runs Help modally, one at a time.
    void openHelp();
    // Help > About: runs About modally.
    void openAbout();

    CaptureMode m_otherMode;
    bool m_helpOpen = false;
};

}  // namespace vorlanx
