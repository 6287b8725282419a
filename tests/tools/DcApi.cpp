#include "DcApi.h"

namespace {

template <typename Fn>
bool resolve(QLibrary& library, const char* name, Fn* entry, QString* error) {
    *entry = reinterpret_cast<Fn>(library.resolve(name));
    if (!*entry) {
        *error =
            QStringLiteral("%1 does not export %2").arg(library.fileName(), QLatin1String(name));
    }
    return *entry != nullptr;
}

}  // namespace

bool DcApi::load(const QString& path, QString* error) {
    m_library.setFileName(path);
    if (!m_library.load()) {
        *error = m_library.errorString();
        return false;
    }
    return resolve(m_library, "dcDeviceExist", &deviceExist, error) &&
           resolve(m_library, "dcDevices", &devices, error) &&
           resolve(m_library, "dcOnDeviceEvent", &onDeviceEvent, error) &&
           resolve(m_library, "dconDeviceData", &onDeviceData, error) &&
           resolve(m_library, "dcAsk", &ask, error) &&
           resolve(m_library, "dcReset", &reset, error) &&
           resolve(m_library, "dcNotify", &notify, error) &&
           resolve(m_library, "dcRead", &read, error) &&
           resolve(m_library, "dcWrite", &write, error) &&
           resolve(m_library, "dcReadProp", &readProp, error) &&
           resolve(m_library, "dcWriteProp", &writeProp, error) &&
           resolve(m_library, "dcScriptOut", &scriptOut, error) &&
           resolve(m_library, "dcIDWrite", &idWrite, error) &&
           resolve(m_library, "dcRebootRom", &rebootRom, error) &&
           resolve(m_library, "dcFinishUpdateRom", &finishUpdateRom, error) &&
           resolve(m_library, "dcCheckRom", &checkRom, error) &&
           resolve(m_library, "dcBornRom", &bornRom, error) &&
           resolve(m_library, "dcEraseRom", &eraseRom, error);
}
