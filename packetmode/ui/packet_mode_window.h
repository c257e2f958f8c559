// PacketModeWindow: the main window of Packet Mode.
//
// Thin: it builds the controls (each tagged with its id), loads and stores its settings
// fields, shows the packet list through PacketListModel and the detail pane of the
// selected packet, and forwards Start, Stop and Clear to the PacketModeEngine. Worker
// threads never touch its widgets: they report through the PacketModeView and
// StatusMonitorView adapters, which queue each change to the user-interface thread.
#pragma once

#include <QPoint>
#include <QPointer>
#include <array>
#include <atomic>
#include <memory>
#include <string>
#include <vector>

#include "capture/capture_source.h"
#include "capture/ui/mode_window.h"
#include "packetmode/packet_details.h"
#include "packetmode/packet_mode_core.h"
#include "platform/host_names.h"
#include "platform/local_time.h"
#include "platform/process.h"
#include "platform/sound.h"
#include "platform/user_prompt.h"
#include "settings/settings_record.h"

class QAction;
class QCheckBox;
class QGroupBox;
class QLabel;
class QLayout;
class QLineEdit;
class QPlainTextEdit;
class QProgressBar;
class QPushButton;
class QRadioButton;
class QStackedLayout;
class QTableView;
class QTimer;
class QToolButton;

namespace vorlanx {

class FilterSetupWindow;
class PacketListModel;

// What the window needs from the platform; the caller owns each and outlives the window.
struct PacketModeWindowServices {
    UserPrompt& prompt;
    CaptureSourceFactory& sources;
    SoundPlayer& sound;
    const LocalTimeSource& localTime;
    ProgramLauncher& launcher;
    // The Filter Setup resolver and the list's reverse lookups.
    HostNameLookup names = {};
    AboutOpener openAbout = {};
};

class PacketModeWindow : public ModeWindow {
    Q_OBJECT
  public:
    PacketModeWindow(SettingsRecord& settings, std::string settingsPath,
                     PacketModeWindowServices services, QWidget* parent = nullptr);
    ~PacketModeWindow() override;

    // The rest of the initialisation once the window exists: one trial capture on the
    // interface (an unusable address runs Choose Interface) and the monitors. False when
    // capture is impossible on this machine: the user was told and the process ends with 0.
    bool initialise();

    // Copies the window's own controls into the settings record: find text, match case,
    // sound, the three view radios and "Apply filters". User-interface thread.
    void storeSettings() override;

    // The rendering the radio buttons choose for the Entire packet pane.
    PacketRendering rendering() const;

    // Re-applies the list and pane colours from useWindowsColors (after General settings).
    void applyColors();

    // Fills the detail pane from the row carrying the selection mark (nothing without one).
    void showSelectedPacket();

    // Puts the selection mark on actual row `row` and shows it selected in the list,
    // scrolled into view; the detail pane follows within one watch round. For Find and the
    // TCP tools. Nothing for a row that does not exist. User-interface thread.
    void selectRow(int32_t row);

    // The packet list's context menu for the marked row, left-aligned at `at` (screen
    // coordinates); then the chosen command. No menu (contextRow -1) without a marked,
    // selected row. User-interface thread.
    void showPacketContextMenu(QPoint at);
    // File > Save: asks for the file (a report, or a capture file by its filter or ".pcap"
    // name) and, for a report, the saving options; a worker writes it.
    void saveList();
    // File > "Open capture file...": asks for a pcap or pcapng file and has the core load
    // it into the list. User-interface thread.
    void openCaptureFile();
    // A click on the header of `column`: sorts the list by it unless a worker holds the
    // list. User-interface thread.
    void sortByColumn(int column);

    // The mode's core (engine, store, list, state), for tests.
    PacketModeCore& core() { return *m_core; }
    PacketListModel& model() { return *m_model; }
    // Applies pending list changes to the view now (the view timer does it every 30 ms).
    void syncList();
    // True from the start of the close sequence.
    bool closing() const { return m_closing; }
    // True once the close sequence has released every packet.
    bool closed() const { return m_closed; }

  protected:
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    // After Choose Interface: while capturing, restarts on the (new) address.
    void interfaceChosen() override;
    // After General settings stored: the panes' colours, the blink switch, the sound file,
    // the Date / Time template of the next row and the automatic log's settings.
    void generalSettingsChanged() override;

  private:
    class ViewAdapter;
    class MonitorAdapter;

    // The controls, one function a group; each returns its group's layout or box.
    void buildControls();
    QLayout* buildListArea();
    QLayout* buildCaptureColumn();
    QLayout* buildFieldColumn();
    QGroupBox* buildTcpGroup();
    QLayout* buildPacketPanes();
    QLayout* buildToolRows();
    void loadSettings();
    void watchSelection();
    // Makes actual row `row` the list view's current, selected row and scrolls to it.
    void moveViewToRow(int32_t row);
    void highlightField(int controlId);
    void emptyDetailFields();
    void setDetails(const PacketDetails& details);
    void offerInvalidRowDeletion(int32_t row, int32_t slot);
    void runListCommand(int commandId);
    // "Setup packet filters": one more independent Filter Setup window on the live record.
    void openFilterSetup();
    void beginClose();

    PacketModeWindowServices m_services;

    // The adapters outlive the core, whose threads call them.
    std::unique_ptr<ViewAdapter> m_viewAdapter;
    std::unique_ptr<MonitorAdapter> m_monitorAdapter;
    std::unique_ptr<PacketModeCore> m_core;
    PacketListModel* m_model = nullptr;

    // Copies of controls the status monitor reads.
    std::atomic<bool> m_applyFiltersChecked{false};
    std::atomic<bool> m_noTaskbarBlink{false};

    // Selection watcher (a 20 ms timer of this thread) and the list's batch timer.
    QTimer* m_selectionTimer = nullptr;
    QTimer* m_listTimer = nullptr;
    int32_t m_shownRow = -1;
    uint64_t m_shownSerial = 0;
    CaptureLosses m_shownLosses;
    bool m_asking = false;
    PacketDetails m_details;

    // The Filter Setup windows opened so far; each deletes itself once closed and idle.
    std::vector<QPointer<FilterSetupWindow>> m_filterWindows;

    bool m_closing = false;
    bool m_closed = false;
    QTimer* m_closeTimer = nullptr;

    QTableView* m_listView = nullptr;
    QStackedLayout* m_listArea = nullptr;
    QToolButton* m_start = nullptr;
    QToolButton* m_stop = nullptr;
    QToolButton* m_clear = nullptr;
    QLineEdit* m_packetSize = nullptr;
    QLineEdit* m_ttl = nullptr;
    QLineEdit* m_protocolNumber = nullptr;
    QLineEdit* m_packetType = nullptr;
    QLineEdit* m_ipChecksum = nullptr;
    QLineEdit* m_fromIp = nullptr;
    QLineEdit* m_toIp = nullptr;
    QLineEdit* m_fromPort = nullptr;
    QLineEdit* m_fromPortUse = nullptr;
    QLineEdit* m_toPort = nullptr;
    QLineEdit* m_toPortUse = nullptr;
    QLineEdit* m_sequence = nullptr;
    QLineEdit* m_acknowledgement = nullptr;
    QLineEdit* m_window = nullptr;
    std::array<QLabel*, 6> m_flags{};
    QGroupBox* m_entirePacketGroup = nullptr;
    QGroupBox* m_packetDataGroup = nullptr;
    QPlainTextEdit* m_entirePacket = nullptr;
    QPlainTextEdit* m_packetData = nullptr;
    QRadioButton* m_text = nullptr;
    QRadioButton* m_dec = nullptr;
    QRadioButton* m_hex = nullptr;
    QCheckBox* m_sound = nullptr;
    QCheckBox* m_matchCase = nullptr;
    QLineEdit* m_findText = nullptr;
    QPushButton* m_find = nullptr;
    QCheckBox* m_applyFilters = nullptr;
    QPushButton* m_filterSetup = nullptr;
    QLabel* m_status = nullptr;
    QLabel* m_memory = nullptr;
    QProgressBar* m_progress = nullptr;
    QProgressBar* m_listProgress = nullptr;
    QPushButton* m_cancel = nullptr;
    QAction* m_openCaptureFile = nullptr;
};

}  // namespace vorlanx
