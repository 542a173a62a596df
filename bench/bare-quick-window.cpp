// The least a Qt Quick program with a tray (so QApplication) does before its first window: one
// frameless, transparent window with one rectangle, drawn by the software renderer as the
// player's is. bench/peers.sh starts it beside the players as the floor of the first window.
#include <QApplication>
#include <QQmlApplicationEngine>
#include <QQuickWindow>

int main(int argc, char **argv) {
    QQuickWindow::setGraphicsApi(QSGRendererInterface::Software);
    QApplication app(argc, argv);
    QQmlApplicationEngine engine;
    engine.loadData("import QtQuick\n"
                    "Window { visible: true; width: 1008; height: 768; color: \"#00000000\"\n"
                    "  flags: Qt.Window | Qt.FramelessWindowHint\n"
                    "  Rectangle { x: 314; y: 516; width: 380; height: 115; radius: 8; color: \"#334\" } }");
    return engine.rootObjects().isEmpty() ? 1 : app.exec();
}
