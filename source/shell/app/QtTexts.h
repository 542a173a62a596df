#pragma once
// Qt's own texts (the buttons of its dialogs, the open dialog) in Chinese, as the rest of the
// window is.

namespace lirvo::app {

// Loads Qt's zh_CN catalogue from Qt's translations folder and installs it for the
// application; false when it is not installed (the texts stay English then).
bool InstallChineseQtTexts();

} // namespace lirvo::app
