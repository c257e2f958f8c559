#include "capture/ui/general_settings_window.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QFileDialog>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpressionValidator>
#include <QVBoxLayout>
#include <string_view>
#include <utility>

#include "platform/qt/control_ids.h"

namespace vorlanx {

namespace {

// A text field holds 1,023 bytes; the edits take as many characters and the store cuts
// what is longer in bytes on a character boundary.
constexpr int kTextFieldChars = static_cast<int>(SettingsRecord::kTextWidth) - 1;

QString FromUtf8(std::string_view text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

std::string Utf8(const QLineEdit* edit) {
    return edit->text().toStdString();
}

QLabel* StaticText(const QString& text) {
    auto* label = new QLabel(text);
    label->setAccessibleName(text);
    return label;
}

QLineEdit* TextEdit(int id, const QString& name) {
    auto* edit = Tag(new QLineEdit, id, name);
    edit->setMaxLength(kTextFieldChars);
    return edit;
}

QPushButton* Button(int id, const QString& text, const QString& name) {
    auto* button = Tag(new QPushButton(text), id, name);
    button->setAutoDefault(false);
    return button;
}

const QString kFileNameLegend = QStringLiteral(
    "%SIP = Source IP address\r\n%DIP = Destination IP address\r\n%DAT = Date and Time");
const QString kDateTimeLegend = QStringLiteral(
    "%Y = Year\r\n%MY = Month (number 1-12)\r\n%D = Day of month\r\n%AP = AM or PM\r\n"
    "%H12 = Hour (12 hour time)\r\n%H24 = Hour (24 hour time)\r\n%MN = Minute\r\n"
    "%S = Second\r\n%MS = Millisecond\r\nNote: Parameters are Case Sensitive");

}  // namespace

QString ChooseFileWithDialog(QWidget* parent, const GeneralSettingsWindow::FileRequest& request) {
    QFileDialog dialog(parent);
    const bool save = request.kind == GeneralSettingsWindow::FileRequest::Kind::Save;
    dialog.setAcceptMode(save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setDefaultSuffix(request.defaultSuffix);
    dialog.setNameFilters(request.filters);
    // The log is appended to: choosing an existing file asks nothing.
    dialog.setOption(QFileDialog::DontConfirmOverwrite, save);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return {};
    return dialog.selectedFiles().constFirst();
}

GeneralSettingsWindow::GeneralSettingsWindow(SettingsRecord& settings, SoundPlayer& sound,
                                             QWidget* parent, FileChooser chooseFile)
    : QDialog(parent),
      m_settings(settings),
      m_sound(sound),
      m_chooseFile(chooseFile ? std::move(chooseFile) : ChooseFileWithDialog) {
    setWindowTitle(QStringLiteral("General settings"));
    setModal(true);

    // Packet Mode: automatic logging, the sound and the switches.
    auto* logging = new QGroupBox(QStringLiteral("Automatic packet logging"));
    logging->setAccessibleName(logging->title());
    m_autoLog = Tag(new QCheckBox(QStringLiteral("Automatically log packets to text file")),
                    kAutoLog, QStringLiteral("Automatically log packets to text file"));
    m_logPath = TextEdit(kLogPath, QStringLiteral("Log file location"));
    m_logChoose = Button(kLogChoose, QStringLiteral("Choose"), QStringLiteral("Choose log file"));
    m_interval = Tag(new QLineEdit, kInterval, QStringLiteral("Log interval in seconds"));
    m_interval->setValidator(
        new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9]*")), m_interval));
    m_interval->setMaximumWidth(m_interval->fontMetrics().horizontalAdvance(QLatin1Char('0')) * 8 +
                                12);
    auto radio = [](int id, const QString& text) { return Tag(new QRadioButton(text), id, text); };
    m_headingOnly = radio(kHeadingOnly, QStringLiteral("Only save packet heading"));
    m_logText = radio(kLogText, QStringLiteral("Heading + packet data in Text"));
    m_logDec = radio(kLogDec, QStringLiteral("Heading + packet data in Dec"));
    m_logHex = radio(kLogHex, QStringLiteral("Heading + packet data in Hex"));
    auto* content = new QButtonGroup(this);
    for (QRadioButton* r : {m_headingOnly, m_logText, m_logDec, m_logHex})
        content->addButton(r);

    auto* logGrid = new QGridLayout(logging);
    logGrid->addWidget(m_autoLog, 0, 0, 1, 4);
    auto* logLocation = StaticText(QStringLiteral("Location:"));
    logLocation->setBuddy(m_logPath);
    logGrid->addWidget(logLocation, 1, 0);
    logGrid->addWidget(m_logPath, 1, 1, 1, 2);
    logGrid->addWidget(m_logChoose, 1, 3);
    auto* intervalRow = new QHBoxLayout;
    auto* intervalBefore = StaticText(QStringLiteral("Add new items (if any) to log every"));
    intervalBefore->setBuddy(m_interval);
    intervalRow->addWidget(intervalBefore);
    intervalRow->addWidget(m_interval);
    intervalRow->addWidget(StaticText(QStringLiteral("seconds.")));
    intervalRow->addStretch(1);
    logGrid->addLayout(intervalRow, 2, 0, 1, 4);
    logGrid->addWidget(m_headingOnly, 3, 0, 1, 2);
    logGrid->addWidget(m_logText, 3, 2, 1, 2);
    logGrid->addWidget(m_logDec, 4, 0, 1, 2);
    logGrid->addWidget(m_logHex, 4, 2, 1, 2);
    logGrid->setColumnStretch(1, 1);

    const QString soundTitle =
        QStringLiteral("Sound for \"Make sound for new packets\", blank for PC-Speaker");
    auto* soundGroup = new QGroupBox(soundTitle);
    soundGroup->setAccessibleName(soundTitle);
    m_soundFile = TextEdit(kSoundFile, QStringLiteral("Sound file location"));
    auto* soundChoose =
        Button(kSoundChoose, QStringLiteral("Choose"), QStringLiteral("Choose sound file"));
    auto* test = Button(kTest, QStringLiteral("Test"), QStringLiteral("Test"));
    auto* soundRow = new QHBoxLayout(soundGroup);
    auto* soundLocation = StaticText(QStringLiteral("Location:"));
    soundLocation->setBuddy(m_soundFile);
    soundRow->addWidget(soundLocation);
    soundRow->addWidget(m_soundFile, 1);
    soundRow->addWidget(soundChoose);
    soundRow->addWidget(test);

    auto check = [](int id, const QString& text) { return Tag(new QCheckBox(text), id, text); };
    m_noTaskbarBlink = check(
        kNoTaskbarBlink, QStringLiteral("Do not blink in taskbar upon capture of new packets."));
    m_windowsColors = check(
        kWindowsColors,
        QStringLiteral(
            "Use Windows colors (requires restart of program for all changes to take effect.)"));
    m_showModeChoice =
        check(kShowModeChoice,
              QStringLiteral("Show mode choice at startup (Packet Mode vs. File Mode)."));

    auto* packetMode = new QGroupBox(QStringLiteral("Packet Mode"));
    packetMode->setAccessibleName(packetMode->title());
    auto* packetColumn = new QVBoxLayout(packetMode);
    packetColumn->addWidget(logging);
    packetColumn->addWidget(soundGroup);
    packetColumn->addWidget(m_noTaskbarBlink);

    // File Mode: the two templates, each with its Default and its legend.
    auto templateGroup = [](const QString& title, QLineEdit* edit, QPushButton* reset,
                            const QString& legend) {
        auto* group = new QGroupBox(title);
        group->setAccessibleName(title);
        auto* grid = new QGridLayout(group);
        grid->addWidget(edit, 0, 0);
        grid->addWidget(reset, 0, 1);
        grid->addWidget(StaticText(QStringLiteral("Parameters:")), 1, 0, 1, 2);
        auto* text = StaticText(legend);
        text->setTextInteractionFlags(Qt::TextSelectableByMouse);
        grid->addWidget(text, 2, 0, 1, 2);
        grid->setColumnStretch(0, 1);
        return group;
    };
    m_fileNameTemplate = TextEdit(kFileNameTemplate, QStringLiteral("File name template"));
    auto* fileNameDefault = Button(kFileNameDefault, QStringLiteral("Default"),
                                   QStringLiteral("Default file name template"));
    m_dateTimeTemplate = TextEdit(kDateTimeTemplate, QStringLiteral("Date and time template"));
    // Wide enough to show the default templates whole.
    for (QLineEdit* edit : {m_fileNameTemplate, m_dateTimeTemplate})
        edit->setMinimumWidth(
            edit->fontMetrics().horizontalAdvance(FromUtf8(kDefaultDateTimeTemplate)) + 16);
    auto* dateTimeDefault = Button(kDateTimeDefault, QStringLiteral("Default"),
                                   QStringLiteral("Default date and time template"));
    auto* fileMode = new QGroupBox(QStringLiteral("File Mode"));
    fileMode->setAccessibleName(fileMode->title());
    auto* fileColumn = new QVBoxLayout(fileMode);
    fileColumn->addWidget(templateGroup(QStringLiteral("File name settings"), m_fileNameTemplate,
                                        fileNameDefault, kFileNameLegend));
    fileColumn->addStretch(1);
    auto* dateTime = templateGroup(QStringLiteral("Date and Time settings"), m_dateTimeTemplate,
                                   dateTimeDefault, kDateTimeLegend);

    auto* ok = Tag(new QPushButton(QStringLiteral("OK")), kOk, QStringLiteral("OK"));
    ok->setDefault(true);
    auto* cancel = Button(kCancel, QStringLiteral("Cancel"), QStringLiteral("Cancel"));
    auto* apply = Button(kApply, QStringLiteral("Apply"), QStringLiteral("Apply"));
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(m_windowsColors, 1);
    buttons->addWidget(ok);
    buttons->addWidget(cancel);
    buttons->addWidget(apply);

    auto* left = new QVBoxLayout;
    left->addWidget(packetMode);
    left->addWidget(m_showModeChoice);
    left->addStretch(1);
    auto* right = new QVBoxLayout;
    right->addWidget(fileMode);
    right->addWidget(dateTime);
    auto* columns = new QHBoxLayout;
    columns->addLayout(left, 3);
    columns->addLayout(right, 2);
    auto* root = new QVBoxLayout(this);
    root->addLayout(columns, 1);
    root->addLayout(buttons);

    connect(m_autoLog, &QCheckBox::toggled, this, &GeneralSettingsWindow::applyLoggingRule);
    connect(m_logChoose, &QPushButton::clicked, this, [this] {
        chooseInto(m_logPath,
                   {FileRequest::Kind::Save,
                    QStringLiteral("txt"),
                    {QStringLiteral("Text Files (*.txt)"), QStringLiteral("All Files (*)")}});
    });
    connect(soundChoose, &QPushButton::clicked, this, [this] {
        chooseInto(m_soundFile,
                   {FileRequest::Kind::Open,
                    QStringLiteral("wav"),
                    {QStringLiteral("Wave files (*.wav)"), QStringLiteral("All Files (*)")}});
    });
    connect(test, &QPushButton::clicked, this, &GeneralSettingsWindow::testSound);
    connect(fileNameDefault, &QPushButton::clicked, this,
            [this] { m_fileNameTemplate->setText(FromUtf8(kDefaultFileNameTemplate)); });
    connect(dateTimeDefault, &QPushButton::clicked, this,
            [this] { m_dateTimeTemplate->setText(FromUtf8(kDefaultDateTimeTemplate)); });
    connect(apply, &QPushButton::clicked, this, &GeneralSettingsWindow::store);
    connect(ok, &QPushButton::clicked, this, [this] {
        store();
        accept();
    });
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);

    showValues(GeneralSettings::load(m_settings));
}

GeneralSettingsWindow::~GeneralSettingsWindow() {
    endTest();
}

void GeneralSettingsWindow::showValues(const GeneralSettings& v) {
    m_autoLog->setChecked(v.autoLog);
    m_logPath->setText(QString::fromStdString(v.autoLogPath));
    m_interval->setText(QString::fromStdString(v.autoLogInterval));
    m_soundFile->setText(QString::fromStdString(v.soundFile));
    m_windowsColors->setChecked(v.useWindowsColors);
    m_noTaskbarBlink->setChecked(v.noTaskbarBlink);
    m_fileNameTemplate->setText(QString::fromStdString(v.fileNameTemplate));
    m_dateTimeTemplate->setText(QString::fromStdString(v.dateTimeTemplate));
    m_showModeChoice->setChecked(v.showModeChoice);
    switch (v.autoLogContent) {
        case AutoLogContent::HeadingOnly:
            m_headingOnly->setChecked(true);
            break;
        case AutoLogContent::Text:
            m_logText->setChecked(true);
            break;
        case AutoLogContent::Dec:
            m_logDec->setChecked(true);
            break;
        case AutoLogContent::Hex:
            m_logHex->setChecked(true);
            break;
    }
    applyLoggingRule();
}

GeneralSettings GeneralSettingsWindow::values() const {
    GeneralSettings v;
    v.autoLog = m_autoLog->isChecked();
    v.autoLogPath = Utf8(m_logPath);
    v.autoLogInterval = Utf8(m_interval);
    v.autoLogContent = m_logText->isChecked()  ? AutoLogContent::Text
                       : m_logDec->isChecked() ? AutoLogContent::Dec
                       : m_logHex->isChecked() ? AutoLogContent::Hex
                                               : AutoLogContent::HeadingOnly;
    v.soundFile = Utf8(m_soundFile);
    v.useWindowsColors = m_windowsColors->isChecked();
    v.noTaskbarBlink = m_noTaskbarBlink->isChecked();
    v.fileNameTemplate = Utf8(m_fileNameTemplate);
    v.dateTimeTemplate = Utf8(m_dateTimeTemplate);
    v.showModeChoice = m_showModeChoice->isChecked();
    return v;
}

void GeneralSettingsWindow::store() {
    values().store(m_settings);
    emit settingsChanged();
}

void GeneralSettingsWindow::applyLoggingRule() {
    const bool on = m_autoLog->isChecked();
    for (QWidget* w : std::initializer_list<QWidget*>{m_logPath, m_interval, m_logChoose,
                                                      m_headingOnly, m_logText, m_logDec, m_logHex})
        w->setEnabled(on);
}

void GeneralSettingsWindow::chooseInto(QLineEdit* edit, const FileRequest& request) {
    const QString path = m_chooseFile(this, request);
    if (!path.isEmpty())
        edit->setText(path);
}

void GeneralSettingsWindow::testSound() {
    if (m_closing.load() || m_testPlaying.exchange(true))
        return;
    m_testThreads.spawn("SoundTest", 0, [this, file = Utf8(m_soundFile)] {
        PlayAlertSound(m_sound, file, m_closing);
        m_testPlaying.store(false);
    });
}

void GeneralSettingsWindow::endTest() {
    m_closing.store(true);
    // A long wave file would hold the close for as long as it plays.
    if (m_testPlaying.load())
        m_sound.stop();
    m_testThreads.joinAll();
}

void GeneralSettingsWindow::done(int result) {
    endTest();
    QDialog::done(result);
}

}  // namespace vorlanx
