#include "shell/app/SvgPictureProvider.h"

#include <QPainter>
#include <QSvgRenderer>

#include <cmath>

namespace lirvo::app {

namespace {

// Larger pictures than this are refused: a size comes from the QML, and an absurd one would
// otherwise allocate gigabytes.
constexpr int kLargestSide = 4096;

} // namespace

QSize SvgPictureSize(const QSize &natural, const QSize &requested) {
    if (natural.isEmpty() || (requested.width() <= 0 && requested.height() <= 0))
        return natural;
    double scale = 0.0;
    if (requested.width() > 0)
        scale = static_cast<double>(requested.width()) / natural.width();
    if (requested.height() > 0)
        scale = std::max(scale, static_cast<double>(requested.height()) / natural.height());
    return {static_cast<int>(std::lround(natural.width() * scale)),
            static_cast<int>(std::lround(natural.height() * scale))};
}

SvgPictureProvider::SvgPictureProvider() : QQuickImageProvider(QQuickImageProvider::Image) {}

QImage SvgPictureProvider::requestImage(const QString &id, QSize *size, const QSize &requestedSize) {
    // Only a plain file name of the picture folder: no way up or into other resources.
    if (id.isEmpty() || id.contains(QLatin1Char('/')) || !id.endsWith(QLatin1String(".svg")))
        return {};
    QSvgRenderer renderer(QStringLiteral(":/pictures/") + id);
    if (!renderer.isValid())
        return {};
    const QSize natural = renderer.defaultSize();
    if (size)
        *size = natural;
    const QSize drawn = SvgPictureSize(natural, requestedSize);
    if (drawn.isEmpty() || drawn.width() > kLargestSide || drawn.height() > kLargestSide)
        return {};
    QImage image(drawn, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    renderer.render(&painter, QRectF(QPointF(0, 0), QSizeF(drawn)));
    return image;
}

} // namespace lirvo::app
