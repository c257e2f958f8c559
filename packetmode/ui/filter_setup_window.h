// FilterSetupWindow: edits the packet filter criteria in the live SettingsRecord.
//
// Thin: it shows a FilterSetupFields in its controls (each tagged with its id), hands Add
// IP, Remove IP and the stores to the functions of packetmode/filter_setup.h, and runs the
// host name resolver's commands (RunResolverCommand) on a lookup thread of its own. Any
// number of these windows may be open at once, independent of each other and of the
// Packet Mode window; each store writes the whole filter section, so the last one wins.
//
// Lives on the user-interface thread.
#pragma once

#include <QDialog>
#include <array>
#include <optional>

#include "capture/worker_threads.h"
#include "packetmode/filter_setup.h"
#include "platform/host_names.h"
#include "platform/user_prompt.h"
#include "settings/settings_record.h"

class QCheckBox;
class QLineEdit;
class QPushButton;
class QTreeWidget;

namespace vorlanx {

class CurrentPacketFilters;

class FilterSetupWindow final : public QDialog {
    Q_OBJECT
  public:
    // Loads the controls from `settings`. Apply and OK store into `settings` and hand the
    // criteria to `filters`, so the capture's next datagram is decided by them. `settings`,
    // `filters` and `prompt` must outlive the window. No owner window by default.
    FilterSetupWindow(SettingsRecord& settings, CurrentPacketFilters& filters, UserPrompt& prompt,
                      HostNameLookup names = {}, QWidget* parent = nullptr);
    // Waits for a lookup still under way (its answer is dropped).
    ~FilterSetupWindow() override;

    // Apply (1087): stores the controls, the window stays open.
    void apply();
    // OK (1): stores and closes.
    void accept() override;
    // Cancel (1088), the close box and Esc close without storing (reject()).

    // True from a resolver button until its answer (and message) has been given.
    bool resolving() const { return m_resolving; }
    // The window deletes itself once it is closed and no lookup is under way: at once when
    // it is so already, else when it gets there. For an opener that keeps no window.
    void deleteWhenClosedAndIdle();

  protected:
    void done(int result) override;

  private:
    struct IpFilterControls {
        QLineEdit* entry = nullptr;
        QTreeWidget* list = nullptr;
    };

    void buildControls();
    void showFields(const FilterSetupFields& fields);
    FilterSetupFields gather() const;
    IpFilterFields gather(const IpFilterControls& filter) const;
    void addIp(const IpFilterControls& filter);
    void removeIp(const IpFilterControls& filter);
    void runResolver(ResolverCommand command);
    void resolverAnswered(const ResolverOutcome& outcome);
    void setResolverBusy(bool busy);
    void deleteIfDue();

    SettingsRecord& m_settings;
    CurrentPacketFilters& m_filters;
    UserPrompt& m_prompt;
    const HostNameLookup m_names;

    bool m_resolving = false;
    bool m_closed = false;
    bool m_deleteWhenIdle = false;

    QLineEdit* m_resolverHost = nullptr;
    std::array<QPushButton*, 3> m_resolverButtons{};
    // Source, source NOT, destination, destination NOT, either.
    std::array<IpFilterControls, 5> m_ipFilters{};
    QLineEdit* m_srcPort = nullptr;
    QLineEdit* m_srcPortNot = nullptr;
    QLineEdit* m_dstPort = nullptr;
    QLineEdit* m_dstPortNot = nullptr;
    QLineEdit* m_eitherPort = nullptr;
    QLineEdit* m_minPacketSize = nullptr;
    QLineEdit* m_maxPacketSize = nullptr;
    std::array<QLineEdit*, 3> m_mustContain{};
    std::array<QLineEdit*, 3> m_mustNotContain{};
    QCheckBox* m_allowTcp = nullptr;
    QCheckBox* m_allowUdp = nullptr;
    QCheckBox* m_allowIcmp = nullptr;
    QCheckBox* m_allowOther = nullptr;

    // The resolver's lookup thread; the destructor joins it.
    WorkerThreads m_lookups;
};

}  // namespace vorlanx
