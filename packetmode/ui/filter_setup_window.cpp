#include "packetmode/ui/filter_setup_window.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMetaObject>
#include <QPushButton>
#include <QRegularExpressionValidator>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "packetmode/current_packet_filters.h"
#include "packetmode/ui/filter_setup_controls.h"
#include "platform/qt/control_ids.h"
#include "platform/qt/window_parts.h"

namespace vorlanx {
namespace ids = filter_ids;

namespace {

constexpr const char* kTitle = "Brindlecraft VORLANX - Filter Setup";
constexpr const char* kResolverLabel =
    "Host name resolver  (You can use it to obtain the IP addresses necessary for filters)";
constexpr const char* kIpListNote = "Max of 100 IP's per list, blank list indicates no filter.";
constexpr const char* kPortZeroNote =
    "Note: A port or ports of zero or of a blank indicate no filter.";
constexpr const char* kSizeZeroNote =
    "Note: In the above fields, an entry of 0 indicates no filter.";
constexpr const char* kPortListNote =
    "To give several ports in one field, separate them with commas, for example 80,443.\n\n"
    "The ports of one field are alternatives: the field is met when the packet's port is any "
    "one of them.";
constexpr const char* kMustContainLabel = "Packet data must contain at least one of these strings:";
constexpr const char* kMustNotContainLabel = "Packet data must NOT contain any of these strings:";

constexpr int kListColumnWidth = 120;
constexpr int kListRowsShown = 6;
constexpr int kEntryChars = 19;   // the record's 20-byte address texts
constexpr int kTextChars = 1023;  // the record's 1024-byte strings
constexpr int kSizeDigits = 10;
constexpr int kPortNoteChars = 36;

struct IpFilterPart {
    ids::IpFilterIds ids;
    const char* label;
    IpFilterFields FilterSetupFields::*fields;
};
// In the order of m_ipFilters.
constexpr IpFilterPart kIpFilterParts[] = {
    {ids::kSrcIp, "Source IP must be:", &FilterSetupFields::srcIp},
    {ids::kSrcIpNot, "Source IP must NOT be:", &FilterSetupFields::srcIpNot},
    {ids::kDstIp, "Dest. IP must be:", &FilterSetupFields::dstIp},
    {ids::kDstIpNot, "Dest. IP must NOT be:", &FilterSetupFields::dstIpNot},
    {ids::kEitherIp, "Source or Dest. IP must be:", &FilterSetupFields::eitherIp},
};

QString qs(const char* text) {
    return QString::fromUtf8(text);
}
QString qs(const std::string& text) {
    return QString::fromStdString(text);
}
std::string text(const QLineEdit* edit) {
    return edit->text().toStdString();
}

QLineEdit* Edit(int id, const char* label, int maxChars = kTextChars) {
    auto* edit = Tag(new QLineEdit, id, qs(label));
    edit->setMaxLength(maxChars);
    return edit;
}

// A dotted IPv4 address and every beginning of one: up to four numbers 0-255 joined by
// points. Text loaded from the record is shown as it is.
QValidator* AddressValidator(QObject* parent) {
    const QString octet = QStringLiteral("(25[0-5]|2[0-4][0-9]|1[0-9][0-9]|[1-9][0-9]|[0-9])");
    return new QRegularExpressionValidator(
        QRegularExpression(QStringLiteral("^%1?(\\.%1?){0,3}$").arg(octet)), parent);
}

QTreeWidget* AddressList(int id, const char* label) {
    auto* list = OneColumnList(id, qs(label), QStringLiteral("Should be hidden"));
    list->setColumnWidth(0, kListColumnWidth);
    list->setMinimumWidth(kListColumnWidth + 2 * list->frameWidth());
    list->setMinimumHeight(list->fontMetrics().height() * kListRowsShown);
    // The selection stays as visible while another control has the focus.
    QPalette p = list->palette();
    p.setColor(QPalette::Inactive, QPalette::Highlight,
               p.color(QPalette::Active, QPalette::Highlight));
    p.setColor(QPalette::Inactive, QPalette::HighlightedText,
               p.color(QPalette::Active, QPalette::HighlightedText));
    list->setPalette(p);
    return list;
}

QPushButton* Button(int id, const char* label) {
    auto* button = Tag(new QPushButton(qs(label)), id, qs(label));
    button->setAutoDefault(false);
    return button;
}

}  // namespace

FilterSetupWindow::FilterSetupWindow(SettingsRecord& settings, CurrentPacketFilters& filters,
                                     UserPrompt& prompt, HostNameLookup names, QWidget* parent)
    : QDialog(parent),
      m_settings(settings),
      m_filters(filters),
      m_prompt(prompt),
      m_names(std::move(names)) {
    setWindowTitle(qs(kTitle));
    buildControls();
    showFields(LoadFilterSetup(m_settings));
}

FilterSetupWindow::~FilterSetupWindow() {
    // The lookup's answer is queued to this object and dropped with it.
    m_lookups.joinAll();
}

void FilterSetupWindow::buildControls() {
    auto* systems = new QGroupBox(QStringLiteral("Packet filter systems"));
    auto* systemsLayout = new QVBoxLayout(systems);

    // The host name resolver.
    systemsLayout->addWidget(new QLabel(qs(kResolverLabel)));
    auto* resolverRow = new QHBoxLayout;
    m_resolverHost = Edit(ids::kResolverHost, kResolverLabel);
    resolverRow->addWidget(m_resolverHost, 1);
    const struct {
        int id;
        const char* label;
        ResolverCommand command;
    } resolverButtons[] = {
        {ids::kResolve, "Resolve", ResolverCommand::Resolve},
        {ids::kReverseResolve, "Reverse resolve", ResolverCommand::ReverseResolve},
        {ids::kCopyToFilters, "Copy to filters", ResolverCommand::CopyToFilters}};
    for (size_t i = 0; i < m_resolverButtons.size(); ++i) {
        const auto& part = resolverButtons[i];
        m_resolverButtons[i] = Button(part.id, part.label);
        connect(m_resolverButtons[i], &QPushButton::clicked, this,
                [this, command = part.command] { runResolver(command); });
        resolverRow->addWidget(m_resolverButtons[i]);
    }
    systemsLayout->addLayout(resolverRow);

    // The five address filters side by side: label, entry, Add IP and Remove IP, list.
    auto* ipGrid = new QGridLayout;
    for (size_t i = 0; i < m_ipFilters.size(); ++i) {
        const IpFilterPart& part = kIpFilterParts[i];
        IpFilterControls& filter = m_ipFilters[i];
        const int column = static_cast<int>(i);
        ipGrid->addWidget(new QLabel(qs(part.label)), 0, column);
        filter.entry = Edit(part.ids.entry, part.label, kEntryChars);
        filter.entry->setValidator(AddressValidator(filter.entry));
        ipGrid->addWidget(filter.entry, 1, column);
        auto* buttons = new QHBoxLayout;
        QPushButton* add = Button(part.ids.add, "Add IP");
        QPushButton* remove = Button(part.ids.remove, "Remove IP");
        buttons->addWidget(add);
        buttons->addWidget(remove);
        ipGrid->addLayout(buttons, 2, column);
        filter.list = AddressList(part.ids.list, part.label);
        ipGrid->addWidget(filter.list, 3, column);
        connect(add, &QPushButton::clicked, this, [this, i] { addIp(m_ipFilters[i]); });
        connect(remove, &QPushButton::clicked, this, [this, i] { removeIp(m_ipFilters[i]); });
    }
    systemsLayout->addLayout(ipGrid, 1);
    systemsLayout->addWidget(new QLabel(qs(kIpListNote)));

    // Ports, with their notes beside them.
    auto* ports = new QGroupBox(QStringLiteral("Port filters"));
    auto* portsLayout = new QHBoxLayout(ports);
    auto* portGrid = new QGridLayout;
    const struct {
        QLineEdit** edit;
        int id;
        const char* label;
    } portEdits[] = {{&m_srcPort, ids::kSrcPort, "Source Port must be:"},
                     {&m_srcPortNot, ids::kSrcPortNot, "Source Port must NOT be:"},
                     {&m_dstPort, ids::kDstPort, "Destination Port must be:"},
                     {&m_dstPortNot, ids::kDstPortNot, "Destination Port must NOT be:"},
                     {&m_eitherPort, ids::kEitherPort, "Source or Dest. Port must be:"}};
    int row = 0;
    for (const auto& part : portEdits) {
        *part.edit = Edit(part.id, part.label);
        portGrid->addWidget(new QLabel(qs(part.label)), row, 0);
        portGrid->addWidget(*part.edit, row, 1);
        ++row;
    }
    portGrid->addWidget(new QLabel(qs(kPortZeroNote)), row, 0, 1, 2);
    portsLayout->addLayout(portGrid);
    auto* portNote = new QLabel(qs(kPortListNote));
    portNote->setWordWrap(true);
    portNote->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    // Wide enough that the wrapped note fits the grid's height beside it.
    portNote->setMinimumWidth(portNote->fontMetrics().averageCharWidth() * kPortNoteChars);
    portsLayout->addWidget(portNote, 1);

    // Sizes and protocols.
    auto* limits = new QVBoxLayout;
    auto* sizeGrid = new QGridLayout;
    const struct {
        QLineEdit** edit;
        int id;
        const char* label;
    } sizeEdits[] = {{&m_minPacketSize, ids::kMinPacketSize, "Minimum packet size:"},
                     {&m_maxPacketSize, ids::kMaxPacketSize, "Maximum packet size:"}};
    row = 0;
    for (const auto& part : sizeEdits) {
        *part.edit = Edit(part.id, part.label, kSizeDigits);
        (*part.edit)
            ->setValidator(new QRegularExpressionValidator(
                QRegularExpression(QStringLiteral("^[0-9]*$")), *part.edit));
        sizeGrid->addWidget(new QLabel(qs(part.label)), row, 0);
        sizeGrid->addWidget(*part.edit, row, 1);
        ++row;
    }
    limits->addLayout(sizeGrid);
    limits->addWidget(new QLabel(qs(kSizeZeroNote)));
    limits->addSpacing(8);
    limits->addWidget(new QLabel(QStringLiteral("Allow the following protocol(s):")));
    auto* protocols = new QHBoxLayout;
    const struct {
        QCheckBox** box;
        int id;
        const char* label;
    } protocolBoxes[] = {{&m_allowTcp, ids::kAllowTcp, "TCP"},
                         {&m_allowUdp, ids::kAllowUdp, "UDP"},
                         {&m_allowIcmp, ids::kAllowIcmp, "ICMP"},
                         {&m_allowOther, ids::kAllowOther, "Other"}};
    for (const auto& part : protocolBoxes) {
        *part.box = Tag(new QCheckBox(qs(part.label)), part.id, qs(part.label));
        protocols->addWidget(*part.box);
    }
    protocols->addStretch(1);
    limits->addLayout(protocols);
    limits->addStretch(1);

    auto* middle = new QHBoxLayout;
    middle->addWidget(ports, 1);
    middle->addLayout(limits);
    systemsLayout->addLayout(middle);

    // The strings the packet data must and must not contain.
    auto* strings = new QGridLayout;
    strings->addWidget(new QLabel(qs(kMustContainLabel)), 0, 0);
    strings->addWidget(new QLabel(qs(kMustNotContainLabel)), 0, 1);
    for (size_t i = 0; i < 3; ++i) {
        m_mustContain[i] = Edit(ids::kMustContain[i], kMustContainLabel);
        m_mustNotContain[i] = Edit(ids::kMustNotContain[i], kMustNotContainLabel);
        strings->addWidget(m_mustContain[i], static_cast<int>(i) + 1, 0);
        strings->addWidget(m_mustNotContain[i], static_cast<int>(i) + 1, 1);
    }
    systemsLayout->addLayout(strings);

    auto* ok = Tag(new QPushButton(QStringLiteral("OK")), ids::kOk, QStringLiteral("OK"));
    ok->setDefault(true);
    QPushButton* apply = Button(ids::kApply, "Apply");
    QPushButton* cancel = Button(ids::kCancel, "Cancel");
    connect(ok, &QPushButton::clicked, this, &FilterSetupWindow::accept);
    connect(apply, &QPushButton::clicked, this, &FilterSetupWindow::apply);
    connect(cancel, &QPushButton::clicked, this, &FilterSetupWindow::reject);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(ok);
    buttons->addWidget(apply);
    buttons->addWidget(cancel);

    auto* root = new QVBoxLayout(this);
    root->addWidget(systems, 1);
    root->addLayout(buttons);
}

void FilterSetupWindow::showFields(const FilterSetupFields& f) {
    for (size_t i = 0; i < m_ipFilters.size(); ++i) {
        const IpFilterFields& fields = f.*kIpFilterParts[i].fields;
        m_ipFilters[i].entry->setText(qs(fields.entry));
        m_ipFilters[i].list->clear();
        for (const std::string& row : fields.rows)
            m_ipFilters[i].list->addTopLevelItem(new QTreeWidgetItem({qs(row)}));
    }
    m_srcPort->setText(qs(f.srcPortText));
    m_srcPortNot->setText(qs(f.srcPortNotText));
    m_dstPort->setText(qs(f.dstPortText));
    m_dstPortNot->setText(qs(f.dstPortNotText));
    m_eitherPort->setText(qs(f.eitherPortText));
    m_minPacketSize->setText(qs(f.minPacketSizeText));
    m_maxPacketSize->setText(qs(f.maxPacketSizeText));
    for (size_t i = 0; i < 3; ++i) {
        m_mustContain[i]->setText(qs(f.mustContain[i]));
        m_mustNotContain[i]->setText(qs(f.mustNotContain[i]));
    }
    m_allowTcp->setChecked(f.allowTcp);
    m_allowUdp->setChecked(f.allowUdp);
    m_allowIcmp->setChecked(f.allowIcmp);
    m_allowOther->setChecked(f.allowOther);
    m_resolverHost->setText(qs(f.resolverHost));
}

IpFilterFields FilterSetupWindow::gather(const IpFilterControls& filter) const {
    IpFilterFields fields{text(filter.entry), {}};
    for (int row = 0; row < filter.list->topLevelItemCount(); ++row)
        fields.rows.push_back(filter.list->topLevelItem(row)->text(0).toStdString());
    return fields;
}

FilterSetupFields FilterSetupWindow::gather() const {
    FilterSetupFields f;
    for (size_t i = 0; i < m_ipFilters.size(); ++i)
        f.*kIpFilterParts[i].fields = gather(m_ipFilters[i]);
    f.srcPortText = text(m_srcPort);
    f.srcPortNotText = text(m_srcPortNot);
    f.dstPortText = text(m_dstPort);
    f.dstPortNotText = text(m_dstPortNot);
    f.eitherPortText = text(m_eitherPort);
    f.minPacketSizeText = text(m_minPacketSize);
    f.maxPacketSizeText = text(m_maxPacketSize);
    for (size_t i = 0; i < 3; ++i) {
        f.mustContain[i] = text(m_mustContain[i]);
        f.mustNotContain[i] = text(m_mustNotContain[i]);
    }
    f.allowTcp = m_allowTcp->isChecked();
    f.allowUdp = m_allowUdp->isChecked();
    f.allowIcmp = m_allowIcmp->isChecked();
    f.allowOther = m_allowOther->isChecked();
    f.resolverHost = text(m_resolverHost);
    return f;
}

void FilterSetupWindow::apply() {
    StoreFilterSetup(gather(), m_settings, m_filters);
}

void FilterSetupWindow::accept() {
    apply();
    QDialog::accept();
}

void FilterSetupWindow::done(int result) {
    QDialog::done(result);
    m_closed = true;
    deleteIfDue();
}

void FilterSetupWindow::addIp(const IpFilterControls& filter) {
    IpFilterFields fields = gather(filter);
    // The new row goes on top; the rows below keep their items and the selection.
    if (AddIp(fields))
        filter.list->insertTopLevelItem(0, new QTreeWidgetItem({qs(fields.rows.front())}));
}

void FilterSetupWindow::removeIp(const IpFilterControls& filter) {
    IpFilterFields fields = gather(filter);
    const QList<QTreeWidgetItem*> selected = filter.list->selectedItems();
    std::optional<size_t> row;
    if (!selected.isEmpty())
        row = static_cast<size_t>(filter.list->indexOfTopLevelItem(selected.front()));
    const size_t before = fields.rows.size();
    RemoveIp(fields, row);
    if (fields.rows.size() < before)
        delete filter.list->takeTopLevelItem(static_cast<int>(*row));
}

void FilterSetupWindow::runResolver(ResolverCommand command) {
    if (m_resolving)
        return;
    setResolverBusy(true);
    // The lookups may take seconds: they run on a thread of the window while it waits for
    // the answer with the resolver's controls disabled.
    m_lookups.spawn(
        "FilterResolver", 0, [this, command, host = text(m_resolverHost), names = m_names] {
            ResolverOutcome outcome = RunResolverCommand(command, host, names);
            QMetaObject::invokeMethod(
                this, [this, outcome = std::move(outcome)] { resolverAnswered(outcome); },
                Qt::QueuedConnection);
        });
}

void FilterSetupWindow::resolverAnswered(const ResolverOutcome& outcome) {
    if (!m_closed) {
        if (outcome.hostText)
            m_resolverHost->setText(qs(*outcome.hostText));
        if (outcome.entryAddress) {
            FilterSetupFields fields = gather();
            CopyToFilters(fields, *outcome.entryAddress);
            for (size_t i = 0; i < m_ipFilters.size(); ++i)
                m_ipFilters[i].entry->setText(qs((fields.*kIpFilterParts[i].fields).entry));
        }
        // Still busy while the message shows: a close meanwhile must not delete the window
        // under it.
        if (outcome.message)
            m_prompt.ask(*outcome.message);
    }
    setResolverBusy(false);
    deleteIfDue();
}

void FilterSetupWindow::setResolverBusy(bool busy) {
    m_resolving = busy;
    // The wait cursor is this window's own: the other windows stay usable meanwhile.
    if (busy)
        setCursor(Qt::WaitCursor);
    else
        unsetCursor();
    m_resolverHost->setEnabled(!busy);
    for (QPushButton* button : m_resolverButtons)
        button->setEnabled(!busy);
}

void FilterSetupWindow::deleteWhenClosedAndIdle() {
    m_deleteWhenIdle = true;
    deleteIfDue();
}

void FilterSetupWindow::deleteIfDue() {
    if (m_deleteWhenIdle && m_closed && !m_resolving)
        deleteLater();
}

}  // namespace vorlanx
