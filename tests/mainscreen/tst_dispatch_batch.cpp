// The dispatch batch screen against a scripted server: the batch check with its ten-place code,
// the picker, which marked items are sent with the exact arguments, what the user is told, and
// the launcher's reload whatever happened.

#include "ScriptedScreen.h"

#include "Cli_sup07703/Cli_sup07703.h"
#include "Cli_sup07703/TfrmCadLotEnvioPedOL.h"

#include "sup/widgetkit/Guard.h"
#include "sup/widgetkit/Messages.h"

#include <QAction>
#include <QLineEdit>
#include <QPushButton>
#include <QtTest>

using namespace sup::host;
using sup::data::DataPacket;
using sup::data::DataPacketBuilder;
using sup::data::TWorkingSet;

class TestDispatchBatch : public QObject {
    Q_OBJECT

    std::unique_ptr<suptest::SeededDatabase> db;
    std::unique_ptr<suptest::ScriptedScreen> f;
    std::unique_ptr<TfrmCadLotEnvioPedOL> d;
    sup::testkit::ScriptedHost* host = nullptr;
    sup::testkit::ScriptedServer* server = nullptr;
    DataPacket loaded_; // what the reload reads
    int reloads = 0;

    TWorkingSet& items() { return f->items(); }

    // The four items, unmarked, with these batches.
    void setBatches(const QStringList& batches) {
        items().loadFromPacket(loaded_);
        for (int p = 0; p < 4; ++p)
            f->put(p, {{QStringLiteral("CDLOTENVITOL"), batches[p]}});
    }
    void openScreen() {
        d.reset(CreateForm<TfrmCadLotEnvioPedOL>());
        d->show();
        QVERIFY(QTest::qWaitForWindowExposed(d.get()));
    }
    // The rows sent with SetCadLoteEnvPedOL, "order:batch".
    QStringList sent() {
        const QVariantList args = server->last(QStringLiteral("SetCadLoteEnvPedOL")).args;
        TWorkingSet rows;
        rows.loadFromPacket(args.value(0).value<DataPacket>());
        QStringList out;
        for (rows.first(); !rows.eof(); rows.next())
            out << rows.fieldByName(u"NRPEDEXOL")->asString() + u':' +
                       rows.fieldByName(u"CDLOTENVITOL")->asString();
        return out;
    }

private slots:
    void initTestCase() { db = std::make_unique<suptest::SeededDatabase>(); }

    void init() {
        f = std::make_unique<suptest::ScriptedScreen>(*db);
        host = f->host.get();
        server = f->server.get();
        reloads = 0;
        loaded_ = suptest::itemPacket(4);
        f->screen->data().setReload([this] {
            ++reloads;
            items().loadFromPacket(loaded_);
        });
        // Two open batches; a code finds its own.
        server->on(QStringLiteral("GetVd_LotePedOL"), [](QVariantList& args) {
            DataPacketBuilder b(sup::contracts::vdLotePedOLFields());
            for (const char* code : {"0000000005", "0000000007"})
                if (args[0].toString() == u"T" || args[0].toString() == QLatin1String(code))
                    b.appendRow({QString::fromLatin1(code),
                                 QStringLiteral("Lote 0901 semana ") + QChar(code[9])});
            return QVariant::fromValue(b.finish());
        });
        server->answer(QStringLiteral("SetCadLoteEnvPedOL"), 1);
    }

    void cleanup() {
        d.reset();
        f.reset();
    }

    // The picker lists every open batch ("T"); "7" typed becomes 0000000007 before the server
    // is asked; only the marked items whose batch differs are sent, destination cut to its
    // code, with the operator; done, the screen closes and the items wait for the reload. With
    // nothing left to change the user is told, nothing is sent and the screen stays open.
    void assignsToMarkedItemsThatChange() {
        setBatches({QString(), QStringLiteral("0000000007"), QStringLiteral("0000000005"), {}});
        for (int p : {0, 1, 2})
            f->mark(p);
        openScreen();
        host->answerPickWhere(QStringLiteral("CDLOTENVITOL"), QStringLiteral("0000000005"));
        QVERIFY(d->btpLoteEnvioPedOL->Execute());
        QCOMPARE(server->last(QStringLiteral("GetVd_LotePedOL")).args,
                 QVariantList{QStringLiteral("T")});
        QCOMPARE(d->edtNmLoteEnvioPedOL->text(), QStringLiteral("Lote 0901 semana 5"));

        d->medLoteEnvioPedOL->SetText(QStringLiteral("7"));
        QVERIFY(d->edtNmLoteEnvioPedOL->text().isEmpty());
        host->answerCaptioned(kFirstCaptionedAnswer);
        d->sbtConfirmaClick();
        QCOMPARE(server->last(QStringLiteral("GetVd_LotePedOL")).args,
                 QVariantList{QStringLiteral("0000000007")});
        QVERIFY(host->texts().contains(
            QStringLiteral("Confirma cadastramento do lote de envio 0000000007 Lote 0901 semana 7 "
                           "para um ou mais pedidos do OL selecionados.")));
        QCOMPARE(sent(),
                 (QStringList{QStringLiteral("P1:0000000007"), QStringLiteral("P3:0000000007")}));
        const QVariantList args = server->last(QStringLiteral("SetCadLoteEnvPedOL")).args;
        QCOMPARE(args.value(1).toString(), host->vantrel().Operador);
        TWorkingSet rows;
        rows.loadFromPacket(args.value(0).value<DataPacket>());
        QCOMPARE(rows.fieldByName(u"CDFILDEST")->asString(), QStringLiteral("0012"));
        QCOMPARE(host->lastMessage().text, QStringLiteral("Operação realizada com sucesso."));
        QCOMPARE(d->ModalResult(), int(mrOk));
        QVERIFY(!host->busyVisible());
        QVERIFY(!items().controlsDisabled());
        QCOMPARE(items().valueAt(0, items().fieldIndex(u"CDLOTENVITOL")).toString(), QString());

        setBatches({QStringLiteral("0000000007"), {}, {}, {}});
        f->mark(0);
        openScreen();
        d->medLoteEnvioPedOL->SetText(QStringLiteral("0000000007"));
        host->answerCaptioned(kFirstCaptionedAnswer);
        d->sbtConfirmaClick();
        QCOMPARE(host->lastMessage().text, QStringLiteral("Não existem itens a serem alterados."));
        QCOMPARE(server->count(QStringLiteral("SetCadLoteEnvPedOL")), 1);
        QVERIFY(d->isVisible());
    }

    // A batch the server does not return: its message, the focus kept in the code, nothing
    // recorded.
    void unknownBatchKeepsTheFocus() {
        f->mark(0);
        openScreen();
        d->sbtConfirma->setFocus();
        d->medLoteEnvioPedOL->SetText(QStringLiteral("123"));
        QVERIFY(!Guarded([this] { d->sbtConfirmaClick(); }));
        QCOMPARE(server->last(QStringLiteral("GetVd_LotePedOL")).args,
                 QVariantList{QStringLiteral("0000000123")});
        QCOMPARE(host->lastMessage().text, QStringLiteral("Lote de envio não cadastrado."));
        QCOMPARE(sup::testkit::ScriptedHost::focusIn(d.get()), d->medLoteEnvioPedOL);
        QCOMPARE(server->count(QStringLiteral("SetCadLoteEnvPedOL")), 0);
        QVERIFY(!host->busyVisible());
    }

    // The launcher reloads the items and recomputes the actions also when the screen is
    // cancelled; unsaved edits are not dropped unasked.
    void launcherReloadsWhateverHappens() {
        TfrmAltPedidosOL* s = f->screen;
        f->mark(1);
        s->Habilita();
        QVERIFY(s->mnuEnvPedOL->isEnabled());
        host->onModal(QStringLiteral("frmCadLotEnvioPedOL"), [](QDialog& dialog) {
            QCOMPARE(dialog.windowTitle(),
                     QStringLiteral("Cadastramento de Lote de Envio de Pedidos OL"));
            QCOMPARE(static_cast<TfrmCadLotEnvioPedOL&>(dialog).screenCode(),
                     QStringLiteral("SUP07702"));
            dialog.done(mrCancel);
        });
        s->mnuEnvPedOL->trigger();
        QCOMPARE(host->modalScreens, QStringList{QStringLiteral("frmCadLotEnvioPedOL")});
        QCOMPARE(reloads, 1);
        QCOMPARE(items().changeCount(), 0);
        QVERIFY(!s->mnuEnvPedOL->isEnabled());
        QVERIFY(!frmCadLotEnvioPedOL);

        f->put(2, {{QStringLiteral("QTPROGENPEOL"), 99.0},
                   {QStringLiteral("ALTERADO"), QStringLiteral("S")}});
        host->answerMessage(mrNo);
        s->btnLoteEnvOLClick();
        QCOMPARE(host->lastMessage().key, QStringLiteral("Descartar_Alt"));
        QCOMPARE(host->modalScreens.size(), 1);
        QCOMPARE(reloads, 1);
    }
};

QTEST_MAIN(TestDispatchBatch)
#include "tst_dispatch_batch.moc"
