// Choose Interface: lists the machine's IPv4 addresses and stores the one the user picks
// in interfaceAddress of the settings record.
#pragma once

#include <QDialog>
#include <functional>
#include <string>
#include <vector>

#include "settings/settings_record.h"
#include "platform/user_prompt.h"

class QTreeWidget;
class QPushButton;

namespace vorlanx {

class InterfaceChoiceWindow final : public QDialog {
    Q_OBJECT

  public:
    static constexpr int kAddressListId = 1037;
    static constexpr int kOkId = 1;

    // Dotted IPv4 addresses in the order they are found; empty when none can be read.
    using AddressProvider = std::function<std::vector<std::string>()>;

    // Fills the list from `addresses` (the interfaces that are up by default), each
    // address inserted above the ones before it. No row is selected. `settings` and
    // `prompt` must outlive the window.
    InterfaceChoiceWindow(SettingsRecord& settings, UserPrompt& prompt, QWidget* parent = nullptr,
                          AddressProvider addresses = {});

    // Runs the window modally. When no address could be found it says so and returns
    // Rejected without showing the window. Accepted when an address was stored.
    int exec() override;

    // OK, Enter and a double click on the list: stores the selected row's address and
    // closes; with no row selected, asks the user to choose one and stays open.
    void accept() override;

    // True when the list has addresses to choose from.
    bool hasAddresses() const;

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    SettingsRecord& m_settings;
    UserPrompt& m_prompt;
    QTreeWidget* m_list = nullptr;
    QPushButton* m_ok = nullptr;
};

}  // namespace vorlanx
