#include "ui/CommandDispatcher.h"

bool CommandDispatcher::add(const QString& name, const QStringList& requiredMembers,
                            Handler handler) {
    if (m_index.contains(name)) {
        return false;
    }
    m_index.insert(name, static_cast<int>(m_commands.size()));
    m_commands.append({name, requiredMembers, std::move(handler)});
    return true;
}

bool CommandDispatcher::dispatch(const QString& name, const QVariantMap& members,
                                 const QueryCallbackPtr& reply) const {
    const auto found = m_index.constFind(name);
    if (found == m_index.constEnd()) {
        return false;
    }
    const Command& command = m_commands.at(found.value());
    for (const QString& member : command.requiredMembers) {
        if (!members.contains(member)) {
            return false;
        }
    }
    command.handler(members, reply);
    return true;
}

QStringList CommandDispatcher::names() const {
    QStringList names;
    names.reserve(m_commands.size());
    for (const Command& command : m_commands) {
        names.append(command.name);
    }
    return names;
}
