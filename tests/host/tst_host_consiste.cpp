// Consiste routines, key lists, edit masks, ValidEx and Dados_Produto.

#include "HostTestUtil.h"

#include "sup/sql/Database.h"
#include "sup/testkit/ScriptedHost.h"
#include "sup/widgetkit/Consiste.h"
#include "sup/widgetkit/DBGrid.h"
#include "sup/widgetkit/EditMask.h"
#include "sup/widgetkit/KeyList.h"
#include "sup/widgetkit/Messages.h"
#include "sup/widgetkit/Product.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QLineEdit>
#include <QTest>
#include <QVBoxLayout>

using namespace sup::host;
using sup::testkit::ScriptedHost;

class TstHostConsiste : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void emptyString();
    void ajusta_data();
    void ajusta();
    void replicateAndRoundDec();
    void setChildEnabledReachesEveryLevel();
    void indiceCol();
    void keyListsRoundTrip();
    void keyListsMatchOnlyWholeKeysInQueries();
    void editMaskTranslation();
    void editMaskStoredText();
    void editMaskFit_data();
    void editMaskFit();
    void validExRules();
    void validExWithDataSourceAndLabel();
    void dadosProduto();

private:
    std::unique_ptr<sup::sql::Connection> db_;
};

void TstHostConsiste::initTestCase() {
    db_ = sup::sql::Connection::open(QStringLiteral("sqlite::memory:"));
    db_->execScript(QStringLiteral(
        "CREATE TABLE PRODUTO (CDPRODUTO TEXT PRIMARY KEY, CDARVPROD TEXT, NMPRODUTO TEXT, "
        "SGUNIDADE TEXT, CDPRODESTO TEXT);"
        "INSERT INTO PRODUTO VALUES ('1', '01', 'Mercearia', NULL, NULL);"
        "INSERT INTO PRODUTO VALUES ('2', '0101', 'Arroz', NULL, NULL);"
        "INSERT INTO PRODUTO VALUES ('1510', '01010010001', 'Arroz Agulhinha 5kg', 'PC', '1510');"
        "INSERT INTO PRODUTO VALUES ('1511', '01010010002', 'Arroz Integral 1kg', 'PC', '1511')"));
}

void TstHostConsiste::emptyString() {
    QVERIFY(EmptyString(u""));
    QVERIFY(EmptyString(u"   "));
    QVERIFY(EmptyString(u" \t\n "));
    QVERIFY(!EmptyString(u" a "));
    QVERIFY(!EmptyString(u"0"));
}

void TstHostConsiste::ajusta_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("places");
    QTest::addColumn<QString>("expected");
    QTest::newRow("short digits") << "12" << 5 << "00012";
    QTest::newRow("blanks around") << " 123 " << 10 << "0000000123";
    QTest::newRow("already adjusted") << "0000000123" << 10 << "0000000123";
    QTest::newRow("extra zeros") << "0000012" << 5 << "00012";
    QTest::newRow("too long a value") << "123456" << 5 << "123456";
    QTest::newRow("letters kept") << " ab1 " << 5 << "ab1";
    QTest::newRow("blank") << "   " << 5 << "";
    QTest::newRow("exact") << "99999" << 5 << "99999";
}

void TstHostConsiste::ajusta() {
    QFETCH(QString, text);
    QFETCH(int, places);
    QFETCH(QString, expected);
    QCOMPARE(Ajusta(text, places), expected);
}

void TstHostConsiste::replicateAndRoundDec() {
    QCOMPARE(Replicate(u"Z", 3), QStringLiteral("ZZZ"));
    QCOMPARE(Replicate(u"ab", 0), QString());
    QCOMPARE(Replicate(u"ab", -2), QString());
    // Halves away from zero on the decimal form, not on the binary double.
    QCOMPARE(RoundDec(2.675, 2), 2.68);
    QCOMPARE(RoundDec(-2.675, 2), -2.68);
    QCOMPARE(RoundDec(1.0005, 3), 1.001);
    QCOMPARE(RoundDec(12.3456, 3), 12.346);
    QCOMPARE(RoundDec(0.5, 0), 1.0);
    QCOMPARE(RoundDec(0.0004, 3), 0.0);
    QCOMPARE(RoundDec(0.04, 1), 0.0);
    QCOMPARE(RoundDec(123456789.123456, 3), 123456789.123);
    QCOMPARE(RoundDec(10.0, 3), 10.0);
    QCOMPARE(RoundDec(1e20, 3), 1e20);
}

void TstHostConsiste::setChildEnabledReachesEveryLevel() {
    QGroupBox group;
    auto* layout = new QVBoxLayout(&group);
    auto* check = new QCheckBox(&group);
    auto* inner = new QWidget(&group);
    auto* edit = new QLineEdit(inner);
    layout->addWidget(check);
    layout->addWidget(inner);
    SetChildEnabled(&group, false);
    QVERIFY(group.isEnabled()); // the container itself is not touched
    QVERIFY(!check->isEnabled());
    QVERIFY(!inner->isEnabled());
    QVERIFY(!edit->isEnabled());
    SetChildEnabled(&group, true);
    QVERIFY(check->isEnabled() && edit->isEnabled());
}

void TstHostConsiste::indiceCol() {
    QObject owner;
    auto* set = hosttest::brands(&owner);
    TDBGrid grid;
    grid.setDataSource(hosttest::sourceOf(set));
    TDBGrid::Column name, code;
    name.fieldName = QStringLiteral("NMMARCA");
    code.fieldName = QStringLiteral("CDMARCA");
    grid.setColumns({name, code});
    QCOMPARE(IndiceCol(&grid, u"CDMARCA"), 1);
    QCOMPARE(IndiceCol(&grid, u"nmmarca"), 0);
    QCOMPARE(IndiceCol(&grid, u"CDPRODUTO"), -1);
    QCOMPARE(IndiceCol(nullptr, u"CDMARCA"), -1);
}

void TstHostConsiste::keyListsRoundTrip() {
    QCOMPARE(BuildKeyList({QStringLiteral("0001")}), QStringLiteral("_0001_"));
    QCOMPARE(BuildKeyList({QStringLiteral("0001"), QStringLiteral("0107")}),
             QStringLiteral("_0001__0107_"));
    QCOMPARE(BuildKeyList({}), QString());
    // Keys of a sized field take its width, so one 12-character code takes 14 characters.
    const QString one = BuildKeyList({QStringLiteral("GERENTE1")}, 12);
    QCOMPARE(one, QStringLiteral("_GERENTE1    _"));
    QCOMPARE(one.size(), 14);
    QCOMPARE(BuildKeyList({QStringLiteral("GERENTE1"), QStringLiteral("GERENTE2  ")}, 12).size(),
             28);
    QCOMPARE(ParseKeyList(u"_0001__0107_"), (QStringList{"0001", "0107"}));
    QCOMPARE(ParseKeyList(one), QStringList{"GERENTE1"});
    bool ok = false;
    QCOMPARE(ParseKeyList(u"", &ok), QStringList());
    QVERIFY(ok);
    QCOMPARE(ParseKeyList(u"T", &ok), QStringList());
    QVERIFY(!ok);
    const QStringList keys{QStringLiteral("A1"), QStringLiteral("B 2"), QStringLiteral("C")};
    QCOMPARE(ParseKeyList(BuildKeyList(keys, 3)), keys);
}

void TstHostConsiste::keyListsMatchOnlyWholeKeysInQueries() {
    // The filter's branch query tests INSTR(list, code) > 0 on a list of region codes.
    auto conn = sup::sql::Connection::open(QStringLiteral("sqlite::memory:"));
    conn->execScript(QStringLiteral("CREATE TABLE REGIAO (CDREGIAO TEXT);"
                                    "INSERT INTO REGIAO VALUES ('001');"
                                    "INSERT INTO REGIAO VALUES ('010');"
                                    "INSERT INTO REGIAO VALUES ('100');"
                                    "INSERT INTO REGIAO VALUES ('011')"));
    const QString list = BuildKeyList({QStringLiteral("001"), QStringLiteral("100")}, 3);
    QSqlQuery q = conn->exec(QStringLiteral("SELECT CDREGIAO FROM REGIAO, PARAM(?) P "
                                            "WHERE INSTR(P.PARAM, CDREGIAO) > 0 ORDER BY 1"),
                             {list});
    QStringList found;
    while (q.next())
        found << q.value(0).toString();
    // "010" and "011" would be found inside "001100" without the delimiters.
    QCOMPARE(found, (QStringList{"001", "100"}));
}

void TstHostConsiste::editMaskTranslation() {
    QCOMPARE(TEditMask(QStringLiteral("9999999999;0; ")).qtInputMask(),
             QStringLiteral("0000000000; "));
    QCOMPARE(TEditMask(QStringLiteral(">aaaa;0; ")).qtInputMask(), QStringLiteral(">nnnn; "));
    QCOMPARE(TEditMask(QStringLiteral("99.99.999.9999;0;_")).qtInputMask(),
             QStringLiteral("00.00.000.0000;_"));
    QCOMPARE(TEditMask(QStringLiteral("!99/99/0000;1;_")).qtInputMask(),
             QStringLiteral("00/00/9999;_"));
    // Literals that are mask characters in Qt are escaped; Delphi-style escapes are literals.
    QCOMPARE(TEditMask(QStringLiteral("LL-\\0;1;_")).qtInputMask(), QStringLiteral("AA-\\0;_"));
    QCOMPARE(TEditMask(QStringLiteral("000\\X")).qtInputMask(), QStringLiteral("999\\X;_"));
    QCOMPARE(TEditMask(QStringLiteral(">LL<ll<>cc")).qtInputMask(), QStringLiteral(">AA<aa!xx;_"));
    const TEditMask tree(QStringLiteral("99.99.999.9999;0;_"));
    QVERIFY(!tree.saveLiterals());
    QCOMPARE(tree.blank(), QLatin1Char('_'));
    QCOMPARE(tree.inputPlaces(), 11);
    QCOMPARE(tree.pictureText(), QStringLiteral("99.99.999.9999"));
    QVERIFY(TEditMask(QStringLiteral("9.99;1")).saveLiterals());
    QVERIFY(TEditMask(QString()).isEmpty());
}

void TstHostConsiste::editMaskStoredText() {
    const TEditMask digits(QStringLiteral("9999999999;0; "));
    QCOMPARE(digits.storedText(u"123       "), QStringLiteral("123"));
    QCOMPARE(digits.storedText(u"          "), QString());
    const TEditMask tree(QStringLiteral("99.99.999.9999;0;_"));
    QCOMPARE(tree.storedText(u"01.01.001.0001"), QStringLiteral("01010010001"));
    QCOMPARE(tree.storedText(u"01.01.___.____"), QStringLiteral("0101"));
    const TEditMask saved(QStringLiteral("9.99.999;1;_"));
    QCOMPARE(saved.storedText(u"1.01.___"), QStringLiteral("1.01"));
    QCOMPARE(saved.storedText(u"_.__.___"), QString());
    QCOMPARE(saved.storedText(u"1.01.001"), QStringLiteral("1.01.001"));
}

void TstHostConsiste::editMaskFit_data() {
    QTest::addColumn<QString>("mask");
    QTest::addColumn<QString>("code");
    QTest::addColumn<bool>("fits");
    QTest::addColumn<bool>("complete");
    QTest::addColumn<QString>("stored");
    QTest::addColumn<QString>("display");
    const QString tree = QStringLiteral("99.99.999.9999;0;_");
    QTest::newRow("leaf typed bare") << tree << "01010010001" << true << true << "01010010001"
                                     << "01.01.001.0001";
    QTest::newRow("leaf with points") << tree << "01.01.001.0001" << true << true << "01010010001"
                                      << "01.01.001.0001";
    QTest::newRow("node of the tree") << tree << "0101" << true << false << "0101"
                                      << "01.01";
    QTest::newRow("node with point") << tree << "01.01" << true << false << "0101"
                                     << "01.01";
    QTest::newRow("half a group") << tree << "010" << false << false << ""
                                  << "";
    QTest::newRow("too long") << tree << "010100100011" << false << false << ""
                              << "";
    QTest::newRow("letter") << tree << "01A1" << false << false << ""
                            << "";
    QTest::newRow("blank") << tree << "   " << false << false << ""
                           << "";
    QTest::newRow("short group unsaved") << tree << "1.1" << false << false << ""
                                         << "";
    const QString saved = QStringLiteral("9.99.999;1;_");
    QTest::newRow("saved literals") << saved << "101001" << true << true << "1.01.001"
                                    << "1.01.001";
    QTest::newRow("short group saved") << saved << "1.1.001" << true << true << "1.1.001"
                                       << "1.1.001";
    const QString upper = QStringLiteral(">aaaa;0; ");
    QTest::newRow("upper case") << upper << "ab1" << true << true << "AB1"
                                << "AB1";
    const QString required = QStringLiteral("000-00;1;_");
    QTest::newRow("required missing") << required << "1234" << false << false << ""
                                      << "";
    QTest::newRow("required full") << required << "12345" << true << true << "123-45"
                                   << "123-45";
}

void TstHostConsiste::editMaskFit() {
    QFETCH(QString, mask);
    QFETCH(QString, code);
    QFETCH(bool, fits);
    QFETCH(bool, complete);
    QFETCH(QString, stored);
    QFETCH(QString, display);
    const TEditMask::Fit fit = TEditMask(mask).fit(code);
    QCOMPARE(fit.fits, fits);
    if (!fits)
        return;
    QCOMPARE(fit.complete, complete);
    QCOMPARE(fit.stored, stored);
    QCOMPARE(fit.display, display);
}

void TstHostConsiste::validExRules() {
    ScriptedHost host;
    host.setDatabase(db_->database());
    // A typed code is normalised to the stored form of the picture.
    QString code = QStringLiteral("01.01.001.0001");
    QVERIFY(ValidEx(nullptr, ptProduto, code, {}, {}, true));
    QCOMPARE(code, QStringLiteral("01010010001"));
    // A node of the tree is a registered product too.
    code = QStringLiteral("01.01");
    QVERIFY(ValidEx(nullptr, ptProduto, code, {}, {}, true));
    // A code that does not fit the picture is an error with or without option 1.
    code = QStringLiteral("010");
    try {
        ValidEx(nullptr, ptProduto, code, {1}, {}, true);
        QFAIL("ValidEx accepted a code that does not fit the picture");
    } catch (const EHostError& e) {
        QCOMPARE(
            e.message(),
            QStringLiteral("Código 010 inválido. Informe o produto no formato 99.99.999.9999."));
    }
    QCOMPARE(code, QStringLiteral("010")); // untouched on failure
    // Unregistered: an error without option 1 (the filter), none with it (the maintenance
    // screen and the automatic alteration report "Produto não cadastrado." themselves).
    code = QStringLiteral("01010010009");
    QVERIFY_THROWS_EXCEPTION(EHostError, ValidEx(nullptr, ptProduto, code, {}, {}, true));
    QVERIFY(ValidEx(nullptr, ptProduto, code, {voCadastroLivre}, {}, true));
    QVERIFY(ValidEx(nullptr, ptProduto, code, TValidExOptions::fromBits(2), {}, true));
    QVERIFY(TValidExOptions::fromBits(2).has(1));
    // Without raiseError a failure answers false.
    QVERIFY(!ValidEx(nullptr, ptProduto, code, {}, {}, false));
    // A blank code passes: saying that it is missing is the screen's affair.
    code = QStringLiteral("  ");
    QVERIFY(ValidEx(nullptr, ptProduto, code, {}, {}, true));
    // An unknown picture type.
    code = QStringLiteral("01");
    QVERIFY_THROWS_EXCEPTION(EHostError, ValidEx(nullptr, 7, code, {}, {}, true));
    // Options beyond 12 are not part of the set.
    QVERIFY(!TValidExOptions({13}).has(13));
}

void TstHostConsiste::validExWithDataSourceAndLabel() {
    ScriptedHost host;
    host.setDatabase(db_->database());
    QObject owner;
    auto* set =
        hosttest::makeSet(&owner, {sup::data::FieldDef::text(QStringLiteral("CDARVPROD"), 20)},
                          {{QStringLiteral("99990000001")}}, QStringLiteral("cdsPesqProduto"));
    auto* source = hosttest::sourceOf(set);
    // Found in the data source: registered without asking the database.
    QString code = QStringLiteral("99.99.000.0001");
    QVERIFY(ValidEx(source, ptProduto, code, {}, {}, true));
    // The label names the code in the message.
    code = QStringLiteral("77.77");
    try {
        ValidEx(source, ptProduto, code, {}, QStringLiteral("Produto inicial"), true);
        QFAIL("no error for an unregistered code");
    } catch (const EHostError& e) {
        QCOMPARE(e.message(), QStringLiteral("Produto inicial 77.77 não cadastrado."));
    }
}

void TstHostConsiste::dadosProduto() {
    ScriptedHost host;
    host.setDatabase(db_->database());
    const QVariantList p = Dados_Produto(QStringLiteral("01.01.001.0001"));
    QCOMPARE(p.size(), 4);
    QCOMPARE(p.at(0).toString(), QStringLiteral("01010010001"));
    QCOMPARE(p.at(1).toString(), QStringLiteral("Arroz Agulhinha 5kg"));
    QCOMPARE(p.at(2).toString(), QStringLiteral("1510"));
    QCOMPARE(p.at(3).toString(), QStringLiteral("PC"));
    // Unknown, ill-formed and empty codes give empty elements, never an error.
    for (const QString& c : {QStringLiteral("01010010009"), QStringLiteral("xyz"), QString()}) {
        const QVariantList none = Dados_Produto(c);
        QCOMPARE(none.size(), 4);
        for (const QVariant& v : none)
            QVERIFY(v.toString().isEmpty());
    }
    // A failing database does raise.
    host.setDatabase(QSqlDatabase());
    QVERIFY_THROWS_EXCEPTION(EHostError, Dados_Produto(QStringLiteral("01")));
}

QTEST_MAIN(TstHostConsiste)
#include "tst_host_consiste.moc"
