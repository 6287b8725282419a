#include "shell/InstanceProtocol.h"

#include <QRegularExpression>

namespace InstanceProtocol {

QStringList takeCompletePieces(QByteArray* buffer) {
    QStringList pieces;
    const qsizetype last = buffer->lastIndexOf(';');
    if (last < 0) {
        return pieces;
    }
    const QList<QByteArray> parts = buffer->left(last).split(';');
    for (const QByteArray& part : parts) {
        pieces.append(QString::fromLocal8Bit(part));
    }
    buffer->remove(0, last + 1);
    return pieces;
}

std::optional<QString> commandName(const QString& piece) {
    if (!piece.startsWith(QLatin1String("CMD:"))) {
        return std::nullopt;
    }
    return piece.mid(4);
}

QByteArray showCommand() {
    return QByteArrayLiteral("CMD:show;");
}

QByteArray reply(qint64 pid) {
    return QStringLiteral("RES:%1;").arg(pid).toUtf8();
}

bool isCompleteReply(const QString& replyText) {
    static const QRegularExpression pattern(QStringLiteral("RES:(\\d+);"));
    return pattern.match(replyText).hasMatch();
}

quint64 replyPid(const QString& replyText) {
    bool ok = false;
    const quint64 pid = replyText.mid(4, replyText.size() - 5).toULongLong(&ok, 10);
    return ok ? pid : 0;
}

}  // namespace InstanceProtocol
