// GeneralSettingsWindow: automatic logging, the new-packet sound, taskbar blinking, the
// colours, the mode choice at start-up and the two name templates. Opened modally from
// Settings > General of both mode windows on the one settings record.
//
// Thin: GeneralSettings loads and stores the values; the window moves them between its
// controls and that struct. It changes the record in memory only (Apply and OK); the mode
// window writes the file when it closes. One opening per object: closing stops its player.
#pragma once

#include <QDialog>
#include <QString>
#include <QStringList>
#include <atomic>
#include <functional>

#include "capture/worker_threads.h"
#include "platform/sound.h"
#include "settings/general_settings.h"
#include "settings/settings_record.h"

class QCheckBox;
class QLineEdit;
class QPushButton;
class QRadioButton;

namespace vorlanx {

class GeneralSettingsWindow final : public QDialog {
    Q_OBJECT

  public:
    static constexpr int kAutoLog = 1118;
    static constexpr int kLogPath = 1119;
    static constexpr int kLogChoose = 1120;
    static constexpr int kInterval = 1121;
    static constexpr int kHeadingOnly = 1025;
    static constexpr int kLogText = 1026;
    static constexpr int kLogDec = 1027;
    static constexpr int kLogHex = 1028;
    static constexpr int kSoundFile = 1122;
    static constexpr int kSoundChoose = 1123;
    static constexpr int kTest = 1124;
    static constexpr int kNoTaskbarBlink = 1125;
    static constexpr int kWindowsColors = 1126;
    static constexpr int kShowModeChoice = 1127;
    static constexpr int kFileNameTemplate = 1130;
    static constexpr int kFileNameDefault = 1131;
    static constexpr int kDateTimeTemplate = 1132;
    static constexpr int kDateTimeDefault = 1133;
    static constexpr int kOk = 1;
    static constexpr int kCancel = 2;
    static constexpr int kApply = 3;

    // A file window to ask for a path: the kind, the default suffix and the filters.
    struct FileRequest {
        enum class Kind { Save, Open } kind;
        QString defaultSuffix;
        QStringList filters;
    };
    // Returns the chosen full path, or an empty text when the user cancels. The default
    // shows a QFileDialog; tests answer instead.
    using FileChooser = std::function<QString(QWidget* parent, const FileRequest& request)>;

    // Loads the controls from `settings` and applies the logging enable rule. `sound`
    // plays the Test; it is stopped when the window closes, so it must be the window's
    // own. Both outlive the window.
    GeneralSettingsWindow(SettingsRecord& settings, SoundPlayer& sound, QWidget* parent = nullptr,
                          FileChooser chooseFile = {});
    // Ends a Test still playing and joins its thread.
    ~GeneralSettingsWindow() override;

    // The controls' values as they stand.
    GeneralSettings values() const;
    // Apply: stores the controls into the record, then emits settingsChanged().
    void store();
    // True while the sound of a Test plays. Any thread.
    bool testPlaying() const { return m_testPlaying.load(); }

    // OK, Cancel, Esc and the close box all end here: a Test still playing is stopped and
    // its thread joined before the window closes.
    void done(int result) override;

  signals:
    // The record holds new values (after Apply or OK); sent synchronously to the owner.
    void settingsChanged();

  private:
    void showValues(const GeneralSettings& values);
    // The log path, its Choose, the interval and the four radios follow 1118.
    void applyLoggingRule();
    void chooseInto(QLineEdit* edit, const FileRequest& request);
    // Test: the sound box's current text as the alert sound, on a thread of the window, so
    // the window keeps answering while it plays. A click while one plays is dropped.
    void testSound();
    void endTest();

    SettingsRecord& m_settings;
    SoundPlayer& m_sound;
    FileChooser m_chooseFile;

    std::atomic<bool> m_testPlaying{false};
    std::atomic<bool> m_closing{false};  // set by done(): a Test cut short rings no bell
    WorkerThreads m_testThreads;         // the Test's player thread, joined by done()

    QCheckBox* m_autoLog = nullptr;
    QLineEdit* m_logPath = nullptr;
    QPushButton* m_logChoose = nullptr;
    QLineEdit* m_interval = nullptr;
    QRadioButton* m_headingOnly = nullptr;
    QRadioButton* m_logText = nullptr;
    QRadioButton* m_logDec = nullptr;
    QRadioButton* m_logHex = nullptr;
    QLineEdit* m_soundFile = nullptr;
    QCheckBox* m_noTaskbarBlink = nullptr;
    QCheckBox* m_windowsColors = nullptr;
    QCheckBox* m_showModeChoice = nullptr;
    QLineEdit* m_fileNameTemplate = nullptr;
    QLineEdit* m_dateTimeTemplate = nullptr;
};

// The file window the General settings' Choose buttons show by default.
QString ChooseFileWithDialog(QWidget* parent, const GeneralSettingsWindow::FileRequest& request);

}  // namespace vorlanx
