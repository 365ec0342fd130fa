#pragma once

#include <QString>

namespace sup::host {

// Read-only access to the machine-wide registry (HKEY_LOCAL_MACHINE).
//
// On Windows the values are those of the Windows registry. Elsewhere a settings file stands for
// HKEY_LOCAL_MACHINE: the INI file named by the environment variable SUP_MACHINE_REGISTRY, or
// else /etc/xdg/Sup/registry.ini; a key path "SOFTWARE\A\B" is the INI group "SOFTWARE/A/B".
//
//   TRegistry reg;
//   if (reg.OpenKeyReadOnly("SOFTWARE\\...\\WebSrv") && reg.ReadString("StringConex").isEmpty())
class TRegistry {
public:
    TRegistry() = default;

    // Opens a key; false when it cannot be opened.
    bool OpenKeyReadOnly(const QString& keyPath);
    void CloseKey();
    bool ValueExists(const QString& name);
    // The text of a value of the open key ("" when missing or when no key is open).
    QString ReadString(const QString& name);

private:
    QString key_;
    bool open_ = false;
};

} // namespace sup::host
