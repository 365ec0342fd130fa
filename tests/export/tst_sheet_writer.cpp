// The writer of exported rows, judged by readers this project did not write: every kind of
// column read back from .xlsx by openpyxl and from .csv by Python's csv module, the rows chosen
// by visible position (filters and order respected), and the files a cancelled or failed export
// must not leave behind.

#include "ReadBack.h"

#include "Cli_sup07700/sheet/SheetWriter.h"
#include "sup/data/DataPacket.h"
#include "sup/data/WorkingSet.h"

#include <QDir>
#include <QJsonArray>
#include <QTemporaryDir>
#include <QtTest>

using namespace sup07700::sheet;
using sup::data::FieldDef;
using sup::data::TWorkingSet;

namespace {

const QString kAwkward = QString::fromUtf8("Açúcar; \"refinado\"\nlinha 2");

// One field of every kind a grid shows, and three records: full, with a time and negative
// numbers, and all null but the code.
std::unique_ptr<TWorkingSet> sampleSet() {
    sup::data::DataPacketBuilder b(
        {FieldDef::text(QStringLiteral("CODIGO"), 10),
         FieldDef::text(QStringLiteral("FIXO"), 6, {}, true),
         FieldDef::text(QStringLiteral("NOME"), 60), FieldDef::dateTime(QStringLiteral("DATA")),
         FieldDef::real(QStringLiteral("QTDE")), FieldDef::integer(QStringLiteral("NUMERO")),
         FieldDef::boolean(QStringLiteral("ATIVO")), FieldDef::text(QStringLiteral("BLOQ"), 1)});
    const QDate day(2026, 3, 10);
    b.appendRow({QStringLiteral("00012"), QStringLiteral("AB"), kAwkward,
                 QDateTime(day, QTime(0, 0), Qt::UTC), 1234.5, 42, true, QStringLiteral("S")});
    b.appendRow({QStringLiteral("0901"), QString(), QString::fromUtf8("Café"),
                 QDateTime(day, QTime(14, 30, 15), Qt::UTC), -0.0004, -7, false,
                 QStringLiteral("N")});
    b.appendRow({QStringLiteral("000"), QVariant(), QVariant(), QVariant(), QVariant(), QVariant(),
                 QVariant(), QVariant()});
    auto set = std::make_unique<TWorkingSet>();
    set->loadFromPacket(b.finish());
    return set;
}

QList<SheetColumn> sampleColumns() {
    return {{QStringLiteral("CODIGO"), QString::fromUtf8("Código"), CellKind::Text},
            {QStringLiteral("FIXO"), QStringLiteral("Fixo"), CellKind::Text},
            {QStringLiteral("NOME"), QStringLiteral("Nome"), CellKind::Text},
            {QStringLiteral("DATA"), QStringLiteral("Data"), CellKind::Date},
            {QStringLiteral("QTDE"), QStringLiteral("Qtde."), CellKind::Quantity},
            {QStringLiteral("NUMERO"), QString::fromUtf8("Número"), CellKind::Integer},
            {QStringLiteral("ATIVO"), QStringLiteral("Ativo"), CellKind::Flag},
            {QStringLiteral("BLOQ"), QStringLiteral("Bloqueado"), CellKind::Flag}};
}

std::vector<int> allOf(const TWorkingSet& set) {
    std::vector<int> p(static_cast<std::size_t>(set.recordCount()));
    for (std::size_t i = 0; i < p.size(); ++i)
        p[i] = int(i);
    return p;
}

QJsonArray cell(const char* type, const QJsonValue& value, const char* format) {
    return {QString::fromLatin1(type), value, QString::fromLatin1(format)};
}

QStringList firstColumn(const QJsonArray& rows) {
    QStringList out;
    for (const QJsonValue& r : rows)
        out << r.toArray().at(0).toString();
    return out;
}

} // namespace

class TestSheetWriter : public QObject {
    Q_OBJECT

private slots:
    // Codes stay text with their zeros, dates are dates, quantities and integers numbers with
    // their formats, flags booleans; the title row is frozen and filtered.
    void xlsxKeepsEveryKindTyped() {
        QTemporaryDir dir;
        const auto set = sampleSet();
        const QString path = dir.filePath(QStringLiteral("itens.xlsx"));
        QCOMPARE(writeSheet(path, SheetFormat::Xlsx, sampleColumns(), *set, allOf(*set)),
                 SheetResult::Written);
        SUP_READ_BACK(book, path);
        const QJsonArray rows = book[u"rows"].toArray();
        QCOMPARE(rows.size(), 4);
        QStringList titles;
        for (const QJsonValue& t : rows.at(0).toArray())
            titles << t.toArray().at(1).toString();
        QCOMPARE(titles, QStringList({QString::fromUtf8("Código"), "Fixo", "Nome", "Data", "Qtde.",
                                      QString::fromUtf8("Número"), "Ativo", "Bloqueado"}));

        const QJsonArray full = rows.at(1).toArray();
        QCOMPARE(full.at(0).toArray(), cell("s", "00012", "@"));
        QCOMPARE(full.at(1).toArray(), cell("s", "AB", "@")); // no padding of the fixed size
        QCOMPARE(full.at(2).toArray(), cell("s", kAwkward, "@"));
        QCOMPARE(full.at(3).toArray(), cell("d", "2026-03-10T00:00:00", "dd/mm/yyyy"));
        QCOMPARE(full.at(4).toArray(), cell("n", 1234.5, "#,##0.000"));
        QCOMPARE(full.at(5).toArray(), cell("n", 42, "0"));
        QCOMPARE(full.at(6).toArray().at(1), QJsonValue(true));
        QCOMPARE(full.at(7).toArray().at(1), QJsonValue(true));

        const QJsonArray timed = rows.at(2).toArray();
        QCOMPARE(timed.at(0).toArray(), cell("s", "0901", "@"));
        QVERIFY(timed.at(1).isNull()); // an empty text is an empty cell
        QCOMPARE(timed.at(3).toArray(), cell("d", "2026-03-10T14:30:15", "dd/mm/yyyy hh:mm:ss"));
        QCOMPARE(timed.at(4).toArray().at(1).toDouble(), -0.0004);
        QCOMPARE(timed.at(5).toArray(), cell("n", -7, "0"));
        QCOMPARE(timed.at(6).toArray().at(1), QJsonValue(false));
        QCOMPARE(timed.at(7).toArray().at(1), QJsonValue(false));

        const QJsonArray nulls = rows.at(3).toArray();
        QCOMPARE(nulls.at(0).toArray(), cell("s", "000", "@"));
        for (qsizetype c = 1; c < nulls.size(); ++c)
            QVERIFY2(nulls.at(c).isNull(), qPrintable(QString::number(c)));

        QCOMPARE(book[u"freeze"].toString(), QStringLiteral("A2"));
        QCOMPARE(book[u"filter"].toString(), QStringLiteral("A1:H4"));
    }

    // UTF-8 with a byte-order mark, ";" between fields, CRLF, decimal comma with three places,
    // dd/mm/yyyy, Sim/Não, and quotes only where a field needs them.
    void csvReadsBackAsWritten() {
        QTemporaryDir dir;
        const auto set = sampleSet();
        const QString path = dir.filePath(QStringLiteral("itens.csv"));
        QCOMPARE(writeSheet(path, SheetFormat::Csv, sampleColumns(), *set, allOf(*set)),
                 SheetResult::Written);
        SUP_READ_BACK(csv, path);
        QVERIFY(csv[u"bom"].toBool());
        QVERIFY(csv[u"crlf"].toBool());
        const QJsonArray rows = csv[u"rows"].toArray();
        QCOMPARE(rows.size(), 4);
        QCOMPARE(rows.at(0).toArray().at(0).toString(), QString::fromUtf8("Código"));
        QCOMPARE(rows.at(1).toArray(), QJsonArray({"00012", "AB", kAwkward, "10/03/2026",
                                                   "1234,500", "42", "Sim", "Sim"}));
        QCOMPARE(rows.at(2).toArray(),
                 QJsonArray({"0901", "", QString::fromUtf8("Café"), "10/03/2026 14:30:15", "0,000",
                             "-7", QString::fromUtf8("Não"), QString::fromUtf8("Não")}));
        QCOMPARE(rows.at(3).toArray(), QJsonArray({"000", "", "", "", "", "", "", ""}));

        // Only the awkward name is quoted.
        QFile raw(path);
        QVERIFY(raw.open(QIODevice::ReadOnly));
        const QByteArray bytes = raw.readAll();
        QCOMPARE(bytes.count('"'), 6);
        QVERIFY(bytes.contains("\r\n00012;AB;\"A"));
    }

    // The rows written are the records at the given visible positions, in that order, whatever
    // the filter hides.
    void writesTheVisiblePositionsGiven() {
        QTemporaryDir dir;
        const auto set = sampleSet();
        const QString path = dir.filePath(QStringLiteral("x.csv"));
        writeSheet(path, SheetFormat::Csv, sampleColumns(), *set, {2, 0});
        {
            SUP_READ_BACK(csv, path);
            QCOMPARE(firstColumn(csv[u"rows"].toArray()),
                     QStringList({QString::fromUtf8("Código"), "000", "00012"}));
        }
        set->setFilter(QStringLiteral("[BLOQ] = 'N'"));
        set->setFiltered(true);
        QCOMPARE(set->recordCount(), 1);
        const QString xlsx = dir.filePath(QStringLiteral("x.xlsx"));
        writeSheet(xlsx, SheetFormat::Xlsx, sampleColumns(), *set, allOf(*set));
        SUP_READ_BACK(book, xlsx);
        const QJsonArray rows = book[u"rows"].toArray();
        QCOMPARE(rows.size(), 2);
        QCOMPARE(rows.at(1).toArray().at(0).toArray().at(1).toString(), QStringLiteral("0901"));
    }

    // A cancel, at the start or halfway, leaves no file and no scrap, and an existing file of
    // that name as it was; the progress climbs to the total.
    void cancelLeavesNothingBehind_data() {
        QTest::addColumn<int>("format");
        QTest::newRow("xlsx") << int(SheetFormat::Xlsx);
        QTest::newRow("csv") << int(SheetFormat::Csv);
    }
    void cancelLeavesNothingBehind() {
        QFETCH(int, format);
        const auto f = SheetFormat(format);
        QTemporaryDir dir;
        const auto set = sampleSet();
        const std::vector<int> many(20000, 1);
        const QString path = dir.filePath(f == SheetFormat::Xlsx ? QStringLiteral("a.xlsx")
                                                                 : QStringLiteral("a.csv"));

        QList<qsizetype> seen;
        QCOMPARE(writeSheet(path, f, sampleColumns(), *set, many,
                            [&](qsizetype written, qsizetype total) {
                                seen << written;
                                return total == 20000;
                            }),
                 SheetResult::Written);
        QVERIFY(std::is_sorted(seen.begin(), seen.end()));
        QCOMPARE(seen.front(), 0);
        QCOMPARE(seen.back(), 20000);
        QFile written(path);
        QVERIFY(written.open(QIODevice::ReadOnly));
        const QByteArray before = written.readAll();
        written.close();

        for (const qsizetype stopAt : {qsizetype(0), qsizetype(8192)}) {
            QCOMPARE(writeSheet(path, f, sampleColumns(), *set, many,
                                [stopAt](qsizetype done, qsizetype) { return done < stopAt; }),
                     SheetResult::Cancelled);
            QVERIFY(written.open(QIODevice::ReadOnly));
            QCOMPARE(written.readAll(), before);
            written.close();
            QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden),
                     QStringList({QFileInfo(path).fileName()}));
        }
        QVERIFY(QFile::remove(path));
        QCOMPARE(writeSheet(path, f, sampleColumns(), *set, many,
                            [](qsizetype done, qsizetype) { return done == 0; }),
                 SheetResult::Cancelled);
        QVERIFY(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden).isEmpty());
    }

    // A folder that is not there: the failure names the file and no file appears; a sheet
    // that cannot take the rows is refused before anything is written.
    void failuresLeaveNoFile() {
        QTemporaryDir dir;
        const auto set = sampleSet();
        for (const char* name : {"falta/a.xlsx", "falta/a.csv"}) {
            const QString path = dir.filePath(QString::fromLatin1(name));
            try {
                writeSheet(path, *formatOfFile(path), sampleColumns(), *set, allOf(*set));
                QFAIL("no failure");
            } catch (const SheetError& e) {
                QCOMPARE(e.reason(), SheetError::CannotCreate);
                QCOMPARE(e.path(), path);
            }
            QVERIFY(!QFile::exists(path));
        }
        const QString path = dir.filePath(QStringLiteral("grande.xlsx"));
        try {
            writeSheet(path, SheetFormat::Xlsx, sampleColumns(), *set,
                       std::vector<int>(std::size_t(kMaxSheetRows) + 1, 0));
            QFAIL("no failure");
        } catch (const SheetError& e) {
            QCOMPARE(e.reason(), SheetError::TooManyRows);
        }
        QVERIFY(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden).isEmpty());
    }

    // A masked code is written as the grid shows it, and a new file is readable by others
    // like any document (its temporary name was private).
    void maskedCodesAsShownAndPlainPermissions() {
        sup::data::DataPacketBuilder b({FieldDef::text(QStringLiteral("CDARVPROD"), 20)});
        b.appendRow({QStringLiteral("02020010002")});
        TWorkingSet set;
        set.loadFromPacket(b.finish());
        set.fieldByName(u"CDARVPROD")->setEditMask(QStringLiteral("99.99.999.9999;0;_"));
        const QList<SheetColumn> columns{
            {QStringLiteral("CDARVPROD"), QStringLiteral("Produto"), CellKind::Text}};
        QTemporaryDir dir;
        const QString xlsx = dir.filePath(QStringLiteral("m.xlsx"));
        const QString csv = dir.filePath(QStringLiteral("m.csv"));
        writeSheet(xlsx, SheetFormat::Xlsx, columns, set, {0});
        writeSheet(csv, SheetFormat::Csv, columns, set, {0});
        for (const QString& path : {xlsx, csv})
            QVERIFY(QFile::permissions(path) & QFileDevice::ReadOther);
        {
            SUP_READ_BACK(book, xlsx);
            QCOMPARE(book[u"rows"].toArray().at(1).toArray().at(0).toArray(),
                     cell("s", "02.02.001.0002", "@"));
        }
        SUP_READ_BACK(text, csv);
        QCOMPARE(text[u"rows"].toArray().at(1).toArray(), QJsonArray({"02.02.001.0002"}));
    }
};

QTEST_GUILESS_MAIN(TestSheetWriter)
#include "tst_sheet_writer.moc"
