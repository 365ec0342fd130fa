// The preview of the automatic alteration against a scripted server: the button sends the
// arguments the confirmation sends, after the same checks, and opens the preview with the rows it
// got (refused rows standing out, the counts above them); a failed preview loses nothing of what
// the user typed.

#include "ScriptedScreen.h"

#include "Cli_sup07702/Cli_sup07702.h"
#include "Cli_sup07702/TfrmCadaAuto.h"
#include "Cli_sup07705/TfrmVisCadaAuto.h"

#include "sup/contracts/record/AutoPreview.h"
#include "sup/data/DataPacket.h"
#include "sup/data/WorkingSet.h"
#include "sup/widgetkit/DBGrid.h"
#include "sup/widgetkit/Guard.h"
#include "sup/widgetkit/Messages.h"

#include <QCheckBox>
#include <QLabel>
#include <QPushButton>
#include <QtTest>

using namespace sup::host;
using namespace Qt::StringLiterals;
using sup::data::DataPacket;
using sup::data::DataPacketBuilder;

namespace {

const QString kWebSrv = QStringLiteral("SOFTWARE\\QUORVEL\\Sistemas Integrados Quorvel\\WebSrv");

// A preview of three items: one altered, one refused by the calendar, one altered beyond the
// OL's stock.
DataPacket previewRows() {
    DataPacketBuilder b(sup::contracts::visAltAtuItemFields());
    const auto row = [&](qint64 id, const char* altered, const QString& refusal,
                         const char* shortOfStock, const QString& reason) {
        b.appendRow({id, u"0012"_s, u"0001"_s, u"P%1"_s.arg(id), u"101010001"_s, u"Produto"_s,
                     u"00001"_s, 10.0, QDate(2026, 3, 10), u"101010001"_s, u"Produto"_s, u"00001"_s,
                     12.5, QDate(2026, 3, 15), QString::fromLatin1(altered), refusal,
                     QString::fromLatin1(shortOfStock), reason});
    };
    row(1, "S", QString(), "N", QString());
    row(2, "N", sup::contracts::refusal::kCalendar, "N",
        u"Operação bloqueada. Nova data não contemplada pela periodicidade da filial 0012 para o "
        u"produto Produto ."_s);
    row(3, "S", QString(), "S", u"O estoque livre do OL não cobre a quantidade do item."_s);
    return b.finish();
}

} // namespace

class TestAutoPreviewScreen : public QObject {
    Q_OBJECT

    std::unique_ptr<suptest::SeededDatabase> db;
    std::unique_ptr<suptest::ScriptedScreen> f;
    sup::testkit::ScriptedHost* host = nullptr;
    sup::testkit::ScriptedServer* server = nullptr;
    TfrmAltPedidosOL* s = nullptr;

    // Launches the automatic alteration with a script; the screen is cancelled after it unless
    // the script closed it. Returns the modal result it closed with.
    int launch(const std::function<void(TfrmCadaAuto&)>& script) {
        return f->launchAutomatic(script);
    }
    // A delivery date and a quantity for every chosen item, the lookups they need answered.
    void fill(TfrmCadaAuto& a) {
        a.chbEntrega->setChecked(true);
        a.depEntrega->setDate(QDate(2026, 3, 15));
        a.chbQuantidade->setChecked(true);
        a.nedQuantidade->SetNumber(2.34567);
        a.chbAtuSoli->setChecked(true);
        DataPacketBuilder none(a.cdsPesqProduto->fieldDefs());
        server->answer(u"GetPesqProduto"_s, QVariant::fromValue(none.finish()));
        server->answer(u"Carrega_PeriFili"_s, u"N"_s);
    }

private slots:
    void initTestCase() { db = std::make_unique<suptest::SeededDatabase>(); }
    void init() {
        f = std::make_unique<suptest::ScriptedScreen>(*db);
        host = f->host.get();
        server = f->server.get();
        s = f->screen;
        DataPacketBuilder profile(sup::contracts::filtroSupFields());
        server->answer(u"GetFiltroSup"_s, QVariant::fromValue(profile.finish()));
        host->setRegistryValue(kWebSrv, u"StringConex"_s, u"srv"_s);
    }
    void cleanup() { f.reset(); }

    // "Visualizar" asks nothing and sends VisAltAtuItem with what the confirmation then sends to
    // AltAtuItem; the preview lists the rows, counts them, sets the refused row apart and closes
    // with "Fechar", leaving the alteration screen open.
    void previewSendsTheConfirmationArguments() {
        f->mark(0);
        f->mark(1);
        server->answer(u"VisAltAtuItem"_s, QVariant::fromValue(previewRows()));
        server->answer(u"AltAtuItem"_s, QVariantList{2, 0, false, false});
        int rows = 0;
        QString counts;
        QColor altered, refused;
        const int result = launch([&](TfrmCadaAuto& a) {
            fill(a);
            host->onModal(u"frmVisCadaAuto"_s, [&](QDialog& d) {
                auto& v = static_cast<TfrmVisCadaAuto&>(d);
                QCOMPARE(v.lblCodTela->text(), u"SUP07705"_s);
                rows = v.dbgPadrao->model()->rowCount();
                counts = v.lblResumo->text();
                QVERIFY(v.dbgPadrao->hasFocus());
                QVERIFY(!v.dbgPadrao->Editing());
                // The background of the destination's cell, clear of its text, per row.
                const int column = v.dbgPadrao->columnIndexOfField(u"CDFILDEST");
                v.dbgPadrao->clearSelection();
                v.dbgPadrao->setCurrentIndex({});
                const QImage shot = v.dbgPadrao->viewport()->grab().toImage();
                const auto background = [&](int row) {
                    const QRect r =
                        v.dbgPadrao->visualRect(v.dbgPadrao->model()->index(row, column));
                    return shot.pixelColor(r.right() - 3, r.center().y());
                };
                altered = background(0);
                refused = background(1);
                QTest::mouseClick(v.btnFechar, Qt::LeftButton);
            });
            QVERIFY2(Guarded([&] { QTest::mouseClick(a.btnVisualizar, Qt::LeftButton); }),
                     qPrintable(host->lastMessage().text));
            QVERIFY(host->modalScreens.contains(u"frmVisCadaAuto"_s));
            QVERIFY(a.isVisible());
            QVERIFY(!host->busyVisible());
            QVERIFY(host->messages.isEmpty());
            host->answerMessage(mrYes);
            QVERIFY2(Guarded([&] { a.sbtConfirmaClick(); }), qPrintable(host->lastMessage().text));
        });
        QCOMPARE(result, int(mrOk));
        QCOMPARE(rows, 3);
        QCOMPARE(counts, u"2 item(ns) seriam alterados e 1 recusados ou mantidos como estão, de 3 "
                         u"selecionados. 1 alterado(s) além do saldo livre do estoque do OL. "
                         u"Nenhuma alteração foi gravada: esta é apenas a visualização."_s);
        QVERIFY2(refused != altered, qPrintable(refused.name() + u' ' + altered.name()));
        QCOMPARE(refused, QColor(255, 214, 214));

        const QVariantList preview = server->last(u"VisAltAtuItem"_s).args;
        const QVariantList alteration = server->last(u"AltAtuItem"_s).args;
        QCOMPARE(preview.size(), 21);
        QCOMPARE(preview.value(0).toList(), alteration.value(0).toList());
        QCOMPARE(preview.mid(1), alteration.mid(1));
        QCOMPARE(preview.mid(1, 5), (QVariantList{false, true, true, QDate(2026, 3, 15), 2.346}));
        QCOMPARE(server->count(u"VisAltAtuItem"_s), 1);
    }

    // The screen's own checks come first, with their messages, and send nothing; a failed
    // preview shows the server's message and leaves every field, the product found and the last
    // preview as they were, the busy indicator hidden and no preview open.
    void failedPreviewLosesNothing() {
        f->mark(0);
        launch([&](TfrmCadaAuto& a) {
            fill(a);
            a.nedQuantidade->SetNumber(0);
            QVERIFY(!Guarded([&] { a.btnVisualizarClick(); }));
            QCOMPARE(host->lastMessage().text, u"Quantidade deve ser maior que zero."_s);
            QCOMPARE(server->count(u"VisAltAtuItem"_s), 0);

            a.nedQuantidade->SetNumber(3);
            stNewProduto = u"000002"_s; // a lookup had found one
            stNewMarca = u"00007"_s;
            s->data().cdsVisAltAtuItem->loadFromPacket(previewRows());
            server->fail(u"VisAltAtuItem"_s, u"Item alterado por outro usuário."_s);
            QVERIFY(!Guarded([&] { a.btnVisualizarClick(); }));
            QCOMPARE(host->lastMessage().text, u"Item alterado por outro usuário."_s);
            QCOMPARE(server->count(u"VisAltAtuItem"_s), 1);
            QVERIFY(a.isVisible());
            QVERIFY(!host->busyVisible());
            QVERIFY(!host->modalScreens.contains(u"frmVisCadaAuto"_s));
            QVERIFY(a.chbEntrega->isChecked() && a.chbQuantidade->isChecked());
            QVERIFY(a.chbAtuSoli->isChecked());
            QCOMPARE(a.depEntrega->Date(), QDate(2026, 3, 15));
            QCOMPARE(a.nedQuantidade->GetNumber(), 3.0);
            QCOMPARE(stNewProduto, u"000002"_s);
            QCOMPARE(stNewMarca, u"00007"_s);
            QCOMPARE(s->data().cdsVisAltAtuItem->recordCount(), 3);
        });
    }
};

QTEST_MAIN(TestAutoPreviewScreen)
#include "tst_auto_preview_screen.moc"
