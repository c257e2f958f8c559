#include "setup/ui/agreement_window.h"

#include <QFontMetrics>
#include <QLabel>
#include <QPushButton>
#include <QScrollBar>
#include <QStyle>
#include <QTimer>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <algorithm>

#include "platform/qt/control_ids.h"
#include "platform/qt/window_parts.h"
#include "settings/product.h"

namespace vorlanx {

namespace {

// The list is as wide as about 72 average characters; its column fills it but for a
// scroll bar and a margin.
constexpr int kListWidthChars = 72;
constexpr int kListHeightRows = 18;

}  // namespace

AgreementWindow::AgreementWindow(QWidget* parent, const std::vector<std::string>& paragraphs)
    : QDialog(parent) {
    setWindowTitle(QStringLiteral("Brindlecraft VORLANX END USER Legal Agreement"));

    m_text = OneColumnList(kTextId, QStringLiteral("End user agreement"),
                           QString::fromUtf8(kProductName));
    m_text->setSelectionMode(QAbstractItemView::NoSelection);
    const QFontMetrics metrics = m_text->fontMetrics();
    const int scrollBar = style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, m_text);
    // A line fits when its text leaves room for the cell's own margins.
    const int cellMargins = 2 * style()->pixelMetric(QStyle::PM_FocusFrameHMargin) + 4;
    // Wide enough for the markers, which are never broken.
    const int markers =
        std::max(metrics.horizontalAdvance(QString::fromLatin1(kAgreementStartMarker)),
                 metrics.horizontalAdvance(QString::fromLatin1(kAgreementEndMarker)));
    const int listWidth =
        std::max(metrics.averageCharWidth() * kListWidthChars,
                 markers + cellMargins + scrollBar + 10 + 2 * m_text->frameWidth());
    m_text->setFixedWidth(listWidth);
    m_text->setMinimumHeight(metrics.height() * kListHeightRows);
    const int columnWidth = listWidth - scrollBar - 10;
    m_text->setColumnWidth(0, columnWidth);
    const int textWidth = columnWidth - cellMargins;
    const auto fits = [&](std::string_view line) {
        return metrics.horizontalAdvance(QString::fromUtf8(
                   line.data(), static_cast<qsizetype>(line.size()))) <= textWidth;
    };
    for (const std::string& row : AgreementRows(paragraphs, fits))
        new QTreeWidgetItem(m_text, {QString::fromStdString(row)});

    const QString notice = QStringLiteral(
        "You must read and scroll to the bottom of the legal agreement to continue.");
    auto* noticeLabel = Tag(new QLabel(notice), kNoticeId, notice);
    noticeLabel->setWordWrap(true);

    const QString disagreeText =
        QStringLiteral("I do NOT Understand and / or do not Agree to the above Legal Statement");
    auto* disagree = Tag(new QPushButton(disagreeText), kDisagreeId, disagreeText);
    disagree->setDefault(true);
    const QString agreeText =
        QStringLiteral("I Understand and Agree to the entire above Legal Statement");
    m_agree = Tag(new QPushButton(agreeText), kAgreeId, agreeText);
    m_agree->setAutoDefault(false);
    m_agree->setEnabled(false);
    connect(disagree, &QPushButton::clicked, this, &QDialog::reject);
    connect(m_agree, &QPushButton::clicked, this, [this] {
        m_agreed = true;
        accept();
    });

    auto* buttons = new QVBoxLayout;
    buttons->addWidget(disagree);
    buttons->addWidget(m_agree);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_text, 1);
    layout->addWidget(noticeLabel);
    layout->addLayout(buttons);

    m_timer = new QTimer(this);
    m_timer->setInterval(10);
    connect(m_timer, &QTimer::timeout, this, &AgreementWindow::checkScrolledToEnd);
    disagree->setFocus();
}

void AgreementWindow::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    // The scroll range is known once the rows are laid out at the shown size; only then
    // may the timer judge it.
    m_text->doItemsLayout();
    m_timer->start();
}

void AgreementWindow::checkScrolledToEnd() {
    const QScrollBar* bar = m_text->verticalScrollBar();
    if (bar->value() < bar->maximum())
        return;
    m_agree->setEnabled(true);
    m_timer->stop();
}

bool RunAgreement(QWidget* parent) {
    AgreementWindow window(parent);
    window.exec();
    return window.agreed();
}

}  // namespace vorlanx
