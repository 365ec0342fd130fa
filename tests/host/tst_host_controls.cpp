// Controls: masked edits, date edits, number edits, flat buttons tied to menu items, enter and
// exit handlers.

#include "sup/data/DayNumber.h"
#include "sup/testkit/ScriptedHost.h"
#include "sup/widgetkit/Controls.h"
#include "sup/widgetkit/Guard.h"
#include "sup/widgetkit/Messages.h"

#include <QAction>
#include <QTest>
#include <QVBoxLayout>

using namespace sup::host;
using sup::testkit::ScriptedHost;

class TstHostControls : public QObject {
    Q_OBJECT
private slots:
    void maskedEditDigits();
    void maskedEditUpperCase();
    void maskedEditTreeCode();
    void maskedEditChangeHandler();
    void dateEditValues();
    void dateEditInvalidDate();
    void dateEditKeys();
    void dateEditWeekDay();
    void numberEdit();
    void flatButtonMirrorsItsMenuItem();
    void enterAndExitHandlers();
    void twoFailingExitsDoNotPingPong();
    void invalidDateKeepsTheFocus();
    void clickInAnEmptyMaskThenType();
};

void TstHostControls::maskedEditDigits() {
    TMaskEdit edit;
    edit.setEditMask(QStringLiteral("9999999999;0; "));
    QTest::keyClicks(&edit, QStringLiteral("12a3"));
    QCOMPARE(edit.Text(), QStringLiteral("123")); // letters refused, blanks not stored
    edit.SetText(QStringLiteral("0000000123"));
    QCOMPARE(edit.Text(), QStringLiteral("0000000123"));
    edit.selectAll();
    QTest::keyClicks(&edit, QStringLiteral("12345678901"));
    QCOMPARE(edit.Text(), QStringLiteral("1234567890")); // ten places at most
    edit.Clear();
    QCOMPARE(edit.Text(), QString());
}

void TstHostControls::maskedEditUpperCase() {
    TMaskEdit edit;
    edit.setEditMask(QStringLiteral(">aaaa;0; "));
    QTest::keyClicks(&edit, QStringLiteral("ab1-c9"));
    QCOMPARE(edit.Text(), QStringLiteral("AB1C"));
}

void TstHostControls::maskedEditTreeCode() {
    TMaskEdit edit;
    edit.setEditMask(QStringLiteral("99.99.999.9999;0;_"));
    QTest::keyClicks(&edit, QStringLiteral("0101001"));
    QCOMPARE(edit.displayText(), QStringLiteral("01.01.001.____"));
    QCOMPARE(edit.Text(), QStringLiteral("0101001"));
    edit.SetText(QStringLiteral("01010010001"));
    QCOMPARE(edit.displayText(), QStringLiteral("01.01.001.0001"));
    edit.SetText(QStringLiteral("01.02"));
    QCOMPARE(edit.Text(), QStringLiteral("0102"));
    // A mask set later keeps what was typed.
    TMaskEdit late;
    late.setText(QStringLiteral("0101"));
    late.setEditMask(QStringLiteral("99.99.999.9999;0;_"));
    QCOMPARE(late.Text(), QStringLiteral("0101"));
    // Literals kept when the mask stores them.
    TMaskEdit saved;
    saved.setEditMask(QStringLiteral("9.99.999;1;_"));
    QTest::keyClicks(&saved, QStringLiteral("101"));
    QCOMPARE(saved.Text(), QStringLiteral("1.01"));
}

void TstHostControls::maskedEditChangeHandler() {
    TMaskEdit edit;
    edit.setEditMask(QStringLiteral("9999999999;0; "));
    int changes = 0;
    connect(&edit, &QLineEdit::textChanged, this, [&] { ++changes; });
    edit.SetText(QStringLiteral("12"));
    QCOMPARE(changes, 1);
    edit.SetText(QStringLiteral("12")); // the same text: no change handler
    QCOMPARE(changes, 1);
    edit.SetText(QStringLiteral("0000000012"));
    QCOMPARE(changes, 2);
}

void TstHostControls::dateEditValues() {
    TDateEditPlus edit;
    QVERIFY(edit.IsEmpty());
    QCOMPARE(edit.Text(), QString());
    QCOMPARE(edit.GetDate(), 0.0); // empty is day 0
    edit.setDate(QDate(2024, 3, 25));
    QCOMPARE(edit.Text(), QStringLiteral("25/03/2024"));
    QCOMPARE(edit.GetDate(), sup::data::toDayNumber(QDate(2024, 3, 25)));
    edit.SetDate(sup::data::toDayNumber(QDate(1999, 12, 31)));
    QCOMPARE(edit.Date(), QDate(1999, 12, 31));
    edit.SetDate(0);
    QVERIFY(edit.IsEmpty());
    QTest::keyClicks(&edit, QStringLiteral("01022025"));
    QCOMPARE(edit.Date(), QDate(2025, 2, 1));
    QVERIFY(!edit.isReadOnly());
    edit.Clear();
    QCOMPARE(edit.GetDate(), 0.0);
}

void TstHostControls::dateEditInvalidDate() {
    TDateEditPlus edit;
    QTest::keyClicks(&edit, QStringLiteral("31022024"));
    QVERIFY(!edit.isValidDate());
    try {
        edit.CheckValidDate();
        QFAIL("an invalid date passed");
    } catch (const EHostError& e) {
        QCOMPARE(e.message(), QStringLiteral("\"31/02/2024\" não é uma data válida."));
    }
    QVERIFY_THROWS_EXCEPTION(EHostError, edit.GetDate());
    // Half typed is not a date either.
    edit.Clear();
    QTest::keyClicks(&edit, QStringLiteral("1203"));
    QCOMPARE(edit.Text(), QStringLiteral("12/03/____"));
    QVERIFY_THROWS_EXCEPTION(EHostError, edit.CheckValidDate());
    // An empty edit passes.
    edit.Clear();
    edit.CheckValidDate();
}

void TstHostControls::dateEditKeys() {
    TDateEditPlus edit;
    edit.setDate(QDate(2024, 2, 28));
    QTest::keyClick(&edit, Qt::Key_Plus);
    QCOMPARE(edit.Date(), QDate(2024, 2, 29));
    QTest::keyClick(&edit, Qt::Key_Plus);
    QCOMPARE(edit.Date(), QDate(2024, 3, 1));
    QTest::keyClick(&edit, Qt::Key_Minus);
    QCOMPARE(edit.Date(), QDate(2024, 2, 29));
    edit.Clear();
    QTest::keyClick(&edit, Qt::Key_Plus);
    QCOMPARE(edit.Date(), QDate::currentDate());
}

void TstHostControls::dateEditWeekDay() {
    TDateEditPlus edit;
    QCOMPARE(edit.WeekDayNames().first(), QStringLiteral("Domingo"));
    QCOMPARE(edit.WeekDayNames().last(), QStringLiteral("Sábado"));
    QCOMPARE(edit.WeekDayNames().size(), 7);
    // The valid colour applies to valid dates only.
    edit.setValidColor(Qt::blue);
    edit.setDate(QDate(2024, 3, 24));
    QCOMPARE(edit.palette().color(QPalette::Text), QColor(Qt::blue));
    edit.Clear();
    QVERIFY(edit.palette().color(QPalette::Text) != QColor(Qt::blue));
    edit.setWeekDayNames({QStringLiteral("só seis")});
    QCOMPARE(edit.WeekDayNames().size(), 7); // a list that is not of seven names is ignored
}

void TstHostControls::numberEdit() {
    TNumberEdit edit;
    edit.setDecimals(3);
    edit.SetNumber(1234.5);
    QCOMPARE(edit.Text(), QStringLiteral("1234,500")); // no thousands separator
    QCOMPARE(edit.GetNumber(), 1234.5);
    edit.clear();
    QCOMPARE(edit.GetNumber(), 0.0);
    QTest::keyClicks(&edit, QStringLiteral("12.75"));
    QCOMPARE(edit.text(), QStringLiteral("12,75")); // a point is taken as the comma
    QCOMPARE(edit.GetNumber(), 12.75);
    edit.clear();
    QTest::keyClicks(&edit, QStringLiteral("1,23456"));
    QCOMPARE(edit.text(), QStringLiteral("1,234")); // decimals bounded
    edit.clear();
    QTest::keyClicks(&edit, QStringLiteral("1e3"));
    QCOMPARE(edit.text(), QStringLiteral("13"));
    edit.clear();
    QTest::keyClicks(&edit, QStringLiteral("-5"));
    QCOMPARE(edit.GetNumber(), -5.0);
    edit.setAllowNegative(false);
    edit.clear();
    QTest::keyClicks(&edit, QStringLiteral("-5"));
    QCOMPARE(edit.GetNumber(), 5.0);
    TNumberEdit whole;
    whole.setDecimals(0);
    QTest::keyClicks(&whole, QStringLiteral("7,5"));
    QCOMPARE(whole.text(), QStringLiteral("75"));
}

void TstHostControls::flatButtonMirrorsItsMenuItem() {
    QAction item(QStringLiteral("&Filtrar"));
    TButtonFlat button(nullptr, QStringLiteral("sbtFiltro"));
    button.setHint(QStringLiteral("Filtrar"));
    item.setEnabled(false);
    int runs = 0;
    connect(&item, &QAction::triggered, this, [&] { ++runs; });
    button.bindToMenuItem(&item);
    QVERIFY(!button.isEnabled());
    item.setEnabled(true);
    QVERIFY(button.isEnabled());
    button.click();
    QCOMPARE(runs, 1);
    item.setEnabled(false);
    QVERIFY(!button.isEnabled());
    QCOMPARE(button.Hint(), QStringLiteral("Filtrar"));
    // Mirroring only: the click does not run the item.
    TButtonFlat mirror;
    mirror.mirror(&item);
    item.setEnabled(true);
    QVERIFY(mirror.isEnabled());
    mirror.click();
    QCOMPARE(runs, 1);
}

void TstHostControls::enterAndExitHandlers() {
    ScriptedHost host;
    QWidget window;
    auto* layout = new QVBoxLayout(&window);
    auto* code = new TMaskEdit(&window, QStringLiteral("medLoteEnvioPedOL"));
    auto* other = new QLineEdit(&window);
    layout->addWidget(code);
    layout->addWidget(other);
    window.show();
    window.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&window));
    other->setFocus();
    QTRY_COMPARE(QApplication::focusWidget(), other);
    QStringList events;
    OnEnter(code, [&] { events << QStringLiteral("enter"); });
    OnExit(code, [&] {
        events << QStringLiteral("exit");
        code->setFocus();
        MensErro(QStringLiteral("Lote de envio não cadastrado."));
    });
    code->setFocus();
    QTRY_COMPARE(events, QStringList{"enter"});
    other->setFocus();
    // The failing exit keeps the focus in the edit; its message is shown once.
    QTRY_COMPARE(events, (QStringList{"enter", "exit"}));
    QCOMPARE(host.messages.size(), 1);
    QCOMPARE(QApplication::focusWidget(), code);
    int keys = 0;
    OnKeyDown(code, [&](int& key, Qt::KeyboardModifiers) {
        if (key == Qt::Key_F9) {
            ++keys;
            key = 0;
        }
    });
    QTest::keyClick(code, Qt::Key_F9);
    QCOMPARE(keys, 1);
}

// Two edits whose exit checks both fail (a code restored unchecked from saved options in each):
// leaving one for the other shows one message and leaves the focus in the first; the second's
// check does not run on the way.
void TstHostControls::twoFailingExitsDoNotPingPong() {
    ScriptedHost host;
    QWidget window;
    auto* layout = new QVBoxLayout(&window);
    auto* product = new TMaskEdit(&window, QStringLiteral("medProdutoInicial"));
    auto* grouping = new TMaskEdit(&window, QStringLiteral("medAgrupFilial"));
    layout->addWidget(product);
    layout->addWidget(grouping);
    window.show();
    window.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&window));
    QStringList checks;
    const auto failing = [&](TMaskEdit* edit, const char* text) {
        OnExit(edit, [&checks, edit, text] {
            checks << edit->objectName();
            QVERIFY2(checks.size() < 10, "the exit checks call each other");
            edit->setFocus();
            MensErro(QString::fromUtf8(text));
        });
    };
    failing(product, "Produto não cadastrado.");
    failing(grouping, "Agrupamento de filial não cadastrado.");
    product->setFocus();
    QTRY_COMPARE(QApplication::focusWidget(), product);
    grouping->setFocus();
    QTRY_COMPARE(checks, QStringList{QStringLiteral("medProdutoInicial")});
    QCOMPARE(host.messages.size(), 1);
    QCOMPARE(QApplication::focusWidget(), product);
    // By the keyboard the same: Tab from the product tries to leave it, and fails once more.
    QTest::keyClick(product, Qt::Key_Tab);
    QTRY_COMPARE(checks.size(), 2);
    QCOMPARE(QApplication::focusWidget(), product);
    QCOMPARE(host.messages.size(), 2);
}

// Leaving a date edit with an impossible date: one message, the focus back in the edit with the
// bad text selected, so that what is typed next replaces it.
void TstHostControls::invalidDateKeepsTheFocus() {
    ScriptedHost host;
    QWidget window;
    auto* layout = new QVBoxLayout(&window);
    auto* ini = new TDateEditPlus(&window);
    auto* fim = new TDateEditPlus(&window);
    layout->addWidget(ini);
    layout->addWidget(fim);
    OnExit(ini, [ini] { ini->CheckValidDateOnExit(); });
    OnExit(fim, [fim] { fim->CheckValidDateOnExit(); });
    window.show();
    window.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&window));
    ini->setFocus();
    QTRY_COMPARE(QApplication::focusWidget(), ini);
    QTest::keyClicks(ini, QStringLiteral("32132025"));
    QTest::keyClick(ini, Qt::Key_Tab);
    QTRY_COMPARE(host.messages.size(), 1);
    QCOMPARE(host.messages[0].text, QStringLiteral("\"32/13/2025\" não é uma data válida."));
    QCOMPARE(QApplication::focusWidget(), ini);
    QTRY_COMPARE(ini->selectedText(), ini->displayText());
    QTest::keyClicks(ini, QStringLiteral("10032026"));
    QCOMPARE(ini->Date(), QDate(2026, 3, 10));
    QTest::keyClick(ini, Qt::Key_Tab);
    QTRY_COMPARE(QApplication::focusWidget(), fim);
    QCOMPARE(host.messages.size(), 1);
}

// A click in the middle of an empty masked edit, then typing: the code goes in from its start.
void TstHostControls::clickInAnEmptyMaskThenType() {
    QWidget window;
    auto* layout = new QVBoxLayout(&window);
    auto* edit = new TMaskEdit(&window, QStringLiteral("medProdutoInicial"));
    layout->addWidget(edit);
    edit->setEditMask(QStringLiteral("99.99.999.9999;1;_"));
    edit->setMinimumWidth(200);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    QTest::mouseClick(edit, Qt::LeftButton, {}, QPoint(edit->width() * 2 / 3, edit->height() / 2));
    QCOMPARE(edit->cursorPosition(), 0);
    QTest::keyClicks(edit, QStringLiteral("0101001"));
    QCOMPARE(edit->Text(), QStringLiteral("01.01.001"));
    // Clicking past what is typed goes back to the first empty place; clicking inside stays.
    QTest::mouseClick(edit, Qt::LeftButton, {}, QPoint(edit->width() - 4, edit->height() / 2));
    QCOMPARE(edit->cursorPosition(), edit->firstEmptyPlace());
    QCOMPARE(edit->firstEmptyPlace(), 10);
    QTest::mouseClick(edit, Qt::LeftButton, {}, QPoint(3, edit->height() / 2));
    QVERIFY(edit->cursorPosition() < 3);
}

QTEST_MAIN(TstHostControls)
#include "tst_host_controls.moc"
