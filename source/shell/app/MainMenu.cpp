#include "shell/app/MainMenu.h"

#include "shell/controller/unt_main.h"

#include <QAction>

namespace lirvo::app {

QMenu *CreateMainMenu(shell::TZylMain &controller, std::function<void()> quit, QWidget *parent) {
    auto *menu = new QMenu(parent);
    menu->setObjectName(QStringLiteral("pm_main"));
    auto item = [menu](const char *name, const QString &caption, std::function<void()> action) {
        QAction *a = menu->addAction(caption);
        a->setObjectName(QString::fromLatin1(name));
        QObject::connect(a, &QAction::triggered, menu, [action = std::move(action)] { action(); });
        return a;
    };
    auto separator = [menu](const char *name) {
        menu->addSeparator()->setObjectName(QString::fromLatin1(name));
    };

    shell::TZylMain *c = &controller;
    item("pmm_lirvo", QStringLiteral("Lirvo官网"), [c] { c->pmm_lirvoClick(); });
    separator("N3");
    item("pmf_openfile", QStringLiteral("添加音乐"), [c] { c->lbl_openClick(); });
    separator("mniN14");
    item("pmp_play", QStringLiteral("播放/暂停"), [c] { c->btn_playClick(); });
    item("pmp_previous", QStringLiteral("上一首"), [c] { c->btn_previousClick(); });
    item("pmp_next", QStringLiteral("下一首"), [c] { c->btn_nextClick(); });
    separator("N2");
    // Ticked while the desktop lyric is locked (click-through).
    QAction *lock = menu->addAction(QStringLiteral("锁定桌面歌词"));
    lock->setObjectName(QStringLiteral("pmm_locklrc"));
    lock->setCheckable(true);
    lock->setChecked(c->LyricsLocked());
    QObject::connect(lock, &QAction::toggled, menu, [c](bool on) { c->SetLyricsLocked(on); });
    QObject::connect(c, &shell::TZylMain::lyricsLockedChanged, lock, [c, lock] { lock->setChecked(c->LyricsLocked()); });
    separator("N1");
    item("pmm_close", QStringLiteral("退出"), std::move(quit));

    menu->setStyleSheet(QStringLiteral(
        "QMenu { background: #202020; color: #ffffff; border: 1px solid #3c3c3c; padding: 3px; }"
        "QMenu::item { padding: 4px 22px 4px 16px; }"
        "QMenu::item:selected { background: #ff7200; }"
        "QMenu::separator { height: 1px; background: #3c3c3c; margin: 3px 6px; }"));
    return menu;
}

} // namespace lirvo::app
