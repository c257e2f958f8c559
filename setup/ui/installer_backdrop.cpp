#include "setup/ui/installer_backdrop.h"

#include <QEventLoop>
#include <QFontDatabase>
#include <QGuiApplication>
#include <QIcon>
#include <QPainter>
#include <QScreen>
#include <QTimer>
#include <QVBoxLayout>
#include <functional>

#include "platform/qt/control_ids.h"
#include "platform/qt/window_parts.h"
#include "settings/product.h"

namespace vorlanx {

namespace {

constexpr int kPulseStep = 4;
constexpr int kPulseTop = 250;
constexpr int kPulseBottom = 5;
constexpr unsigned kInstallationBgr = 0x0064FF00;
constexpr unsigned kTitleBgr = 0x0000FF00;  // plus the pulse as blue

// The picture control: the gradient stretched over it, then the backdrop's texts.
class GradientPicture final : public QWidget {
  public:
    GradientPicture(const QPixmap& gradient, std::function<void(QPainter&)> overlay)
        : m_gradient(gradient), m_overlay(std::move(overlay)) {}

  protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        if (!m_gradient.isNull())
            painter.drawPixmap(rect(), m_gradient);
        m_overlay(painter);
    }

  private:
    const QPixmap& m_gradient;
    std::function<void(QPainter&)> m_overlay;
};

std::string NonFatalMessage(int code) {
    return "Non-fatal internal error code: " + std::to_string(code) + "\r\nSetup will continue";
}

// Text placed by the top-left corner of its line, as the title and "Installation" are.
void DrawTextAt(QPainter& painter, QPoint at, const QColor& colour, const QString& text) {
    painter.setPen(colour);
    painter.drawText(at.x(), at.y() + painter.fontMetrics().ascent(), text);
}

}  // namespace

Pulse NextPulse(Pulse pulse) {
    pulse.value += pulse.down ? -kPulseStep : kPulseStep;
    if (pulse.value >= kPulseTop)
        pulse.down = true;
    else if (pulse.value <= kPulseBottom)
        pulse.down = false;
    return pulse;
}

QImage GradientImage(QSize size) {
    if (size.isEmpty())
        return {};
    QImage image(size, QImage::Format_RGB32);
    if (image.isNull())
        return {};
    const qint64 width = size.width();
    const qint64 height = size.height();
    for (int y = 0; y < size.height(); ++y) {
        auto* row = reinterpret_cast<QRgb*>(image.scanLine(y));
        const int greenBlue = static_cast<int>(y * 255 / height);
        for (int x = 0; x < size.width(); ++x)
            row[x] = qRgb(static_cast<int>(x * 255 / width), greenBlue, greenBlue);
    }
    return image;
}

QFont BackdropFont() {
    const QString times = QStringLiteral("Times New Roman");
    QFont font(QFontDatabase::hasFamily(times) ? times : QStringLiteral("Helvetica"));
    font.setPointSize(24);
    return font;
}

QRect PrimaryScreenArea() {
    const QScreen* screen = QGuiApplication::primaryScreen();
    return screen ? screen->geometry() : QRect();
}

InstallerBackdrop::InstallerBackdrop(UserPrompt& prompt, QRect area, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::FramelessWindowHint) {
    setWindowTitle(QString::fromUtf8(kProductName));
    setWindowIcon(QIcon(ProductLogoPixmap()));
    setGeometry(area);
    setFont(BackdropFont());

    const QImage image = GradientImage(area.size());
    if (image.isNull()) {
        prompt.tell("", NonFatalMessage(2));
    } else {
        m_gradient = QPixmap::fromImage(image);
        if (m_gradient.isNull())
            prompt.tell("", NonFatalMessage(1));
    }
    m_picture = Tag(new GradientPicture(m_gradient, [this](QPainter& p) { drawTexts(p); }),
                    kPictureId, QStringLiteral("Installation"));
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_picture);

    m_pulseTimer = new QTimer(this);
    m_pulseTimer->setInterval(kPulseTimerMs);
    connect(m_pulseTimer, &QTimer::timeout, this, &InstallerBackdrop::pulseStep);
    m_watchTimer = new QTimer(this);
    m_watchTimer->setInterval(kWatchTimerMs);
    connect(m_watchTimer, &QTimer::timeout, this, &InstallerBackdrop::watchInstaller);
}

void InstallerBackdrop::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    QTimer::singleShot(kTitleTimerMs, m_picture, qOverload<>(&QWidget::update));
    m_pulseTimer->start();
    m_watchTimer->start();
}

void InstallerBackdrop::hideEvent(QHideEvent* event) {
    m_pulseTimer->stop();
    m_watchTimer->stop();
    QDialog::hideEvent(event);
}

void InstallerBackdrop::reject() {
    if (!m_installerRunning)
        QDialog::reject();
}

void InstallerBackdrop::drawTexts(QPainter& painter) const {
    DrawTextAt(painter, {68, 98}, FromBgr(kInstallationBgr), QStringLiteral("Installation"));
    if (!m_titleShown)
        return;
    const QString title = QStringLiteral("%1 %2").arg(QString::fromUtf8(kProductName),
                                                      QString::fromUtf8(kProductVersion));
    DrawTextAt(painter, {50, 50}, Qt::black, title);
    DrawTextAt(painter, {48, 48}, FromBgr(kTitleBgr + (static_cast<unsigned>(m_pulse.value) << 16)),
               title);
}

void InstallerBackdrop::pulseStep() {
    m_pulse = NextPulse(m_pulse);
    m_titleShown = true;
    m_picture->update();
}

void InstallerBackdrop::watchInstaller() {
    if (!m_installerRunning)
        reject();
}

bool RunInstallerOverBackdrop(const std::string& defaultDirectory, UserPrompt& prompt,
                              InstallFunction install, QRect area) {
    InstallerBackdrop backdrop(prompt, area);
    backdrop.show();
    backdrop.setEnabled(false);
    bool installed = false;
    {
        // Made after the backdrop is disabled, the installer window stays enabled.
        InstallerWindow installer(defaultDirectory, prompt, std::move(install), &backdrop);
        installer.setWindowModality(Qt::WindowModal);
        installed = installer.exec() == QDialog::Accepted;
    }
    backdrop.installerEnded();
    if (backdrop.isVisible()) {
        QEventLoop closed;
        QObject::connect(&backdrop, &QDialog::finished, &closed, &QEventLoop::quit);
        closed.exec();
    }
    return installed;
}

}  // namespace vorlanx
