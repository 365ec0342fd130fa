// Pick lists (scripted and the real dialog driven by keys), the search button, the real message
// boxes, the password confirmation and the busy window.

#include "HostTestUtil.h"

#include "sup/host/DesktopHost.h"
#include "sup/host/Dialogs.h"
#include "sup/host/PickSearch.h"
#include "sup/host/SignOn.h"
#include "sup/sql/Database.h"
#include "sup/testkit/ScriptedHost.h"
#include "sup/widgetkit/Busy.h"
#include "sup/widgetkit/KeyList.h"
#include "sup/widgetkit/Messages.h"
#include "sup/widgetkit/Password.h"
#include "sup/widgetkit/Pickers.h"

#include <QApplication>
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTableView>
#include <QTest>
#include <QTimer>

using namespace sup::host;
using sup::data::FieldDef;
using sup::testkit::ScriptedHost;

namespace {

// Runs `act` on the modal dialog that opens next (the real dialogs run their own loop).
void whenModal(std::function<void(QWidget*)> act) {
    QTimer::singleShot(0, [act] {
        QWidget* w = QApplication::activeModalWidget();
        if (!w) {
            QTest::qFail("no modal dialog opened", __FILE__, __LINE__);
            return;
        }
        act(w);
    });
}

sup::data::TWorkingSet* managers(QObject* parent) {
    return hosttest::makeSet(
        parent,
        {FieldDef::text(QStringLiteral("CDOPERADOR"), 12, QStringLiteral("Código")).width(16),
         FieldDef::text(QStringLiteral("NMOPERADOR"), 30, QStringLiteral("Nome")).width(30)},
        {{QStringLiteral("GERENTE1"), QStringLiteral("Ana Souza")},
         {QStringLiteral("GERENTE2"), QStringLiteral("Bruno Lima")},
         {QStringLiteral("GERENTE3"), QStringLiteral("Célia Araújo")}},
        QStringLiteral("qryGerente"));
}

} // namespace

class TstHostPickers : public QObject {
    Q_OBJECT
private slots:
    void scriptedSinglePick();
    void emptyListShowsItsText();
    void scriptedMultiplePick();
    void searchButton();
    void searchButtonEmptyError();
    void realSinglePickByKeys();
    void realSearchIgnoresCaseAndAccents();
    void realMultiplePickByKeys();
    void searchNarrowsSortsAndKeepsMarks();
    void realPickThroughTheDesktopHost();
    void realMessageBoxes();
    void realMessageBoxShowsLongTexts();
    void realCaptionedBox();
    void passwordDialogRetries();
    void passwordThroughTheHosts();
    void busyWindowShowsAndHides();
    void registryFile();
};

void TstHostPickers::scriptedSinglePick() {
    ScriptedHost host;
    QObject owner;
    auto* set = hosttest::brands(&owner);
    auto* source = hosttest::sourceOf(set);
    host.answerPickWhere(QStringLiteral("CDMARCA"), QStringLiteral("00120"));
    QVERIFY(Pesquisar(source, QStringLiteral("Marca|Não há marca cadastrada.")));
    QCOMPARE(set->fieldByName(u"NMMARCA")->asString(), QStringLiteral("Boa Vista"));
    QCOMPARE(host.picks.size(), 1);
    QCOMPARE(host.picks[0].caption, QStringLiteral("Marca"));
    QCOMPARE(host.picks[0].emptyText, QStringLiteral("Não há marca cadastrada."));
    QVERIFY(!host.picks[0].multiple);
    QCOMPARE(host.picks[0].rows, 4);
    // Cancelled: false, the set stays where it was.
    host.cancelPick();
    QVERIFY(!Pesquisar_Plus(source, QStringLiteral("Marca")));
    QCOMPARE(set->fieldByName(u"CDMARCA")->asString(), QStringLiteral("00120"));
    // One row and closeIfSingle: chosen without asking.
    auto* one = hosttest::makeSet(&owner, {FieldDef::text(QStringLiteral("CDMARCA"), 5)},
                                  {{QStringLiteral("00009")}});
    QVERIFY(Pesquisar(hosttest::sourceOf(one), QStringLiteral("Marca"), true));
    QCOMPARE(host.picks.size(), 2);
    QCOMPARE(SplitPickTitle(QStringLiteral("Região|Não há região cadastrada")).emptyText,
             QStringLiteral("Não há região cadastrada"));
    QCOMPARE(SplitPickTitle(QStringLiteral("Produto")).caption, QStringLiteral("Produto"));
}

void TstHostPickers::emptyListShowsItsText() {
    ScriptedHost host;
    QObject owner;
    auto* empty = hosttest::makeSet(&owner, {FieldDef::text(QStringLiteral("CDMARCA"), 5)}, {});
    auto* source = hosttest::sourceOf(empty);
    QVERIFY(!Pesquisar(source, QStringLiteral("Marca|Não há marca cadastrada para o produto.")));
    QCOMPARE(host.picks.size(), 0); // no list at all
    QCOMPARE(host.lastMessage().text, QStringLiteral("Não há marca cadastrada para o produto."));
    QCOMPARE(host.lastMessage().type, mtInformation);
    QString keys = QStringLiteral("_00001_");
    QVERIFY(
        !PesquisaLista(source, QStringLiteral("CDMARCA"), QStringLiteral("Marca"), false, keys));
    QCOMPARE(keys, QStringLiteral("_00001_"));
    QCOMPARE(host.lastMessage().text, QStringLiteral("Não há dados a serem listados."));
}

void TstHostPickers::scriptedMultiplePick() {
    ScriptedHost host;
    QObject owner;
    auto* source = hosttest::sourceOf(managers(&owner));
    QString keys = QStringLiteral("_GERENTE2    _");
    host.answerPickKeys({QStringLiteral("GERENTE1"), QStringLiteral("GERENTE3")});
    QVERIFY(PesquisaLista(source, QStringLiteral("CDOPERADOR"),
                          QStringLiteral("Operadores|Não existe operador com permissão."), false,
                          keys));
    // Keys take the width of their 12-character field: two keys are 28 characters.
    QCOMPARE(keys, QStringLiteral("_GERENTE1    __GERENTE3    _"));
    QCOMPARE(keys.size(), 28);
    QVERIFY(host.picks[0].multiple);
    QCOMPARE(host.picks[0].keyField, QStringLiteral("CDOPERADOR"));
    QCOMPARE(host.picks[0].marked, QStringList{"GERENTE2"}); // what was chosen before
    // One key is 14 characters, the form the manager release checks.
    host.answerPickKeys({QStringLiteral("GERENTE2")});
    QVERIFY(PesquisaLista(source, QStringLiteral("CDOPERADOR"), QStringLiteral("Operadores"), false,
                          keys));
    QCOMPARE(keys.size(), 14);
    QCOMPARE(keys.mid(1, 12).trimmed(), QStringLiteral("GERENTE2"));
    // Cancelled: the list is left as it was.
    host.cancelPickList();
    QVERIFY(!PesquisaLista(source, QStringLiteral("CDOPERADOR"), QStringLiteral("Operadores"),
                           false, keys));
    QCOMPARE(keys.size(), 14);
    // Confirmed with nothing marked: an empty list.
    host.answerPickKeys({});
    QVERIFY(PesquisaLista(source, QStringLiteral("CDOPERADOR"), QStringLiteral("Operadores"), false,
                          keys));
    QCOMPARE(keys, QString());
    // An unknown key field is a programming error, reported as such.
    QVERIFY_THROWS_EXCEPTION(
        sup::data::DataSetError,
        PesquisaLista(source, QStringLiteral("CDFILIAL"), QString(), false, keys));
}

void TstHostPickers::searchButton() {
    ScriptedHost host;
    QObject owner;
    auto* set = hosttest::brands(&owner);
    set->close();
    auto* source = hosttest::sourceOf(set);
    QWidget window;
    auto* edit = new TMaskEdit(&window, QStringLiteral("medMarca"));
    auto* name = new QLineEdit(&window);
    auto* button = new TBtnPesquisa(&window, QStringLiteral("btpMarca"));
    button->setAssociate(edit);
    button->setTitle(QStringLiteral("Marca"));
    button->setDataSource(source);
    button->setEmptyError(QStringLiteral("Não há marca cadastrada."));
    QStringList steps;
    button->OnBeforePesq = [&](TBtnPesquisa&) {
        steps << QStringLiteral("antes");
        set->open();
    };
    button->OnAfterPesq = [&](TBtnPesquisa& b) {
        steps << QStringLiteral("depois");
        edit->SetText(b.DataSource()->dataSet()->fieldByName(u"CDMARCA")->asString());
        name->setText(b.DataSource()->dataSet()->fieldByName(u"NMMARCA")->asString());
    };
    host.answerPickWhere(QStringLiteral("CDMARCA"), QStringLiteral("00012"));
    button->click();
    QCOMPARE(steps, (QStringList{"antes", "depois"}));
    QCOMPARE(edit->Text(), QStringLiteral("00012"));
    QCOMPARE(name->text(), QStringLiteral("São Jorge"));
    QCOMPARE(host.picks.last().caption, QStringLiteral("Marca"));
    QCOMPARE(host.picks.last().emptyText, QStringLiteral("Não há marca cadastrada."));
    QCOMPARE(ScriptedHost::focusIn(&window), edit);
    // Cancelled: no after-pick.
    host.cancelPick();
    QVERIFY(!button->Execute());
    QCOMPARE(steps.size(), 3);
    // Without an after-pick handler the key field goes into the edit; F9 in the edit picks too.
    button->OnAfterPesq = nullptr;
    button->setKeyField(QStringLiteral("CDMARCA"));
    host.answerPickWhere(QStringLiteral("CDMARCA"), QStringLiteral("01200"));
    QTest::keyClick(edit, Qt::Key_F9);
    QCOMPARE(edit->Text(), QStringLiteral("01200"));
    QCOMPARE(host.picks.size(), 3);
}

void TstHostPickers::searchButtonEmptyError() {
    ScriptedHost host;
    QObject owner;
    auto* empty =
        hosttest::makeSet(&owner, {FieldDef::text(QStringLiteral("CDLOTENVITOL"), 10)}, {});
    TBtnPesquisa button;
    button.setDataSource(hosttest::sourceOf(empty));
    button.setTitle(QStringLiteral("Lote de Envio"));
    button.setEmptyError(QStringLiteral("Não há lote de envio cadastrado."));
    bool after = false;
    button.OnAfterPesq = [&](TBtnPesquisa&) {
        after = true;
    };
    button.click(); // through the guard: the error is shown and the pick abandoned
    QVERIFY(!after);
    QCOMPARE(host.messages.size(), 1);
    QCOMPARE(host.lastMessage().kind, sup::testkit::LoggedMessage::Error);
    QCOMPARE(host.lastMessage().text, QStringLiteral("Não há lote de envio cadastrado."));
    QVERIFY(host.picks.isEmpty());
    // A failing before-pick (a server error) stops it too.
    button.OnBeforePesq = [](TBtnPesquisa&) {
        throw EHostError(QStringLiteral("Sem conexão com o servidor."));
    };
    button.click();
    QCOMPARE(host.lastMessage().text, QStringLiteral("Sem conexão com o servidor."));
}

void TstHostPickers::realSinglePickByKeys() {
    QObject owner;
    auto* set = hosttest::brands(&owner);
    PickRequest request;
    request.source = hosttest::sourceOf(set);
    request.caption = QStringLiteral("Marca");
    PickerDialog dialog(request);
    dialog.show();
    QCOMPARE(dialog.windowTitle(), QStringLiteral("Marca"));
    QCOMPARE(dialog.visibleRows(), 4);
    QCOMPARE(dialog.list()->model()->headerData(0, Qt::Horizontal).toString(),
             QStringLiteral("Código"));
    // The search text starts the ordered column (the code): "00" leaves 00001, 00012, 00120.
    QTest::keyClicks(dialog.searchBox(), QStringLiteral("00"));
    QCOMPARE(dialog.visibleRows(), 3);
    QTest::keyClick(dialog.searchBox(), Qt::Key_Down); // from the search box into the list
    QTest::keyClick(dialog.searchBox(), Qt::Key_Down);
    QCOMPARE(dialog.list()->currentIndex().row(), 2);
    QTest::keyClick(dialog.searchBox(), Qt::Key_Return);
    QCOMPARE(dialog.result(), int(QDialog::Accepted));
    const PickResult r = dialog.pickResult();
    QVERIFY(r.chosen);
    QCOMPARE(set->valueAt(r.position, 0).toString(), QStringLiteral("00120"));

    PickerDialog cancelled(request);
    cancelled.show();
    QTest::keyClick(cancelled.searchBox(), Qt::Key_Escape);
    QCOMPARE(cancelled.result(), int(QDialog::Rejected));
    QVERIFY(!cancelled.pickResult().chosen);

    // A double click picks; typing in the list goes to the search box.
    PickerDialog clicked(request);
    clicked.show();
    QVERIFY(QTest::qWaitForWindowExposed(&clicked));
    QTest::keyClicks(clicked.list(), QStringLiteral("01"));
    QCOMPARE(clicked.searchBox()->text(), QStringLiteral("01"));
    QCOMPARE(clicked.visibleRows(), 1);
    QTableView* view = clicked.list();
    const QRect cell = view->visualRect(view->model()->index(0, 1));
    QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, cell.center());
    QTest::mouseDClick(view->viewport(), Qt::LeftButton, {}, cell.center());
    QCOMPARE(clicked.result(), int(QDialog::Accepted));
    QCOMPARE(set->valueAt(clicked.pickResult().position, 0).toString(), QStringLiteral("01200"));
}

void TstHostPickers::realSearchIgnoresCaseAndAccents() {
    QObject owner;
    auto* set = hosttest::brands(&owner);
    PickRequest request;
    request.source = hosttest::sourceOf(set);
    request.anyColumn = true; // Pesquisar_Plus
    PickerDialog dialog(request);
    QTest::keyClicks(dialog.searchBox(), QStringLiteral("sao"));
    QCOMPARE(dialog.visibleRows(), 1);
    dialog.searchBox()->clear();
    QTest::keyClicks(dialog.searchBox(), QStringLiteral("SUL"));
    QCOMPARE(dialog.visibleRows(), 1);
    dialog.searchBox()->clear();
    QTest::keyClicks(dialog.searchBox(), QStringLiteral("zzz"));
    QCOMPARE(dialog.visibleRows(), 0);
    QTest::keyClick(dialog.searchBox(), Qt::Key_Return); // nothing to pick: stays open
    QCOMPARE(dialog.result(), 0);
    QVERIFY(!dialog.pickResult().chosen);
    // Without search-as-you-type the list is filtered when Enter is pressed.
    request.searchAsYouType = false;
    PickerDialog onEnter(request);
    QTest::keyClicks(onEnter.searchBox(), QStringLiteral("boa"));
    QCOMPARE(onEnter.visibleRows(), 4);
    QTest::keyClick(onEnter.searchBox(), Qt::Key_Return);
    QCOMPARE(onEnter.visibleRows(), 1);
    QTest::keyClick(onEnter.searchBox(), Qt::Key_Return);
    QCOMPARE(set->valueAt(onEnter.pickResult().position, 1).toString(),
             QStringLiteral("Boa Vista"));
}

void TstHostPickers::realMultiplePickByKeys() {
    QObject owner;
    auto* set = managers(&owner);
    PickRequest request;
    request.source = hosttest::sourceOf(set);
    request.multiple = true;
    request.keyField = QStringLiteral("CDOPERADOR");
    request.marked = {QStringLiteral("GERENTE3")};
    PickerDialog dialog(request);
    dialog.show();
    QCOMPARE(dialog.markedCount(), 1);
    // Space in the list marks the current row.
    dialog.list()->setFocus();
    QTest::keyClick(dialog.list(), Qt::Key_Space);
    QCOMPARE(dialog.markedCount(), 2);
    QTest::keyClick(dialog.list(), Qt::Key_Space);
    QCOMPARE(dialog.markedCount(), 1);
    QTest::keyClick(dialog.list(), Qt::Key_Space);
    // Mark all marks every row shown.
    QTest::keyClicks(dialog.searchBox(), QStringLiteral("Bru"));
    dialog.searchBox()->clear();
    dialog.markAllBox()->setChecked(true);
    QCOMPARE(dialog.markedCount(), 3);
    dialog.markAllBox()->setChecked(false);
    QCOMPARE(dialog.markedCount(), 0);
    dialog.searchBox()->setText(QStringLiteral("Célia"));
    QCOMPARE(dialog.visibleRows(), 0); // the search starts the code column
    dialog.searchBox()->clear();
    dialog.list()->setCurrentIndex(dialog.list()->model()->index(1, 1));
    QTest::keyClick(dialog.list(), Qt::Key_Space);
    QTest::keyClick(dialog.searchBox(), Qt::Key_Return);
    const PickResult r = dialog.pickResult();
    QVERIFY(r.chosen);
    QCOMPARE(r.keys, QStringList{"GERENTE2"});

    // Confirmed with nothing marked, the highlighted row is taken; with marks, only they.
    request.marked.clear();
    PickerDialog none(request);
    none.show();
    none.list()->setCurrentIndex(none.list()->model()->index(2, 1));
    QTest::keyClick(none.searchBox(), Qt::Key_Return);
    QCOMPARE(none.pickResult().keys, QStringList{"GERENTE3"});
    request.marked = {QStringLiteral("GERENTE1")};
    PickerDialog some(request);
    some.show();
    some.list()->setCurrentIndex(some.list()->model()->index(2, 1));
    QTest::keyClick(some.searchBox(), Qt::Key_Return);
    QCOMPARE(some.pickResult().keys, QStringList{"GERENTE1"});
}

// The list's search engine: a growing text gives the rows a fresh search gives (narrowed or
// scanned), numbers and dates sort by value, masked codes are found as shown; and in the real
// list, marks survive searches that hide their rows.
void TstHostPickers::searchNarrowsSortsAndKeepsMarks() {
    using sup::data::TWorkingSet;
    TWorkingSet set;
    FieldDef code = FieldDef::text(QStringLiteral("CDARVPROD"), 20, QStringLiteral("Código"));
    code.editMask = QStringLiteral("99.99.999.9999;0;_");
    set.setFieldDefs({code, FieldDef::text(QStringLiteral("NMPRODUTO"), 40),
                      FieldDef::real(QStringLiteral("QTDE")),
                      FieldDef::dateTime(QStringLiteral("DTENTREGA"))});
    set.createDataSet();
    for (int i = 0; i < 1000; ++i) {
        set.append();
        set.field(0)->setAsString(QStringLiteral("0101%1").arg(i, 7, 10, QLatin1Char('0')));
        set.field(1)->setAsString(i % 250 == 7
                                      ? QStringLiteral("Pão de São João %1").arg(i)
                                      : QStringLiteral("Item %1").arg(i, 4, 10, QLatin1Char('0')));
        if (i != 500) // one quantity left empty
            set.field(2)->setAsFloat(double((i * 37) % 1000));
        set.field(3)->setAsDateTime(QDateTime(QDate(2026, 1, 1).addDays((i * 13) % 365), {}));
        set.post();
    }
    const std::vector<int> fields{0, 1, 2, 3};
    auto fresh = [&](const QString& text, bool any, int column) {
        PickSearch s(set, fields);
        s.search(text, any, column);
        return s.shown();
    };
    PickSearch typed(set, fields);
    typed.prepare();
    // Each text extends the last: from thousands of rows down to one (narrowed), then none.
    for (const QString& text :
         {QStringLiteral("i"), QStringLiteral("item 09"), QStringLiteral("item 099"),
          QStringLiteral("item 0999"), QStringLiteral("item 0999x")}) {
        typed.search(text, true, 0);
        QCOMPARE(typed.shown(), fresh(text, true, 0));
    }
    QCOMPARE(typed.rowCount(), 0);
    typed.search(QStringLiteral("SAO JOAO"), true, 0); // accents and case folded
    QCOMPARE(typed.rowCount(), 4);
    typed.search(QStringLiteral("pão de são joão 757"), true, 0);
    QCOMPARE(typed.rowCount(), 1);
    QCOMPARE(typed.positionAt(0), 757);
    // The code is searched as shown, with its mask's points, from the start of the column.
    typed.search(QStringLiteral("01.01.000.0012"), false, 0);
    QCOMPARE(typed.shown(), (std::vector<int>{12}));
    typed.search(QStringLiteral("000.0012"), false, 0);
    QCOMPARE(typed.rowCount(), 0);

    // Numbers by value (the empty one first), descending too; dates by value; the search kept.
    typed.search({}, true, 0);
    typed.sortBy(2);
    QCOMPARE(typed.positionAt(0), 500);
    QCOMPARE(typed.positionAt(1), 0); // quantity 0
    for (int r = 2; r < typed.rowCount(); ++r)
        QVERIFY(set.valueAt(typed.positionAt(r - 1), 2).toDouble() <=
                set.valueAt(typed.positionAt(r), 2).toDouble());
    typed.sortBy(2, true);
    QCOMPARE(set.valueAt(typed.positionAt(0), 2).toDouble(), 999.0);
    QCOMPARE(typed.positionAt(typed.rowCount() - 1), 500);
    typed.search(QStringLiteral("são"), true, 0);
    typed.sortBy(3);
    QCOMPARE(typed.rowCount(), 4);
    for (int r = 1; r < typed.rowCount(); ++r)
        QVERIFY(set.valueAt(typed.positionAt(r - 1), 3).toDateTime() <=
                set.valueAt(typed.positionAt(r), 3).toDateTime());

    // The real list: a mark on a row the search hides is kept, "Marcar todos" marks only the rows
    // shown, and the list shows the code with its mask.
    PickRequest request;
    request.source = hosttest::sourceOf(&set);
    request.multiple = true;
    request.anyColumn = true;
    request.keyField = QStringLiteral("CDARVPROD");
    PickerDialog dialog(request);
    dialog.show();
    QCOMPARE(dialog.list()->model()->index(12, 1).data().toString(),
             QStringLiteral("01.01.000.0012"));
    dialog.list()->setCurrentIndex(dialog.list()->model()->index(3, 1));
    QTest::keyClick(dialog.list(), Qt::Key_Space);
    QTest::keyClicks(dialog.searchBox(), QStringLiteral("joao"));
    QCOMPARE(dialog.visibleRows(), 4);
    dialog.markAllBox()->setChecked(true);
    QCOMPARE(dialog.markedCount(), 5);
    dialog.searchBox()->clear();
    QCOMPARE(dialog.visibleRows(), 1000);
    QTest::keyClick(dialog.searchBox(), Qt::Key_Return);
    QCOMPARE(dialog.pickResult().keys, (QStringList{"01010000003", "01010000007", "01010000257",
                                                    "01010000507", "01010000757"}));
}

void TstHostPickers::realPickThroughTheDesktopHost() {
    QWidget main;
    DesktopHost desktop(&main, {}, {});
    HostScope scope(&desktop);
    QObject owner;
    auto* set = managers(&owner);
    auto* source = hosttest::sourceOf(set);
    whenModal([](QWidget* w) {
        auto* dialog = qobject_cast<PickerDialog*>(w);
        QVERIFY(dialog);
        QCOMPARE(dialog->windowTitle(), QStringLiteral("Operadores"));
        QTest::keyClick(dialog->list(), Qt::Key_Down);
        QTest::keyClick(dialog->list(), Qt::Key_Space);
        QTest::keyClick(dialog->searchBox(), Qt::Key_Enter);
    });
    QString keys;
    QVERIFY(PesquisaLista(source, QStringLiteral("CDOPERADOR"),
                          QStringLiteral("Operadores|Não existe operador."), false, keys));
    QCOMPARE(keys, QStringLiteral("_GERENTE2    _"));
    whenModal([](QWidget* w) {
        QTest::keyClicks(static_cast<PickerDialog*>(w)->searchBox(), QStringLiteral("GERENTE3"));
        QTest::keyClick(static_cast<PickerDialog*>(w)->searchBox(), Qt::Key_Return);
    });
    QVERIFY(Pesquisar(source, QStringLiteral("Gerente")));
    QCOMPARE(set->fieldByName(u"NMOPERADOR")->asString(), QStringLiteral("Célia Araújo"));
}

void TstHostPickers::realMessageBoxes() {
    auto press = [](int key) {
        whenModal([key](QWidget* w) { QTest::keyClick(w, Qt::Key(key)); });
    };
    press(Qt::Key_Return); // Enter: the first button
    QCOMPARE(RunMessageBox(nullptr, QStringLiteral("Confirma operação?"), mtConfirmation, mbYesNo),
             int(mrYes));
    press(Qt::Key_Escape); // Esc: Não
    QCOMPARE(RunMessageBox(nullptr, QStringLiteral("Confirma operação?"), mtConfirmation, mbYesNo),
             int(mrNo));
    press(Qt::Key_Escape); // Esc: Cancelar before Não
    QCOMPARE(RunMessageBox(nullptr, QStringLiteral("Salvar?"), mtConfirmation, mbYesNoCancel),
             int(mrCancel));
    press(Qt::Key_Escape);
    QCOMPARE(RunMessageBox(nullptr, QStringLiteral("Operação realizada com sucesso."),
                           mtInformation, mbOK),
             int(mrOk));
    whenModal([](QWidget* w) {
        auto* box = qobject_cast<QMessageBox*>(w);
        QVERIFY(box);
        QCOMPARE(box->windowTitle(), QStringLiteral("Atenção"));
        QStringList captions;
        for (QAbstractButton* b : box->buttons())
            captions << b->text();
        captions.sort();
        QCOMPARE(captions, (QStringList{"&Não", "&Sim"}));
        for (QAbstractButton* b : box->buttons())
            if (b->text() == QStringLiteral("&Não"))
                b->click();
    });
    QCOMPARE(RunMessageBox(nullptr, QStringLiteral("Houve seleção de produtos distintos."),
                           mtWarning, mbYesNo),
             int(mrNo));
    QCOMPARE(MessageTitle(mtError), QStringLiteral("Erro"));
    QCOMPARE(MessageTitle(mtInformation), QStringLiteral("Informação"));
    QCOMPARE(MessageTitle(mtConfirmation), QStringLiteral("Confirmação"));
}

// A long text is shown whole: wrapped at a readable width, the box as tall as the text needs.
void TstHostPickers::realMessageBoxShowsLongTexts() {
    const QString text = QStringLiteral(
        "Data inicial do Pedido deve ser menor ou igual a data final do Pedido. Código de produto "
        "com 10 dígitos não cadastrado; verifique a máscara do produto e informe o produto "
        "novamente "
        "antes de confirmar o filtro.");
    for (const QString& t : {text, QStringLiteral("Confirma?")}) {
        whenModal([t](QWidget* w) {
            auto* box = qobject_cast<QMessageBox*>(w);
            QVERIFY(box);
            auto* label = box->findChild<QLabel*>(QStringLiteral("qt_msgbox_label"));
            QVERIFY(label);
            QCOMPARE(label->text(), t);
            QVERIFY(label->wordWrap());
            QVERIFY2(label->height() >= label->heightForWidth(label->width()),
                     qPrintable(QStringLiteral("%1 < %2")
                                    .arg(label->height())
                                    .arg(label->heightForWidth(label->width()))));
            QVERIFY(label->width() >= 300);
            QVERIFY(box->width() <= 800);
            QVERIFY(box->rect().contains(label->mapTo(box, label->rect().bottomRight())));
            QTest::keyClick(w, Qt::Key_Escape);
        });
        QCOMPARE(RunMessageBox(nullptr, t, mtError, mbOK), int(mrOk));
    }
}

void TstHostPickers::realCaptionedBox() {
    const QStringList captions{QStringLiteral("Sim"), QStringLiteral("Não")};
    whenModal([](QWidget* w) { QTest::keyClick(w, Qt::Key_Return); });
    // Default button 2: Enter answers the second.
    QCOMPARE(RunCaptionedBox(nullptr, QStringLiteral("Deseja continuar?"), mtError, captions, 2),
             11);
    whenModal([](QWidget* w) { QTest::keyClick(w, Qt::Key_Return); });
    QCOMPARE(
        RunCaptionedBox(nullptr, QStringLiteral("Deseja continuar?"), mtConfirmation, captions, 1),
        10);
    whenModal([](QWidget* w) { QTest::keyClick(w, Qt::Key_Escape); });
    QCOMPARE(
        RunCaptionedBox(nullptr, QStringLiteral("Deseja continuar?"), mtConfirmation, captions, 1),
        11);
}

void TstHostPickers::passwordDialogRetries() {
    const QString hash = HashPassword(QStringLiteral("segredo"), true);
    QVERIFY(VerifyPassword(hash, QStringLiteral("segredo")));
    QVERIFY(!VerifyPassword(hash, QStringLiteral("Segredo")));
    QVERIFY(!VerifyPassword(QString(), QStringLiteral("segredo")));
    QVERIFY(!VerifyPassword(QStringLiteral("lixo"), QStringLiteral("segredo")));
    auto verify = [hash](const QString& pw) {
        return VerifyPassword(hash, pw);
    };

    PasswordDialog ok(QStringLiteral("GERENTE1 - Ana Souza"), QStringLiteral("Confere senha"), {},
                      verify);
    ok.show();
    QCOMPARE(ok.windowTitle(), QStringLiteral("Confere senha"));
    QTest::keyClicks(ok.passwordBox(), QStringLiteral("errada"));
    QTest::keyClick(ok.passwordBox(), Qt::Key_Return);
    QVERIFY(ok.isVisible());
    QVERIFY(ok.errorLabel()->isVisibleTo(&ok));
    QCOMPARE(ok.errorLabel()->text(), QStringLiteral("Senha não confere. Restam 2 tentativas."));
    QVERIFY(ok.passwordBox()->text().isEmpty());
    QTest::keyClicks(ok.passwordBox(), QStringLiteral("segredo"));
    QTest::keyClick(ok.passwordBox(), Qt::Key_Return);
    QVERIFY(ok.confirmed());
    QCOMPARE(ok.result(), int(QDialog::Accepted));

    PasswordDialog wrong(QStringLiteral("GERENTE1"), {}, {}, verify);
    wrong.show();
    for (int i = 0; i < PasswordDialog::kMaxAttempts; ++i) {
        QTest::keyClicks(wrong.passwordBox(), QStringLiteral("x"));
        QTest::keyClick(wrong.passwordBox(), Qt::Key_Return);
    }
    QVERIFY(!wrong.confirmed());
    QVERIFY(!wrong.isVisible());

    PasswordDialog cancelled(QStringLiteral("GERENTE1"), {}, {}, verify);
    cancelled.show();
    QTest::keyClicks(cancelled.passwordBox(), QStringLiteral("segredo"));
    QTest::keyClick(cancelled.passwordBox(), Qt::Key_Escape);
    QVERIFY(!cancelled.confirmed());
}

void TstHostPickers::passwordThroughTheHosts() {
    auto conn = sup::sql::Connection::open(QStringLiteral("sqlite::memory:"));
    conn->execScript(QStringLiteral("CREATE TABLE OPERADOR (CDOPERADOR TEXT, NMOPERADOR TEXT, "
                                    "DSSENHAHASH TEXT, CDFILPROC TEXT, IDOPERFILI TEXT);"
                                    "CREATE TABLE PARAMGERAL (DSPICTPROD TEXT);"
                                    "INSERT INTO PARAMGERAL VALUES ('99.99.999.9999;0;_')"));
    conn->exec(QStringLiteral("INSERT INTO OPERADOR VALUES ('GERENTE1', 'Ana Souza', ?, '0001', "
                              "'S')"),
               {HashPassword(QStringLiteral("segredo"), true)});
    conn->exec(
        QStringLiteral("INSERT INTO OPERADOR VALUES ('SEMSENHA', 'Sem', NULL, '0002', 'N')"));

    // Sign-on values.
    const TVantrel v = LoadSignOnValues(conn->database(), QStringLiteral("gerente1"),
                                        QStringLiteral("http://127.0.0.1"), 8080);
    QCOMPARE(v.Operador, QStringLiteral("GERENTE1"));
    QCOMPARE(v.FiliProc, QStringLiteral("0001"));
    QVERIFY(v.ModuFili);
    QCOMPARE(v.DBPict(0), QStringLiteral("99.99.999.9999;0;_"));
    QCOMPARE(v.DBPict(5), QString());
    QCOMPARE(v.WebPort, 8080);
    QVERIFY_THROWS_EXCEPTION(EHostError, LoadSignOnValues(conn->database(), QStringLiteral("X")));

    {
        // The scripted host checks typed passwords against the stored hash.
        ScriptedHost host;
        host.setDatabase(conn->database());
        host.answerPassword(QStringLiteral("segredo"));
        // The operator comes padded from a key list; trailing blanks do not count.
        QVERIFY(CriaConfSenha(QStringLiteral("GERENTE1    "), QStringLiteral("Confere senha"), {}));
        host.answerPassword(QStringLiteral("errada"));
        QVERIFY(!CriaConfSenha(QStringLiteral("GERENTE1"), QStringLiteral("Confere senha"), {}));
    }
    {
        // The desktop host: the dialog, then the hash.
        QWidget main;
        DesktopHost desktop(&main, conn->database(), v);
        HostScope scope(&desktop);
        whenModal([](QWidget* w) {
            auto* d = qobject_cast<PasswordDialog*>(w);
            QVERIFY(d);
            QTest::keyClicks(d->passwordBox(), QStringLiteral("segredo"));
            QTest::keyClick(d->passwordBox(), Qt::Key_Return);
        });
        QVERIFY(CriaConfSenha(QStringLiteral("GERENTE1"), QStringLiteral("Confere senha"),
                              QStringLiteral("Senha do gerente:")));
        // An operator without a stored password: an error, false, no dialog.
        whenModal([](QWidget* w) { QTest::keyClick(w, Qt::Key_Return); });
        QVERIFY(!CriaConfSenha(QStringLiteral("SEMSENHA"), {}, {}));
        whenModal([](QWidget* w) {
            auto* box = qobject_cast<QMessageBox*>(w);
            QVERIFY(box);
            QCOMPARE(box->text(), QStringLiteral("Operador NINGUEM não cadastrado."));
            QTest::keyClick(w, Qt::Key_Return);
        });
        QVERIFY(!CriaConfSenha(QStringLiteral("NINGUEM"), {}, {}));
    }
}

void TstHostPickers::busyWindowShowsAndHides() {
    QWidget main;
    main.resize(600, 400);
    main.show();
    DesktopHost desktop(&main, {}, {});
    HostScope scope(&desktop);
    ActiveShowAvi(&main, aviRecebendo, QStringLiteral("Recebendo pedidos do servidor... "));
    auto* busy = main.findChild<BusyWindow*>();
    QVERIFY(busy);
    QVERIFY(busy->isVisible());
    QCOMPARE(busy->text(), QStringLiteral("Recebendo pedidos do servidor... "));
    QCOMPARE(busy->kind(), int(aviRecebendo));
    QVERIFY(busy->testAttribute(Qt::WA_ShowWithoutActivating)); // it takes no activation
    ActiveShowAvi(&main, aviGravando);
    QCOMPARE(busy->text(), QStringLiteral("Gravando dados no servidor..."));
    DeactiveShowAvi();
    QCOMPARE(busy->kind(), int(aviRecebendo));
    DeactiveShowAvi();
    QVERIFY(!busy->isVisible());
}

void TstHostPickers::registryFile() {
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("registry.ini"));
    QFile f(file);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write("; HKEY_LOCAL_MACHINE\n"
            "[SOFTWARE\\QUORVEL\\Sistemas Integrados Quorvel\\WebSrv]\n"
            "StringConex=Provider=SQLOLEDB;Data Source=srv\n"
            "Vazio=\n"
            "[SOFTWARE\\Outro]\n"
            "StringConex=errado\n");
    f.close();
    const QString key = QStringLiteral("SOFTWARE\\QUORVEL\\Sistemas Integrados Quorvel\\WebSrv");
    RegistryValue r = ReadRegistryFile(file, key, QStringLiteral("stringconex"));
    QVERIFY(r.keyOpened);
    QCOMPARE(r.value.value_or(QString()), QStringLiteral("Provider=SQLOLEDB;Data Source=srv"));
    r = ReadRegistryFile(file, key, QStringLiteral("Vazio"));
    QVERIFY(r.value.has_value() && r.value->isEmpty());
    r = ReadRegistryFile(file, QStringLiteral("SOFTWARE\\Nada"), QStringLiteral("StringConex"));
    QVERIFY(r.keyOpened);
    QVERIFY(!r.value.has_value());
    r = ReadRegistryFile(dir.filePath(QStringLiteral("nao-existe.ini")), key,
                         QStringLiteral("StringConex"));
    QVERIFY(!r.keyOpened);
    DesktopHost desktop(nullptr, {}, {});
    desktop.setRegistryFile(file);
    QCOMPARE(
        desktop.readMachineRegistry(key, QStringLiteral("StringConex")).value.value_or(QString()),
        QStringLiteral("Provider=SQLOLEDB;Data Source=srv"));
}

QTEST_MAIN(TstHostPickers)
#include "tst_host_pickers.moc"
