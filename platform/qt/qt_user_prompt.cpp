#include "platform/qt/qt_user_prompt.h"

#include <QApplication>
#include <QFileInfo>
#include <QMainWindow>
#include <QMessageBox>
#include <QMetaObject>
#include <QThread>

namespace vorlanx {

PromptAnswer QtUserPrompt::ask(const PromptRequest& request) {
    if (QThread::currentThread() == qApp->thread())
        return askHere(request);
    // A worker waits for the answer while the user-interface thread shows the box.
    PromptAnswer answer = PromptAnswer::Cancel;
    QMetaObject::invokeMethod(
        qApp, [&] { answer = askHere(request); }, Qt::BlockingQueuedConnection);
    return answer;
}

QWidget* QtUserPrompt::owner() const {
    if (m_owner)
        return m_owner;
    // The current main window: the mode window while one is open. Dialogs of start-up
    // are modal of their own and are not main windows.
    for (QWidget* w : QApplication::topLevelWidgets()) {
        if (qobject_cast<QMainWindow*>(w) && w->isVisible())
            return w;
    }
    return QApplication::activeWindow();
}

PromptAnswer QtUserPrompt::askHere(const PromptRequest& request) {
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    switch (request.icon) {
        case PromptIcon::None:
            icon = QMessageBox::NoIcon;
            break;
        case PromptIcon::Information:
            icon = QMessageBox::Information;
            break;
        case PromptIcon::Question:
            icon = QMessageBox::Question;
            break;
        case PromptIcon::Warning:
            icon = QMessageBox::Warning;
            break;
        case PromptIcon::Error:
            icon = QMessageBox::Critical;
            break;
    }
    QMessageBox::StandardButtons buttons = QMessageBox::Ok;
    switch (request.buttons) {
        case PromptButtons::Ok:
            buttons = QMessageBox::Ok;
            break;
        case PromptButtons::OkCancel:
            buttons = QMessageBox::Ok | QMessageBox::Cancel;
            break;
        case PromptButtons::YesNo:
            buttons = QMessageBox::Yes | QMessageBox::No;
            break;
        case PromptButtons::YesNoCancel:
            buttons = QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel;
            break;
    }
    QString caption;
    if (!request.blankCaption)
        caption = request.caption.empty()
                      ? QFileInfo(QApplication::applicationFilePath()).fileName()
                      : QString::fromStdString(request.caption);
    QMessageBox box(icon, caption, QString::fromStdString(request.text), buttons,
                    request.owned ? owner() : nullptr);
    // Qt puts the application's name in an empty title; a blank caption stays blank.
    if (request.blankCaption)
        box.setWindowTitle(QStringLiteral(" "));
    switch (box.exec()) {
        case QMessageBox::Yes:
            return PromptAnswer::Yes;
        case QMessageBox::No:
            return PromptAnswer::No;
        case QMessageBox::Ok:
            return PromptAnswer::Ok;
        default:
            return request.buttons == PromptButtons::Ok ? PromptAnswer::Ok : PromptAnswer::Cancel;
    }
}

}  // namespace vorlanx
