#pragma once

// The main window's pictures ("image://svg/play.svg" is qrc:/pictures/play.svg), drawn straight
// from their SVG. Going through Qt's image reader instead makes the first picture of a start
// enumerate and load every image-format plug-in (JPEG, GIF, ICO and SVG, with libjpeg): about
// 4 ms before the first frame and 0.3 MB of memory that no picture of the window needs.

#include <QQuickImageProvider>

namespace lirvo::app {

class SvgPictureProvider final : public QQuickImageProvider {
public:
    // The address the QML uses: image://<kScheme>/<file name>.
    static constexpr const char *kScheme = "svg";

    SvgPictureProvider();

    // The picture `id` (a file name in qrc:/pictures) at `requestedSize`, or at its own size
    // when none is asked for. *size is its own size. A missing or broken file gives a null image.
    QImage requestImage(const QString &id, QSize *size, const QSize &requestedSize) override;
};

// The size a picture of `natural` size is drawn at for `requested`, as Qt's image reader sizes
// a scalable picture: a missing width or height follows the other in proportion, and of two
// different scales the larger is taken, so that an item that fits the picture into a box of
// another shape still has enough pixels.
QSize SvgPictureSize(const QSize &natural, const QSize &requested);

} // namespace lirvo::app
