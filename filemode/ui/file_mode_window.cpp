#include "filemode/ui/file_mode_window.h"

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QFileDialog>
#include <QMenuBar>
#include <QProgressBar>
#include <QPushButton>
#include <QRegularExpressionValidator>
#include <QStyle>
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>
#include <chrono>

#include "filemode/file_mode_options.h"
#include "platform/qt/control_ids.h"
#include "platform/qt/main_menu.h"
#include "settings/settings_file.h"

namespace vorlanx {
namespace ids = file_ids;

namespace {

constexpr int kCountersMs = 100;
constexpr int kRatesMs = 5000;
constexpr int kStreamClockMs = 20;
constexpr int kBufferUsageMs = 50;
// The engine reads the directory text up to this many bytes.
constexpr size_t kDirectoryReadBytes = 10000;
constexpr qsizetype kResolverTextChars = 1023;

// A number edit's value the way the dialog framework reads one: a text that is not a
// number, or does not fit, reads as 0.
int32_t signedValue(const QLineEdit* edit) {
    bool ok = false;
    const int value = edit->text().trimmed().toInt(&ok);
    return ok ? value : 0;
}
uint32_t unsignedValue(const QLineEdit* edit) {
    bool ok = false;
    const uint value = edit->text().trimmed().toUInt(&ok);
    return ok ? value : 0;
}

// Shows `text` in `label` when there is one: the core gives a text only when it changed.
void ShowText(QLabel* label, const std::optional<std::string>& text) {
    if (text)
        label->setText(QString::fromStdString(*text));
}

std::string utf8(const QLineEdit* edit) {
    return edit->text().toStdString();
}

QLineEdit* NumberEdit(int id, const QString& label, int digits) {
    auto* edit = Tag(new QLineEdit, id, label);
    edit->setMaxLength(digits);
    edit->setValidator(new QRegularExpressionValidator(
        QRegularExpression(QStringLiteral("^[0-9]{0,%1}$").arg(digits)), edit));
    edit->setMaximumWidth(edit->fontMetrics().horizontalAdvance(QLatin1Char('0')) * (digits + 2) +
                          12);
    return edit;
}

QString ipPattern() {
    const QString octet = QStringLiteral("(25[0-5]|2[0-4][0-9]|1[0-9][0-9]|[1-9]?[0-9])");
    return QStringLiteral("^%1\\.%1\\.%1\\.%1$").arg(octet);
}

}  // namespace

// Carries the engine's window changes to the user-interface thread, without waiting.
class FileModeWindow::EventsAdapter final : public FileModeView {
  public:
    explicit EventsAdapter(FileModeWindow& w) : m_window(w) {}

    void captureStarted() override {
        post([this] {
            // A capture that already ended, or was stopped, leaves the controls as they are.
            const FileModeState& state = m_window.m_core->state();
            if (state.captureRunning.load() && !state.stopRequested.load())
                m_window.setRunningControls(true);
        });
    }
    void statusChanged(const std::string& text) override {
        post([this, t = QString::fromStdString(text)] { m_window.m_status->setText(t); });
    }
    void captureEnded() override {
        post([this] { m_window.onCaptureEnded(); });
    }
    void activityChanged(const std::string& text) override {
        post([this, t = QString::fromStdString(text)] { m_window.m_activity->setText(t); });
    }

  private:
    template <typename F>
    void post(F&& f) {
        m_window.post([this, f = std::forward<F>(f)] {
            if (!m_window.m_shuttingDown)
                f();
        });
    }
    FileModeWindow& m_window;
};

FileModeWindow::FileModeWindow(SettingsRecord& settings, std::string settingsPath,
                               FileModeWindowServices services, QWidget* parent)
    : ModeWindow(settings, std::move(settingsPath),
                 ModeWindowServices{.prompt = services.prompt,
                                    .launcher = services.launcher,
                                    .interfaceAddresses = services.interfaceAddresses,
                                    .openAbout = services.openAbout},
                 CaptureMode::Packet, parent),
      m_services(std::move(services)),
      m_events(std::make_unique<EventsAdapter>(*this)),
      m_core(std::make_unique<FileModeCore>(
          FileModeCoreServices{m_services.sources, m_services.prompt, m_services.clock,
                               m_services.localTime, m_services.resolveHost, m_events.get()})) {
    setWindowTitle(QStringLiteral("Brindlecraft VORLANX (File Mode)"));
    buildControls();
    // Save has nothing to save in File Mode.
    buildMainMenu({.openCaptureFileText = "Rebuild files from a capture file...",
                   .openCaptureFile = [this] { rebuildFromCaptureFile(); }});
    connectLiveValues();
    loadSettings();

    // The timers in their order: counters, rates, stream clock, then the buffer bar once
    // it has its range.
    m_countersTimer = new QTimer(this);
    connect(m_countersTimer, &QTimer::timeout, this, &FileModeWindow::updateCounters);
    m_countersTimer->start(kCountersMs);
    m_ratesTimer = new QTimer(this);
    connect(m_ratesTimer, &QTimer::timeout, this, &FileModeWindow::updateRates);
    m_ratesTimer->start(kRatesMs);
    m_clockTimer = new QTimer(this);
    connect(m_clockTimer, &QTimer::timeout, this, &FileModeWindow::updateStreamClock);
    m_clockTimer->start(kStreamClockMs);
    m_buffer->setRange(0, static_cast<int>(FileModeStatistics::kBufferScaleBytes));
    m_buffer->setValue(0);
    m_bufferTimer = new QTimer(this);
    connect(m_bufferTimer, &QTimer::timeout, this, &FileModeWindow::updateBufferUsage);
    m_bufferTimer->start(kBufferUsageMs);

    updateStreamClock();
    m_core->setAckTimeout(signedValue(m_ackTimeout));

    connect(m_start, &QToolButton::clicked, this, &FileModeWindow::startCapture);
    connect(m_stop, &QToolButton::clicked, this, &FileModeWindow::stopCapture);
    connect(m_resolve, &QPushButton::clicked, this, &FileModeWindow::resolveHost);
    connect(m_ackTimeout, &QLineEdit::textChanged, this,
            [this] { m_core->setAckTimeout(signedValue(m_ackTimeout)); });
}

FileModeWindow::~FileModeWindow() {
    shutdownEngine();
    if (m_resolving)
        QApplication::restoreOverrideCursor();
}

void FileModeWindow::shutdownEngine() {
    m_shuttingDown = true;
    for (QTimer* t : {m_countersTimer, m_ratesTimer, m_clockTimer, m_bufferTimer})
        t->stop();
    m_start->setEnabled(false);
    m_core->stop();
    // A worker may be waiting for a message box to be answered, which needs the event
    // loop; keep it turning until every thread of the core (a lookup too) has ended.
    PumpUntil([this] { return m_core->waitUntilIdle(std::chrono::milliseconds(20)); });
    m_core.reset();
}

bool FileModeWindow::initialise() {
    if (!tryCaptureInterface(m_services.sources))
        return false;
    m_interface->setText(QString::fromStdString(m_settings.interfaceAddress()));
    return true;
}

void FileModeWindow::buildControls() {
    auto* central = new QWidget;
    auto* root = new QHBoxLayout(central);
    setCentralWidget(central);

    // Left: the logo and the explanation, the interface, the directory and advanced
    // settings, Start and Stop with the status.
    auto* left = new QVBoxLayout;
    auto* top = new QHBoxLayout;
    top->addWidget(makeLogo(ids::kLogo), 0, Qt::AlignTop);
    auto* explanation = new QLabel(QStringLiteral(
        "File Mode allows for the capturing and storage of HTTP files. This is done by the "
        "reconstructing of the packets of an HTTP transfer."));
    explanation->setWordWrap(true);
    top->addWidget(explanation, 1);
    left->addLayout(top);

    left->addWidget(buildInterfaceGroup());
    left->addWidget(buildDirectoryGroup());
    left->addWidget(buildAdvancedGroup());
    buildRunControls(left);
    left->addStretch(1);
    root->addLayout(left, 1);

    // Right: the resolver, the filters and the statistics.
    auto* right = new QVBoxLayout;
    right->addWidget(buildResolverGroup());
    right->addWidget(buildFilterGroup());
    right->addLayout(buildStatistics());
    right->addStretch(1);
    root->addLayout(right, 1);
    showCounterTexts(m_core->firstCounterTexts());
    showRateTexts(m_core->firstRateTexts());
}

QGroupBox* FileModeWindow::buildInterfaceGroup() {
    auto* interfaceGroup = new QGroupBox(QStringLiteral("IP level interface to listen on"));
    auto* interfaceLayout = new QVBoxLayout(interfaceGroup);
    m_interface = Tag(new QLineEdit, ids::kInterfaceAddress,
                      QStringLiteral("IP level interface to listen on"));
    m_interface->setReadOnly(true);
    interfaceLayout->addWidget(m_interface);
    return interfaceGroup;
}

QGroupBox* FileModeWindow::buildDirectoryGroup() {
    auto* directoryGroup = new QGroupBox(QStringLiteral("Directory and file settings"));
    auto* directoryLayout = new QVBoxLayout(directoryGroup);
    directoryLayout->addWidget(new QLabel(QStringLiteral("Directory to store constructed files:")));
    m_directory = Tag(new QLineEdit, ids::kDirectory,
                      QStringLiteral("Directory to store constructed files:"));
    directoryLayout->addWidget(m_directory);
    m_overwrite = Tag(new QCheckBox(QStringLiteral("Over-Write files of same name")),
                      ids::kOverwrite, QStringLiteral("Over-Write files of same name"));
    directoryLayout->addWidget(m_overwrite);
    m_httpOnly = Tag(new QCheckBox(QStringLiteral("Only store HTTP based file streams as files")),
                     ids::kHttpOnly, QStringLiteral("Only store HTTP based file streams as files"));
    directoryLayout->addWidget(m_httpOnly);
    directoryLayout->addWidget(new QLabel(
        QStringLiteral("Note: The file name will be the date/time of file completion.")));
    return directoryGroup;
}

QGroupBox* FileModeWindow::buildAdvancedGroup() {
    auto* advancedGroup = new QGroupBox(QStringLiteral("Advanced settings"));
    auto* advancedLayout = new QVBoxLayout(advancedGroup);
    auto* ackRow = new QHBoxLayout;
    ackRow->addWidget(new QLabel(QStringLiteral("ACK time-out (ms):")));
    m_ackTimeout = NumberEdit(ids::kAckTimeout, QStringLiteral("ACK time-out (ms):"), 5);
    ackRow->addWidget(m_ackTimeout);
    ackRow->addStretch(1);
    advancedLayout->addLayout(ackRow);
    m_partialContent = Tag(new QCheckBox(QStringLiteral("Accept partial content")),
                           ids::kPartialContent, QStringLiteral("Accept partial content"));
    advancedLayout->addWidget(m_partialContent);
    m_dirtyMode = Tag(new QCheckBox(QStringLiteral("Dirty mode (may be faster)")), ids::kDirtyMode,
                      QStringLiteral("Dirty mode (may be faster)"));
    advancedLayout->addWidget(m_dirtyMode);
    return advancedGroup;
}

void FileModeWindow::buildRunControls(QVBoxLayout* column) {
    auto* buttons = new QHBoxLayout;
    auto pictureButton = [&](int id, const QString& name, QStyle::StandardPixmap icon) {
        QToolButton* b = MakePictureButton(id, icon, name);
        b->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
        buttons->addWidget(b);
        return b;
    };
    m_start = pictureButton(ids::kStart, QStringLiteral("Start"), QStyle::SP_MediaPlay);
    m_stop = pictureButton(ids::kStop, QStringLiteral("Stop"), QStyle::SP_MediaStop);
    m_stop->setEnabled(false);
    buttons->addStretch(1);
    column->addLayout(buttons);
    m_status = Tag(new QLabel(QString::fromLatin1(FileModeCore::waitingStatusText())), ids::kStatus,
                   QStringLiteral("Status:"));
    column->addWidget(m_status);
}

QGroupBox* FileModeWindow::buildResolverGroup() {
    auto* resolverGroup = new QGroupBox(QStringLiteral("Host name resolver"));
    auto* resolverLayout = new QVBoxLayout(resolverGroup);
    auto* resolverNote = new QLabel(
        QStringLiteral("This resolver is here as a tool. Use it to resolve host and domain names "
                       "to IP addreses for use in the filters below."));
    resolverNote->setWordWrap(true);
    resolverLayout->addWidget(resolverNote);
    auto* resolverRow = new QHBoxLayout;
    m_resolverHost = Tag(new QLineEdit, ids::kResolverHost, QStringLiteral("Host name resolver"));
    m_resolverHost->setMaxLength(static_cast<int>(kResolverTextChars));
    m_resolve =
        Tag(new QPushButton(QStringLiteral("Resolve")), ids::kResolve, QStringLiteral("Resolve"));
    resolverRow->addWidget(m_resolverHost, 1);
    resolverRow->addWidget(m_resolve);
    resolverLayout->addLayout(resolverRow);
    return resolverGroup;
}

QGroupBox* FileModeWindow::buildFilterGroup() {
    // "&&" shows one ampersand in a group title.
    auto* filterGroup = new QGroupBox(QStringLiteral("Packet && file filter systems"));
    filterGroup->setAccessibleName(QStringLiteral("Packet & file filter systems"));
    auto* filters = new QGridLayout(filterGroup);
    int row = 0;
    auto addressEdit = [&](int id, const QString& label) {
        auto* edit = Tag(new QLineEdit, id, label);
        edit->setMaxLength(15);
        edit->setValidator(new QRegularExpressionValidator(QRegularExpression(ipPattern()), edit));
        filters->addWidget(new QLabel(label), row, 0);
        filters->addWidget(edit, row, 1);
        ++row;
        return edit;
    };
    m_sourceIp = addressEdit(ids::kSourceIp, QStringLiteral("Source IP must be:"));
    m_sourceIpNot = addressEdit(ids::kSourceIpNot, QStringLiteral("Source IP must NOT be:"));
    m_destinationIp = addressEdit(ids::kDestinationIp, QStringLiteral("Destination IP must be:"));
    m_destinationIpNot =
        addressEdit(ids::kDestinationIpNot, QStringLiteral("Destination IP must NOT be:"));
    auto numberRow = [&](int id, const QString& label, int digits) {
        QLineEdit* edit = NumberEdit(id, label, digits);
        filters->addWidget(new QLabel(label), row, 0);
        filters->addWidget(edit, row, 1);
        ++row;
        return edit;
    };
    m_sourcePort = numberRow(ids::kSourcePort, QStringLiteral("Source Port must be:"), 5);
    m_sourcePortNot = numberRow(ids::kSourcePortNot, QStringLiteral("Source Port must NOT be:"), 5);
    m_destinationPort =
        numberRow(ids::kDestinationPort, QStringLiteral("Destination Port must be:"), 5);
    m_destinationPortNot =
        numberRow(ids::kDestinationPortNot, QStringLiteral("Destination Port must NOT be:"), 5);
    m_minSize = numberRow(ids::kMinFileSize, QStringLiteral("Minimum file size (bytes):"), 10);
    m_maxSize = numberRow(ids::kMaxFileSize, QStringLiteral("Maximum file size (bytes):"), 10);
    filters->addWidget(
        new QLabel(QStringLiteral("Note: In the above fields, an entry of 0 indicates no filter.")),
        row, 0, 1, 2);
    return filterGroup;
}

QGridLayout* FileModeWindow::buildStatistics() {
    auto* statistics = new QGridLayout;
    int line = 0;
    auto statisticsLine = [&](QLabel* label) {
        statistics->addWidget(label, line++, 0, 1, 4);
        return label;
    };
    m_pending =
        statisticsLine(Tag(new QLabel, ids::kFilesPending, QStringLiteral("Files processing:")));
    m_processed =
        statisticsLine(Tag(new QLabel, ids::kFilesProcessed, QStringLiteral("Files processed:")));
    m_written =
        statisticsLine(Tag(new QLabel, ids::kFilesWritten, QStringLiteral("Files written:")));
    statistics->addWidget(new QLabel(QStringLiteral("Dynamic memory allocations:")), line, 0, 1, 2);
    m_memory = Tag(new QLabel, ids::kTrackedMemory, QStringLiteral("Dynamic memory allocations:"));
    statistics->addWidget(m_memory, line++, 2, 1, 2);
    statistics->addWidget(new QLabel(QStringLiteral("Buffer usage:")), line, 0, 1, 2);
    m_buffer = Tag(new QProgressBar, ids::kBufferUsage, QStringLiteral("Buffer usage:"));
    m_buffer->setTextVisible(false);
    statistics->addWidget(m_buffer, line++, 2, 1, 2);
    statistics->addWidget(new QLabel(QStringLiteral("Dual direction data rate (Kbps):")), line++, 0,
                          1, 4);
    m_current = Tag(new QLabel, ids::kCurrentRate, QStringLiteral("Current data rate (Kbps):"));
    m_peak = Tag(new QLabel, ids::kPeakRate, QStringLiteral("Peak data rate (Kbps):"));
    m_average = Tag(new QLabel, ids::kAverageRate, QStringLiteral("Average data rate (Kbps):"));
    m_activity = Tag(new QLabel(QStringLiteral("X")), ids::kActivity, QStringLiteral("Activity"));
    statistics->addWidget(m_current, line, 0);
    statistics->addWidget(m_peak, line, 1);
    statistics->addWidget(m_average, line, 2);
    statistics->addWidget(m_activity, line, 3, Qt::AlignRight);
    return statistics;
}

void FileModeWindow::connectLiveValues() {
    FileModeLiveValues* o = &m_core->options();
    connect(m_directory, &QLineEdit::textChanged, this, [o](const QString& text) {
        const std::string bytes = text.toStdString();
        o->set(&FileModeOptionValues::directoryText,
               std::string(truncateUtf8(bytes, kDirectoryReadBytes)));
    });
    connect(m_overwrite, &QCheckBox::toggled, this,
            [o](bool on) { o->set(&FileModeOptionValues::overwrite, on); });
    connect(m_httpOnly, &QCheckBox::toggled, this,
            [o](bool on) { o->set(&FileModeOptionValues::onlyHttp, on); });
    connect(m_partialContent, &QCheckBox::toggled, this,
            [o](bool on) { o->set(&FileModeOptionValues::partialContent, on); });
    connect(m_minSize, &QLineEdit::textChanged, this,
            [this, o] { o->set(&FileModeOptionValues::minSize, unsignedValue(m_minSize)); });
    connect(m_maxSize, &QLineEdit::textChanged, this,
            [this, o] { o->set(&FileModeOptionValues::maxSize, unsignedValue(m_maxSize)); });
}

void FileModeWindow::loadSettings() {
    const SettingsRecord& s = m_settings;
    m_directory->setText(QString::fromStdString(s.fileDirectory()));
    m_overwrite->setChecked(s.overwriteFiles());
    m_httpOnly->setChecked(s.httpOnly());
    m_ackTimeout->setText(QString::number(s.ackTimeoutMs()));
    m_sourceIp->setText(QString::fromStdString(s.fileSrcIp()));
    m_sourceIpNot->setText(QString::fromStdString(s.fileSrcIpNot()));
    m_destinationIp->setText(QString::fromStdString(s.fileDstIp()));
    m_destinationIpNot->setText(QString::fromStdString(s.fileDstIpNot()));
    m_sourcePort->setText(QString::number(s.fileSrcPort()));
    m_destinationPort->setText(QString::number(s.fileDstPort()));
    m_sourcePortNot->setText(QString::number(s.fileSrcPortNot()));
    m_destinationPortNot->setText(QString::number(s.fileDstPortNot()));
    m_minSize->setText(QString::number(s.fileMinSize()));
    m_maxSize->setText(QString::number(s.fileMaxSize()));
    m_resolverHost->setText(QString::fromStdString(s.fileResolverHost()));
    m_partialContent->setChecked(s.acceptPartialContent());
    m_dirtyMode->setChecked(s.dirtyMode());

    // The signals above only fire on a change; the copies start from the loaded values.
    FileModeLiveValues& o = m_core->options();
    o.set(&FileModeOptionValues::directoryText,
          std::string(truncateUtf8(s.fileDirectory(), kDirectoryReadBytes)));
    o.set(&FileModeOptionValues::overwrite, s.overwriteFiles());
    o.set(&FileModeOptionValues::onlyHttp, s.httpOnly());
    o.set(&FileModeOptionValues::partialContent, s.acceptPartialContent());
    o.set(&FileModeOptionValues::minSize, s.fileMinSize());
    o.set(&FileModeOptionValues::maxSize, s.fileMaxSize());
    settingsChanged();
}

void FileModeWindow::settingsChanged() {
    m_core->options().set(&FileModeOptionValues::nameTemplate, m_settings.fileNameTemplate());
    m_core->options().set(&FileModeOptionValues::timeTemplate, m_settings.dateTimeTemplate());
}

void FileModeWindow::storeSettings() {
    SettingsRecord& s = m_settings;
    s.setFileDirectory(utf8(m_directory));
    s.setOverwriteFiles(m_overwrite->isChecked());
    s.setHttpOnly(m_httpOnly->isChecked());
    s.setAckTimeoutMs(static_cast<uint16_t>(signedValue(m_ackTimeout)));
    s.setFileSrcIp(utf8(m_sourceIp));
    s.setFileSrcIpNot(utf8(m_sourceIpNot));
    s.setFileDstIp(utf8(m_destinationIp));
    s.setFileDstIpNot(utf8(m_destinationIpNot));
    s.setFileSrcPortNot(static_cast<uint16_t>(signedValue(m_sourcePortNot)));
    s.setFileDstPortNot(static_cast<uint16_t>(signedValue(m_destinationPortNot)));
    s.setFileSrcPort(static_cast<uint16_t>(signedValue(m_sourcePort)));
    s.setFileDstPort(static_cast<uint16_t>(signedValue(m_destinationPort)));
    // The sizes are unsigned 32-bit fields and are shown as such: read them back the same
    // way, so a limit above 2,147,483,647 survives the close instead of becoming 0.
    s.setFileMinSize(unsignedValue(m_minSize));
    s.setFileMaxSize(unsignedValue(m_maxSize));
    s.setAcceptPartialContent(m_partialContent->isChecked());
    s.setDirtyMode(m_dirtyMode->isChecked());
    s.setFileResolverHost(utf8(m_resolverHost));
}

QTimer* FileModeWindow::timer(file_ids::FileModeTimer which) const {
    switch (which) {
        case file_ids::FileModeTimer::Counters:
            return m_countersTimer;
        case file_ids::FileModeTimer::Rates:
            return m_ratesTimer;
        case file_ids::FileModeTimer::StreamClock:
            return m_clockTimer;
        case file_ids::FileModeTimer::BufferUsage:
            return m_bufferTimer;
    }
    return nullptr;
}

FileModeStartRequest FileModeWindow::startRequest() const {
    FileModeStartRequest request;
    request.interfaceAddress = m_settings.interfaceAddress();
    FileModeFilter& f = request.filter;
    request.refusal = f.readAddresses(
        {utf8(m_sourceIp), utf8(m_sourceIpNot), utf8(m_destinationIp), utf8(m_destinationIpNot)});
    // Only the low 16 bits of a port count, as in network byte order.
    f.sourcePortMustBe = static_cast<uint16_t>(unsignedValue(m_sourcePort));
    f.sourcePortMustNotBe = static_cast<uint16_t>(unsignedValue(m_sourcePortNot));
    f.destinationPortMustBe = static_cast<uint16_t>(unsignedValue(m_destinationPort));
    f.destinationPortMustNotBe = static_cast<uint16_t>(unsignedValue(m_destinationPortNot));
    f.minFileSize = unsignedValue(m_minSize);
    f.maxFileSize = unsignedValue(m_maxSize);
    request.dirtyMode = m_dirtyMode->isChecked();
    return request;
}

void FileModeWindow::startCapture() {
    m_core->start(startRequest());
}

void FileModeWindow::rebuildFromCaptureFile() {
    if (m_core->state().captureRunning.load())
        return;
    QFileDialog dialog(this, QStringLiteral("Rebuild files from a capture file"));
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(QFileDialog::ExistingFiles);
    dialog.setNameFilters({QStringLiteral("Capture files (*.pcap *.pcapng *.cap)"),
                           QStringLiteral("All files (*)")});
    dialog.setWindowModality(Qt::WindowModal);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return;
    std::vector<std::string> paths;
    for (const QString& path : dialog.selectedFiles())
        paths.push_back(path.toStdString());
    // The run reads the window's values as a Start does, and ends by itself.
    m_core->startReplay(paths, startRequest());
}

void FileModeWindow::stopCapture() {
    if (m_core->stop())
        setRunningControls(false);
}

void FileModeWindow::setRunningControls(bool running) {
    m_start->setEnabled(!running);
    m_stop->setEnabled(running);
    EnableMainMenuCommand(menuBar(), main_menu_ids::kOpenCaptureFile, !running);
    // The directory, overwrite, HTTP-only and partial-content controls stay open: the
    // engine reads them live.
    for (QWidget* w : std::initializer_list<QWidget*>{
             m_ackTimeout, m_sourceIp, m_sourceIpNot, m_destinationIp, m_destinationIpNot,
             m_sourcePort, m_sourcePortNot, m_destinationPort, m_destinationPortNot, m_minSize,
             m_maxSize, m_dirtyMode})
        w->setEnabled(!running);
}

void FileModeWindow::onCaptureEnded() {
    // A capture that ended without Stop (its source delivered an empty datagram) leaves
    // nothing for Stop to do: give the user Start again.
    if (!m_core->state().captureRunning.load() && m_stop->isEnabled())
        setRunningControls(false);
}

void FileModeWindow::updateCounters() {
    showCounterTexts(m_core->countersTick());
}

void FileModeWindow::updateRates() {
    showRateTexts(m_core->ratesTick());
}

void FileModeWindow::showCounterTexts(const CounterTexts& texts) {
    ShowText(m_pending, texts.pending);
    ShowText(m_processed, texts.processed);
    ShowText(m_written, texts.written);
    ShowText(m_memory, texts.memory);
}

void FileModeWindow::showRateTexts(const RateTexts& texts) {
    ShowText(m_current, texts.current);
    ShowText(m_peak, texts.peak);
    ShowText(m_average, texts.average);
}

void FileModeWindow::updateStreamClock() {
    m_core->updateStreamClock();
}

void FileModeWindow::updateBufferUsage() {
    if (const auto position = m_core->bufferTick())
        m_buffer->setValue(*position);
}

void FileModeWindow::resolveHost() {
    if (m_resolving)
        return;
    m_resolving = true;
    QApplication::setOverrideCursor(Qt::WaitCursor);
    // The lookup may take seconds; it runs on its own thread while the window waits for
    // its answer with the resolver's controls disabled.
    m_resolve->setEnabled(false);
    m_resolverHost->setEnabled(false);
    const std::string name = m_resolverHost->text().left(kResolverTextChars).toStdString();
    // The core joins its lookup before the window goes, so the queued answer always finds
    // the window; one that arrives during the close is dropped.
    m_core->resolveHost(name, [this](std::optional<std::string> address) {
        QMetaObject::invokeMethod(
            this,
            [this, address = std::move(address)] {
                if (!m_shuttingDown)
                    onHostResolved(address);
            },
            Qt::QueuedConnection);
    });
}

void FileModeWindow::onHostResolved(const std::optional<std::string>& address) {
    QApplication::restoreOverrideCursor();
    m_resolving = false;
    m_resolve->setEnabled(true);
    m_resolverHost->setEnabled(true);
    if (address)
        m_resolverHost->setText(QString::fromStdString(*address));
    else
        m_services.prompt.tell("", "Unable to resolve host name");
}

void FileModeWindow::interfaceChosen() {
    m_interface->setText(QString::fromStdString(m_settings.interfaceAddress()));
    if (m_core->state().captureRunning.load())
        m_services.prompt.ask({"Notice",
                               "Notice, interface changes (if any) will take effect next time you "
                               "press the \"Start\" button",
                               PromptButtons::Ok, PromptIcon::Information, true});
}

void FileModeWindow::closeEvent(QCloseEvent* event) {
    event->accept();
    if (m_closed)
        return;
    // Capture threads are not stopped here: the process ends right after, and the
    // window's destruction stops them without writing anything still pending.
    storeSettings();
    SaveSettings(m_settings, m_settingsPath);
    m_closed = true;
    emit closeFinished();
}

}  // namespace vorlanx
