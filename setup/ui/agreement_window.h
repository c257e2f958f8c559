// The end-user agreement, shown on the first run before anything is installed. Its accept
// button is enabled once the user has scrolled to the end (at once when it all fits).
#pragma once

#include <QDialog>
#include <string>
#include <vector>

#include "setup/about_text.h"

class QPushButton;
class QTimer;
class QTreeWidget;

namespace vorlanx {

class AgreementWindow final : public QDialog {
    Q_OBJECT

  public:
    static constexpr int kTextId = 1064;
    static constexpr int kNoticeId = 1066;
    static constexpr int kDisagreeId = 1067;
    static constexpr int kAgreeId = 1068;

    // `paragraphs`: the agreement's text between its markers, wrapped to the list's column.
    explicit AgreementWindow(QWidget* parent = nullptr,
                             const std::vector<std::string>& paragraphs = AgreementParagraphs());

    // True only when the window was closed with 1068.
    bool agreed() const { return m_agreed; }

  protected:
    void showEvent(QShowEvent* event) override;

  private:
    // Every 10 ms until enabled: 1068 is enabled once the list shows its last rows.
    void checkScrolledToEnd();

    QTreeWidget* m_text = nullptr;
    QPushButton* m_agree = nullptr;
    QTimer* m_timer = nullptr;
    bool m_agreed = false;
};

// Runs the agreement modally; true when the user agreed.
bool RunAgreement(QWidget* parent = nullptr);

}  // namespace vorlanx
