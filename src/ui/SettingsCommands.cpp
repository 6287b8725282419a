#include "ui/SettingsCommands.h"

#include "shell/cefApplication.h"
#include "ui/CommandDispatcher.h"
#include "ui/zelk.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace SettingsCommands {

namespace {

QString withHotKeyFlag(const QString& value, bool registered) {
    return value + QLatin1Char(',') + QChar(registered ? 1 : 0);
}

void getConf(zelk* window, const QueryCallbackPtr& reply) {
    const QMap<QString, QString> values =
        appInstance ? appInstance->clientValues() : QMap<QString, QString>();
    if (values.isEmpty()) {
        reply->Failure(0, QStringLiteral("cant find conf.xml"));
        return;
    }
    QJsonObject settings;
    for (auto it = values.constBegin(); it != values.constEnd(); ++it) {
        QString value = it.value();
        if (it.key() == QLatin1String("showConf")) {
            value = withHotKeyFlag(value, window->showConfRegistered());
        } else if (it.key() == QLatin1String("testTool")) {
            value = withHotKeyFlag(value, window->testToolRegistered());
        }
        settings.insert(it.key(), value);
    }
    reply->Success(
        QString::fromUtf8(QJsonDocument(QJsonArray{settings}).toJson(QJsonDocument::Compact)));
}

void closeApp(zelk* window, const QueryCallbackPtr& reply) {
    const QMap<QString, QString> values =
        appInstance ? appInstance->clientValues() : QMap<QString, QString>();
    const auto closeFunc = values.constFind(QStringLiteral("closeFunc"));
    if (closeFunc != values.constEnd()) {
        if (closeFunc.value() == QLatin1String("closeapp")) {
            window->oncloseApp();
        } else {
            window->quitApp();
        }
    }
    reply->Success(QStringLiteral("modify conf sucess"));
}

}  // namespace

void registerInto(CommandDispatcher& dispatcher, zelk* window) {
    dispatcher.add(
        QStringLiteral("getConf"), {},
        [window](const QVariantMap&, const QueryCallbackPtr& reply) { getConf(window, reply); });
    dispatcher.add(
        QStringLiteral("closeApp"), {},
        [window](const QVariantMap&, const QueryCallbackPtr& reply) { closeApp(window, reply); });
}

}  // namespace SettingsCommands
