// FileModeWindow: the main window of File Mode.
//
// Thin: it builds the controls (each tagged with its id), loads and stores its settings
// fields and forwards everything else to its FileModeCore: Start and Stop, the live values
// (directory, overwrite, HTTP only, partial content, sizes) the engine's threads read, the
// texts of its statistics and the resolver's lookups. The core's threads report back
// through an adapter that queues each change to the user-interface thread.
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "capture/capture_source.h"
#include "capture/ui/interface_choice_window.h"
#include "capture/ui/mode_window.h"
#include "filemode/file_mode_core.h"
#include "filemode/ui/file_mode_controls.h"
#include "platform/clock.h"
#include "platform/local_time.h"
#include "platform/process.h"
#include "platform/user_prompt.h"
#include "settings/settings_record.h"

class QCheckBox;
class QGridLayout;
class QGroupBox;
class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;
class QTimer;
class QToolButton;
class QVBoxLayout;

namespace vorlanx {

// What the window needs from the platform; the caller owns each and outlives the window.
struct FileModeWindowServices {
    UserPrompt& prompt;
    CaptureSourceFactory& sources;
    const ProgramClock& clock;
    const LocalTimeSource& localTime;
    ProgramLauncher& launcher;
    // The Resolve button's lookup, run off the user-interface thread; the system's resolver
    // when empty.
    HostResolver resolveHost = {};
    // The addresses Choose Interface offers; the machine's interfaces when empty.
    InterfaceChoiceWindow::AddressProvider interfaceAddresses = {};
    AboutOpener openAbout = {};
};

class FileModeWindow : public ModeWindow {
    Q_OBJECT
  public:
    // Builds the controls and fills them from `settings`, sets the timers, the stream clock
    // and the ACK time-out. Nothing is captured until Start. `settings` must outlive the
    // window; `settingsPath` is the file the close writes.
    FileModeWindow(SettingsRecord& settings, std::string settingsPath,
                   FileModeWindowServices services, QWidget* parent = nullptr);
    // Stops a running capture and waits for the engine's threads; the assembler ends after
    // its current pass and writes nothing that was still pending.
    ~FileModeWindow() override;

    // The trial of the capture interface, before the window is shown: an unusable address
    // opens Choose Interface; when capture is impossible on this machine the user is told
    // and the result is false (the process then ends with 0). Shows the interface address.
    bool initialise();

    // Copies the controls into the settings record: directory, the four check boxes, the
    // ACK time-out, the filters, the sizes and the resolver's text. User-interface thread.
    void storeSettings() override;

    // Re-reads the file name and date-time templates from the settings record (after the
    // General settings window stored them); the next file written uses them.
    void settingsChanged();

    // Parts used by tests and the screenshot tool.
    FileModeCore& core() { return *m_core; }
    QTimer* timer(file_ids::FileModeTimer which) const;
    // The timers' work, also callable directly.
    void updateCounters();
    void updateRates();
    void updateStreamClock();
    void updateBufferUsage();
    // True once the close has stored and written the settings.
    bool closed() const { return m_closed; }

  protected:
    void closeEvent(QCloseEvent* event) override;
    // After Choose Interface: shows the address; while capturing, says when it applies.
    void interfaceChosen() override;
    // After General settings stored: settingsChanged().
    void generalSettingsChanged() override { settingsChanged(); }

  private:
    class EventsAdapter;

    void buildControls();
    // One per group box of the window, each creating its controls and returning the box.
    QGroupBox* buildInterfaceGroup();
    QGroupBox* buildDirectoryGroup();
    QGroupBox* buildAdvancedGroup();
    QGroupBox* buildResolverGroup();
    QGroupBox* buildFilterGroup();
    // Start and Stop with the status line, added to `column`.
    void buildRunControls(QVBoxLayout* column);
    // The counters, the buffer bar, the rates and the activity indicator.
    QGridLayout* buildStatistics();
    void buildMenu();
    void loadSettings();
    void connectLiveValues();
    FileModeStartRequest startRequest() const;
    void startCapture();
    void stopCapture();
    // File > "Rebuild files from a capture file...": a run over the chosen capture files.
    void rebuildFromCaptureFile();
    void setRunningControls(bool running);
    void onCaptureEnded();
    void showCounterTexts(const CounterTexts& texts);
    void showRateTexts(const RateTexts& texts);
    void onHostResolved(const std::optional<std::string>& address);
    void resolveHost();
    void shutdownEngine();

    FileModeWindowServices m_services;

    std::unique_ptr<EventsAdapter> m_events;
    std::unique_ptr<FileModeCore> m_core;  // after the adapter it reports to

    QTimer* m_countersTimer = nullptr;
    QTimer* m_ratesTimer = nullptr;
    QTimer* m_clockTimer = nullptr;
    QTimer* m_bufferTimer = nullptr;

    bool m_resolving = false;
    bool m_closed = false;
    bool m_shuttingDown = false;

    QLineEdit* m_interface = nullptr;
    QLineEdit* m_directory = nullptr;
    QCheckBox* m_overwrite = nullptr;
    QCheckBox* m_httpOnly = nullptr;
    QLineEdit* m_ackTimeout = nullptr;
    QCheckBox* m_partialContent = nullptr;
    QCheckBox* m_dirtyMode = nullptr;
    QToolButton* m_start = nullptr;
    QToolButton* m_stop = nullptr;
    QLabel* m_status = nullptr;
    QLineEdit* m_resolverHost = nullptr;
    QPushButton* m_resolve = nullptr;
    QLineEdit* m_sourceIp = nullptr;
    QLineEdit* m_sourceIpNot = nullptr;
    QLineEdit* m_destinationIp = nullptr;
    QLineEdit* m_destinationIpNot = nullptr;
    QLineEdit* m_sourcePort = nullptr;
    QLineEdit* m_sourcePortNot = nullptr;
    QLineEdit* m_destinationPort = nullptr;
    QLineEdit* m_destinationPortNot = nullptr;
    QLineEdit* m_minSize = nullptr;
    QLineEdit* m_maxSize = nullptr;
    QLabel* m_pending = nullptr;
    QLabel* m_processed = nullptr;
    QLabel* m_written = nullptr;
    QLabel* m_memory = nullptr;
    QProgressBar* m_buffer = nullptr;
    QLabel* m_current = nullptr;
    QLabel* m_peak = nullptr;
    QLabel* m_average = nullptr;
    QLabel* m_activity = nullptr;
};

}  // namespace vorlanx
