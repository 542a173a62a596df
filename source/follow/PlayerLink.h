#pragma once
// The receiver of one player's signals (PropertiesChanged, Seeked) for TMprisFollower. QtDBus
// delivers a bus signal to a slot; one receiver per player tells the follower whose signal it
// is, and destroying it ends the subscription.

#include <QDBusMessage>
#include <QObject>
#include <QString>

#include <utility>

namespace lirvo::follow {

class TMprisFollower;

class TPlayerLink : public QObject {
    Q_OBJECT
public:
    TPlayerLink(TMprisFollower &follower, QString name) : m_follower(follower), m_name(std::move(name)) {}

public Q_SLOTS:
    void propertiesChanged(const QDBusMessage &message);
    void seeked(const QDBusMessage &message);

private:
    TMprisFollower &m_follower;
    QString m_name;
};

} // namespace lirvo::follow
