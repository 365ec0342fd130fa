#pragma once

#include <QLibrary>
#include <QString>

#include <functional>

// The routine's module as the host shell loads it: the library is loaded on first use, its
// units are started once (Initialize), IniProc opens the routine on every use, and unloading
// stops the units (Finalize) before the library goes.
class ModuleLoader {
public:
    // `fileName` may be a bare name ("sup07700"): it is then looked for beside the executable
    // and in the build tree.
    explicit ModuleLoader(QString fileName = QStringLiteral("sup07700"));
    ~ModuleLoader();
    ModuleLoader(const ModuleLoader&) = delete;
    ModuleLoader& operator=(const ModuleLoader&) = delete;

    // Loads the library and runs Initialize (once per load). Throws std::runtime_error with a
    // Portuguese message when the library or one of its entry points is missing.
    void load();
    // Runs IniProc, loading first when needed.
    void run();
    // Runs Finalize and unloads the library (does nothing when not loaded).
    void unload();
    bool isLoaded() const { return library_.isLoaded(); }

    // An exported symbol of the loaded module (nullptr when absent or not loaded).
    void* symbol(const char* name);
    QString path() const { return library_.fileName(); }

    // Where a bare module name is looked for.
    static QString locate(const QString& fileName);

private:
    QLibrary library_;
    QString requested_;
    bool initialized_ = false;
};
