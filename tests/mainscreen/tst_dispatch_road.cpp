// The dispatch batch end to end against the reference server on SQLite and PostgreSQL: items
// marked in the grid, the screen opened from the menu, the code typed and confirmed with the
// mouse; the batch given and taken read back from the items, the audit and the reloaded grid.

#include "RoadFixture.h"

#include "Cli_sup07703/TfrmCadLotEnvioPedOL.h"

#include <QAction>
#include <QPushButton>

using namespace sup::host;
using suptest::cellCenter;

class TestDispatchRoad : public suptest::ScreenRoad {
    Q_OBJECT

    // Opens the screen from the menu; the user types `code` (the digits that matter) and
    // confirms with the mouse.
    void dispatch(const QString& code) {
        host->onModal(QStringLiteral("frmCadLotEnvioPedOL"), [&](QDialog& dialog) {
            auto& d = static_cast<TfrmCadLotEnvioPedOL&>(dialog);
            d.medLoteEnvioPedOL->setFocus();
            d.medLoteEnvioPedOL->setCursorPosition(0);
            QTest::keyClicks(d.medLoteEnvioPedOL, code);
            QTest::mouseClick(d.sbtConfirma, Qt::LeftButton);
        });
        QVERIFY(s->mnuEnvPedOL->isEnabled());
        s->mnuEnvPedOL->trigger();
    }
    QString batchAt(qint64 id) { return stored(id, "CDLOTENVITOL").toString(); }
    int audited() const {
        return db()
            .scalar(QStringLiteral("SELECT COUNT(*) FROM AUDITORIA WHERE NMMETODO = "
                                   "'SetCadLoteEnvPedOL' AND NMCAMPO = 'CDLOTENVITOL' AND "
                                   "CDOPERADOR = ?"),
                    {sup::server::kDemoOperator})
            .toInt();
    }

private slots:
    void cleanup() { close(); }

    void assignAndRemove_data() { suptest::addDatabaseRows(); }
    void assignAndRemove() {
        QFETCH(QString, db);
        open(db, false);
        if (QTest::currentTestFailed())
            return;
        // The OL with most of the store's editable items out of any batch, two of them, and an
        // open batch of that OL.
        const QString ol = this->db()
                               .scalar(QStringLiteral("SELECT I.CDFILIOPELOG FROM PEDIDOOLITEM I "
                                                      "WHERE %1 AND I.CDLOTENVITOL IS NULL GROUP "
                                                      "BY I.CDFILIOPELOG ORDER BY COUNT(*) DESC, "
                                                      "I.CDFILIOPELOG")
                                           .arg(suptest::kEditable),
                                       {branch})
                               .toString();
        const QList<qint64> ids =
            editable(QStringLiteral("I.CDLOTENVITOL IS NULL AND I.CDFILIOPELOG = '%1'").arg(ol))
                .mid(0, 2);
        QVERIFY(!ids.isEmpty());
        const QString batch =
            this->db()
                .scalar(QStringLiteral("SELECT MIN(CDLOTENVITOL) FROM LOTENVITOL WHERE "
                                       "CDFILIOPELOG = ? AND DTFECHAMENTO IS NULL"),
                        {ol})
                .toString();
        QVERIFY(!batch.isEmpty());

        for (qint64 id : ids)
            mark(id);
        host->answerCaptioned(kFirstCaptionedAnswer);
        dispatch(QString::number(batch.toLongLong()));
        QCOMPARE(host->lastMessage().text, QStringLiteral("Operação realizada com sucesso."));
        QCOMPARE(reloads, 1);
        for (qint64 id : ids) {
            QCOMPARE(batchAt(id), batch);
            QVERIFY(at(id));
            QCOMPARE(field("CDLOTENVITOL"), batch);
            QCOMPARE(field("CALC"), QStringLiteral("N"));
        }
        QCOMPARE(audited(), ids.size());

        mark(ids[0]);
        host->answerMessage(mrYes);
        dispatch(QString());
        QVERIFY(stored(ids[0], "CDLOTENVITOL").isNull());
        QVERIFY(at(ids[0]));
        QCOMPARE(field("CDLOTENVITOL"), QString());
        if (ids.size() > 1)
            QCOMPARE(batchAt(ids[1]), batch);
        QCOMPARE(audited(), ids.size() + 1);
        QCOMPARE(reloads, 2);
        QVERIFY(!host->busyVisible());
    }
};

QTEST_MAIN(TestDispatchRoad)
#include "tst_dispatch_road.moc"
