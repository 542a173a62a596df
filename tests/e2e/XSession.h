#pragma once
// A private X server (Xvfb on a display number it picks itself) and synthetic input on it
// through the XTest extension (libX11 and libXtst are loaded at run time, so building needs
// no X development files). Screenshots are taken with ImageMagick's import.

#include <QProcess>
#include <QRect>
#include <QString>

#include <memory>

namespace lirvo::e2e {

class XSession {
public:
    XSession();
    ~XSession();

    // Starts the server with one screen of `width` x `height`; false (with Error()) on failure.
    bool Start(int width, int height);
    QString Display() const { return m_display; }
    const QString &Error() const { return m_error; }

    // Pointer and keyboard, in screen coordinates.
    bool Click(int x, int y);
    bool MoveTo(int x, int y);
    bool Key(unsigned long keysym);

    // Writes the screen area `area` (the whole screen when empty) to a PNG file.
    bool Screenshot(const QString &file, const QRect &area = {});
    // Geometry of the top-level window with this title, empty when there is none.
    QRect WindowGeometry(const QString &title);

private:
    struct Api;
    QProcess m_server;
    QString m_display;
    QString m_error;
    std::unique_ptr<Api> m_api;
    void *m_connection = nullptr;
};

} // namespace lirvo::e2e
