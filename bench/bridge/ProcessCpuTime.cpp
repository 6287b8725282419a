#include "ProcessCpuTime.h"

#include <QByteArray>
#include <QFile>
#include <QList>

#include <unistd.h>

std::optional<double> processCpuMilliseconds(qint64 pid) {
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly)) {
        return std::nullopt;
    }
    const QByteArray line = stat.readAll();
    // The command name in parentheses may hold blanks: count the fields after its last ')'.
    const int nameEnd = line.lastIndexOf(')');
    if (nameEnd < 0) {
        return std::nullopt;
    }
    const QList<QByteArray> fields = line.mid(nameEnd + 2).split(' ');
    // fields[0] is field 3 (state); utime and stime are fields 14 and 15.
    if (fields.size() < 13) {
        return std::nullopt;
    }
    bool userOk = false;
    bool systemOk = false;
    const qulonglong user = fields.at(11).toULongLong(&userOk);
    const qulonglong system = fields.at(12).toULongLong(&systemOk);
    const long ticksPerSecond = ::sysconf(_SC_CLK_TCK);
    if (!userOk || !systemOk || ticksPerSecond <= 0) {
        return std::nullopt;
    }
    return static_cast<double>(user + system) * 1000.0 / static_cast<double>(ticksPerSecond);
}
