#include "setup/ui/about_window.h"

#include <QApplication>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMetaObject>
#include <QPushButton>
#include <QScrollBar>
#include <QStyle>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "platform/qt/control_ids.h"
#include "platform/qt/window_parts.h"
#include "settings/product.h"
#include "setup/about_text.h"

namespace vorlanx {

namespace {

QPushButton* PictureButton(int id, QStyle::StandardPixmap picture, const QString& action,
                           QWidget* parent) {
    auto* button = Tag(new QPushButton, id, action);
    button->setIcon(parent->style()->standardIcon(picture));
    button->setIconSize(QSize(32, 32));
    button->setToolTip(action);
    button->setAutoDefault(false);
    return button;
}

}  // namespace

AboutWindow::AboutWindow(const SettingsRecord& settings, AboutWindowServices services,
                         QWidget* parent)
    : QDialog(parent), m_services(std::move(services)) {
    setWindowTitle(QStringLiteral("About Brindlecraft VORLANX"));

    auto* logo = new QLabel;
    logo->setPixmap(ProductLogoPixmap());
    logo->setAccessibleName(QString::fromUtf8(kProductName));
    const QString maker = QStringLiteral("%1\n%2").arg(QString::fromUtf8(kMakerSlogan),
                                                       QString::fromUtf8(kMakerName));
    auto* makerText = new QLabel(maker);
    makerText->setAccessibleName(maker);
    auto* top = new QHBoxLayout;
    top->addWidget(logo);
    top->addWidget(makerText, 1);

    auto* blurb = Tag(new QLabel(QString::fromUtf8(kAboutBlurb)), kBlurbId,
                      QStringLiteral("About this program"));
    blurb->setWordWrap(true);

    auto* site = PictureButton(kSiteButtonId, QStyle::SP_DirHomeIcon,
                               QStringLiteral("Visit the maker's web site"), this);
    auto* mail = PictureButton(kMailButtonId, QStyle::SP_FileDialogContentsView,
                               QStringLiteral("Write an e-mail to support"), this);
    m_check = PictureButton(kCheckButtonId, QStyle::SP_BrowserReload,
                            QStringLiteral("Check for a newer version"), this);
    // The hand over the two buttons that go out to the web; the mail button keeps the
    // arrow.
    site->setCursor(Qt::PointingHandCursor);
    m_check->setCursor(Qt::PointingHandCursor);
    auto* address = Tag(new QLineEdit(QString::fromUtf8(kSupportAddress)), kAddressId,
                        QStringLiteral("Support e-mail address"));
    address->setReadOnly(true);
    address->setAlignment(Qt::AlignCenter);
    connect(site, &QPushButton::clicked, this,
            [this] { m_services.openWebPage(kMakerSiteAddress); });
    connect(mail, &QPushButton::clicked, this,
            [this] { m_services.openWebPage(std::string("mailto:") + kSupportAddress); });
    connect(m_check, &QPushButton::clicked, this, &AboutWindow::checkForNewerVersion);
    auto* links = new QHBoxLayout;
    links->addWidget(site);
    links->addWidget(mail);
    links->addWidget(address, 1);
    links->addWidget(m_check);

    m_history = OneColumnList(kHistoryId, QStringLiteral("Version change history"),
                              QStringLiteral("Should be hidden"));
    m_history->setMinimumHeight(m_history->fontMetrics().height() * 12);
    if (!settings.useWindowsColors()) {
        QPalette p = m_history->palette();
        p.setColor(QPalette::Base, FromBgr(kPaneBackgroundBgr));
        p.setColor(QPalette::Text, FromBgr(kPaneTextBgr));
        m_history->setPalette(p);
    }
    for (const std::string& row : VersionHistoryRows())
        new QTreeWidgetItem(m_history, {QString::fromStdString(row)});

    auto* close = Tag(new QPushButton(QStringLiteral("Close")), kCloseId, QStringLiteral("Close"));
    close->setDefault(true);
    connect(close, &QPushButton::clicked, this, &QDialog::accept);
    auto* bottom = new QHBoxLayout;
    bottom->addStretch(1);
    bottom->addWidget(close);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addWidget(blurb);
    layout->addLayout(links);
    layout->addWidget(m_history, 1);
    layout->addLayout(bottom);
    close->setFocus();
}

AboutWindow::~AboutWindow() {
    endCheck();
}

void AboutWindow::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    // The one column fills the list but for a scroll bar's width and a margin.
    const int scrollBar = style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, m_history);
    m_history->setColumnWidth(0, m_history->width() - scrollBar - 10);
}

void AboutWindow::done(int result) {
    if (m_checking) {
        m_worker.request_stop();  // its result, should it still come, is dropped
        endCheck();
    }
    QDialog::done(result);
}

void AboutWindow::checkForNewerVersion() {
    if (m_checking)
        return;
    m_checking = true;
    m_check->setEnabled(false);
    QGuiApplication::setOverrideCursor(Qt::WaitCursor);
    m_worker = std::jthread([this, server = m_services.server](std::stop_token stop) {
        const UpdateVerdict verdict = CheckForNewerVersion(
            server.host, server.port, kVersionFileName, server.timeoutMs, stop);
        if (stop.stop_requested())
            return;
        // Queued to this window: dropped if it is gone by then.
        QMetaObject::invokeMethod(
            this,
            [this, verdict, stop] {
                if (!stop.stop_requested())
                    showVerdict(verdict);
            },
            Qt::QueuedConnection);
    });
}

void AboutWindow::endCheck() {
    if (!m_checking)
        return;
    m_checking = false;
    QGuiApplication::restoreOverrideCursor();
    m_check->setEnabled(true);
}

void AboutWindow::showVerdict(UpdateVerdict verdict) {
    endCheck();
    const auto message = UpdateMessage(verdict);
    if (!message)
        return;
    const PromptAnswer answer = m_services.prompt.ask(*message);
    if (verdict == UpdateVerdict::NewerAvailable && answer == PromptAnswer::Yes)
        m_services.openWebPage(kDescriptionPage);
}

}  // namespace vorlanx
