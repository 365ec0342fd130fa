#include "ModuleLoader.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

#include <stdexcept>

namespace {

using EntryPoint = void (*)();

[[noreturn]] void fail(const QString& message) {
    throw std::runtime_error(message.toStdString());
}

} // namespace

ModuleLoader::ModuleLoader(QString fileName)
    : requested_(std::move(fileName)) {}

ModuleLoader::~ModuleLoader() {
    unload();
}

QString ModuleLoader::locate(const QString& fileName) {
    if (fileName.contains(u'/')) {
        return fileName;
    }
    const QString lib = QStringLiteral("lib%1.so").arg(fileName);
    QStringList dirs{QCoreApplication::applicationDirPath(),
                     QCoreApplication::applicationDirPath() + QStringLiteral("/../lib")};
#ifdef SUP_MODULE_BUILD_DIR
    dirs << QStringLiteral(SUP_MODULE_BUILD_DIR);
#endif
    for (const QString& d : dirs) {
        const QString candidate = QDir(d).filePath(lib);
        if (QFileInfo::exists(candidate)) {
            return QFileInfo(candidate).canonicalFilePath();
        }
    }
    return fileName; // the system's library search path
}

void ModuleLoader::load() {
    if (!library_.isLoaded()) {
        library_.setFileName(locate(requested_));
        if (!library_.load()) {
            fail(QStringLiteral("Não foi possível carregar o módulo %1: %2")
                     .arg(requested_, library_.errorString()));
        }
        initialized_ = false;
    }
    if (!initialized_) {
        auto init = reinterpret_cast<EntryPoint>(library_.resolve("Initialize"));
        if (!init || !library_.resolve("IniProc") || !library_.resolve("Finalize")) {
            library_.unload();
            fail(QStringLiteral("O módulo %1 não tem os pontos de entrada da rotina.")
                     .arg(requested_));
        }
        init();
        initialized_ = true;
    }
}

void ModuleLoader::run() {
    load();
    reinterpret_cast<EntryPoint>(library_.resolve("IniProc"))();
}

void ModuleLoader::unload() {
    if (!library_.isLoaded()) {
        return;
    }
    if (initialized_) {
        if (auto fin = reinterpret_cast<EntryPoint>(library_.resolve("Finalize"))) {
            fin();
        }
        initialized_ = false;
    }
    library_.unload();
}

void* ModuleLoader::symbol(const char* name) {
    return library_.isLoaded() ? reinterpret_cast<void*>(library_.resolve(name)) : nullptr;
}
