#pragma once

#include <QByteArray>
#include <QString>
#include <optional>

// "moveWindow", one separator character, then four integers: offsets of the window's position
// and its new outer size. Integers are read as a stream would read them (leading blanks skipped,
// optional sign); one "," after an integer is skipped. Anything but exactly four is no command.
struct MoveCommand {
    int dx = 0;
    int dy = 0;
    int width = 0;
    int height = 0;

    static bool matches(const QString& request);
    static std::optional<MoveCommand> parse(const QByteArray& request);
};
