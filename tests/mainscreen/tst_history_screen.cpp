// The item history from the maintenance screen against a scripted server: Ctrl+H on a grid row
// asks for exactly that item and shows its rows; without a current item, or when the server
// fails, the user is told why and nothing else happens.

#include "ScriptedScreen.h"

#include "Cli_sup07706/TfrmHistItem.h"

#include "sup/widgetkit/DBGrid.h"
#include "sup/widgetkit/Messages.h"

#include <QAction>
#include <QLabel>
#include <QPushButton>
#include <QtTest>

using namespace sup::host;
using namespace Qt::StringLiterals;
using sup::data::DataPacket;
using sup::data::DataPacketBuilder;
using sup::data::FieldDef;

namespace {

// Two rows as the server answers them, newest first.
DataPacket twoRows() {
    DataPacketBuilder b({FieldDef::dateTime(u"DTEVENTO"_s), FieldDef::text(u"CDOPERADOR"_s, 10),
                         FieldDef::text(u"NMOPERADOR"_s, 60), FieldDef::text(u"DSOPERACAO"_s, 250),
                         FieldDef::text(u"DSCAMPO"_s, 40), FieldDef::text(u"DSVALORANT"_s, 60),
                         FieldDef::text(u"DSVALORNOVO"_s, 60)});
    b.appendRow({QDateTime(QDate(2026, 3, 9), QTime(14, 5, 30)), u"DEMO"_s, u"Operador Demo"_s,
                 u"Bloqueio"_s, u"Bloqueio"_s, u"Desbloqueado"_s, u"Bloqueado"_s});
    b.appendRow({QDateTime(QDate(2026, 3, 8), QTime(9, 0)), u"GERENTE1"_s, u"Gerente"_s,
                 u"Alteração do item: Ajuste do fornecedor"_s, u"Quantidade"_s, u"10,000"_s,
                 u"8,000"_s});
    return b.finish();
}

} // namespace

class TestHistoryScreen : public QObject {
    Q_OBJECT

    std::unique_ptr<suptest::SeededDatabase> db;
    std::unique_ptr<suptest::ScriptedScreen> f;
    sup::testkit::ScriptedHost* host = nullptr;
    sup::testkit::ScriptedServer* server = nullptr;

    // The screen on view and active, so that its shortcuts reach it; what its first activation
    // asks (the filter, cancelled) is left out of the logs.
    void showScreen() {
        host->onModalAlways(u"frmFiltroAltPedidoOL"_s, [](QDialog& d) { d.done(mrCancel); });
        server->setStrict(false);
        f->screen->show();
        f->screen->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(f->screen));
        QCoreApplication::processEvents();
        server->setStrict(true);
        server->calls().clear();
        f->screen->dbgPadrao->setFocus();
        host->clearLog();
    }

private slots:
    void initTestCase() { db = std::make_unique<suptest::SeededDatabase>(); }

    void init() {
        f = std::make_unique<suptest::ScriptedScreen>(*db);
        host = f->host.get();
        server = f->server.get();
    }

    void cleanup() { f.reset(); }

    // The third row's id goes as the only argument, under the busy indicator hidden again; the
    // screen names the item, lists both rows with their time and operator, has the grid's
    // focus, and Esc closes it.
    void ctrlHShowsTheCurrentItemsHistory() {
        showScreen();
        f->items().moveTo(2);
        server->answer(u"GetHistItem"_s, QVariant::fromValue(twoRows()));
        QString title, first, second;
        int rows = -1;
        bool gridFocused = false, closedByEsc = false;
        host->onModal(u"frmHistItem"_s, [&](QDialog& d) {
            auto& h = static_cast<TfrmHistItem&>(d);
            title = h.lblItem->text();
            const sup::data::TWorkingSet* set = h.dbgHistorico->dataSet();
            rows = set->recordCount();
            first = set->textAt(0, set->fieldByName(u"DTEVENTO")->index()) + u' ' +
                    set->textAt(0, set->fieldByName(u"NMOPERADOR")->index());
            second = set->textAt(1, set->fieldByName(u"DSOPERACAO")->index());
            gridFocused = sup::testkit::ScriptedHost::focusIn(&h) == h.dbgHistorico;
            QTest::keyClick(h.dbgHistorico, Qt::Key_Escape);
            closedByEsc = !h.isVisible();
        });
        QTest::keyClick(f->screen->dbgPadrao, Qt::Key_H, Qt::ControlModifier);

        QCOMPARE(server->methods(), QStringList{u"GetHistItem"_s});
        QCOMPARE(server->last(u"GetHistItem"_s).args, QVariantList{2.0});
        QCOMPARE(host->modalScreens, QStringList{u"frmHistItem"_s});
        QVERIFY2(title.contains(u"Pedido P3") && title.contains(u"Produto 3"), qPrintable(title));
        QCOMPARE(rows, 2);
        QCOMPARE(first, u"09/03/2026 14:05:30 Operador Demo"_s);
        QCOMPARE(second, u"Alteração do item: Ajuste do fornecedor"_s);
        QVERIFY(gridFocused);
        QVERIFY(closedByEsc);
        QCOMPARE(host->busyShows(), 1);
        QCOMPARE(host->busyHides(), 1);
        QCOMPARE(host->busyLog.first().text, u"Lendo o histórico do item no servidor..."_s);
        QVERIFY(host->unanswered.isEmpty());
    }

    // No items loaded: the menu item says there is no item and asks nothing of the server.
    void noCurrentItemSaysSoAndSendsNothing() {
        showScreen();
        f->items().close();
        QVERIFY(f->screen->mnuHistItem->isEnabled());
        QTest::keyClick(f->screen->dbgPadrao, Qt::Key_H, Qt::ControlModifier);
        QCOMPARE(server->count(u"GetHistItem"_s), 0);
        QVERIFY(host->modalScreens.isEmpty());
        QCOMPARE(host->lastMessage().text,
                 u"Não há item selecionado na lista. Carregue os itens e posicione-se no item "
                 "cujo histórico deseja ver."_s);
    }

    // A failing call: the server's reason in the message, no screen, the indicator hidden, the
    // grid's items as they were.
    void aFailedCallSaysWhy() {
        f->items().moveTo(1);
        server->fail(u"GetHistItem"_s, u"Falha de comunicação com o servidor."_s);
        f->screen->mnuHistItem->trigger();
        QCOMPARE(server->last(u"GetHistItem"_s).args, QVariantList{1.0});
        QVERIFY(host->modalScreens.isEmpty());
        QCOMPARE(host->lastMessage().text,
                 u"Não foi possível ler o histórico do item: Falha de comunicação com o "
                 "servidor."_s);
        QVERIFY(!host->busyVisible());
        QCOMPARE(host->busyShows(), host->busyHides());
        QCOMPARE(f->items().recordCount(), 4);
        QCOMPARE(f->items().currentPosition(), 1);
    }
};

QTEST_MAIN(TestHistoryScreen)
#include "tst_history_screen.moc"
