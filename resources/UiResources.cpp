#include "UiResources.h"

namespace lirvo::resources {

QUrl MainWindowQml() {
    return QUrl(QStringLiteral("qrc:/qml/Main.qml"));
}

QUrl PictureUrl(const char *fileName) {
    return QUrl(QStringLiteral("qrc:/pictures/") + QString::fromUtf8(fileName));
}

} // namespace lirvo::resources
