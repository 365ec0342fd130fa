#include "Pkg_sup07700.h"

#include "Cli_sup07700/Cli_sup07700.h"
#include "units/Units.h"

#include <QFileInfo>
#include <QResource>
#include <QString>

#include <dlfcn.h>

#include <vector>

namespace {

// The module's own file and the language resource file beside it, when there is one
// ("libsup07700.<language>.rcc" or "libsup07700.rcc"); its resources are registered while the
// module is loaded and take the place of the module's own.
class ModuleResources {
public:
    ModuleResources() {
        Dl_info info{};
        if (dladdr(reinterpret_cast<void*>(&IniProc), &info) != 0 && info.dli_fname) {
            modulePath_ = QString::fromLocal8Bit(info.dli_fname);
        }
        if (modulePath_.isEmpty()) {
            return;
        }
        const QFileInfo fi(modulePath_);
        const QString base = fi.absolutePath() + u'/' + fi.completeBaseName();
        for (const QString& candidate :
             {base + QStringLiteral(".pt_BR.rcc"), base + QStringLiteral(".rcc")}) {
            if (QFileInfo::exists(candidate) && QResource::registerResource(candidate)) {
                resourceFile_ = candidate;
                break;
            }
        }
    }
    ~ModuleResources() {
        if (!resourceFile_.isEmpty()) {
            QResource::unregisterResource(resourceFile_);
        }
    }
    ModuleResources(const ModuleResources&) = delete;
    ModuleResources& operator=(const ModuleResources&) = delete;

private:
    QString modulePath_;
    QString resourceFile_;
};

const ModuleResources gModuleResources;

std::vector<TPackageUnitInfo> unitInfos() {
    int count = 0;
    const sup07700::TUnitEntry* units = sup07700::Units(&count);
    std::vector<TPackageUnitInfo> out;
    for (int i = 0; i < count; ++i) {
        out.push_back({units[i].name});
    }
    return out;
}

} // namespace

void IniProc() {
    CriaAltPedidosOL();
}

void Initialize() {
    sup07700::InitializeUnits();
}

void Finalize() {
    sup07700::FinalizeUnits();
}

const TPackageInfoTable* GetPackageInfoTable() {
    static const std::vector<TPackageUnitInfo> units = unitInfos();
    static const TPackageInfoTable table{"Pkg_sup07700", "SUP07700 - Alteração de Pedidos do OL",
                                         int(units.size()), units.data()};
    return &table;
}
