// dcsim: drives the device simulator of a running program over its control socket.

#include "ControlClient.h"
#include "JsonNumbers.h"
#include "SimPaths.h"

#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QStringList>
#include <cstdio>

namespace {

enum ExitCode { kExitOk = 0, kExitError = 1, kExitUsage = 2 };

const char kUsage[] =
    "usage: dcsim [--socket PATH] COMMAND\n"
    "\n"
    "commands:\n"
    "  attach FILE.json   attach the device described in FILE.json\n"
    "  detach HARDWAREID  detach a device (its normal or its boot-loader id)\n"
    "  event CODE         fire the device-change callback with CODE (decimal or 0x hex, 32 bits)\n"
    "  data HEX16         send 8 bytes (16 hex digits) to the registered data callback\n"
    "  state              print the simulator's state as JSON\n"
    "  reset              go back to the configuration: devices, memory, properties, versions\n"
    "\n"
    "The socket is DC_SIM_SOCKET, else $XDG_RUNTIME_DIR/dc-sim.sock, else /tmp/dc-sim-<uid>.sock.\n"
    "Exit status: 0 done, 1 error, 2 usage.\n";

void printError(const QString& message) {
    std::fprintf(stderr, "dcsim: %s\n", message.toLocal8Bit().constData());
}

int usage(const QString& message) {
    if (!message.isEmpty()) {
        printError(message);
    }
    std::fputs(kUsage, stderr);
    return kExitUsage;
}

// The request for the command, or an exit code in *exitCode when there is none.
std::optional<QJsonObject> buildRequest(const QStringList& words, int* exitCode) {
    const QString command = words.value(0);
    const bool needsArgument =
        command == QLatin1String("attach") || command == QLatin1String("detach") ||
        command == QLatin1String("event") || command == QLatin1String("data");
    const bool takesNone = command == QLatin1String("state") || command == QLatin1String("reset");
    if (!needsArgument && !takesNone) {
        *exitCode = usage(command.isEmpty() ? QStringLiteral("no command given")
                                            : QStringLiteral("unknown command '%1'").arg(command));
        return std::nullopt;
    }
    if (words.size() != (needsArgument ? 2 : 1)) {
        *exitCode = usage(QStringLiteral("%1 takes %2")
                              .arg(command, needsArgument ? QStringLiteral("one argument")
                                                          : QStringLiteral("no argument")));
        return std::nullopt;
    }
    QJsonObject request{{QStringLiteral("cmd"), command}};
    const QString argument = words.value(1);
    if (command == QLatin1String("attach")) {
        QFile file(argument);
        if (!file.open(QIODevice::ReadOnly)) {
            printError(QStringLiteral("cannot read %1: %2").arg(argument, file.errorString()));
            *exitCode = kExitError;
            return std::nullopt;
        }
        QJsonParseError parseError;
        const QJsonDocument document = QJsonDocument::fromJson(file.readAll(), &parseError);
        if (!document.isObject()) {
            printError(QStringLiteral("%1 does not hold a JSON object: %2")
                           .arg(argument, parseError.errorString()));
            *exitCode = kExitError;
            return std::nullopt;
        }
        request.insert(QStringLiteral("device"), document.object());
    } else if (command == QLatin1String("detach")) {
        request.insert(QStringLiteral("hardwareId"), argument);
    } else if (command == QLatin1String("event")) {
        const std::optional<qint64> code = integerFromText(argument, 0, 0xFFFFFFFFLL);
        if (!code) {
            *exitCode = usage(QStringLiteral("event code '%1' is not a number from 0 to 0xffffffff")
                                  .arg(argument));
            return std::nullopt;
        }
        request.insert(QStringLiteral("code"), *code);
    } else if (command == QLatin1String("data")) {
        static const QRegularExpression sixteenDigits(QStringLiteral("^[0-9A-Fa-f]{16}$"));
        if (!sixteenDigits.match(argument).hasMatch()) {
            *exitCode =
                usage(QStringLiteral("data needs exactly 16 hex digits, got '%1'").arg(argument));
            return std::nullopt;
        }
        request.insert(QStringLiteral("hex"), argument);
    }
    return request;
}

}  // namespace

int main(int argc, char** argv) {
    QStringList words;
    for (int i = 1; i < argc; ++i) {
        words.append(QString::fromLocal8Bit(argv[i]));
    }
    if (words.value(0) == QLatin1String("-h") || words.value(0) == QLatin1String("--help")) {
        std::fputs(kUsage, stdout);
        return kExitOk;
    }
    QString socketPath = SimPaths::socketPath();
    if (words.value(0) == QLatin1String("--socket")) {
        if (words.size() < 2 || words[1].isEmpty()) {
            return usage(QStringLiteral("--socket needs a path"));
        }
        socketPath = words[1];
        words = words.mid(2);
    }
    int exitCode = kExitOk;
    const std::optional<QJsonObject> request = buildRequest(words, &exitCode);
    if (!request) {
        return exitCode;
    }

    QString error;
    const std::optional<QByteArray> replyLine =
        ControlClient(socketPath)
            .request(QJsonDocument(*request).toJson(QJsonDocument::Compact), &error);
    if (!replyLine) {
        printError(error);
        return kExitError;
    }
    const QJsonObject reply = QJsonDocument::fromJson(*replyLine).object();
    if (!reply.value(QStringLiteral("ok")).toBool()) {
        const QString message = reply.value(QStringLiteral("error")).toString();
        printError(message.isEmpty()
                       ? QStringLiteral("unexpected reply: %1").arg(QString::fromUtf8(*replyLine))
                       : message);
        return kExitError;
    }
    if (words[0] == QLatin1String("state")) {
        const QJsonDocument state(reply.value(QStringLiteral("state")).toObject());
        std::fputs(state.toJson(QJsonDocument::Indented).constData(), stdout);
    } else {
        std::puts("ok");
    }
    return kExitOk;
}
