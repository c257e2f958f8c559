// SavingOptionsWindow: what a report holds for each packet, asked before it is written.
#pragma once

#include <QDialog>

#include "settings/settings_record.h"

class QCheckBox;
class QRadioButton;

namespace vorlanx {

class SavingOptionsWindow final : public QDialog {
    Q_OBJECT
  public:
    // Shows the record's five saving fields; "<-Continue->" stores them and closes, any
    // other close stores nothing.
    SavingOptionsWindow(SettingsRecord& settings, QWidget* parent = nullptr);

  private:
    void storeAndClose();

    SettingsRecord& m_settings;
    QCheckBox* m_withData = nullptr;
    QRadioButton* m_dec = nullptr;
    QRadioButton* m_hex = nullptr;
    QRadioButton* m_text = nullptr;
    QCheckBox* m_listedOnly = nullptr;
};

}  // namespace vorlanx
