// Display and edit texts in the Brazilian locale, and the reading of typed numbers and dates.

#include "ItemShape.h"

#include "sup/data/Format.h"
#include "sup/data/WorkingSet.h"

#include <QTest>

using namespace sup::data;
using namespace Qt::StringLiterals;

class FormatTest : public QObject {
    Q_OBJECT

private slots:
    void numbers_data() {
        QTest::addColumn<double>("value");
        QTest::addColumn<QString>("format");
        QTest::addColumn<QString>("text");
        QTest::newRow("quantity") << 1234.5 << "###,##0.000"
                                  << "1.234,500";
        QTest::newRow("quantity zero") << 0.0 << "###,##0.000"
                                       << "0,000";
        QTest::newRow("quantity small") << 0.5 << "###,##0.000"
                                        << "0,500";
        QTest::newRow("quantity negative") << -1234.5 << "###,##0.000"
                                           << "-1.234,500";
        QTest::newRow("quantity millions") << 1234567.891 << "###,##0.000"
                                           << "1.234.567,891";
        QTest::newRow("half rounds up") << 0.0005 << "###,##0.000"
                                        << "0,001";
        QTest::newRow("decimal half, binary below") << 1.0005 << "###,##0.000"
                                                    << "1,001";
        QTest::newRow("negative rounding to zero") << -0.0004 << "###,##0.000"
                                                   << "0,000";
        QTest::newRow("money") << 1000.0 << "#,##0.00"
                               << "1.000,00";
        QTest::newRow("money carry") << 999.999 << "#,##0.00"
                                     << "1.000,00";
        QTest::newRow("money 2.675") << 2.675 << "#,##0.00"
                                     << "2,68";
        QTest::newRow("no grouping") << 1234.5 << "0.000"
                                     << "1234,500";
        QTest::newRow("integer") << 2.5 << "0"
                                 << "3";
        QTest::newRow("integer negative") << -2.5 << "0"
                                          << "-3";
        QTest::newRow("integer big") << 1234567.4 << "0"
                                     << "1234567";
        QTest::newRow("optional decimals") << 1.5 << "0.0##"
                                           << "1,5";
        QTest::newRow("optional decimals full") << 1.23456 << "0.0##"
                                                << "1,235";
        QTest::newRow("only optional digits") << 0.0 << "#"
                                              << "";
        QTest::newRow("negative section") << -5.0 << "#,##0.00;(#,##0.00)"
                                          << "(5,00)";
        QTest::newRow("zero section") << 0.0 << "#,##0.00;(#,##0.00);'Zero'"
                                      << "Zero";
        QTest::newRow("literal prefix") << 1234.5 << "'R$ '#,##0.00"
                                        << "R$ 1.234,50";
        QTest::newRow("literal suffix") << 12.0 << "0\" kg\""
                                        << "12 kg";
        QTest::newRow("general") << 1234.5 << ""
                                 << "1234,5";
        QTest::newRow("general sum") << 0.1 + 0.2 << ""
                                     << "0,3";
        QTest::newRow("general whole") << 10.0 << ""
                                       << "10";
        QTest::newRow("general negative") << -0.25 << ""
                                          << "-0,25";
    }

    void numbers() {
        QFETCH(double, value);
        QFETCH(QString, format);
        QFETCH(QString, text);
        QCOMPARE(formatNumber(value, format), text);
        QCOMPARE(formatValue(value, FieldType::Double, format), text);
    }

    void otherTypes() {
        QCOMPARE(formatValue(QVariant::fromValue<qlonglong>(7), FieldType::Integer, {}),
                 QStringLiteral("7"));
        QCOMPARE(formatValue(QVariant::fromValue<qlonglong>(1234), FieldType::Integer,
                             QStringLiteral("#,##0")),
                 QStringLiteral("1.234"));
        QCOMPARE(formatValue(true, FieldType::Boolean, {}), QStringLiteral("Sim"));
        QCOMPARE(formatValue(false, FieldType::Boolean, {}), QStringLiteral("Não"));
        QCOMPARE(formatValue(false, FieldType::Boolean, QStringLiteral("S;N")),
                 QStringLiteral("N"));
        QCOMPARE(formatValue(QStringLiteral("ação"), FieldType::Text, QStringLiteral("0.00")),
                 QStringLiteral("ação"));
        for (FieldType t : {FieldType::Text, FieldType::Integer, FieldType::Double,
                            FieldType::Boolean, FieldType::DateTime}) {
            QCOMPARE(formatValue(QVariant(), t, QStringLiteral("0.00")), QString());
        }
    }

    void dates_data() {
        QTest::addColumn<QDateTime>("value");
        QTest::addColumn<QString>("format");
        QTest::addColumn<QString>("text");
        const QDateTime t(QDate(2024, 3, 5), QTime(14, 7, 9, 45), Qt::UTC);
        const QDateTime midnight(QDate(2024, 3, 5), QTime(0, 0), Qt::UTC);
        QTest::newRow("date") << t << "dd/mm/yyyy"
                              << "05/03/2024";
        QTest::newRow("date and time") << t << "dd/mm/yyyy hh:nn"
                                       << "05/03/2024 14:07";
        QTest::newRow("minutes after hours") << t << "hh:mm:ss"
                                             << "14:07:09";
        QTest::newRow("short forms") << t << "d/m/yy h:n"
                                     << "5/3/24 14:7";
        QTest::newRow("milliseconds") << t << "hh:nn:ss.zzz"
                                      << "14:07:09.045";
        QTest::newRow("upper case") << t << "DD/MM/YYYY HH:NN"
                                    << "05/03/2024 14:07";
        QTest::newRow("month name") << t << "dd 'de' mmmm 'de' yyyy"
                                    << "05 de março de 2024";
        QTest::newRow("default midnight") << midnight << ""
                                          << "05/03/2024";
        QTest::newRow("default with time") << t << ""
                                           << "05/03/2024 14:07:09";
        QTest::newRow("invalid") << QDateTime() << "dd/mm/yyyy"
                                 << "";
    }

    void dates() {
        QFETCH(QDateTime, value);
        QFETCH(QString, format);
        QFETCH(QString, text);
        QCOMPARE(formatDateTime(value, format), text);
    }

    void fieldTexts() {
        TWorkingSet s;
        s.setFieldDefs(testdata::itemFields());
        s.createDataSet();
        s.append();
        s.fieldByName(u"QTPROGENPEOL")->setAsFloat(1234.5);
        s.fieldByName(u"QTRESERVESTOL")->setAsFloat(12.5);
        s.fieldByName(u"DTPROGENPEOL")->setAsDateTime(QDateTime(QDate(2024, 3, 5), QTime(0, 0)));
        s.post();
        // Display and edit formats of the quantity; the reservation shows its plain number
        // when edited.
        QCOMPARE(s.fieldByName(u"QTPROGENPEOL")->text(), QStringLiteral("1.234,500"));
        QCOMPARE(s.fieldByName(u"QTPROGENPEOL")->editText(), QStringLiteral("1.234,500"));
        QCOMPARE(s.fieldByName(u"QTRESERVESTOL")->text(), QStringLiteral("12,500"));
        QCOMPARE(s.fieldByName(u"QTRESERVESTOL")->editText(), QStringLiteral("12,5"));
        QCOMPARE(s.fieldByName(u"DTPROGENPEOL")->text(), QStringLiteral("05/03/2024"));
        QCOMPARE(s.textAt(0, s.fieldByName(u"QTPROGENPEOL")->index()), QStringLiteral("1.234,500"));
        QCOMPARE(s.fieldByName(u"CDLOTENVITOL")->text(), QString());
        s.fieldByName(u"DTPROGENPEOL")->setDisplayFormat(QStringLiteral("dd/mm/yyyy hh:nn"));
        QCOMPARE(s.fieldByName(u"DTPROGENPEOL")->text(), QStringLiteral("05/03/2024 00:00"));

        // A code stored without its mask's literals shows them; the edit text stays the stored
        // code.
        TField* code = s.fieldByName(u"CDARVPROD");
        code->setEditMask(QStringLiteral("99.99.999.9999;0;_"));
        s.edit();
        code->setAsString(QStringLiteral("01010010001"));
        s.post();
        QCOMPARE(code->text(), QStringLiteral("01.01.001.0001"));
        QCOMPARE(s.textAt(0, code->index()), QStringLiteral("01.01.001.0001"));
        QCOMPARE(code->editText(), QStringLiteral("01010010001"));
        QCOMPARE(s.textAt(0, code->index(), false), QStringLiteral("01010010001"));
        QCOMPARE(formatMasked(QStringLiteral("0101"), u"99.99.999.9999;0;_"), u"01.01"_s);
        QCOMPARE(formatMasked(QStringLiteral("01.01"), u"99.99.999.9999;1;_"), u"01.01"_s);
        QCOMPARE(formatMasked(QStringLiteral("ab1"), u">\\-LL-0;0; "), u"-ab-1"_s);

        // The edit text reads back to the same value.
        s.edit();
        TField* q = s.fieldByName(u"QTPROGENPEOL");
        q->setAsString(q->editText());
        QCOMPARE(q->asFloat(), 1234.5);
        s.cancel();
    }

    void readingNumbers_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("ok");
        QTest::addColumn<double>("value");
        QTest::newRow("brazilian") << "1.234,5" << true << 1234.5;
        QTest::newRow("comma") << "10,5" << true << 10.5;
        QTest::newRow("point") << "10.5" << true << 10.5;
        QTest::newRow("grouped thousands") << "1.234" << true << 1234.0;
        QTest::newRow("blanks") << "  7 " << true << 7.0;
        QTest::newRow("negative") << "-3,25" << true << -3.25;
        QTest::newRow("word") << "dez" << false << 0.0;
        QTest::newRow("empty") << "" << false << 0.0;
        QTest::newRow("two commas") << "1,2,3" << false << 0.0;
    }

    void readingNumbers() {
        QFETCH(QString, text);
        QFETCH(bool, ok);
        QFETCH(double, value);
        double v = 0;
        QCOMPARE(parseNumber(text, &v), ok);
        if (ok) {
            QCOMPARE(v, value);
        }
    }

    void readingDates_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QDateTime>("value");
        auto at = [](int y, int mo, int d, int h = 0, int mi = 0, int s = 0) {
            return QDateTime(QDate(y, mo, d), QTime(h, mi, s), Qt::UTC);
        };
        QTest::newRow("date") << "31/12/2024" << at(2024, 12, 31);
        QTest::newRow("short date") << "1/2/2024" << at(2024, 2, 1);
        QTest::newRow("minutes") << "31/12/2024 23:59" << at(2024, 12, 31, 23, 59);
        QTest::newRow("seconds") << "31/12/2024 23:59:58" << at(2024, 12, 31, 23, 59, 58);
        QTest::newRow("iso date") << "2024-12-31" << at(2024, 12, 31);
        QTest::newRow("iso") << "2024-12-31T08:00:00" << at(2024, 12, 31, 8);
        QTest::newRow("iso with blank") << "2024-12-31 08:00:00" << at(2024, 12, 31, 8);
        QTest::newRow("dst gap midnight") << "15/10/2017" << at(2017, 10, 15);
        QTest::newRow("bad day") << "32/01/2024" << QDateTime();
        QTest::newRow("bad time") << "31/12/2024 25:00" << QDateTime();
        QTest::newRow("words") << "amanhã" << QDateTime();
        QTest::newRow("empty") << "" << QDateTime();
    }

    void readingDates() {
        QFETCH(QString, text);
        QFETCH(QDateTime, value);
        const QDateTime got = parseDateTime(text);
        QCOMPARE(got.isValid(), value.isValid());
        if (value.isValid()) {
            QCOMPARE(got.date(), value.date());
            QCOMPARE(got.time(), value.time());
            QCOMPARE(got.timeSpec(), Qt::UTC);
        }
    }
};

QTEST_GUILESS_MAIN(FormatTest)
#include "tst_format.moc"
