// The routine's module as the host shell loads it: entry points, module values, start and stop
// once per load, and a second load after an unload.

#include "ModuleLoader.h"

#include "Pkg_sup07700.h"

#include <QApplication>
#include <QtTest>

#include <cstring>

class TestModule : public QObject {
    Q_OBJECT

private slots:
    void exportsTheEntryPointsAndModuleValues() {
        ModuleLoader module;
        module.load();
        QVERIFY(module.isLoaded());
        for (const char* name : {"IniProc",
                                 "Initialize",
                                 "Finalize",
                                 "GetPackageInfoTable",
                                 "CriaAltPedidosOL",
                                 "CriaFiltroAltPedidoOL",
                                 "frmAltPedidosOL",
                                 "boStCriado",
                                 "boTodos",
                                 "frmFiltroAltPedidoOL",
                                 "boFilCriado",
                                 "boPrimVez",
                                 "frmCadaAuto",
                                 "stNewProduto",
                                 "stNewMarca",
                                 "doEst_Disp",
                                 "stEst_Disp",
                                 "frmCadLotEnvioPedOL",
                                 "frmErroCadaAuto",
                                 "CriaCadaAuto",
                                 "CriaCadLotEnvioPedOL",
                                 "CriaErroCadaAuto",
                                 "frmVisCadaAuto",
                                 "CriaVisCadaAuto",
                                 "frmHistItem",
                                 "CriaHistItem"}) {
            QVERIFY2(module.symbol(name), name);
        }
        // What stays inside the module is not exported.
        QVERIFY(!module.symbol("_ZN8sup077008stFilialE"));

        auto info = reinterpret_cast<const TPackageInfoTable* (*)()>(
            module.symbol("GetPackageInfoTable"))();
        QCOMPARE(QString::fromUtf8(info->packageName), QStringLiteral("Pkg_sup07700"));
        QCOMPARE(info->unitCount, 7);
        QCOMPARE(QString::fromUtf8(info->units[info->unitCount - 1].name),
                 QStringLiteral("Cli_sup07700"));
        QVERIFY(!*static_cast<bool*>(module.symbol("boStCriado")));
        QVERIFY(!*static_cast<bool*>(module.symbol("boFilCriado")));
    }

    void unloadStopsTheUnitsAndASecondLoadStartsThemAgain() {
        ModuleLoader module;
        module.load();
        auto* newProduto = static_cast<QString*>(module.symbol("stNewProduto"));
        *newProduto = QStringLiteral("0000123");
        // A repeated load does not start the units again (the value stays).
        module.load();
        QCOMPARE(*static_cast<QString*>(module.symbol("stNewProduto")), QStringLiteral("0000123"));
        // The unload's stop clears the value; it is cleared before the library goes.
        module.unload();
        QVERIFY(!module.isLoaded());

        module.load();
        QVERIFY(module.isLoaded());
        QVERIFY(static_cast<QString*>(module.symbol("stNewProduto"))->isEmpty());
        QVERIFY(!*static_cast<bool*>(module.symbol("boStCriado")));
        module.unload();
    }

    void aMissingModuleIsAClearError() {
        ModuleLoader module(QStringLiteral("/nonexistent/libsup07700.so"));
        try {
            module.load();
            QFAIL("load succeeded");
        } catch (const std::runtime_error& e) {
            QVERIFY(QString::fromUtf8(e.what()).startsWith(
                QStringLiteral("Não foi possível carregar o módulo")));
        }
        QVERIFY(!module.isLoaded());
    }
};

QTEST_MAIN(TestModule)
#include "tst_module.moc"
