#include "packetmode/ui/saving_options_window.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QHBoxLayout>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

#include "packetmode/report_save.h"
#include "platform/qt/control_ids.h"

namespace vorlanx {

namespace {
constexpr int kWithDataId = 1029;
constexpr int kDecId = 1025;
constexpr int kHexId = 1026;
constexpr int kTextId = 1020;
constexpr int kListedOnlyId = 1134;
constexpr int kContinueId = 1028;
}  // namespace

SavingOptionsWindow::SavingOptionsWindow(SettingsRecord& settings, QWidget* parent)
    : QDialog(parent), m_settings(settings) {
    setWindowTitle(QStringLiteral("Saving options"));
    const auto check = [](int id, const QString& text) { return Tag(new QCheckBox(text), id, text); };
    const auto radio = [](int id, const QString& text) {
        return Tag(new QRadioButton(text), id, text);
    };
    m_withData = check(kWithDataId, QStringLiteral("Save packet data for each packet"));
    m_dec = radio(kDecId, QStringLiteral("Dec"));
    m_hex = radio(kHexId, QStringLiteral("Hex"));
    m_text = radio(kTextId, QStringLiteral("Text"));
    m_listedOnly = check(kListedOnlyId, QStringLiteral("Only save listed packets\n(Do not save "
                                                       "packets that have been deleted from the "
                                                       "packet list)"));
    m_listedOnly->setAccessibleName(QStringLiteral("Only save listed packets"));
    auto* proceed = Tag(new QPushButton(QStringLiteral("<-Continue->")), kContinueId,
                        QStringLiteral("Continue"));
    proceed->setDefault(true);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_withData);
    auto* radios = new QHBoxLayout;
    radios->addSpacing(20);
    auto* group = new QButtonGroup(this);
    for (QRadioButton* r : {m_dec, m_hex, m_text}) {
        group->addButton(r);
        radios->addWidget(r);
    }
    radios->addStretch(1);
    layout->addLayout(radios);
    layout->addWidget(m_listedOnly);
    layout->addWidget(proceed, 0, Qt::AlignHCenter);

    const SavingOptions options = SavingOptions::fromRecord(settings);
    m_withData->setChecked(options.withData);
    m_dec->setChecked(options.dec);
    m_hex->setChecked(options.hex);
    m_text->setChecked(options.text);
    m_listedOnly->setChecked(options.listedOnly);
    const auto enableRadios = [this] {
        for (QRadioButton* r : {m_dec, m_hex, m_text})
            r->setEnabled(m_withData->isChecked());
    };
    enableRadios();
    connect(m_withData, &QCheckBox::toggled, this, enableRadios);
    connect(proceed, &QPushButton::clicked, this, &SavingOptionsWindow::storeAndClose);
}

void SavingOptionsWindow::storeAndClose() {
    SavingOptions{m_withData->isChecked(), m_dec->isChecked(), m_hex->isChecked(),
                  m_text->isChecked(), m_listedOnly->isChecked()}
        .storeInto(m_settings);
    accept();
}

}  // namespace vorlanx
