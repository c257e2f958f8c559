#include "packetmode/ui/packet_mode_window.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QContextMenuEvent>
#include <QFile>
#include <QFileDialog>
#include <QFontDatabase>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QScrollBar>
#include <QStackedLayout>
#include <QStatusBar>
#include <QStyle>
#include <QTableView>
#include <QTextCursor>
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>
#include <algorithm>
#include <chrono>
#include <utility>

#include "capture/capture_start.h"
#include "capture/ui/interface_choice_window.h"
#include "packetmode/packet_sort.h"
#include "packetmode/ui/packet_context_menu.h"
#include "packetmode/ui/saving_options_window.h"
#include "packetmode/ui/filter_setup_window.h"
#include "packetmode/ui/packet_list_model.h"
#include "packetmode/ui/packet_mode_controls.h"
#include "platform/qt/control_ids.h"
#include "platform/qt/main_menu.h"
#include "platform/qt/window_parts.h"
#include "settings/product.h"
#include "settings/settings_file.h"

namespace vorlanx {
namespace ids = packet_ids;

namespace {

constexpr int kListCapacity = 1000000;
constexpr int kListSyncMs = 30;
constexpr int kSelectionWatchMs = 20;

const QColor kPaneBackground = FromBgr(kPaneBackgroundBgr);
const QColor kPaneText = FromBgr(kPaneTextBgr);

// The window template: 534 x 304 dialog units.
constexpr int kTemplateWidthUnits = 534;
constexpr int kTemplateHeightUnits = 304;

QLineEdit* detailBox(int id, const QString& label, int widthChars = 12) {
    auto* box = Tag(new QLineEdit, id, label);
    box->setReadOnly(true);
    box->setMinimumWidth(box->fontMetrics().horizontalAdvance(QLatin1Char('0')) * widthChars + 12);
    return box;
}

// Packet bytes as characters, one per byte, so positions in the pane are byte positions.
QString bytesText(const std::string& bytes) {
    return QString::fromLatin1(bytes.data(), static_cast<qsizetype>(bytes.size()));
}

// The Dec and Hex texts end their lines with CR LF, two characters that the positions of
// the field highlighting count; a space and a line break keep those positions in the pane.
QString renderingText(const std::string& text) {
    QByteArray b(text.data(), static_cast<qsizetype>(text.size()));
    b.replace("\r\n", " \n");
    return QString::fromLatin1(b);
}

}  // namespace

// Carries the engine's window changes to the user-interface thread.
class PacketModeWindow::ViewAdapter final : public PacketModeView {
  public:
    explicit ViewAdapter(PacketModeWindow& w) : m_window(w) {}

    void setStatusText(const std::string& text) override {
        post([this, t = QString::fromStdString(text)] { m_window.m_status->setText(t); });
    }
    void setListProgressRange(int32_t maximum) override {
        post([this, maximum] { m_window.m_progress->setRange(0, maximum); });
    }
    void emptyEntirePacketPane() override {
        post([this] { m_window.m_entirePacket->clear(); });
    }
    // Clear, Find and the saves share the list area: it shows the list again only when the
    // last of them is done.
    void showOperationProgress(int32_t maximum) override {
        post([this, maximum] {
            ++m_operations;
            m_window.m_listProgress->setRange(0, maximum);
            m_window.m_listProgress->setValue(0);
            m_window.m_listArea->setCurrentIndex(1);
        });
    }
    void setOperationProgress(int32_t position) override {
        post([this, position] { m_window.m_listProgress->setValue(position); });
    }
    void hideOperationProgress() override {
        post([this] {
            if (m_operations > 0 && --m_operations == 0)
                m_window.m_listArea->setCurrentIndex(0);
        });
    }
    // A save and a load share the Cancel button: it shows while either wants it.
    void showSaveCancel(bool visible) override {
        post([this, visible] {
            m_saveWantsCancel = visible;
            showCancel();
        });
    }
    void showLoadCancel(bool visible) override {
        post([this, visible] {
            m_loadWantsCancel = visible;
            showCancel();
        });
    }
    void emptyDetailFields() override {
        post([this] { m_window.emptyDetailFields(); });
    }
    void focusList() override {
        post([this] {
            // The marked row first: a list that gets the focus without a current row
            // makes its first row current, and with it the mark.
            m_window.syncList();
            m_window.moveViewToRow(m_window.m_core->list().selectionMark());
            m_window.m_listView->setFocus();
        });
    }

  private:
    template <typename F>
    void post(F&& f) {
        m_window.post(std::forward<F>(f));
    }
    void showCancel() {
        const bool visible = m_saveWantsCancel || m_loadWantsCancel;
        m_window.m_cancel->setVisible(visible);
        m_window.m_cancel->setEnabled(visible);
    }
    PacketModeWindow& m_window;
    // User-interface thread.
    int m_operations = 0;  // operations covering the list
    bool m_saveWantsCancel = false;
    bool m_loadWantsCancel = false;
};

// What the status monitor reads and changes of the window.
class PacketModeWindow::MonitorAdapter final : public StatusMonitorView {
  public:
    explicit MonitorAdapter(PacketModeWindow& w) : m_window(w) {}

    void setTitle(const std::string& title) override {
        post([this, t = QString::fromStdString(title)] { m_window.setWindowTitle(t); });
    }
    void setMemoryText(const std::string& text) override {
        QString t = QString::fromStdString(text);
        t.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
        post([this, t] { m_window.m_memory->setText(t); });
    }
    int32_t rowCount() const override { return m_window.m_core->list().rowCount(); }
    bool applyFiltersChecked() const override { return m_window.m_applyFiltersChecked.load(); }
    bool noTaskbarBlink() const override { return m_window.m_noTaskbarBlink.load(); }
    uint32_t allocationBytes() const override { return m_window.m_core->store().allocationBytes(); }
    void refreshFilterStrings() override {
        // The record belongs to the user-interface thread: the copies are taken there.
        post([this] {
            if (!m_window.m_closed)
                m_window.m_core->engine().refreshLiveCopies(m_window.m_settings,
                                                       m_window.m_applyFiltersChecked.load());
        });
    }

  private:
    template <typename F>
    void post(F&& f) {
        m_window.post(std::forward<F>(f));
    }
    PacketModeWindow& m_window;
};

PacketModeWindow::PacketModeWindow(SettingsRecord& settings, std::string settingsPath,
                                   PacketModeWindowServices services, QWidget* parent)
    : ModeWindow(settings, std::move(settingsPath),
                 ModeWindowServices{.prompt = services.prompt,
                                    .launcher = services.launcher,
                                    .openAbout = services.openAbout},
                 CaptureMode::File, parent),
      m_services(services) {
    setWindowTitle(QStringLiteral("VORLANX - Waiting"));
    m_viewAdapter = std::make_unique<ViewAdapter>(*this);
    m_monitorAdapter = std::make_unique<MonitorAdapter>(*this);
    m_core = std::make_unique<PacketModeCore>(
        PacketModeCoreServices{m_services.sources, *m_viewAdapter, *m_monitorAdapter,
                               m_services.sound, m_services.localTime, m_services.prompt});

    buildControls();
    m_model = new PacketListModel(m_core->list(), this);
    m_listView->setModel(m_model);
    for (int c = 0; c < kPacketListColumnCount; ++c)
        m_listView->setColumnWidth(c, PacketList::columnWidth(c));
    // TODO: About gets its command as its window arrives.
    MainMenuCommands commands;
    commands.save = [this] { saveList(); };
    commands.openCaptureFile = [this] { openCaptureFile(); };
    buildMainMenu(commands);
    for (QAction* a : menuBar()->findChildren<QAction*>())
        if (a->property(kControlIdProperty).toInt() == ids::kMenuOpenCaptureFile)
            m_openCaptureFile = a;
    // The template's size is the smallest; the first size is what the controls would like,
    // as far as the screen has room.
    const QSize smallest =
        DialogUnitsToPixels(QSize(kTemplateWidthUnits, kTemplateHeightUnits), font()) +
        QSize(0, menuBar()->sizeHint().height());
    setMinimumSize(smallest);
    QSize first = sizeHint().expandedTo(smallest);
    if (const QScreen* place = screen())
        first = first.boundedTo(place->availableGeometry().size()).expandedTo(smallest);
    resize(first);
    loadSettings();
    applyColors();
    m_core->filters().criteriaChanged(m_settings);
    m_core->engine().refreshLiveCopies(m_settings, m_applyFilters->isChecked());
    m_core->engine().findTextChanged(m_findText->text().toStdString());

    connect(m_start, &QToolButton::clicked, this, [this] { m_core->engine().start(m_settings); });
    connect(m_stop, &QToolButton::clicked, this, [this] { m_core->engine().stop(); });
    connect(m_clear, &QToolButton::clicked, this, [this] { m_core->engine().clear(); });
    // One button for the saves and the load that run: it stops them all.
    connect(m_cancel, &QPushButton::clicked, this, [this] {
        m_core->state().saveCancelRequested = true;
        m_core->state().loadCancelRequested = true;
    });
    connect(m_find, &QPushButton::clicked, this, [this] { m_core->engine().findOrNext(); });
    connect(m_findText, &QLineEdit::textChanged, this,
            [this](const QString& text) { m_core->engine().findTextChanged(text.toStdString()); });
    for (QRadioButton* r : {m_text, m_dec, m_hex})
        connect(r, &QRadioButton::toggled, this, [this](bool on) {
            if (on)
                showSelectedPacket();
        });
    connect(m_matchCase, &QCheckBox::toggled, this,
            [this](bool on) { m_core->state().matchCaseLive = on; });
    connect(m_sound, &QCheckBox::toggled, this, [this](bool on) { m_core->setSoundChecked(on); });
    connect(m_applyFilters, &QCheckBox::toggled, this,
            [this](bool on) { m_applyFiltersChecked = on; });
    // The mark follows the current row once it is selected: the list also makes its first
    // row current, unselected, when it gets the focus without a current row (as when it
    // shows again after an operation), and that must not move a mark Find has set.
    const auto followSelection = [this] {
        const QModelIndex current = m_listView->currentIndex();
        if (current.isValid() &&
            m_listView->selectionModel()->isRowSelected(current.row(), QModelIndex()))
            m_core->list().setSelectionMark(m_core->list().actualRow(current.row()));
    };
    connect(m_filterSetup, &QPushButton::clicked, this, &PacketModeWindow::openFilterSetup);
    connect(m_listView->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
            followSelection);
    connect(m_listView->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            followSelection);

    m_listTimer = new QTimer(this);
    connect(m_listTimer, &QTimer::timeout, this, &PacketModeWindow::syncList);
    m_listTimer->start(kListSyncMs);
    m_selectionTimer = new QTimer(this);
    connect(m_selectionTimer, &QTimer::timeout, this, &PacketModeWindow::watchSelection);
    m_selectionTimer->start(kSelectionWatchMs);
}

PacketModeWindow::~PacketModeWindow() {
    // They store into the record and the filters: they go first, their lookups joined.
    for (const QPointer<FilterSetupWindow>& w : m_filterWindows)
        delete w.data();
    m_core->state().exitRequested = true;
    m_core->engine().requestExit();
    // A worker may be waiting for a message box to be answered, which needs the event
    // loop; keep it turning until every thread of the engine has ended.
    PumpUntil([this] { return m_core->waitForThreads(std::chrono::milliseconds(20)); });
    m_core->shutdown();
}

bool PacketModeWindow::initialise() {
    if (!tryCaptureInterface(m_services.sources))
        return false;
    m_core->startMonitors();
    return true;
}

void PacketModeWindow::buildControls() {
    auto* central = new QWidget;
    auto* root = new QVBoxLayout(central);
    setCentralWidget(central);
    root->addLayout(buildListArea(), 1);

    // Below the list: the capture column, the header fields, and at the right the two panes,
    // which take the extra width, over the view and tool rows.
    auto* bottom = new QHBoxLayout;
    root->addLayout(bottom);
    bottom->addLayout(buildCaptureColumn());
    bottom->addLayout(buildFieldColumn());
    auto* right = new QVBoxLayout;
    right->addLayout(buildPacketPanes(), 1);
    right->addLayout(buildToolRows());
    bottom->addLayout(right, 1);
}

QLayout* PacketModeWindow::buildListArea() {
    // The list area: the list, or while a long operation runs, its progress in its place.
    m_listView = Tag(new QTableView, ids::kList, QStringLiteral("Packet list"));
    m_listView->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_listView->setSelectionMode(QAbstractItemView::SingleSelection);
    m_listView->verticalHeader()->setVisible(false);
    m_listView->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    m_listView->verticalHeader()->setDefaultSectionSize(m_listView->fontMetrics().height() + 4);
    m_listView->setWordWrap(false);
    m_listView->horizontalHeader()->setHighlightSections(false);
    // A click on a heading sorts by the system's own keys (sortByColumn), not Qt's.
    m_listView->setSortingEnabled(false);
    m_listView->horizontalHeader()->setSectionsClickable(true);
    connect(m_listView->horizontalHeader(), &QHeaderView::sectionClicked, this,
            &PacketModeWindow::sortByColumn);
    // Right click, double click and the context-menu key open the packet menu.
    m_listView->installEventFilter(this);
    m_listView->viewport()->installEventFilter(this);
    // A few rows at the least: the rest of the window's smallest height is the controls'.
    m_listView->setMinimumHeight(m_listView->fontMetrics().height() * 6);

    auto* busyPage = new QWidget;
    auto* busyLayout = new QVBoxLayout(busyPage);
    m_cancel =
        Tag(new QPushButton(QStringLiteral("Cancel")), ids::kCancel, QStringLiteral("Cancel"));
    m_cancel->hide();
    m_listProgress = Tag(new QProgressBar, ids::kListProgress, QStringLiteral("Progress"));
    m_listProgress->setTextVisible(false);
    busyLayout->addWidget(m_cancel, 0, Qt::AlignLeft);
    busyLayout->addSpacing(4);
    busyLayout->addWidget(m_listProgress);
    busyLayout->addStretch(1);

    m_listArea = new QStackedLayout;
    m_listArea->addWidget(m_listView);
    m_listArea->addWidget(busyPage);
    return m_listArea;
}

QLayout* PacketModeWindow::buildCaptureColumn() {
    // The capture buttons, the logo, status, memory and the store's fill level.
    auto* left = new QVBoxLayout;
    auto* buttons = new QHBoxLayout;
    auto pictureButton = [&](int id, const QString& name, QStyle::StandardPixmap icon) {
        QToolButton* b = MakePictureButton(id, icon, name, 28);
        buttons->addWidget(b);
        return b;
    };
    m_start = pictureButton(ids::kStart, QStringLiteral("Start"), QStyle::SP_MediaPlay);
    m_stop = pictureButton(ids::kStop, QStringLiteral("Stop"), QStyle::SP_MediaStop);
    m_clear = pictureButton(ids::kClear, QStringLiteral("Clear"), QStyle::SP_DialogResetButton);
    buttons->addStretch(1);
    left->addLayout(buttons);

    left->addWidget(makeLogo(ids::kLogo));

    auto* statusRow = new QHBoxLayout;
    statusRow->addWidget(new QLabel(QStringLiteral("Status:")));
    m_status = Tag(new QLabel(QStringLiteral("Stopped")), ids::kStatus, QStringLiteral("Status:"));
    statusRow->addWidget(m_status, 1);
    left->addLayout(statusRow);

    m_memory = Tag(new QLabel, ids::kMemory, QStringLiteral("Memory"));
    left->addWidget(m_memory);

    auto* progressRow = new QHBoxLayout;
    progressRow->addWidget(new QLabel(QStringLiteral("0->")));
    m_progress = Tag(new QProgressBar, ids::kProgress, QStringLiteral("Packets stored"));
    m_progress->setRange(0, kListCapacity);
    m_progress->setTextVisible(false);
    progressRow->addWidget(m_progress, 1);
    progressRow->addWidget(new QLabel(QStringLiteral("<-1M")));
    left->addLayout(progressRow);
    left->addStretch(1);
    return left;
}

QLayout* PacketModeWindow::buildFieldColumn() {
    // The decoded header fields, the TCP ones in their group.
    auto* fields = new QGridLayout;
    int row = 0;
    auto addField = [&](const QString& label, QLineEdit* box, QLineEdit* use = nullptr) {
        fields->addWidget(new QLabel(label), row, 0);
        fields->addWidget(box, row, 1);
        if (use) {
            fields->addWidget(new QLabel(QStringLiteral("use:")), row, 2);
            fields->addWidget(use, row, 3);
        }
        ++row;
        return box;
    };
    m_packetSize = addField(QStringLiteral("Packet size:"),
                            detailBox(ids::kPacketSize, QStringLiteral("Packet size:")));
    m_ttl = addField(QStringLiteral("TTL:"), detailBox(ids::kTtl, QStringLiteral("TTL:")));
    m_protocolNumber = addField(QStringLiteral("Protocol #:"),
                                detailBox(ids::kProtocolNumber, QStringLiteral("Protocol #:")));
    m_packetType = addField(QStringLiteral("Packet type:"),
                            detailBox(ids::kPacketType, QStringLiteral("Packet type:")));
    m_ipChecksum = addField(QStringLiteral("IP checksum:"),
                            detailBox(ids::kIpChecksum, QStringLiteral("IP checksum:")));
    m_fromIp =
        addField(QStringLiteral("From IP"), detailBox(ids::kFromIp, QStringLiteral("From IP")));
    m_toIp = addField(QStringLiteral("To IP:"), detailBox(ids::kToIp, QStringLiteral("To IP:")));
    m_fromPortUse = detailBox(ids::kFromPortUse, QStringLiteral("From port use:"), 16);
    m_fromPort =
        addField(QStringLiteral("From port:"),
                 detailBox(ids::kFromPort, QStringLiteral("From port:"), 6), m_fromPortUse);
    m_toPortUse = detailBox(ids::kToPortUse, QStringLiteral("To port use:"), 16);
    m_toPort = addField(QStringLiteral("To port:"),
                        detailBox(ids::kToPort, QStringLiteral("To port:"), 6), m_toPortUse);

    fields->addWidget(buildTcpGroup(), row, 0, 1, 4);
    fields->setRowStretch(row + 1, 1);

    for (QLineEdit* box : {m_packetSize, m_ttl, m_protocolNumber, m_packetType, m_ipChecksum,
                           m_fromIp, m_toIp, m_fromPort, m_fromPortUse, m_toPort, m_toPortUse,
                           m_sequence, m_acknowledgement, m_window})
        box->installEventFilter(this);
    return fields;
}

QGroupBox* PacketModeWindow::buildTcpGroup() {
    auto* tcpGroup = new QGroupBox(QStringLiteral("TCP specific"));
    auto* tcp = new QGridLayout(tcpGroup);
    m_sequence = detailBox(ids::kSequence, QStringLiteral("Sequence:"));
    m_acknowledgement = detailBox(ids::kAcknowledgement, QStringLiteral("Acknowledgement:"));
    m_window = detailBox(ids::kWindow, QStringLiteral("Window:"));
    tcp->addWidget(new QLabel(QStringLiteral("Sequence:")), 0, 0);
    tcp->addWidget(m_sequence, 0, 1);
    tcp->addWidget(new QLabel(QStringLiteral("Acknowledgement:")), 1, 0);
    tcp->addWidget(m_acknowledgement, 1, 1);
    tcp->addWidget(new QLabel(QStringLiteral("Window:")), 2, 0);
    tcp->addWidget(m_window, 2, 1);
    auto* flagRow = new QHBoxLayout;
    const char* flagNames[] = {"URG", "ACK", "PSH", "RST", "SYN", "FIN"};
    for (int i = 0; i < 6; ++i) {
        const QString name = QString::fromLatin1(flagNames[i]);
        m_flags[static_cast<size_t>(i)] = Tag(new QLabel(name), ids::kFlagUrg + i, name);
        m_flags[static_cast<size_t>(i)]->hide();
        flagRow->addWidget(m_flags[static_cast<size_t>(i)]);
    }
    flagRow->addStretch(1);
    tcp->addLayout(flagRow, 3, 0, 1, 2);
    return tcpGroup;
}

QLayout* PacketModeWindow::buildPacketPanes() {
    auto* panes = new QHBoxLayout;
    QFont fixed = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    fixed.setPointSize(9);

    m_entirePacketGroup = Tag(new QGroupBox(QStringLiteral("Entire packet")),
                              ids::kEntirePacketGroup, QStringLiteral("Entire packet"));
    auto* entireLayout = new QVBoxLayout(m_entirePacketGroup);
    m_entirePacket = Tag(new QPlainTextEdit, ids::kEntirePacket, QStringLiteral("Entire packet"));
    m_entirePacket->setReadOnly(true);
    m_entirePacket->setLineWrapMode(QPlainTextEdit::WidgetWidth);
    m_entirePacket->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    m_entirePacket->setFont(fixed);
    entireLayout->addWidget(m_entirePacket);
    panes->addWidget(m_entirePacketGroup, 3);  // the wider one: a Dec line has 41 characters

    m_packetDataGroup = Tag(new QGroupBox(QStringLiteral("Packet data")), ids::kPacketDataGroup,
                            QStringLiteral("Packet data"));
    auto* dataLayout = new QVBoxLayout(m_packetDataGroup);
    m_packetData = Tag(new QPlainTextEdit, ids::kPacketData, QStringLiteral("Packet data"));
    m_packetData->setReadOnly(true);
    m_packetData->setLineWrapMode(QPlainTextEdit::NoWrap);
    m_packetData->setFont(fixed);
    dataLayout->addWidget(m_packetData);
    panes->addWidget(m_packetDataGroup, 2);

    return panes;
}

QLayout* PacketModeWindow::buildToolRows() {
    auto* rows = new QVBoxLayout;
    // One control group a row, so the column stays narrow enough for the smallest window.
    auto* viewRow = new QHBoxLayout;
    m_text = Tag(new QRadioButton(QStringLiteral("Text")), ids::kText, QStringLiteral("Text"));
    m_dec = Tag(new QRadioButton(QStringLiteral("Dec")), ids::kDec, QStringLiteral("Dec"));
    m_hex = Tag(new QRadioButton(QStringLiteral("Hex")), ids::kHex, QStringLiteral("Hex"));
    viewRow->addWidget(m_text);
    viewRow->addWidget(m_dec);
    viewRow->addWidget(m_hex);
    viewRow->addStretch(1);
    rows->addLayout(viewRow);
    m_sound = Tag(new QCheckBox(QStringLiteral("Make sound for new packets")), ids::kSound,
                  QStringLiteral("Make sound for new packets"));
    rows->addWidget(m_sound);
    m_matchCase = Tag(new QCheckBox(QStringLiteral("Match case for Find and Filters")),
                      ids::kMatchCase, QStringLiteral("Match case for Find and Filters"));
    rows->addWidget(m_matchCase);

    auto* findRow = new QHBoxLayout;
    findRow->addWidget(new QLabel(QStringLiteral("Search current packets--->")));
    m_findText = Tag(new QLineEdit, ids::kFindText, QStringLiteral("Search current packets"));
    // A search may be longer than the stored copy of the find text (1,023 bytes).
    m_findText->setMaxLength(9999);
    m_find = Tag(new QPushButton(QStringLiteral("Find / Next")), ids::kFind,
                 QStringLiteral("Find / Next"));
    findRow->addWidget(m_findText, 1);
    findRow->addWidget(m_find);
    rows->addLayout(findRow);

    auto* filterRow = new QHBoxLayout;
    filterRow->addWidget(new QLabel(QStringLiteral("Filter systems--->")));
    m_filterSetup = Tag(new QPushButton(QStringLiteral("Setup packet filters")), ids::kFilterSetup,
                        QStringLiteral("Setup packet filters"));
    filterRow->addWidget(m_filterSetup);
    filterRow->addStretch(1);
    rows->addLayout(filterRow);
    m_applyFilters = Tag(new QCheckBox(QStringLiteral("Apply filters to incoming packets")),
                         ids::kApplyFilters, QStringLiteral("Apply filters to incoming packets"));
    rows->addWidget(m_applyFilters);
    return rows;
}

void PacketModeWindow::loadSettings() {
    m_findText->setText(QString::fromStdString(m_settings.findText()));
    m_matchCase->setChecked(m_settings.matchCase());
    m_core->state().matchCaseLive = m_settings.matchCase();
    m_sound->setChecked(m_settings.newPacketSound());
    m_core->setSoundChecked(m_settings.newPacketSound());
    // The radios are exclusive: the last one stored as on wins, Dec when none is.
    m_dec->setChecked(true);
    if (m_settings.viewText())
        m_text->setChecked(true);
    if (m_settings.viewDec())
        m_dec->setChecked(true);
    if (m_settings.viewHex())
        m_hex->setChecked(true);
    m_applyFilters->setChecked(m_settings.applyFilters());
    m_applyFiltersChecked = m_settings.applyFilters();
    m_noTaskbarBlink = m_settings.noTaskbarBlink();
    m_core->setSoundFile(m_settings.soundFile());
    m_core->logSettingsChanged(m_settings);
}

void PacketModeWindow::storeSettings() {
    m_settings.setFindText(m_findText->text().toStdString());
    m_settings.setMatchCase(m_matchCase->isChecked());
    m_settings.setNewPacketSound(m_sound->isChecked());
    m_settings.setViewText(m_text->isChecked());
    m_settings.setViewDec(m_dec->isChecked());
    m_settings.setViewHex(m_hex->isChecked());
    m_settings.setApplyFilters(m_applyFilters->isChecked());
}

void PacketModeWindow::generalSettingsChanged() {
    applyColors();
    m_noTaskbarBlink = m_settings.noTaskbarBlink();
    m_core->setSoundFile(m_settings.soundFile());
    m_core->settingsChanged(m_settings);
}

PacketRendering PacketModeWindow::rendering() const {
    return ChooseRendering(m_text->isChecked(), m_dec->isChecked(), m_hex->isChecked());
}

void PacketModeWindow::applyColors() {
    const bool system = m_settings.useWindowsColors();
    for (QWidget* w : {static_cast<QWidget*>(m_listView), static_cast<QWidget*>(m_entirePacket),
                       static_cast<QWidget*>(m_packetData)}) {
        QPalette p = QApplication::palette(w);
        if (!system) {
            p.setColor(QPalette::Base, kPaneBackground);
            p.setColor(QPalette::Text, kPaneText);
        }
        // The highlighted field stays visible while another box has the focus.
        p.setColor(QPalette::Inactive, QPalette::Highlight,
                   p.color(QPalette::Active, QPalette::Highlight));
        p.setColor(QPalette::Inactive, QPalette::HighlightedText,
                   p.color(QPalette::Active, QPalette::HighlightedText));
        w->setPalette(p);
        w->update();
    }
}

void PacketModeWindow::syncList() {
    QScrollBar* bar = m_listView->verticalScrollBar();
    // A view one or two lines above the bottom still counts as at the bottom.
    const bool followBottom = bar->value() + 2 >= bar->maximum();
    const int appended = m_model->sync();
    if (appended > 0 && followBottom && m_listArea->currentIndex() == 0 && m_listView->isVisible())
        m_listView->scrollToBottom();
    m_progress->setValue(m_core->state().listProgressPosition.load());
    // Capture and loading end on worker threads: the item follows within one round.
    if (m_openCaptureFile)
        m_openCaptureFile->setEnabled(!m_closing && m_core->engine().captureFileOpenable());

    // Datagrams the kernel had to drop because capture fell behind, or that came cut: rare,
    // but a user who compares counts must know, so they show in the status bar once there
    // are any, until the next Start.
    const CaptureLosses losses = m_core->engine().losses();
    if (losses != m_shownLosses) {
        m_shownLosses = losses;
        const std::string text = CaptureLossText(losses);
        if (text.empty())
            statusBar()->clearMessage();
        else
            statusBar()->showMessage(QString::fromStdString(text));
    }
}

void PacketModeWindow::watchSelection() {
    if (m_asking || m_closing)
        return;
    // Skip this round while a worker changes the list; the next one is 20 ms away.
    auto lock = m_core->state().tryLockListForUi();
    if (!lock.owns_lock())
        return;
    const int32_t mark = m_core->list().selectionMark();
    const uint64_t serial = m_core->list().selectionMarkSerial();
    // A mark set anew, also after a clear that this 20 ms round never saw, is new to the
    // pane even when it has the number of the row shown before.
    const bool markSetAnew = serial != m_shownSerial;
    if (markSetAnew) {
        m_shownSerial = serial;
        // A mark set by a worker (Find, the TCP tools) moves the view's selection too, also
        // to a row the view has not taken in yet.
        syncList();
        moveViewToRow(mark);
    }
    if (mark < 0) {
        m_shownRow = -1;
        return;
    }
    if (mark == m_shownRow && !markSetAnew)
        return;
    m_shownRow = mark;
    lock.unlock();
    showSelectedPacket();
}

void PacketModeWindow::selectRow(int32_t row) {
    if (row < 0 || row >= m_core->list().rowCount())
        return;
    m_core->list().setSelectionMark(row);
    syncList();  // a row just appended may not be in the view yet
    moveViewToRow(row);
}

void PacketModeWindow::moveViewToRow(int32_t row) {
    const int32_t published = row >= 0 ? m_core->list().publishedRow(row) : -1;
    if (published < 0)
        return;
    const QModelIndex index = m_model->index(published, 0);
    // Also a current row left unselected, as the list makes its first row when it gets
    // the focus without one.
    if (m_listView->currentIndex() != index ||
        !m_listView->selectionModel()->isRowSelected(published, QModelIndex()))
        // Not blocked: the view repaints the old and the new row. The current-row signal
        // sets the mark to the row it already has.
        m_listView->selectionModel()->setCurrentIndex(
            index, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    m_listView->scrollTo(index);
}

void PacketModeWindow::showSelectedPacket() {
    const int32_t row = m_core->list().selectionMark();
    if (row < 0)
        return;
    const int32_t slot = m_core->list().slotOfRow(row);
    bool displayable = false;
    const PacketRendering chosen = rendering();
    m_core->store().withRecord(slot, [&](const PacketView& packet) {
        if (!packet.isDisplayable())
            return;
        DescribePacket(packet, chosen, m_details);
        displayable = true;
    });
    if (displayable)
        setDetails(m_details);
    else
        offerInvalidRowDeletion(row, slot);
}

void PacketModeWindow::setDetails(const PacketDetails& d) {
    auto set = [](QLineEdit* box, const std::string& text) {
        box->setText(QString::fromStdString(text));
    };
    set(m_packetType, d.packetType);
    // Text wraps at the pane's edge; a Dec or Hex line stays one line and the pane
    // scrolls sideways when it is narrower, so the columns of numbers stay in line.
    const bool text = rendering() == PacketRendering::Text;
    m_entirePacket->setLineWrapMode(text ? QPlainTextEdit::WidgetWidth : QPlainTextEdit::NoWrap);
    m_entirePacket->setPlainText(text ? bytesText(d.entirePacket) : renderingText(d.entirePacket));
    set(m_packetSize, d.packetSize);
    set(m_fromIp, d.fromIp);
    set(m_toIp, d.toIp);
    set(m_toPort, d.toPort);
    set(m_fromPort, d.fromPort);
    set(m_fromPortUse, d.fromPortUse);
    set(m_toPortUse, d.toPortUse);
    m_packetData->setPlainText(bytesText(d.packetData));
    set(m_protocolNumber, d.protocolNumber);
    set(m_ttl, d.ttl);
    set(m_ipChecksum, d.ipChecksum);
    set(m_window, d.window);
    set(m_sequence, d.sequence);
    set(m_acknowledgement, d.acknowledgement);
    const bool flags[] = {d.flags.urg, d.flags.ack, d.flags.psh,
                          d.flags.rst, d.flags.syn, d.flags.fin};
    for (size_t i = 0; i < m_flags.size(); ++i)
        m_flags[i]->setVisible(flags[i]);
}

void PacketModeWindow::emptyDetailFields() {
    for (QLineEdit* box :
         {m_packetType, m_fromIp, m_toIp, m_packetSize, m_fromPort, m_toPort, m_protocolNumber,
          m_ttl, m_ipChecksum, m_fromPortUse, m_toPortUse, m_window, m_sequence, m_acknowledgement})
        box->clear();
    m_packetData->clear();
    for (QLabel* flag : m_flags)
        flag->hide();
}

void PacketModeWindow::offerInvalidRowDeletion(int32_t row, int32_t slot) {
    const InvalidRowKind kind =
        m_core->store().length(slot) >= 20 ? InvalidRowKind::Pointer : InvalidRowKind::Data;
    emptyDetailFields();
    m_entirePacket->setPlainText(QString::fromLatin1(InvalidRowPaneText(kind)));
    m_asking = true;
    const PromptAnswer answer =
        m_services.prompt.ask({kInvalidRowCaption, InvalidRowQuestion(kind), PromptButtons::YesNo,
                               PromptIcon::Question, false});
    m_asking = false;
    if (answer != PromptAnswer::Yes)
        return;
    // The record and length stay in the slot until the next clear.
    if (m_core->list().slotOfRow(row) == slot && m_core->list().deleteRow(row))
        m_core->store().setListed(slot, false);
    m_shownRow = -1;
    syncList();
}

void PacketModeWindow::highlightField(int controlId) {
    if (m_core->list().selectionMark() < 0)
        return;
    const auto range =
        FieldHighlight(controlId, rendering(), m_protocolNumber->text().toStdString());
    if (!range)
        return;
    const int length = m_entirePacket->document()->characterCount() - 1;
    QTextCursor cursor(m_entirePacket->document());
    cursor.setPosition(std::min(static_cast<int>(range->begin), length));
    cursor.setPosition(std::min(static_cast<int>(range->end), length), QTextCursor::KeepAnchor);
    m_entirePacket->setTextCursor(cursor);
    m_entirePacket->ensureCursorVisible();
}

void PacketModeWindow::saveList() {
    QFileDialog dialog(this);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setDefaultSuffix(QStringLiteral("txt"));
    const QString captureFilter = QStringLiteral("Capture files (*.pcap)");
    dialog.setNameFilters({QStringLiteral("Text Files (*.txt)"), QStringLiteral("All Files (*)"),
                           captureFilter});
    // The name typed gets the extension of the kind of file chosen.
    connect(&dialog, &QFileDialog::filterSelected, &dialog, [&dialog, captureFilter](const QString& f) {
        dialog.setDefaultSuffix(f == captureFilter ? QStringLiteral("pcap") : QStringLiteral("txt"));
    });
    dialog.setWindowModality(Qt::WindowModal);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return;
    const QString path = dialog.selectedFiles().constFirst();
    const bool capture = dialog.selectedNameFilter() == captureFilter ||
                         path.endsWith(QStringLiteral(".pcap"), Qt::CaseInsensitive);
    if (!capture) {
        SavingOptionsWindow options(m_settings, this);
        options.setWindowModality(Qt::WindowModal);
        options.exec();
    }
    m_core->save({path.toStdString(), capture ? SaveFormat::Capture : SaveFormat::Report,
                  SavingOptions::fromRecord(m_settings), m_settings.dateTimeTemplate()});
}

void PacketModeWindow::openCaptureFile() {
    if (m_closing || !m_core->engine().captureFileOpenable())
        return;
    QFileDialog dialog(this);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(QFileDialog::ExistingFile);
    dialog.setNameFilters({QStringLiteral("Capture files (*.pcap *.pcapng *.cap)"),
                           QStringLiteral("All files (*)")});
    dialog.setWindowModality(Qt::WindowModal);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return;
    // A capture started while the dialog was open refuses the load.
    m_core->engine().openCaptureFile(
        QFile::encodeName(dialog.selectedFiles().constFirst()).toStdString(), m_settings);
    syncList();
}

void PacketModeWindow::sortByColumn(int column) {
    const PacketSortOutcome outcome = SortPacketList(
        column, {m_core->state(), m_core->store(), m_core->list(), m_services.prompt,
                 m_core->sortAscending(), [](bool busy) {
                     if (busy)
                         QApplication::setOverrideCursor(Qt::WaitCursor);
                     else
                         QApplication::restoreOverrideCursor();
                 }});
    if (outcome != PacketSortOutcome::Sorted)
        return;
    // The view takes the new order as one reset; the marked packet stays selected.
    syncList();
    moveViewToRow(m_core->list().selectionMark());
}

void PacketModeWindow::showPacketContextMenu(QPoint at) {
    PacketList& list = m_core->list();
    const int32_t mark = list.selectionMark();
    if (mark < 0 || list.rowCount() == 0 || !m_listView->selectionModel()->hasSelection()) {
        m_core->state().contextRow = -1;
        return;
    }
    bool tcp = false;
    m_core->store().withRecord(list.slotOfRow(mark), [&](const PacketView& packet) {
        tcp = packet.protocol() == kProtocolTcp;
    });
    QMenu* menu = BuildPacketContextMenu(this, tcp);
    int command = 0;
    // Submenu commands reach the popup's signal too.
    connect(menu, &QMenu::triggered, this, [&command](QAction* a) { command = a->data().toInt(); });
    menu->exec(at);
    delete menu;
    // Read again: a delete running meanwhile may have moved the marked row.
    m_core->state().contextRow = list.selectionMark();
    if (command != 0)
        runListCommand(command);
}

namespace {

// The TCP tools of the context menu, by command id.
constexpr std::pair<int, SameAckMove> kGotoCommands[] = {
    {ids::kMenuPreviousSameAck, SameAckMove::Previous},
    {ids::kMenuNextSameAck, SameAckMove::Next},
    {ids::kMenuFirstSameAck, SameAckMove::First},
    {ids::kMenuLastSameAck, SameAckMove::Last}};
constexpr std::pair<int, ListDeletion> kDeleteCommands[] = {
    {ids::kMenuDeletePacket, ListDeletion::Packet},
    {ids::kMenuDeleteSameAck, ListDeletion::SameAck},
    {ids::kMenuDeleteDifferentAck, ListDeletion::DifferentAck}};

}  // namespace

void PacketModeWindow::runListCommand(int commandId) {
    if (commandId == ids::kMenuReverseSource || commandId == ids::kMenuReverseDestination) {
        m_core->reverseResolve(commandId == ids::kMenuReverseSource ? kSourceAddressOffset
                                                                    : kDestinationAddressOffset,
                               m_services.names.reverse);
        return;
    }
    // The TCP tools work on the packet of contextRow, taken now: rows may move before a
    // delete gets the list.
    const ListCommandTarget target =
        ListCommandTargetOf(m_core->list(), m_core->state().contextRow.load());
    if (target.slot < 0)
        return;
    for (const auto& [id, move] : kGotoCommands)
        if (commandId == id)
            GotoSameAck(move, target.slot,
                        {m_core->state(), m_core->store(), m_core->list(), m_services.prompt},
                        [this](int32_t row) { selectRow(row); });
    for (const auto& [id, kind] : kDeleteCommands)
        if (commandId == id)
            m_core->deleteFromList(kind, target,
                                   [this] { post([this] { showSelectedPacket(); }); });
}

bool PacketModeWindow::eventFilter(QObject* watched, QEvent* event) {
    const bool onList = watched == m_listView || watched == m_listView->viewport();
    if (onList && event->type() == QEvent::ContextMenu) {
        auto* request = static_cast<QContextMenuEvent*>(event);
        // The context-menu key opens the menu near the window's top-left corner, a click
        // where the mouse is.
        showPacketContextMenu(request->reason() == QContextMenuEvent::Keyboard
                                  ? frameGeometry().topLeft() + QPoint(5, 20)
                                  : request->globalPos());
        return true;
    }
    if (watched == m_listView->viewport() && event->type() == QEvent::MouseButtonDblClick) {
        const QPoint at = static_cast<QMouseEvent*>(event)->globalPosition().toPoint();
        // The click has selected its row by now; the menu opens once it is handled.
        QTimer::singleShot(0, this, [this, at] { showPacketContextMenu(at); });
        return true;
    }
    if (event->type() == QEvent::FocusIn) {
        if (auto* box = qobject_cast<QLineEdit*>(watched))
            highlightField(box->property(kControlIdProperty).toInt());
    }
    return ModeWindow::eventFilter(watched, event);
}

void PacketModeWindow::interfaceChosen() {
    m_core->engine().restartOnNewInterface(m_settings);
}

void PacketModeWindow::closeEvent(QCloseEvent* event) {
    if (m_closed) {
        event->accept();
        return;
    }
    event->ignore();
    if (!m_closing)
        beginClose();
}

void PacketModeWindow::openFilterSetup() {
    if (m_closing)
        return;
    std::erase_if(m_filterWindows, [](const QPointer<FilterSetupWindow>& w) { return w.isNull(); });
    // No owner: it stays open beside this window, which stays usable.
    auto* window =
        new FilterSetupWindow(m_settings, m_core->filters(), m_services.prompt, m_services.names);
    window->deleteWhenClosedAndIdle();
    m_filterWindows.emplace_back(window);
    window->show();
}

void PacketModeWindow::beginClose() {
    m_closing = true;
    // Open Filter Setup windows close unstored, before this window stores the settings.
    for (const QPointer<FilterSetupWindow>& w : m_filterWindows)
        if (w)
            w->reject();
    m_core->engine().requestExit();
    // The monitors end here, a sound that plays with them, so the process end waits for
    // nothing audible.
    m_core->stopMonitors();
    QTimer::singleShot(100, this, [this] {
        storeSettings();
        SaveSettings(m_settings, m_settingsPath);
        m_core->state().clearDone = false;
        m_core->engine().releaseAll();
        m_closeTimer = new QTimer(this);
        connect(m_closeTimer, &QTimer::timeout, this, [this] {
            if (!m_core->state().clearDone.load())
                return;
            m_closeTimer->stop();
            m_closed = true;
            emit closeFinished();
        });
        m_closeTimer->start(20);
    });
}

}  // namespace vorlanx
