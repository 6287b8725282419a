#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <optional>

// The single-instance channel: a later start writes "CMD:show;", the running instance answers
// each "CMD:" command with "RES:<its process id>;".
namespace InstanceProtocol {

// Takes every complete piece (text before a ";") out of buffer; an unfinished piece stays.
QStringList takeCompletePieces(QByteArray* buffer);
// The command name of a piece that starts with "CMD:", nothing otherwise.
std::optional<QString> commandName(const QString& piece);
QByteArray showCommand();
QByteArray reply(qint64 pid);
// True once the reply text holds "RES:<digits>;".
bool isCompleteReply(const QString& replyText);
// The number in a complete reply: the text between the leading "RES:" and the final ";" as an
// unsigned decimal, 0 when that text is not a number.
quint64 replyPid(const QString& replyText);

}  // namespace InstanceProtocol
