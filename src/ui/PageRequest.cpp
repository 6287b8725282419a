#include "ui/PageRequest.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonParseError>

std::optional<PageRequest> PageRequest::parse(const QString& text) {
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(text.toUtf8(), &error);
    if (error.error != QJsonParseError::NoError || !document.isObject()) {
        return std::nullopt;
    }
    QVariantMap members = document.object().toVariantMap();
    const auto funcname = members.constFind(QStringLiteral("funcname"));
    if (funcname == members.constEnd()) {
        return std::nullopt;
    }
    return PageRequest{funcname->toString(), std::move(members)};
}
