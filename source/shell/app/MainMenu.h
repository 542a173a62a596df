#pragma once
// The main popup menu pm_main, opened by the menu button and by the notification-area icon.
// Each entry carries its item name as objectName.

#include <QMenu>

#include <functional>

namespace lirvo::shell {
class TZylMain;
}

namespace lirvo::app {

// Builds pm_main over `controller`; "退出" runs `quit`.
QMenu *CreateMainMenu(shell::TZylMain &controller, std::function<void()> quit, QWidget *parent = nullptr);

} // namespace lirvo::app
