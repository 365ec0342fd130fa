// The export from the maintenance screen, driven as the user drives it: the menu item and its
// shortcut, the save dialog answered by the scripted host, the marked items or every item, the
// grid's column order and titles, and what the user is told when there is nothing to export,
// when the file exists, when it cannot be written and when the export is cancelled.

#include "MaintenanceFixture.h"
#include "ReadBack.h"

#include "Cli_sup07700/Cli_sup07700.h"
#include "Cli_sup07700/TfrmAltPedidosOL.h"
#include "Dm_sup07700/TdmAltPedidosOL.h"
#include "units/Units.h"

#include "sup/data/WorkingSet.h"
#include "sup/widgetkit/DBGrid.h"
#include "sup/widgetkit/Guard.h"
#include "sup/widgetkit/Messages.h"

#include <QFileDialog>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QJsonArray>
#include <QLineEdit>
#include <QMenu>
#include <QProgressDialog>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

using namespace sup::host;
using sup::data::TWorkingSet;
using sup::testkit::ScriptedHost;

namespace {

QStringList titlesOf(const QJsonArray& firstRow, bool xlsx) {
    QStringList out;
    for (const QJsonValue& v : firstRow)
        out << (xlsx ? v.toArray().at(1).toString() : v.toString());
    return out;
}

QStringList column(const QJsonArray& rows, int c) {
    QStringList out;
    for (qsizetype r = 1; r < rows.size(); ++r)
        out << rows.at(r).toArray().at(c).toString();
    return out;
}

QStringList filesIn(const QString& folder) {
    return QDir(folder).entryList(QDir::Files | QDir::Hidden);
}

} // namespace

class TestExportScreen : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<suptest::SeededDatabase> db;
    std::unique_ptr<ScriptedHost> host;
    std::unique_ptr<QTemporaryDir> dir;
    TfrmAltPedidosOL* s = nullptr;

    TWorkingSet& items() const { return *s->data().cdsItem; }
    TDBGrid* grid() const { return s->dbgPadrao; }

    void showWith(int rows) {
        QVERIFY(Guarded([] { CriaAltPedidosOL(); }));
        s = frmAltPedidosOL;
        QVERIFY(s);
        s->resize(1400, 500);
        s->show();
        QVERIFY(QTest::qWaitForWindowExposed(s));
        QCoreApplication::processEvents(); // the first activation (its filter is cancelled)
        items().loadFromPacket(suptest::itemPacket(rows));
        s->Habilita();
        host->clearLog();
    }

    // The save dialog's answer: `name` in the test's folder, with the file type `filterKey`
    // chosen when given; `after` runs once the dialog has accepted.
    void answerSave(const QString& name, const QString& filterKey = {},
                    std::function<void()> after = {}) {
        const QString path = dir->filePath(name);
        const QString filter = filterKey.isEmpty() ? QString() : s->msgPadrao->Msg(filterKey);
        host->onModal(QStringLiteral("dlgExportar"), [path, filter, after](QDialog& d) {
            auto* f = qobject_cast<QFileDialog*>(&d);
            QVERIFY(f);
            QCOMPARE(f->acceptMode(), QFileDialog::AcceptSave);
            QCOMPARE(f->nameFilters().size(), 2);
            if (!filter.isEmpty())
                f->selectNameFilter(filter);
            // Typed into the name box, as the user does (selectFile leaves a focused box alone).
            auto* box = f->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
            QVERIFY(box);
            box->setText(path);
            d.accept(); // QFileDialog::accept, as its Save button
            if (after)
                after();
        });
    }

    void mark(int row) {
        items().moveTo(row);
        grid()->setSelectedField(u"CALC");
        s->dbgPadraoDblClick();
    }

    void exportNow() { s->mnuExportar->trigger(); }

private slots:
    void initTestCase() { db = std::make_unique<suptest::SeededDatabase>(); }

    void init() {
        host = suptest::maintenanceHost(*db);
        dir = std::make_unique<QTemporaryDir>();
    }

    void cleanup() {
        suptest::closeMaintenance();
        s = nullptr;
        QVERIFY2(host->unanswered.isEmpty(), qPrintable(host->unanswered.join(u"; ")));
        host.reset();
        dir.reset();
    }

    // Ctrl+Shift+E with nothing marked: every item, in the order the user left the columns,
    // under the grid's titles, typed; the menu item and its button follow the routine's own.
    void shortcutExportsEveryItemAsTheGridShowsThem() {
        showWith(5);
        QCOMPARE(s->mnuManutencao->actions().contains(s->mnuExportar), true);
        QVERIFY(s->mnuManutencao->actions().indexOf(s->mnuExportar) >
                s->mnuManutencao->actions().indexOf(s->mnuEnvPedOL));
        auto* tools = qobject_cast<QBoxLayout*>(s->panBotoes->layout());
        QVERIFY(tools);
        QVERIFY(tools->indexOf(s->btnExportar) > tools->indexOf(s->btnLoteEnvOL));
        QVERIFY(s->btnExportar->isEnabled());

        QHeaderView* header = grid()->horizontalHeader();
        header->moveSection(header->visualIndex(grid()->columnIndexOfField(u"NRPEDEXOL")), 0);
        answerSave(QStringLiteral("itens.xlsx"));
        s->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(s));
        QTest::keyClick(grid(), Qt::Key_E, Qt::ControlModifier | Qt::ShiftModifier);
        QCOMPARE(host->modalScreens, QStringList({QStringLiteral("dlgExportar")}));
        QCOMPARE(host->keys(), QStringList({QStringLiteral("Exp_OK")}));
        QVERIFY2(host->lastMessage().text.contains(QStringLiteral("itens.xlsx")),
                 qPrintable(host->lastMessage().text));

        SUP_READ_BACK(book, dir->filePath(QStringLiteral("itens.xlsx")));
        const QJsonArray rows = book[u"rows"].toArray();
        QCOMPARE(rows.size(), 6);
        QStringList expected{
            "Pedido", "Embarque", "Entrega",       "Produto", "Nome do Produto",
            "UN",     "Marca",    "Nome da Marca", "Destino", QString::fromUtf8("Lanç."),
            "Qtde."};
        if (s->reservationColumnShown())
            expected << "Reserva";
        expected << "Lote de Envio"
                 << "OL";
        QCOMPARE(titlesOf(rows.at(0).toArray(), true), expected);

        const QJsonArray first = rows.at(1).toArray();
        auto at = [&](const char* title) {
            return first.at(expected.indexOf(title)).toArray();
        };
        QCOMPARE(at("Pedido"), QJsonArray({"s", "P1", "@"}));
        QCOMPARE(at("Embarque"), QJsonArray({"d", "2026-03-08T00:00:00", "dd/mm/yyyy"}));
        QCOMPARE(at("Entrega"), QJsonArray({"d", "2026-03-10T00:00:00", "dd/mm/yyyy"}));
        QCOMPARE(at("Marca"), QJsonArray({"s", "00001", "@"}));
        QCOMPARE(at("OL"), QJsonArray({"s", "0901", "@"}));
        QCOMPARE(at("Qtde."), QJsonArray({"n", 12, "#,##0.000"}));
        QStringList orders;
        for (qsizetype r = 1; r < rows.size(); ++r)
            orders << rows.at(r).toArray().at(0).toArray().at(1).toString();
        QCOMPARE(orders, QStringList({"P1", "P2", "P3", "P4", "P5"}));
    }

    // Marked items only, to CSV by the file type chosen; the same name again asks before the
    // file is replaced, and No keeps it.
    void markedItemsToCsvAndReplacingAsks() {
        showWith(5);
        mark(1);
        mark(3);
        answerSave(QStringLiteral("marcados"), QStringLiteral("Exp_Filtro_Csv"));
        exportNow();
        QCOMPARE(host->keys(), QStringList({QStringLiteral("Exp_OK_Marcados")}));
        const QString path = dir->filePath(QStringLiteral("marcados.csv"));
        {
            SUP_READ_BACK(csv, path);
            QVERIFY(csv[u"bom"].toBool());
            QVERIFY(csv[u"crlf"].toBool());
            const QJsonArray rows = csv[u"rows"].toArray();
            const int order = int(titlesOf(rows.at(0).toArray(), false).indexOf("Pedido"));
            const int qty = int(titlesOf(rows.at(0).toArray(), false).indexOf("Qtde."));
            QVERIFY(!titlesOf(rows.at(0).toArray(), false).contains(QString::fromUtf8("\u2714")));
            QCOMPARE(column(rows, order), QStringList({"P2", "P4"}));
            QCOMPARE(column(rows, qty), QStringList({"13,000", "15,000"}));
        }
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QByteArray before = file.readAll();
        file.close();

        mark(1);
        mark(3); // nothing marked: every item
        host->clearLog();
        answerSave(QStringLiteral("marcados.csv"));
        host->answerMessage(mrNo);
        exportNow();
        QCOMPARE(host->keys(), QStringList({QStringLiteral("Exp_Substituir")}));
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll(), before);
        file.close();

        answerSave(QStringLiteral("marcados.csv"));
        host->answerMessage(mrYes);
        exportNow();
        QCOMPARE(host->lastMessage().key, QStringLiteral("Exp_OK"));
        SUP_READ_BACK(csv, path);
        QCOMPARE(csv[u"rows"].toArray().size(), 6);
    }

    // An empty grid exports nothing and says so, without asking for a file; a dialog closed
    // without a name writes nothing and says nothing.
    void nothingToExportOrNoFileChosen() {
        showWith(0);
        exportNow();
        QCOMPARE(host->keys(), QStringList({QStringLiteral("Exp_Vazio")}));
        QVERIFY(host->modalScreens.isEmpty());

        items().loadFromPacket(suptest::itemPacket(3));
        host->clearLog();
        host->onModal(QStringLiteral("dlgExportar"), [](QDialog& d) { d.reject(); });
        exportNow();
        QVERIFY(host->messages.isEmpty());
        QVERIFY(filesIn(dir->path()).isEmpty());
    }

    // A folder gone by the time of writing: the error names the file in Portuguese and nothing
    // is left; a cancel in the progress leaves nothing either.
    void failureAndCancelLeaveNoFile() {
        showWith(4);
        QVERIFY(QDir(dir->path()).mkdir(QStringLiteral("sub")));
        const QString sub = dir->filePath(QStringLiteral("sub"));
        answerSave(QStringLiteral("sub/a.xlsx"), {}, [sub] { QDir(sub).removeRecursively(); });
        exportNow();
        QCOMPARE(host->messages.size(), 1);
        QCOMPARE(host->lastMessage().kind, sup::testkit::LoggedMessage::Error);
        QVERIFY(host->lastMessage().text.startsWith(
            QString::fromUtf8("Não foi possível criar o arquivo ")));
        QVERIFY(host->lastMessage().text.contains(QStringLiteral("a.xlsx")));
        QVERIFY(filesIn(dir->path()).isEmpty());

        for (const char* name : {"c.xlsx", "c.csv"}) {
            host->clearLog();
            TfrmAltPedidosOL* screen = s;
            answerSave(QString::fromLatin1(name), {}, [screen] {
                QTimer::singleShot(0, screen, [screen] {
                    if (auto* p =
                            screen->findChild<QProgressDialog*>(QStringLiteral("prgExportar")))
                        p->cancel();
                });
            });
            exportNow();
            QCOMPARE(host->keys(), QStringList({QStringLiteral("Exp_Cancelada")}));
            QVERIFY(filesIn(dir->path()).isEmpty());
        }
    }
};

QTEST_MAIN(TestExportScreen)
#include "tst_export_screen.moc"
