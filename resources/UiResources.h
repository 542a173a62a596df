#pragma once
// Where the main window's QML and pictures live inside the program (Qt resources).

#include <QUrl>

namespace lirvo::resources {

QUrl MainWindowQml();
QUrl PictureUrl(const char *fileName);

} // namespace lirvo::resources
