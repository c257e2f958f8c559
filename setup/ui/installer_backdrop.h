// The full-screen backdrop the installer runs over: a colour gradient with "Installation"
// and the product's pulsing, shadowed title drawn on it. It closes itself once the
// installer has ended.
#pragma once

#include <QDialog>
#include <QFont>
#include <QImage>
#include <QPixmap>
#include <QRect>
#include <string>

#include "platform/user_prompt.h"
#include "setup/ui/installer_window.h"

class QPainter;
class QTimer;

namespace vorlanx {

// The title's blue: it climbs by 4 from 0 and, once at 250 or more, falls by 4 until it is
// at 5 or less, so after the first step it runs between 4 and 252.
struct Pulse {
    int value = 0;
    bool down = false;
};
Pulse NextPulse(Pulse pulse);

// The gradient for a screen of `size`: the pixel in column x and row y has red
// x * 255 / width and green and blue y * 255 / height, truncated. Null for an empty size
// or when its memory cannot be had.
QImage GradientImage(QSize size);

// "Times New Roman" at 24 points when the desktop has it, else "Helvetica" at 24 points.
QFont BackdropFont();

// The whole primary screen.
QRect PrimaryScreenArea();

class InstallerBackdrop final : public QDialog {
    Q_OBJECT

  public:
    static constexpr int kPictureId = 1068;
    static constexpr int kTitleTimerMs = 20;  // "Installation" drawn once more
    static constexpr int kPulseTimerMs = 30;  // the title's pulse
    static constexpr int kWatchTimerMs = 10;  // closes once the installer has ended

    // Borderless over `area`, showing the gradient of that size; when the gradient cannot
    // be made, a non-fatal message goes through `prompt` and the backdrop goes on without.
    explicit InstallerBackdrop(UserPrompt& prompt, QRect area = PrimaryScreenArea(),
                               QWidget* parent = nullptr);

    // The installer has ended: the backdrop closes at its next watch tick.
    void installerEnded() { m_installerRunning = false; }
    bool installerRunning() const { return m_installerRunning; }
    Pulse pulse() const { return m_pulse; }

    // Neither Esc nor a close request ends the backdrop while the installer runs.
    void reject() override;

  protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

  private:
    // Everything drawn over the gradient, from the current state.
    void drawTexts(QPainter& painter) const;
    void pulseStep();
    void watchInstaller();

    QPixmap m_gradient;
    QWidget* m_picture = nullptr;
    QTimer* m_pulseTimer = nullptr;
    QTimer* m_watchTimer = nullptr;
    Pulse m_pulse;
    bool m_titleShown = false;  // the pulse timer has drawn the title at least once
    bool m_installerRunning = true;
};

// Shows the backdrop over `area`, disabled, and runs the installer window-modal above it;
// once the installer has ended the backdrop closes itself. Returns when it has, true when
// the installer closed after a successful installation.
bool RunInstallerOverBackdrop(const std::string& defaultDirectory, UserPrompt& prompt,
                              InstallFunction install, QRect area = PrimaryScreenArea());

}  // namespace vorlanx
