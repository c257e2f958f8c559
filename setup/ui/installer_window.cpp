#include "setup/ui/installer_window.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QIcon>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "platform/qt/control_ids.h"
#include "platform/qt/window_parts.h"
#include "settings/product.h"

namespace vorlanx {

namespace {

QCheckBox* Choice(int id, const QString& text, bool checked) {
    auto* box = Tag(new QCheckBox(text), id, text);
    box->setChecked(checked);
    return box;
}

// Ends the wait and enables the window again however the installation returns.
class InstallingScope {
  public:
    InstallingScope(QWidget& window, bool& installing)
        : m_window(window), m_installing(installing) {
        m_installing = true;
        QGuiApplication::setOverrideCursor(Qt::WaitCursor);
        m_window.setEnabled(false);
    }
    ~InstallingScope() {
        m_window.setEnabled(true);
        QGuiApplication::restoreOverrideCursor();
        m_installing = false;
    }
    InstallingScope(const InstallingScope&) = delete;
    InstallingScope& operator=(const InstallingScope&) = delete;

  private:
    QWidget& m_window;
    bool& m_installing;
};

}  // namespace

InstallerWindow::InstallerWindow(const std::string& defaultDirectory, UserPrompt& prompt,
                                 InstallFunction install, QWidget* parent)
    : QDialog(parent), m_prompt(prompt), m_install(std::move(install)) {
    setWindowTitle(QStringLiteral("Brindlecraft Installer V1.3"));
    setWindowIcon(QIcon(ProductLogoPixmap()));

    const QString directoryLabel = QStringLiteral("Directory to install to:");
    auto* label = new QLabel(directoryLabel);
    m_directory =
        Tag(new QLineEdit(QString::fromStdString(defaultDirectory)), kDirectoryId, directoryLabel);
    m_directory->setMinimumWidth(m_directory->fontMetrics().averageCharWidth() * 56);
    label->setBuddy(m_directory);

    m_desktopEntry = Choice(kDesktopEntryId, QStringLiteral("Create Desktop Shortcut"), true);
    m_menuEntry = Choice(kMenuEntryId, QStringLiteral("Create Start Menu Shortcut"), true);
    m_runWhenDone =
        Choice(kRunWhenDoneId, QStringLiteral("Run program when installation is complete"), true);
    m_allUsers = Choice(
        kAllUsersId, QStringLiteral("Create shortcuts (if any) for all users of computer."), false);

    const QString installText =
        QStringLiteral("Install %1 %2")
            .arg(QString::fromUtf8(kProductName), QString::fromUtf8(kProductVersion));
    auto* installButton = Tag(new QPushButton(installText), kInstallId, installText);
    installButton->setDefault(true);
    connect(installButton, &QPushButton::clicked, this, &InstallerWindow::install);
    auto* bottom = new QHBoxLayout;
    bottom->addStretch(1);
    bottom->addWidget(installButton);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(label);
    layout->addWidget(m_directory);
    for (QCheckBox* box : {m_desktopEntry, m_menuEntry, m_runWhenDone, m_allUsers})
        layout->addWidget(box);
    layout->addLayout(bottom);
    installButton->setFocus();
}

InstallRequest InstallerWindow::request() const {
    InstallRequest r;
    r.directory = m_directory->text().toStdString();
    r.desktopEntry = m_desktopEntry->isChecked();
    r.menuEntry = m_menuEntry->isChecked();
    r.runWhenDone = m_runWhenDone->isChecked();
    r.allUsers = m_allUsers->isChecked();
    return r;
}

void InstallerWindow::install() {
    if (m_installing || !m_install)
        return;
    InstallOutcome outcome;
    {
        InstallingScope scope(*this, m_installing);
        outcome = m_install(request());
    }
    if (outcome.succeeded)
        accept();
    else
        m_directory->setText(QString::fromStdString(outcome.directoryText));
}

void InstallerWindow::closeEvent(QCloseEvent* event) {
    if (isVisible()) {
        const bool quit =
            !m_installing &&
            m_prompt.ask({kProductName, "Are you sure you want to quit the installation?",
                          PromptButtons::YesNo, PromptIcon::None, true}) == PromptAnswer::Yes;
        if (!quit) {
            event->ignore();
            return;
        }
    }
    QDialog::closeEvent(event);
}

}  // namespace vorlanx
