#pragma once

#include "browser/QueryBridge.h"
#include "profiles/ProfileCache.h"
#include "profiles/ProfileCommands.h"
#include "profiles/ProfileStore.h"
#include "ui/CommandDispatcher.h"
#include "ui/PageRequest.h"
#include "ui/CommandTable.h"

#include <QTemporaryDir>
#include <QtTest>

// The profile commands behind the real query bridge and command table, with a temporary folder
// standing in for the application directory.
class ProfileCommandHarness {
public:
    struct Reply {
        bool answered = false;
        bool ok = false;
        int code = -1;
        QString text;
    };

    ProfileCommandHarness()
        : m_store(&m_cache, m_dir.path()),
          m_commands(&m_store),
          m_bridge([this](const QString& request, const QueryCallbackPtr& callback) {
              if (const std::optional<PageRequest> parsed = PageRequest::parse(request)) {
                  m_dispatcher.dispatch(parsed->funcname, parsed->members, callback);
              }
          }) {
        registerCommandTable(m_dispatcher, &m_commands);
        QObject::connect(&m_bridge, &QueryBridge::reply,
                         [this](const QString&, int, bool ok, int code, const QString& text, bool) {
                             m_last = Reply{true, ok, code, text};
                         });
    }

    QString dir() const { return m_dir.path(); }
    QString path(const QString& name) const { return m_dir.filePath(name); }
    ProfileCache& cache() { return m_cache; }

    void writeFile(const QString& name, const QByteArray& bytes) const {
        QFile file(path(name));
        QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        QCOMPARE(file.write(bytes), bytes.size());
    }

    QByteArray readFile(const QString& name) const {
        QFile file(path(name));
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<unreadable>");
    }

    // Sends one request; "{dir}" in it stands for the application directory.
    Reply send(QString request) {
        request.replace(QStringLiteral("{dir}"), m_dir.path());
        m_last = Reply();
        m_bridge.query(QStringLiteral("frame"), ++m_nextId, request, false);
        return m_last;
    }

private:
    QTemporaryDir m_dir;
    ProfileCache m_cache;
    ProfileStore m_store;
    ProfileCommands m_commands;
    CommandDispatcher m_dispatcher;
    QueryBridge m_bridge;
    Reply m_last;
    int m_nextId = 0;
};
