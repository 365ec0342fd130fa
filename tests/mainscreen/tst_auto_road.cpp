// The automatic alteration end to end against the reference server on SQLite and PostgreSQL:
// items marked in the grid, the screen opened from the toolbar, the inputs typed and the
// confirmation clicked as a user does; the items, the audit and the reloaded grid read back. A
// date the branch's calendar refuses and a change another user made in between leave the items
// as they were.

#include "RoadFixture.h"

#include "Cli_sup07702/Cli_sup07702.h"
#include "Cli_sup07702/TfrmCadaAuto.h"

#include <QAction>
#include <QCheckBox>
#include <QPushButton>

using namespace sup::host;
using namespace Qt::StringLiterals;

class TestAutoRoad : public suptest::ScreenRoad {
    Q_OBJECT

    // Opens the automatic alteration from the toolbar and runs `script` on it; the modal result
    // it was closed with (0 when the script left it open, and it is cancelled then).
    int alter(const std::function<void(TfrmCadaAuto&)>& script) {
        int result = -1;
        host->onModal(QStringLiteral("frmCadaAuto"), [&](QDialog& d) {
            auto& a = static_cast<TfrmCadaAuto&>(d);
            // The stored option would restrict the product lookups: none here.
            if (!a.storedOption().isEmpty())
                a.mnuPadrao->trigger();
            script(a);
            result = a.ModalResult();
            if (result == 0)
                d.done(mrCancel);
        });
        QTest::mouseClick(s->sbtAutomatico, Qt::LeftButton);
        return result;
    }
    static void type(QLineEdit* edit, const QString& text) {
        edit->setFocus();
        edit->selectAll();
        QTest::keyClick(edit, Qt::Key_Backspace);
        edit->setCursorPosition(0);
        QTest::keyClicks(edit, text);
    }
    // The audit rows of the alteration's changes to a column, with the screen's description.
    int audited(const char* column) const {
        return db()
            .scalar(QStringLiteral("SELECT COUNT(*) FROM AUDITORIA WHERE NMMETODO = 'AltAtuItem' "
                                   "AND NMTABELA = 'PEDIDOOLITEM' AND NMCAMPO = ? AND CDOPERADOR "
                                   "= ? AND DSMOTIVO = ?"),
                    {QString::fromLatin1(column), sup::server::kDemoOperator,
                     QStringLiteral("Alteração do Pedido OL.")})
            .toInt();
    }
    // Whether the branch's purchase calendar refuses `date` for the product of tree `tree`.
    bool refused(const QString& tree, const QDate& date) {
        QVariantList args{branch, tree, date};
        return seeded->server
                   ->call(sup::server::kModuleAltPedidosOL, QStringLiteral("Carrega_PeriFili"),
                          args, {})
                   .toString() == u"S";
    }

private slots:
    void cleanup() { close(); }

    void dateQuantityAndProduct_data() { suptest::addDatabaseRows(); }
    void dateQuantityAndProduct() {
        QFETCH(QString, db);
        // A store with editable items of one OL in two orders.
        open(
            db, false,
            QStringLiteral("EXISTS (SELECT 1 FROM PEDIDOOLITEM I WHERE %1 AND I.IDITEMAJUSTE = 'N' "
                           "GROUP BY "
                           "I.CDFILIOPELOG HAVING COUNT(DISTINCT I.NRPEDEXOL) >= 2)")
                .arg(QString(suptest::kEditable)
                         .replace(QStringLiteral("= ?"), QStringLiteral("= F.CDFILIAL"))));
        if (QTest::currentTestFailed())
            return;
        // Two items of one OL in different orders, made items of one product as another user
        // would (the product and the quantity are offered only for items of one product).
        const QString ol =
            this->db()
                .scalar(QStringLiteral(
                            "SELECT I.CDFILIOPELOG FROM PEDIDOOLITEM I "
                            "WHERE %1 AND I.IDITEMAJUSTE = 'N' GROUP BY I.CDFILIOPELOG ORDER BY "
                            "COUNT(DISTINCT I.NRPEDEXOL) DESC, "
                            "I.CDFILIOPELOG")
                            .arg(suptest::kEditable),
                        {branch})
                .toString();
        QList<qint64> ids;
        for (qint64 id :
             editable(QStringLiteral("I.CDFILIOPELOG = '%1' AND I.IDITEMAJUSTE = 'N'").arg(ol)))
            if (ids.size() < 2 &&
                (ids.isEmpty() || stored(id, "NRPEDEXOL") != stored(ids[0], "NRPEDEXOL")))
                ids << id;
        QCOMPARE(ids.size(), 2);
        const QStringList productColumns = {u"CDARVPROD"_s, u"CDPRODUTO"_s,  u"NMPRODUTO"_s,
                                            u"SGUNIDADE"_s, u"CDPRODESTO"_s, u"VRFATOCONV"_s,
                                            u"CDMARCA"_s,   u"NMMARCA"_s};
        QVariantList values;
        for (const QString& c : productColumns)
            values << stored(ids[0], c.toLatin1().constData());
        values << ids[1];
        this->db().exec(QStringLiteral("UPDATE PEDIDOOLITEM SET %1 = ? WHERE CDRASTRITM = ?")
                            .arg(productColumns.join(u" = ?, ")),
                        values);
        const QString product = stored(ids[0], "CDPRODUTO").toString();
        QVERIFY(Guarded([this] { s->sbtVerificarClick(); }));
        reloads = 0;

        // The store receives on alternate weekdays only; a date it refuses for the items' product,
        // after every item's own date.
        this->db().exec(QStringLiteral("UPDATE PERIFILIPROD SET DSDIASENTREGA = 'NSNSNSN' WHERE "
                                       "CDFILIAL = ?"),
                        {branch});
        const QString currentTree = stored(ids[0], "CDARVPROD").toString();
        QDate date = this->db()
                         .scalar(QStringLiteral("SELECT MAX(DTPROGENPEOL) FROM PEDIDOOLITEM "
                                                "WHERE CDFILDEST = ?"),
                                 {branch})
                         .toDateTime()
                         .date()
                         .addDays(1);
        for (int d = 0; d < 7 && !refused(currentTree, date); ++d)
            date = date.addDays(1);
        QVERIFY(refused(currentTree, date));
        const QVariant before = stored(ids[0], "DTPROGENPEOL");

        for (qint64 id : ids)
            mark(id);
        int result = alter([&](TfrmCadaAuto& a) {
            QTest::mouseClick(a.chbEntrega, Qt::LeftButton);
            QVERIFY(a.depEntrega->isEnabled());
            type(a.depEntrega, date.toString(QStringLiteral("ddMMyyyy")));
            QTest::mouseClick(a.sbtConfirma, Qt::LeftButton);
            QVERIFY(host->lastMessage().text.startsWith(
                QStringLiteral("Operação bloqueada. Nova data não contemplada")));
            QCOMPARE(stored(ids[0], "DTPROGENPEOL"), before);

            // The operator joins the group the calendar does not bind: the date goes through.
            this->db().exec(QStringLiteral("INSERT INTO OPERGRUPOP (CDOPERADOR, CDGRUPOPER) "
                                           "VALUES (?, 'CALENDARIO')"),
                            {sup::server::kDemoOperator});
            host->answerMessage(mrYes);
            QTest::mouseClick(a.sbtConfirma, Qt::LeftButton);
        });
        QCOMPARE(result, int(mrOk));
        QCOMPARE(reloads, 1);
        QCOMPARE(audited("DTPROGENPEOL"), ids.size());
        for (qint64 id : ids) {
            QCOMPARE(stored(id, "DTPROGENPEOL").toDateTime().date(), date);
            QVERIFY(at(id));
            QCOMPARE(field("CALC"), QStringLiteral("N"));
        }

        // A quantity for both.
        for (qint64 id : ids)
            mark(id);
        result = alter([&](TfrmCadaAuto& a) {
            QTest::mouseClick(a.chbQuantidade, Qt::LeftButton);
            type(a.nedQuantidade, QStringLiteral("7"));
            host->answerMessage(mrYes);
            QTest::mouseClick(a.sbtConfirma, Qt::LeftButton);
        });
        QCOMPARE(result, int(mrOk));
        for (qint64 id : ids) {
            QCOMPARE(stored(id, "QTPROGENPEOL").toDouble(), 7.0);
            QVERIFY(at(id));
            QCOMPARE(quantity(), 7.0);
        }

        // Another user changes one of them in between: nothing is written, the screen stays.
        for (qint64 id : ids)
            mark(id);
        result = alter([&](TfrmCadaAuto& a) {
            QTest::mouseClick(a.chbQuantidade, Qt::LeftButton);
            type(a.nedQuantidade, QStringLiteral("9"));
            this->db().exec(QStringLiteral("UPDATE PEDIDOOLITEM SET QTPROGENPEOL = 8 WHERE "
                                           "CDRASTRITM = ?"),
                            {ids[1]});
            host->answerMessage(mrYes);
            QTest::mouseClick(a.sbtConfirma, Qt::LeftButton);
            QVERIFY(host->lastMessage().kind == sup::testkit::LoggedMessage::Error);
            QVERIFY(!host->busyVisible());
        });
        QCOMPARE(result, 0);
        QCOMPARE(stored(ids[0], "QTPROGENPEOL").toDouble(), 7.0);
        QCOMPARE(stored(ids[1], "QTPROGENPEOL").toDouble(), 8.0);
        QCOMPARE(audited("QTPROGENPEOL"), ids.size());

        // A product the OL also handles, typed by its tree code.
        QVERIFY(Guarded([this] { s->sbtVerificarClick(); }));
        QSqlQuery q = this->db().exec(
            QStringLiteral("SELECT P.CDPRODUTO, P.CDARVPROD FROM PRODUTO P JOIN PRODRELACOL R ON "
                           "R.CDPRODUTO = P.CDPRODUTO WHERE R.CDFILIOPELOG = ? AND P.CDPRODUTO "
                           "<> ? AND P.IDPRODATIVPR = 'S' AND P.CDPRODESTO IS NOT NULL AND NOT "
                           "EXISTS (SELECT 1 FROM PEDIDOOLITEM X WHERE X.CDFILDEST = ? AND "
                           "X.CDPRODUTO = P.CDPRODUTO) ORDER BY P.CDPRODUTO"),
            {ol, product, branch});
        QVERIFY(q.next());
        const QString replacement = q.value(0).toString();
        const QString tree = q.value(1).toString();
        for (qint64 id : ids)
            mark(id);
        result = alter([&](TfrmCadaAuto& a) {
            QTest::mouseClick(a.chbProduto, Qt::LeftButton);
            type(a.medCdProduto, tree);
            host->answerMessage(mrYes);
            QTest::mouseClick(a.sbtConfirma, Qt::LeftButton);
        });
        QVERIFY2(result == int(mrOk), qPrintable(host->lastMessage().text));
        for (qint64 id : ids) {
            QCOMPARE(stored(id, "CDPRODUTO").toString(), replacement);
            QVERIFY(at(id));
            QCOMPARE(field("CDPRODUTO"), replacement);
        }
        QCOMPARE(audited("CDPRODUTO"), ids.size());
        QVERIFY(stNewProduto.isEmpty());
    }
};

QTEST_MAIN(TestAutoRoad)
#include "tst_auto_road.moc"
