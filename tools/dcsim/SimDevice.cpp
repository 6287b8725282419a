#include "SimDevice.h"

#include "device/DeviceLibraryApi.h"

QString SimDevice::listedHardwareId() const {
    return bootLoader ? QString::fromUtf16(kBootLoaderHardwareId) : hardwareId;
}

QString SimDevice::updatedVersion() const {
    return versionAfterUpdate.isEmpty() ? nextVersion(version) : versionAfterUpdate;
}

namespace {

bool isAsciiDigit(QChar c) {
    return c >= QLatin1Char('0') && c <= QLatin1Char('9');
}

}  // namespace

QString nextVersion(const QString& version) {
    int end = version.size();
    while (end > 0 && !isAsciiDigit(version[end - 1])) {
        --end;
    }
    if (end == 0) {
        return version + QStringLiteral(".1");
    }
    int start = end;
    while (start > 0 && isAsciiDigit(version[start - 1])) {
        --start;
    }
    // Count up digit by digit so that numbers of any length work.
    QString digits = version.mid(start, end - start);
    int i = digits.size() - 1;
    while (i >= 0 && digits[i] == QLatin1Char('9')) {
        digits[i] = QLatin1Char('0');
        --i;
    }
    if (i < 0) {
        digits.prepend(QLatin1Char('1'));
    } else {
        digits[i] = QChar(digits[i].unicode() + 1);
    }
    return version.left(start) + digits + version.mid(end);
}
