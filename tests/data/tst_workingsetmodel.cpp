// The Qt table model over a working set: model consistency under every kind of change, display
// texts, edits through the set, and the single reset after a pass with controls disabled.

#include "ItemShape.h"

#include "sup/data/WorkingSet.h"
#include "sup/data/WorkingSetModel.h"

#include <QAbstractItemModelTester>
#include <QApplication>
#include <QSignalSpy>
#include <QTableView>
#include <QTest>

#include <stdexcept>

using namespace sup::data;
using testdata::itemPacket;

namespace {

const QStringList kGridColumns = {QStringLiteral("CALC"),          QStringLiteral("DTPROGEMBARQ"),
                                  QStringLiteral("DTPROGENPEOL"),  QStringLiteral("CDARVPROD"),
                                  QStringLiteral("NMPRODUTO"),     QStringLiteral("SGUNIDADE"),
                                  QStringLiteral("CDMARCA"),       QStringLiteral("NMMARCA"),
                                  QStringLiteral("CDFILDEST"),     QStringLiteral("CDFILLANC"),
                                  QStringLiteral("NRPEDEXOL"),     QStringLiteral("QTPROGENPEOL"),
                                  QStringLiteral("QTRESERVESTOL"), QStringLiteral("CDLOTENVITOL"),
                                  QStringLiteral("CDFILIOPELOG")};

void markAll(TWorkingSet& s, const QString& value) {
    TField* calc = s.fieldByName(u"CALC");
    for (s.first(); !s.eof(); s.next()) {
        s.edit();
        calc->setAsString(value);
        s.post();
    }
}

} // namespace

class WorkingSetModelTest : public QObject {
    Q_OBJECT

private slots:
    void staysConsistentUnderEveryChange() {
        TWorkingSet s;
        WorkingSetModel model;
        QAbstractItemModelTester tester(&model,
                                        QAbstractItemModelTester::FailureReportingMode::QtTest);
        model.setDataSet(&s);
        QCOMPARE(model.rowCount(), 0);
        s.loadFromPacket(itemPacket(25));
        QCOMPARE(model.rowCount(), 25);
        QCOMPARE(model.columnCount(), 9); // the visible fields

        model.setColumns(kGridColumns);
        QCOMPARE(model.columnCount(), 15);
        markAll(s, QStringLiteral("S"));
        s.moveTo(4);
        s.insert();
        QCOMPARE(model.rowCount(), 26);
        s.fieldByName(u"CDMARCA")->setAsString(u"NEW");
        s.post();
        s.cancel();
        s.insert();
        s.cancel();
        QCOMPARE(model.rowCount(), 26);
        s.moveTo(3);
        s.deleteRecord();
        QCOMPARE(model.rowCount(), 25);
        s.setFilter(QStringLiteral("[CDFILLANC] = '2000'"));
        s.setFiltered(true);
        QCOMPARE(model.rowCount(), s.recordCount());
        s.first();
        s.edit();
        s.fieldByName(u"CDFILLANC")->setAsString(u"2999"); // leaves the filter on post
        s.post();
        QCOMPARE(model.rowCount(), s.recordCount());
        s.disableControls();
        markAll(s, QStringLiteral("N"));
        s.append();
        s.fieldByName(u"CDFILLANC")->setAsString(u"2000");
        s.post();
        s.enableControls();
        QCOMPARE(model.rowCount(), s.recordCount());
        s.cancelUpdates();
        s.setFiltered(false);
        QCOMPARE(model.rowCount(), 25);
        s.close();
        QCOMPARE(model.rowCount(), 0);
        s.open();
        QCOMPARE(model.rowCount(), 25);

        // A set without declared fields takes new ones from each packet; the columns follow.
        model.setColumns({});
        s.setFilter(QString());
        DataPacketBuilder b(
            {FieldDef::text(QStringLiteral("CDFILIAL"), 4, QStringLiteral("Filial")),
             FieldDef::real(QStringLiteral("VR"), {}, QStringLiteral("0.00"))});
        b.appendRow({QStringLiteral("0001"), 2.5});
        s.loadFromPacket(b.finish());
        QCOMPARE(model.columnCount(), 2);
        QCOMPARE(model.rowCount(), 1);
        QCOMPARE(model.headerData(0, Qt::Horizontal).toString(), QStringLiteral("Filial"));
        QCOMPARE(model.data(model.index(0, 1)).toString(), QStringLiteral("2,50"));
    }

    void showsTextsThroughTheSet() {
        TWorkingSet s;
        s.loadFromPacket(itemPacket(3));
        s.fieldByName(u"CALC")->OnGetText = [](const TField& f, bool) {
            return f.equalsText(u"S") ? QStringLiteral("✓") : QString();
        };
        WorkingSetModel model;
        model.setDataSet(&s);
        model.setColumns(kGridColumns);
        const int qty = model.columnOfField(u"QTPROGENPEOL");
        QCOMPARE(qty, 11);
        QCOMPARE(model.fieldIndexOfColumn(qty), s.fieldByName(u"QTPROGENPEOL")->index());
        QCOMPARE(model.columnOfField(u"CDRASTRITM"), -1);
        QCOMPARE(model.headerData(qty, Qt::Horizontal).toString(), QStringLiteral("Qtde."));
        QCOMPARE(model.headerData(1, Qt::Vertical).toInt(), 2);

        s.moveTo(1);
        s.edit();
        s.fieldByName(u"QTPROGENPEOL")->setAsFloat(1234.5);
        s.fieldByName(u"CALC")->setAsString(u"S");
        s.post();
        QCOMPARE(model.data(model.index(1, qty)).toString(), QStringLiteral("1.234,500"));
        QCOMPARE(model.data(model.index(1, qty), Qt::EditRole).toString(),
                 QStringLiteral("1.234,500"));
        QCOMPARE(model.data(model.index(1, qty), Qt::UserRole).toDouble(), 1234.5);
        QCOMPARE(model.data(model.index(1, qty), Qt::TextAlignmentRole).value<Qt::Alignment>(),
                 Qt::AlignRight | Qt::AlignVCenter);
        QCOMPARE(model.data(model.index(1, 0)).toString(), QStringLiteral("✓"));
        QCOMPARE(model.data(model.index(0, 0)).toString(), QString());
        QCOMPARE(model.data(model.index(0, model.columnOfField(u"DTPROGENPEOL"))).toString(),
                 QStringLiteral("01/01/2024"));
        QCOMPARE(s.currentPosition(), 1); // reading other rows does not move the cursor

        // A failing get-text handler shows nothing instead of breaking the view.
        s.fieldByName(u"CALC")->OnGetText = [](const TField&, bool) -> QString {
            throw std::runtime_error("x");
        };
        QCOMPARE(model.data(model.index(0, 0)), QVariant());
    }

    void editsGoThroughTheSet() {
        TWorkingSet s;
        s.loadFromPacket(itemPacket(5));
        WorkingSetModel model;
        QAbstractItemModelTester tester(&model,
                                        QAbstractItemModelTester::FailureReportingMode::QtTest);
        model.setDataSet(&s);
        model.setColumns(kGridColumns);
        QStringList errors;
        model.OnEditError = [&](const std::exception& e) {
            errors << QString::fromUtf8(e.what());
        };
        const QModelIndex qty = model.index(2, model.columnOfField(u"QTPROGENPEOL"));
        QVERIFY(model.flags(qty) & Qt::ItemIsEditable);

        QSignalSpy changed(&model, &QAbstractItemModel::dataChanged);
        QVERIFY(model.setData(qty, QStringLiteral("1.500,25")));
        QCOMPARE(s.currentPosition(), 2);
        QCOMPARE(s.state(), DataSetState::Browse);
        QCOMPARE(s.fieldByName(u"QTPROGENPEOL")->asFloat(), 1500.25);
        QCOMPARE(s.changeCount(), 1);
        QVERIFY(changed.count() >= 1);
        QVERIFY(errors.isEmpty());

        // A value that does not convert: reported, nothing changed.
        QVERIFY(!model.setData(qty, QStringLiteral("muito")));
        QCOMPARE(errors.size(), 1);
        QVERIFY(errors.last().contains(u"QTPROGENPEOL"));
        QCOMPARE(s.state(), DataSetState::Browse);
        QCOMPARE(s.fieldByName(u"QTPROGENPEOL")->asFloat(), 1500.25);

        // A refused post: reported, the edit cancelled.
        s.BeforePost = [](TWorkingSet&) {
            throw std::runtime_error("Marca deve ser informada.");
        };
        QVERIFY(
            !model.setData(model.index(3, model.columnOfField(u"CDMARCA")), QStringLiteral("X")));
        QCOMPARE(errors.last(), QStringLiteral("Marca deve ser informada."));
        QCOMPARE(s.state(), DataSetState::Browse);
        QCOMPARE(s.valueAt(3, s.fieldByName(u"CDMARCA")->index()).toString(),
                 QStringLiteral("M03"));
        QCOMPARE(s.changeCount(), 1);

        // A refused edit.
        s.BeforePost = nullptr;
        s.BeforeEdit = [](TWorkingSet&) {
            throw std::runtime_error("bloqueado");
        };
        QVERIFY(!model.setData(qty, QStringLiteral("1")));
        QCOMPARE(errors.last(), QStringLiteral("bloqueado"));

        // Read-only fields and other roles are not editable.
        s.BeforeEdit = nullptr;
        s.fieldByName(u"NMPRODUTO")->setReadOnly(true);
        QVERIFY(
            !(model.flags(model.index(0, model.columnOfField(u"NMPRODUTO"))) & Qt::ItemIsEditable));
        QVERIFY(!model.setData(qty, 3.0, Qt::DisplayRole));
    }

    void onePassOneReset() {
        TWorkingSet s;
        s.loadFromPacket(itemPacket(2000));
        WorkingSetModel model;
        model.setDataSet(&s);
        model.setColumns(kGridColumns);
        QTableView view;
        view.setModel(&model);
        view.resize(800, 400);
        view.show();
        QVERIFY(QTest::qWaitForWindowExposed(&view));

        QSignalSpy resets(&model, &QAbstractItemModel::modelReset);
        QSignalSpy changed(&model, &QAbstractItemModel::dataChanged);
        QSignalSpy inserted(&model, &QAbstractItemModel::rowsInserted);
        s.disableControls();
        s.disableControls();
        markAll(s, QStringLiteral("S"));
        s.enableControls();
        QCOMPARE(resets.count(), 0);
        s.enableControls();
        QCOMPARE(resets.count(), 1);
        QCOMPARE(changed.count(), 0);
        QCOMPARE(inserted.count(), 0);
        QCOMPARE(s.changeCount(), 2000);
        QCoreApplication::processEvents();
        QCOMPARE(model.data(model.index(1999, 0)).toString(), QStringLiteral("S"));

        // With controls enabled every post is one row's change, no reset.
        s.first();
        s.edit();
        s.fieldByName(u"CALC")->setAsString(u"N");
        s.post();
        QCOMPARE(resets.count(), 1);
        QVERIFY(changed.count() >= 1);
        const QModelIndex tl = changed.last().at(0).toModelIndex();
        const QModelIndex br = changed.last().at(1).toModelIndex();
        QCOMPARE(tl.row(), 0);
        QCOMPARE(br.row(), 0);
        QCOMPARE(br.column(), model.columnCount() - 1);
    }

    void theSetGoingAway() {
        WorkingSetModel model;
        QAbstractItemModelTester tester(&model,
                                        QAbstractItemModelTester::FailureReportingMode::QtTest);
        {
            TWorkingSet s;
            s.loadFromPacket(itemPacket(4));
            model.setDataSet(&s);
            QCOMPARE(model.rowCount(), 4);
        }
        QCOMPARE(model.dataSet(), nullptr);
        QCOMPARE(model.rowCount(), 0);
        QCOMPARE(model.columnCount(), 0);
    }
};

QTEST_MAIN(WorkingSetModelTest)
#include "tst_workingsetmodel.moc"
