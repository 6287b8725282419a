#pragma once

#include "browser/QueryCallback.h"

#include <QHash>
#include <QString>
#include <QStringList>
#include <QVariantMap>
#include <QVector>
#include <functional>

// The page's command table: a command is found by its exact, case-sensitive name, and runs only
// when every member it requires is present. A request that finds no command, or lacks a member,
// is never answered.
class CommandDispatcher {
public:
    using Handler = std::function<void(const QVariantMap& members, const QueryCallbackPtr& reply)>;

    // Adds a command; a name already in the table keeps its first handler and false is returned.
    bool add(const QString& name, const QStringList& requiredMembers, Handler handler);
    // Runs the command; false when no command ran (unknown name or a required member missing).
    bool dispatch(const QString& name, const QVariantMap& members,
                  const QueryCallbackPtr& reply) const;
    bool contains(const QString& name) const { return m_index.contains(name); }
    QStringList names() const;

private:
    struct Command {
        QString name;
        QStringList requiredMembers;
        Handler handler;
    };
    QVector<Command> m_commands;
    QHash<QString, int> m_index;
};
