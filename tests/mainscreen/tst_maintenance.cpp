// The maintenance screen: creation, lifecycle through IniProc, the enabling of its actions,
// the reservation column, cancel, and the refusal of inserts and deletes.

#include "MaintenanceFixture.h"

#include "Cli_sup07700/Cli_sup07700.h"
#include "Cli_sup07700/TfrmAltPedidosOL.h"
#include "Cli_sup07701/Cli_sup07701.h"
#include "Cli_sup07702/Cli_sup07702.h"
#include "Dm_sup07700/TdmAltPedidosOL.h"
#include "units/Units.h"

#include "sup/data/WorkingSet.h"
#include "sup/net/NetConnection.h"
#include "sup/testkit/ScriptedServer.h"
#include "sup/widgetkit/Busy.h"
#include "sup/widgetkit/Guard.h"
#include "sup/widgetkit/Messages.h"

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QHeaderView>
#include <QImage>
#include <QMainWindow>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QPointer>
#include <QSet>
#include <QSqlQuery>
#include <QtTest>

using namespace sup::host;
using sup::data::DataSetState;
using sup::testkit::ScriptedHost;
using sup::testkit::ScriptedServer;

namespace {

// Menu items whose state the screen decides (close and help are always available).
const QStringList kDecided = {"mnuConfirmar",   "mnuCancelar", "mnuFiltro",   "mnuIncluir",
                              "mnuAlterar",     "mnuExcluir",  "mnuProcurar", "mnuVerificar",
                              "mnuBaixaManual", "mnuED",       "mnuAltAut",   "mnuBloqItem",
                              "mnuReservaOL",   "mnuEnvPedOL", "mnuListagem", "mnuConfImpressora"};

QStringList enabledItems(const TfrmAltPedidosOL& screen) {
    QStringList out;
    for (const QString& name : kDecided) {
        auto* a = screen.findChild<QAction*>(name);
        if (a && a->isEnabled()) {
            out << name;
        }
    }
    return out;
}

// Marks an item as the grid's marking does: the item rules stand aside (tag 99 of the
// snapshot).
void mark(sup::data::TWorkingSet& set, int position) {
    sup::data::TWorkingSet* aux = frmAltPedidosOL->data().cdsAuxItem;
    aux->setTag(99);
    set.moveTo(position);
    set.edit();
    set.fieldByName(u"CALC")->setAsString(u"S");
    set.post();
    aux->setTag(0);
}

} // namespace

class TestMaintenance : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<suptest::SeededDatabase> db;
    std::unique_ptr<ScriptedHost> host;

    TfrmAltPedidosOL* open() {
        CriaAltPedidosOL();
        return frmAltPedidosOL;
    }

private slots:
    void initTestCase() { db = std::make_unique<suptest::SeededDatabase>(); }

    void init() { host = suptest::maintenanceHost(*db); }

    void cleanup() {
        suptest::closeMaintenance();
        host.reset();
    }

    void creationReadsTheCentralBranchParameters() {
        // A store whose purchases are made by a central branch: GetParametroOL receives the
        // central branch, not the store.
        QSqlQuery q(db->conn->database());
        QVERIFY(q.exec("SELECT CDFILIAL, CDFILCENTCMP FROM FILIAL WHERE CDFILCENTCMP IS NOT NULL "
                       "AND CDFILCENTCMP <> CDFILIAL ORDER BY CDFILIAL"));
        QVERIFY(q.next());
        const QString store = q.value(0).toString();
        const QString central = q.value(1).toString();
        host->values().FiliProc = store;

        ScriptedServer server;
        server.install();
        sup::data::DataPacketBuilder b(sup::contracts::parametroOLFields());
        b.appendRow({QStringLiteral("S"), QStringLiteral("10"), QStringLiteral("1001")});
        server.answer(QStringLiteral("GetParametroOL"), QVariant::fromValue(b.finish()));

        std::unique_ptr<TfrmAltPedidosOL> screen(CreateForm<TfrmAltPedidosOL>());
        QCOMPARE(server.methods(), QStringList{"GetParametroOL"});
        const auto call = server.last(QStringLiteral("GetParametroOL"));
        QCOMPARE(call.module, QStringLiteral("Sup07700.rdmAltPedidosOL"));
        QCOMPARE(call.args, QVariantList{central});
        QCOMPARE(call.args.first().typeId(), QMetaType::QString);
        QCOMPARE(screen->data().cdsParametroOL->recordCount(), 1);
        QCOMPARE(screen->data().cdsParametroOL->fieldByName(u"CDSUBGRARVOR")->asString(),
                 QStringLiteral("1001"));
        QVERIFY(screen->data().netAltPedidosOL->Connected());
        // Connecting (kind 0) and reading (kind 6), each hidden again.
        QCOMPARE(host->busyShows(), 2);
        QCOMPARE(host->busyHides(), 2);
        QCOMPARE(host->busyLog.first().kind, int(aviConectando));
        QCOMPARE(host->busyLog.at(2).kind, int(aviRecebendo));
    }

    void failingCreationEndsWithTheServerMessage() {
        ScriptedServer server;
        server.install();
        server.fail(QStringLiteral("GetParametroOL"), QStringLiteral("Filial sem parâmetros."));
        const bool completed = Guarded([] { CriaAltPedidosOL(); });
        QVERIFY(!completed);
        QVERIFY(!boStCriado);
        QVERIFY(!host->busyVisible());
        QCOMPARE(host->lastMessage().text, QStringLiteral("Filial sem parâmetros."));
    }

    void iniProcShowsOneScreenAndRestoresIt() {
        QVERIFY(Guarded([] { CriaAltPedidosOL(); }));
        QPointer<TfrmAltPedidosOL> first = frmAltPedidosOL;
        QVERIFY(first);
        QVERIFY(boStCriado);
        QCOMPARE(first->lblCodTela->text(), QStringLiteral("SUP07700"));
        QCOMPARE(first->windowTitle(), QStringLiteral("Alteração de Pedidos do OL"));

        first->showMinimized();
        QVERIFY(first->isMinimized());
        QVERIFY(Guarded([] { CriaAltPedidosOL(); }));
        QCOMPARE(frmAltPedidosOL, first.data());
        QVERIFY(!first->isMinimized());
        QCOMPARE(host->busyShows(), host->busyHides());
    }

    void iniProcOpensAChildWindowOfTheMainWindow() {
        QMainWindow main;
        auto* area = new QMdiArea(&main);
        main.setCentralWidget(area);
        host->setMainWindow(&main);
        main.show();

        QVERIFY(Guarded([] { CriaAltPedidosOL(); }));
        QCOMPARE(area->subWindowList().size(), 1);
        QMdiSubWindow* sub = area->subWindowList().first();
        QCOMPARE(sub->widget(), static_cast<QWidget*>(frmAltPedidosOL));
        sub->showMinimized();
        QVERIFY(Guarded([] { CriaAltPedidosOL(); }));
        QCOMPARE(area->subWindowList().size(), 1);
        QVERIFY(!sub->isMinimized());

        // Closing the screen takes its child window with it.
        QPointer<QMdiSubWindow> guard = sub;
        QVERIFY(frmAltPedidosOL->Close());
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QVERIFY(!guard);
        QVERIFY(area->subWindowList().isEmpty());
        host->setMainWindow(nullptr);
    }

    void closingReleasesTheScreenAndItsFilter() {
        open();
        QPointer<TfrmAltPedidosOL> first = frmAltPedidosOL;
        first->activateForm(); // the first activation opens (and here cancels) the filter
        QVERIFY(host->modalScreens.size() >= 1);
        QPointer<QDialog> filter = reinterpret_cast<QDialog*>(frmFiltroAltPedidoOL);
        QVERIFY(filter);

        QVERIFY(first->Close());
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QVERIFY(!boStCriado);
        QVERIFY(!frmFiltroAltPedidoOL);
        QVERIFY(!filter);
        QVERIFY(!first);

        open();
        QVERIFY(boStCriado);
        QVERIFY(frmAltPedidosOL);
        QVERIFY(frmAltPedidosOL->firstActivationPending());
    }

    // Window and columns as the operator left them come back on the next opening, for that
    // operator only; the name columns take the room a wider window gives and give it back.
    void layoutIsKeptPerOperator() {
        QMainWindow main;
        auto* area = new QMdiArea(&main);
        main.setCentralWidget(area);
        host->setMainWindow(&main);
        main.show();
        auto grid = [] {
            return frmAltPedidosOL->dbgPadrao;
        };
        auto column = [&](const char* field) {
            return grid()->columnIndexOfField(QString::fromLatin1(field));
        };

        QVERIFY(Guarded([] { CriaAltPedidosOL(); }));
        QMdiSubWindow* sub = area->subWindowList().first();
        sub->showNormal();
        int columns = 0; // the room the columns take as designed
        for (int c = 0; c < grid()->model()->columnCount(); ++c)
            columns += grid()->isColumnHidden(c) ? 0 : grid()->columnWidth(c);
        const int narrow = std::min(columns, 1100);
        main.resize(narrow + 600, 800);
        sub->setGeometry(10, 10, narrow, 500);
        QCoreApplication::processEvents();
        const int defaultCode = grid()->columnWidth(column("CDARVPROD"));
        QVERIFY(defaultCode >= grid()->fontMetrics().horizontalAdvance(QStringLiteral("Produto")));
        const int name = grid()->columnWidth(column("NMPRODUTO"));
        const int brand = grid()->columnWidth(column("NMMARCA"));
        sub->resize(narrow + 400, 500);
        QCoreApplication::processEvents();
        const int grown = grid()->columnWidth(column("NMPRODUTO")) - name;
        QVERIFY2(grown > 100, qPrintable(QString::number(grown)));
        QVERIFY(grid()->columnWidth(column("NMMARCA")) > brand);
        QCOMPARE(grid()->columnWidth(column("DTPROGEMBARQ")) > 0, true);
        sub->resize(narrow, 500);
        QCoreApplication::processEvents();
        QCOMPARE(grid()->columnWidth(column("NMPRODUTO")), name);

        grid()->horizontalHeader()->resizeSection(column("CDARVPROD"), defaultCode + 40);
        QHeaderView* header = grid()->horizontalHeader();
        header->moveSection(header->visualIndex(column("QTPROGENPEOL")), 1);
        QVERIFY(frmAltPedidosOL->Close());
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);

        QVERIFY(Guarded([] { CriaAltPedidosOL(); }));
        sub = area->subWindowList().first();
        QCoreApplication::processEvents();
        QCOMPARE(sub->size(), QSize(narrow, 500));
        QCOMPARE(grid()->columnWidth(column("CDARVPROD")), defaultCode + 40);
        QCOMPARE(grid()->horizontalHeader()->visualIndex(column("QTPROGENPEOL")), 1);
        QVERIFY(frmAltPedidosOL->Close());
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);

        // Another operator opens the screen as designed.
        host->values().Operador = QStringLiteral("OUTRO");
        QVERIFY(Guarded([] { CriaAltPedidosOL(); }));
        QCoreApplication::processEvents();
        QCOMPARE(grid()->columnWidth(column("CDARVPROD")), defaultCode);
        QCOMPARE(grid()->horizontalHeader()->visualIndex(column("QTPROGENPEOL")),
                 column("QTPROGENPEOL"));
        QVERIFY(frmAltPedidosOL->Close());
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        host->setMainWindow(nullptr);
    }

    void actionsFollowTheItemSet() {
        TfrmAltPedidosOL* s = open();
        s->Habilita();
        // Closed item set (the filter was cancelled): only the filter.
        QCOMPARE(enabledItems(*s), QStringList{"mnuFiltro"});
        QVERIFY(s->sbtFiltro->isEnabled());
        QVERIFY(!s->sbtVerificar->isEnabled());

        // Items loaded, nothing changed.
        s->data().cdsItem->loadFromPacket(suptest::itemPacket(3));
        QCOMPARE(enabledItems(*s),
                 (QStringList{"mnuFiltro", "mnuAlterar", "mnuProcurar", "mnuVerificar"}));

        // One mark: the operations on marked items, but neither blocking (no group
        // authorisation) nor reservation (column hidden).
        s->dbgPadrao->setColumnVisible(TfrmAltPedidosOL::kReservationColumn, false);
        mark(*s->data().cdsItem, 1);
        QCOMPARE(s->data().cdsItem->changeCount(), 1);
        QCOMPARE(enabledItems(*s),
                 (QStringList{"mnuConfirmar", "mnuCancelar", "mnuProcurar", "mnuBaixaManual",
                              "mnuED", "mnuAltAut", "mnuEnvPedOL"}));

        s->data().cdsAutGruPop->loadFromPacket(suptest::autGruPopPacket(1));
        s->dbgPadrao->setColumnVisible(TfrmAltPedidosOL::kReservationColumn, true);
        s->Habilita();
        QVERIFY(s->mnuBloqItem->isEnabled());
        QVERIFY(s->mnuReservaOL->isEnabled());

        // Every button mirrors its menu item.
        const QList<QPair<QAction*, QWidget*>> pairs = {
            {s->mnuFiltro, s->sbtFiltro},           {s->mnuAltAut, s->sbtAutomatico},
            {s->mnuBaixaManual, s->btnBaixaManual}, {s->mnuED, s->btnPontoaPonto},
            {s->mnuBloqItem, s->btnBloqItem},       {s->mnuReservaOL, s->btnReservaOL},
            {s->mnuEnvPedOL, s->btnLoteEnvOL},      {s->mnuConfirmar, s->sbtConfirmar},
            {s->mnuCancelar, s->sbtCancelar},       {s->mnuVerificar, s->sbtVerificar},
            {s->mnuListagem, s->sbtImprimir}};
        for (const auto& [item, button] : pairs) {
            QCOMPARE(button->isEnabled(), item->isEnabled());
            // The hint names the shortcut, where the item has one.
            QCOMPARE(
                button->toolTip().contains(item->shortcut().toString(QKeySequence::NativeText)),
                true);
        }
        QCOMPARE(s->sbtFiltro->toolTip(), QStringLiteral("Filtrar (Ctrl+L)"));
        // Every button has a picture of its own: no two share one (the write-off is not drawn
        // like the cancel beside it).
        QSet<QByteArray> pictures;
        for (const auto& [item, button] : pairs) {
            const QIcon icon = static_cast<QAbstractButton*>(button)->icon();
            QVERIFY2(!icon.isNull(), qPrintable(button->objectName()));
            const QImage image = icon.pixmap(24, 24).toImage();
            pictures.insert(
                QByteArray(reinterpret_cast<const char*>(image.constBits()), image.sizeInBytes()));
        }
        QCOMPARE(pictures.size(), pairs.size());

        // An edit in progress: only confirm and cancel.
        s->data().cdsItem->moveTo(0);
        s->data().cdsItem->edit();
        QCOMPARE(enabledItems(*s), (QStringList{"mnuConfirmar", "mnuCancelar"}));
        QVERIFY(!s->dbnPadrao->isEnabled());
        s->data().cdsItem->cancel();
        QVERIFY(s->dbnPadrao->isEnabled());

        // Changes dropped: back to the browsing set.
        s->data().cdsItem->cancelUpdates();
        s->Habilita();
        QCOMPARE(enabledItems(*s),
                 (QStringList{"mnuFiltro", "mnuAlterar", "mnuProcurar", "mnuVerificar"}));

        // A load without items: only the filter (and the navigator).
        s->data().cdsItem->loadFromPacket(suptest::itemPacket(0));
        s->Habilita();
        QCOMPARE(enabledItems(*s), QStringList{"mnuFiltro"});
        QVERIFY(s->dbnPadrao->isEnabled());
        QVERIFY(host->messages.isEmpty());
    }

    void reservationColumnFollowsTheCentralBranch_data() {
        QTest::addColumn<QList<QStringList>>("rows");
        QTest::addColumn<bool>("shown");
        const QString proc = QStringLiteral("0001");
        QTest::newRow("central reserves")
            << QList<QStringList>{{"0012", "0001", "N"}, {"0001", "0001", "S"}} << true;
        QTest::newRow("flag in lower case") << QList<QStringList>{{"0001", "0001", "s"}} << true;
        QTest::newRow("central does not reserve")
            << QList<QStringList>{{"0001", "0001", "N"}, {"0012", "0001", "S"}} << false;
        QTest::newRow("processing branch absent")
            << QList<QStringList>{{"0012", "0001", "S"}, {"0001X", "0001", "S"}} << false;
        QTest::newRow("central of another branch")
            << QList<QStringList>{{"0001", "0007", "N"}, {"0007", "0007", "S"}} << true;
    }

    void reservationColumnFollowsTheCentralBranch() {
        QFETCH(QList<QStringList>, rows);
        QFETCH(bool, shown);
        host->values().FiliProc = QStringLiteral("0001");
        TfrmAltPedidosOL* s = open();
        s->data().cdsItem->loadFromPacket(suptest::itemPacket(2));
        s->data().cdsParamFilial->loadFromPacket(suptest::paramFilialPacket(rows));
        s->activateForm();
        QCOMPARE(s->reservationColumnShown(), shown);
        mark(*s->data().cdsItem, 0);
        QCOMPARE(s->mnuReservaOL->isEnabled(), shown);
    }

    void cancelAsksOnlyWhenThereIsSomethingToCancel() {
        TfrmAltPedidosOL* s = open();
        s->data().cdsItem->loadFromPacket(suptest::itemPacket(3));

        // Nothing pending: no question (an unanswered one would fail the test).
        s->sbtCancelarClick();
        QVERIFY(host->messages.isEmpty());

        // An open edit: Yes drops the edit only.
        mark(*s->data().cdsItem, 0);
        s->data().cdsItem->moveTo(2);
        s->data().cdsItem->edit();
        s->data().cdsItem->fieldByName(u"QTPROGENPEOL")->setAsFloat(99);
        host->answerMessage(mrYes);
        s->sbtCancelarClick();
        QCOMPARE(host->lastMessage().key, QStringLiteral("Canc"));
        QCOMPARE(host->lastMessage().text, QStringLiteral("Cancelar operação?"));
        QCOMPARE(s->data().cdsItem->state(), DataSetState::Browse);
        QCOMPARE(s->data().cdsItem->fieldByName(u"QTPROGENPEOL")->asFloat(), 14.0);
        QCOMPARE(s->data().cdsItem->changeCount(), 1);

        // Pending changes, answer No: everything stays.
        host->answerMessage(mrNo);
        s->sbtCancelarClick();
        QCOMPARE(s->data().cdsItem->changeCount(), 1);

        // Answer Yes: marks and edits are gone, the snapshot follows.
        host->answerMessage(mrYes);
        s->sbtCancelarClick();
        QCOMPARE(s->data().cdsItem->changeCount(), 0);
        s->data().cdsItem->moveTo(0);
        QCOMPARE(s->data().cdsItem->fieldByName(u"CALC")->asString(), QStringLiteral("N"));
        QCOMPARE(s->data().cdsAuxItem->recordCount(), 3);
        QCOMPARE(s->data().cdsAuxItem->changeCount(), 0);
        QVERIFY(s->mnuFiltro->isEnabled());
        QVERIFY(!s->mnuBaixaManual->isEnabled());
    }

    // Closing with pending changes asks first; No keeps the screen and every change.
    void closingWithPendingChangesAsks() {
        TfrmAltPedidosOL* s = open();
        QPointer<TfrmAltPedidosOL> screen = s;
        s->data().cdsItem->loadFromPacket(suptest::itemPacket(3));
        QVERIFY(s->Close()); // nothing pending: no question
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QVERIFY(!screen);
        QVERIFY(host->messages.isEmpty());

        s = open();
        screen = s;
        s->data().cdsItem->loadFromPacket(suptest::itemPacket(3));
        mark(*s->data().cdsItem, 1);
        host->answerMessage(mrNo);
        QVERIFY(!s->Close());
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QVERIFY(screen);
        QVERIFY(boStCriado);
        QCOMPARE(host->lastMessage().key, QStringLiteral("Sair_Alterado"));
        QCOMPARE(host->lastMessage().text,
                 QStringLiteral("Existem alterações não salvas. Deseja sair e descartá-las?"));
        QCOMPARE(s->data().cdsItem->changeCount(), 1);

        // An open edit counts too; Yes closes.
        s->data().cdsItem->cancelUpdates();
        s->data().cdsItem->moveTo(0);
        s->data().cdsItem->edit();
        host->answerMessage(mrYes);
        QVERIFY(s->Close());
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QVERIFY(!screen);
        QVERIFY(!boStCriado);
    }

    // The status bar counts loaded, marked and changed items as they change.
    void statusBarCounts() {
        TfrmAltPedidosOL* s = open();
        sup::data::TWorkingSet& items = *s->data().cdsItem;
        items.loadFromPacket(suptest::itemPacket(4));
        QCOMPARE(s->lblContagem->text(), QStringLiteral("4 itens, 0 marcados, 0 alterados"));
        mark(items, 1);
        mark(items, 3);
        QCOMPARE(s->lblContagem->text(), QStringLiteral("4 itens, 2 marcados, 0 alterados"));
        // An edit counts once posted; a cancelled one changes nothing. (The item rules are
        // not the point here: they stand aside.)
        s->data().cdsAuxItem->setTag(99);
        items.moveTo(0);
        items.edit();
        items.fieldByName(u"ALTERADO")->setAsString(u"S");
        items.cancel();
        QCOMPARE(s->lblContagem->text(), QStringLiteral("4 itens, 2 marcados, 0 alterados"));
        items.edit();
        items.fieldByName(u"ALTERADO")->setAsString(u"S");
        items.fieldByName(u"CALC")->setAsString(u"S");
        items.post();
        QCOMPARE(s->lblContagem->text(), QStringLiteral("4 itens, 3 marcados, 1 alterados"));
        // A pass with the controls disabled is counted when they come back.
        items.disableControls();
        mark(items, 2);
        items.enableControls();
        QCOMPARE(s->lblContagem->text(), QStringLiteral("4 itens, 4 marcados, 1 alterados"));
        items.cancelUpdates();
        QCOMPARE(s->lblContagem->text(), QStringLiteral("4 itens, 0 marcados, 0 alterados"));
    }

    void itemsCannotBeInsertedOrDeleted() {
        TfrmAltPedidosOL* s = open();
        s->data().cdsItem->loadFromPacket(suptest::itemPacket(2));
        QVERIFY(!Guarded([s] { s->data().cdsItem->insert(); }));
        QVERIFY(!Guarded([s] { s->data().cdsItem->deleteRecord(); }));
        QCOMPARE(s->data().cdsItem->recordCount(), 2);
        QCOMPARE(s->data().cdsItem->state(), DataSetState::Browse);
        QCOMPARE(s->data().cdsItem->changeCount(), 0);
        QVERIFY(host->messages.isEmpty()); // refused silently
    }

    void snapshotFollowsEveryLoad() {
        TfrmAltPedidosOL* s = open();
        s->data().cdsItem->loadFromPacket(suptest::itemPacket(4));
        QCOMPARE(s->data().cdsAuxItem->recordCount(), 4);
        QCOMPARE(s->data().cdsAuxItem->fieldCount(), sup::contracts::auxItemFields().size());
        s->data().cdsAuxItem->moveTo(3);
        QCOMPARE(s->data().cdsAuxItem->fieldByName(u"NRPEDEXOL")->asString(), QStringLiteral("P4"));
    }

    void itemOriginIsShownAsText() {
        TfrmAltPedidosOL* s = open();
        s->data().cdsItem->loadFromPacket(suptest::itemPacket(1));
        s->data().cdsItem->first();
        QCOMPARE(s->data().cdsItem->fieldByName(u"IDTIPOEXOL")->text(),
                 QStringLiteral("Automático"));
        s->data().cdsItem->edit();
        s->data().cdsItem->fieldByName(u"IDTIPOEXOL")->setAsString(u"M");
        QCOMPARE(s->data().cdsItem->fieldByName(u"IDTIPOEXOL")->text(), QStringLiteral("Manual"));
        s->data().cdsItem->fieldByName(u"IDTIPOEXOL")->setAsString(u"X");
        QCOMPARE(s->data().cdsItem->fieldByName(u"IDTIPOEXOL")->text(), QString());
        s->data().cdsItem->cancel();
    }

    void unloadClearsTheAutomaticAlterationValues() {
        stNewProduto = QStringLiteral("0000123");
        stNewMarca = QStringLiteral("00009");
        stEst_Disp = QStringLiteral("12");
        sup07700::stOL = QStringLiteral("_0901_");
        sup07700::FinalizeUnits();
        QVERIFY(stNewProduto.isEmpty());
        QVERIFY(stNewMarca.isEmpty());
        QVERIFY(stEst_Disp.isEmpty());
        QVERIFY(sup07700::stOL.isEmpty());
        QCOMPARE(sup07700::UnitStartCount("Cli_sup07700"), 0);
        sup07700::InitializeUnits();
        QCOMPARE(sup07700::UnitStartCount("Cli_sup07700"), 1);
        QVERIFY(!boStCriado);
        QVERIFY(!boFilCriado);
    }
};

QTEST_MAIN(TestMaintenance)
#include "tst_maintenance.moc"
