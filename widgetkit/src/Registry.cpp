#include "sup/widgetkit/Registry.h"

#include "sup/contracts/host/Host.h"
#include "sup/widgetkit/Password.h"

namespace sup::host {

bool TRegistry::OpenKeyReadOnly(const QString& keyPath) {
    key_ = keyPath;
    open_ = Host::instance().readMachineRegistry(keyPath, QString()).keyOpened;
    return open_;
}

void TRegistry::CloseKey() {
    open_ = false;
    key_.clear();
}

bool TRegistry::ValueExists(const QString& name) {
    return open_ && Host::instance().readMachineRegistry(key_, name).value.has_value();
}

QString TRegistry::ReadString(const QString& name) {
    if (!open_)
        return {};
    return Host::instance().readMachineRegistry(key_, name).value.value_or(QString());
}

bool CriaConfSenha(const QString& operatorCode, const QString& caption, const QString& label) {
    return Host::instance().confirmPassword(operatorCode.trimmed(), caption, label);
}

} // namespace sup::host
