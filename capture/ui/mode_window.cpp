#include "capture/ui/mode_window.h"

#include <QCoreApplication>
#include <QFontMetrics>
#include <QKeyEvent>
#include <QMenuBar>
#include <QMouseEvent>
#include <QShortcut>
#include <QToolButton>

#include "capture/capture_start.h"
#include "capture/ui/general_settings_window.h"
#include "capture/ui/help_window.h"
#include "platform/qt/control_ids.h"
#include "platform/qt/window_parts.h"
#include "settings/product.h"

namespace vorlanx {

MakerLogo::MakerLogo(int controlId, WebPageOpener openWebPage, QWidget* parent)
    : QLabel(parent), m_openWebPage(std::move(openWebPage)) {
    Tag(this, controlId, QStringLiteral("Open the maker's web page"));
    setPixmap(ProductLogoPixmap());
    setCursor(Qt::PointingHandCursor);
}

void MakerLogo::mousePressEvent(QMouseEvent* event) {
    m_pressed = event->button() == Qt::LeftButton;
    event->accept();
}

void MakerLogo::mouseReleaseEvent(QMouseEvent* event) {
    const bool click = m_pressed && event->button() == Qt::LeftButton &&
                       rect().contains(event->position().toPoint());
    m_pressed = false;
    event->accept();
    if (click && m_openWebPage)
        m_openWebPage(kMakerWebAddress);
}

QToolButton* MakePictureButton(int controlId, QStyle::StandardPixmap picture,
                               const QString& accessibleName, int iconPixels, QWidget* parent) {
    auto* button = Tag(new QToolButton(parent), controlId, accessibleName);
    button->setIcon(button->style()->standardIcon(picture));
    button->setIconSize(QSize(iconPixels, iconPixels));
    button->setText(accessibleName);
    button->setToolTip(accessibleName);
    button->setAutoRaise(true);
    return button;
}

QSize DialogUnitsToPixels(QSize dialogUnits, const QFont& font) {
    const QFontMetrics metrics(font);
    const int letters = metrics.horizontalAdvance(
        QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"));
    const int averageWidth = (letters / 26 + 1) / 2;
    return {dialogUnits.width() * averageWidth / 4, dialogUnits.height() * metrics.height() / 8};
}

void PumpUntil(const std::function<bool()>& done) {
    while (!done())
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
}

ModeWindow::ModeWindow(SettingsRecord& settings, std::string settingsPath,
                       ModeWindowServices services, CaptureMode otherMode, QWidget* parent)
    : QMainWindow(parent),
      m_settings(settings),
      m_settingsPath(std::move(settingsPath)),
      m_frameServices(std::move(services)),
      m_otherMode(otherMode) {
    setWindowIcon(QIcon(ProductLogoPixmap()));
    // A window shortcut, so F1 reaches Help whichever control has the focus; a held key's
    // repeats are swallowed without opening it again.
    auto* f1 = new QShortcut(QKeySequence(Qt::Key_F1), this);
    f1->setContext(Qt::WindowShortcut);
    f1->setAutoRepeat(false);
    connect(f1, &QShortcut::activated, this, &ModeWindow::openHelp);
}

void ModeWindow::buildMainMenu(MainMenuCommands commands) {
    commands.exit = [this] { close(); };
    commands.networkInterface = [this] { chooseInterface(); };
    commands.general = [this] { openGeneralSettings(); };
    commands.changeMode = [this] { changeMode(); };
    commands.help = [this] { openHelp(); };
    if (m_frameServices.openAbout)
        commands.about = [this] { openAbout(); };
    BuildMainMenu(menuBar(), this, commands);
}

MakerLogo* ModeWindow::makeLogo(int controlId) {
    return new MakerLogo(controlId, m_frameServices.openWebPage);
}

bool ModeWindow::tryCaptureInterface(CaptureSourceFactory& sources) {
    switch (TryCaptureInterface(sources, m_settings.interfaceAddress(), m_frameServices.prompt)) {
        case InterfaceTrial::Listening:
            return true;
        case InterfaceTrial::InterfaceUnusable:
            chooseInterface();
            return true;
        case InterfaceTrial::EndProcess:
            break;
    }
    return false;
}

void ModeWindow::chooseInterface() {
    InterfaceChoiceWindow window(m_settings, m_frameServices.prompt, this,
                                 m_frameServices.interfaceAddresses);
    window.exec();
    interfaceChosen();
}

void ModeWindow::openGeneralSettings() {
    std::unique_ptr<SoundPlayer> sound;
    if (m_frameServices.generalSettingsSound)
        sound = m_frameServices.generalSettingsSound();
    if (!sound)
        sound = MakeDesktopSoundPlayer();
    GeneralSettingsWindow window(m_settings, *sound, this);
    connect(&window, &GeneralSettingsWindow::settingsChanged, this,
            [this] { generalSettingsChanged(); });
    window.exec();
}

void ModeWindow::changeMode() {
    ModeSwitch modeSwitch(m_frameServices.prompt, m_frameServices.launcher);
    modeSwitch.run(m_otherMode, m_settings, m_settingsPath,
                   {[this] { storeSettings(); }, [this] { close(); }});
}

void ModeWindow::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Escape) {
        event->accept();  // the window stays; nothing is asked
        return;
    }
    QMainWindow::keyPressEvent(event);
}

void ModeWindow::openAbout() {
    m_frameServices.openAbout(this, m_settings);
}

void ModeWindow::openHelp() {
    if (m_helpOpen)
        return;
    m_helpOpen = true;
    HelpWindow help(this);
    help.exec();
    m_helpOpen = false;
}

}  // namespace vorlanx
