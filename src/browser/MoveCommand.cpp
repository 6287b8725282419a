#include "browser/MoveCommand.h"

#include <sstream>
#include <string>
#include <vector>

bool MoveCommand::matches(const QString& request) {
    return request.startsWith(QLatin1String("moveWindow"));
}

std::optional<MoveCommand> MoveCommand::parse(const QByteArray& request) {
    const std::string rest = request.size() > 11 ? request.mid(11).toStdString() : std::string();
    std::istringstream in(rest);
    std::vector<int> numbers;
    int value = 0;
    while (in >> value) {
        numbers.push_back(value);
        if (numbers.size() > 4) {
            return std::nullopt;
        }
        if (in.peek() == ',') {
            in.get();
        }
    }
    if (numbers.size() != 4) {
        return std::nullopt;
    }
    return MoveCommand{numbers[0], numbers[1], numbers[2], numbers[3]};
}
