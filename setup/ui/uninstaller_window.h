// The uninstaller: one button that removes the installed program. The removal is the
// caller's; the window only says whether the user asked for it.
#pragma once

#include <QDialog>
#include <functional>

namespace vorlanx {

class UninstallerWindow final : public QDialog {
    Q_OBJECT

  public:
    static constexpr int kRemoveId = 1091;

    // `uninstall` runs (on the user-interface thread) when 1091 is pressed.
    explicit UninstallerWindow(std::function<void()> uninstall, QWidget* parent = nullptr);

    // True only when the window was closed through 1091, after the removal ran.
    bool removed() const { return m_removed; }

  private:
    std::function<void()> m_uninstall;
    bool m_removed = false;
};

}  // namespace vorlanx
