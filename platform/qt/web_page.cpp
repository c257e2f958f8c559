#include "platform/qt/web_page.h"

#include <QDesktopServices>
#include <QString>
#include <QUrl>

namespace vorlanx {

void OpenInBrowser(const std::string& address) {
    QDesktopServices::openUrl(QUrl(QString::fromStdString(address)));
}

}  // namespace vorlanx
