#pragma once

// The maintenance screen over the reference server on a freshly seeded database, in-process or
// through an HTTP server on loopback, with the open items of one store loaded and their reload
// registered as the filter would: the fixture of the suites that walk a user's whole road.

#include "ScreenFixture.h"

#include "../server/ServerFixture.h"

#include "Cli_sup07700/Cli_sup07700.h"
#include "Cli_sup07700/TfrmAltPedidosOL.h"
#include "Dm_sup07700/TdmAltPedidosOL.h"
#include "units/Units.h"

#include "sup/contracts/InProcess.h"
#include "sup/contracts/ItemCriteria.h"
#include "sup/contracts/ServerResult.h"
#include "sup/data/WorkingSet.h"
#include "sup/net/NetConnection.h"
#include "sup/server/HttpServer.h"
#include "sup/widgetkit/DBGrid.h"
#include "sup/widgetkit/Forms.h"
#include "sup/widgetkit/Guard.h"
#include "sup/widgetkit/Messages.h"

#include <QLineEdit>
#include <QSqlQuery>
#include <QtTest>

namespace suptest {

using namespace sup::host;
using sup::data::DataSetState;
using sup::data::TWorkingSet;
using sup::testkit::ScriptedHost;
namespace contracts = sup::contracts;

// Open, unblocked items of the store whose product an OL handles, outside the OL's purchase
// tree: every editing rule lets them through.
const QString kEditable =
    QStringLiteral("I.CDFILDEST = ? AND I.IDSITUITEM = 'A' AND I.IDITMPEDOLBLOQ = 'N' AND "
                   "NOT substr(I.CDARVPROD, 1, 4) = '0103' AND EXISTS (SELECT 1 FROM PRODRELACOL R "
                   "WHERE R.CDPRODUTO = I.CDPRODUTO)");
// The other items of the same order, branches and date as item I.
const QString kSameOrder = QStringLiteral(
    "SELECT 1 FROM PEDIDOOLITEM O WHERE O.CDFILDEST = I.CDFILDEST AND O.CDFILLANC = I.CDFILLANC "
    "AND O.NRPEDEXOL = I.NRPEDEXOL AND O.DTPROGENPEOL = I.DTPROGENPEOL");

inline QPoint cellCenter(TDBGrid* grid, int row, const char* field) {
    const QModelIndex index =
        grid->model()->index(row, grid->columnIndexOfField(QString::fromLatin1(field)));
    grid->scrollTo(index);
    return grid->visualRect(index).center();
}

inline QLineEdit* openEditor(TDBGrid* grid) {
    for (QLineEdit* e : grid->viewport()->findChildren<QLineEdit*>())
        if (e->isVisible())
            return e;
    return nullptr;
}

class ScreenRoad : public QObject {
protected:
    std::unique_ptr<suptest::SeededServer> seeded;
    std::unique_ptr<sup::server::HttpServer> http;
    QString httpBase;
    std::unique_ptr<ScriptedHost> host;
    TfrmAltPedidosOL* s = nullptr;
    contracts::ItemCriteria criteria;
    QString branch;
    int reloads = 0;

    sup::sql::Connection& db() const { return *seeded->conn; }
    TWorkingSet& items() const { return *s->data().cdsItem; }

    // The screen on view over a freshly seeded database, talking to the reference server
    // in-process or through an HTTP server on loopback, with the open items of a store loaded
    // and their reload registered as the filter would: the first store where every editing rule
    // lets at least three items through and that meets `storeCondition` (on PARAMFILIAL F).
    void open(const QString& kind, bool overHttp,
              const QString& storeCondition = QStringLiteral("1 = 1")) {
        seeded = std::make_unique<suptest::SeededServer>(
            overHttp ? QStringLiteral("sqlite-file") : kind, 400);
        if (overHttp) {
            sup::server::HttpServerOptions o;
            o.databaseUrl = seeded->db.url();
            o.threads = 2;
            http = std::make_unique<sup::server::HttpServer>(o);
            QString error;
            QVERIFY2(http->start(&error), qPrintable(error));
            httpBase = QStringLiteral("http://127.0.0.1:%1").arg(http->port());
            const QVariant f = sup::net::signOn(QUrl(httpBase), sup::server::kDemoOperator,
                                                QStringLiteral("sup07700"));
            QVERIFY2(!f.isValid(), qPrintable(contracts::faultOf(f).message));
        } else {
            sup::server::useInProcess(seeded->server, sup::server::kDemoOperator);
        }
        host = std::make_unique<ScriptedHost>();
        host->setDatabase(db().database());
        host->setVantrel(
            LoadSignOnValues(db().database(), sup::server::kDemoOperator, httpBase, 0));
        for (const char* name : {"frmFiltroAltPedidoOL", "TfrmFiltroAltPedidoOL"})
            host->onModalAlways(QString::fromLatin1(name), [](QDialog& d) { d.done(mrCancel); });
        sup07700::InitializeUnits();
        QVERIFY(Guarded([this] { s = CreateForm<TfrmAltPedidosOL>(); }));
        frmAltPedidosOL = s;
        boStCriado = true;
        s->resize(1400, 500);
        s->show();
        QVERIFY(QTest::qWaitForWindowExposed(s));
        QCoreApplication::processEvents(); // the first activation: its filter is cancelled

        branch = db().scalar(QStringLiteral(
                                 "SELECT MIN(F.CDFILIAL) FROM PARAMFILIAL F JOIN PARASUPRI S ON "
                                 "S.CDFILIAL = F.CDFILIAL WHERE S.IDBLQLANITSEMRELACOL = 'S' AND "
                                 "F.IDUTLMARPREFOL = 'N' AND F.IDPROSEMMAR = 'N' AND NOT EXISTS "
                                 "(SELECT 1 FROM PRODNCMP N WHERE N.CDFILIAL = F.CDFILIAL) AND "
                                 "(SELECT COUNT(*) FROM PEDIDOOLITEM I WHERE %1) >= 3 AND %2")
                                 .arg(QString(kEditable).replace(QStringLiteral("= ?"),
                                                                 QStringLiteral("= F.CDFILIAL")),
                                      storeCondition))
                     .toString();
        QVERIFY(!branch.isEmpty());
        criteria = {};
        criteria.todasFiliais = QStringLiteral("N");
        criteria.filiais = u'_' + branch + u'_';
        criteria.todosOL = QStringLiteral("T");
        criteria.semDatasEmbarque = criteria.semDatasPedido = criteria.semDatasEntrega =
            QStringLiteral("T");
        criteria.todasRegioes = QStringLiteral("T");
        criteria.operador = sup::server::kDemoOperator;
        criteria.bloqueados = QStringLiteral("S");
        criteria.desbloqueados = QStringLiteral("N");
        criteria.semDatasBloqueio = criteria.semDatasDesbloqueio = QStringLiteral("T");
        criteria.pedidoExtra = QStringLiteral("T");
        criteria.reserva = QStringLiteral("1");
        criteria.lote = QStringLiteral("N");
        criteria.subgrupos = QStringLiteral("N");
        criteria.rotas = QStringLiteral("T");
        criteria.marcas = QStringLiteral("T");
        reloads = 0;
        s->data().setReload([this] {
            ++reloads;
            s->data().loadItems(criteria);
        });
        QVERIFY(Guarded([this] { s->data().loadItems(criteria); }));
        QVERIFY(items().recordCount() >= 3);
        host->clearLog();
    }

    // Editable items of the store, in order, meeting `extra`.
    QList<qint64> editable(const QString& extra = QStringLiteral("1 = 1")) const {
        QSqlQuery q = db().exec(QStringLiteral("SELECT I.CDRASTRITM FROM PEDIDOOLITEM I WHERE %1 "
                                               "AND %2 ORDER BY I.CDRASTRITM")
                                    .arg(kEditable, extra),
                                {branch});
        QList<qint64> out;
        while (q.next())
            out << q.value(0).toLongLong();
        return out;
    }
    QVariant stored(qint64 id, const char* field) const {
        return db().scalar(QStringLiteral("SELECT %1 FROM PEDIDOOLITEM WHERE CDRASTRITM = ?")
                               .arg(QString::fromLatin1(field)),
                           {id});
    }
    bool at(qint64 id) { return items().locate(QStringLiteral("CDRASTRITM"), double(id)); }
    QString field(const char* name) const {
        return items().fieldByName(QString::fromLatin1(name))->asString().trimmed();
    }
    double quantity() const { return items().fieldByName(u"QTPROGENPEOL")->asFloat(); }

    // Marks an item as a user does: its marker cell selected with the mouse, then Space.
    void mark(qint64 id) {
        QVERIFY(at(id));
        TDBGrid* grid = s->dbgPadrao;
        QTest::mouseClick(grid->viewport(), Qt::LeftButton, {},
                          cellCenter(grid, items().currentPosition(), "CALC"));
        QCOMPARE(grid->SelectedField(), QStringLiteral("CALC"));
        QTest::keyClick(grid, Qt::Key_Space);
        QCOMPARE(field("CALC"), QStringLiteral("S"));
    }

    // The quantity typed into the grid's cell, then the item posted through the rules.
    void typeQuantity(qint64 id, int qty) {
        QVERIFY(at(id));
        TDBGrid* grid = s->dbgPadrao;
        QTest::mouseClick(grid->viewport(), Qt::LeftButton, {},
                          cellCenter(grid, items().currentPosition(), "QTPROGENPEOL"));
        QCOMPARE(grid->SelectedField(), QStringLiteral("QTPROGENPEOL"));
        const QString text = QString::number(qty);
        QTest::keyClick(grid, text.at(0).toLatin1());
        QLineEdit* editor = openEditor(grid);
        QVERIFY(editor);
        QTest::keyClicks(editor, text.mid(1));
        grid->commitEditor();
        QCOMPARE(items().state(), DataSetState::Edit);
        QVERIFY(Guarded([this] { items().post(); }));
        QCOMPARE(quantity(), double(qty));
    }
    void setQuantity(qint64 id, double qty) {
        QVERIFY(at(id));
        items().edit();
        items().fieldByName(u"QTPROGENPEOL")->setAsFloat(qty);
        QVERIFY(Guarded([this] { items().post(); }));
    }

    // Closes the screen and stops the servers.
    void close() {
        if (s) {
            if (items().active()) {
                s->dbgPadrao->cancelEditor();
                items().cancel();
                items().cancelUpdates();
            }
            delete s;
        }
        s = nullptr;
        frmAltPedidosOL = nullptr;
        boStCriado = false;
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        sup07700::FinalizeUnits();
        contracts::setInProcessFactory({});
        if (http) {
            sup::net::signOff(QUrl(httpBase));
            http.reset();
            httpBase.clear();
        }
        seeded.reset();
        host.reset();
    }
};

} // namespace suptest
