// Base screens (grid screen, dialog, filter screen with its saved options), the data grid, the
// registry and the scripted server behind a connection.

#include "HostTestUtil.h"

#include "sup/contracts/ServerResult.h"
#include "sup/net/NetConnection.h"
#include "sup/testkit/ScriptedHost.h"
#include "sup/testkit/ScriptedServer.h"
#include "sup/widgetkit/BaseScreens.h"
#include "sup/widgetkit/Guard.h"
#include "sup/widgetkit/Messages.h"
#include "sup/widgetkit/Options.h"
#include "sup/widgetkit/Registry.h"

#include <QAction>
#include <QCheckBox>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <QVBoxLayout>

using namespace sup::host;
using sup::data::DataSetState;
using sup::data::FieldDef;
using sup::testkit::ScriptedHost;
using sup::testkit::ScriptedServer;

namespace {

class GridScreen : public TfrmPadraoGrid {
public:
    GridScreen() {
        mnuFiltro = newMenuItem(QStringLiteral("mnuFiltro"), QStringLiteral("Filtrar"),
                                QKeySequence(Qt::CTRL | Qt::Key_L));
        sbtFiltro =
            newToolButton(QStringLiteral("sbtFiltro"), QStringLiteral("Filtrar"), mnuFiltro);
        mnuOutro = newMenuItem(QStringLiteral("mnuOutro"), QStringLiteral("Outro"));
        OnTriggered(mnuFiltro, [this] { log << QStringLiteral("filtro"); });
    }
    void FormCreate() override {
        TfrmPadraoGrid::FormCreate();
        log << QStringLiteral("create");
    }
    void FormActivate() override { log << QStringLiteral("activate"); }
    void sbtVerificarClick() override {
        TfrmPadraoGrid::sbtVerificarClick();
        log << QStringLiteral("verificar");
    }
    QAction* mnuFiltro = nullptr;
    QAction* mnuOutro = nullptr;
    TButtonFlat* sbtFiltro = nullptr;
    QStringList log;
};

class FailingCreate : public TfrmRotiGeral {
public:
    explicit FailingCreate(bool* destroyed)
        : destroyed_(destroyed) {}
    ~FailingCreate() override { *destroyed_ = true; }
    void FormCreate() override {
        TfrmRotiGeral::FormCreate();
        throw sup::contracts::EServerError(QStringLiteral("Sem conexão."),
                                           QStringLiteral("network"));
    }

private:
    bool* destroyed_;
};

class Filter : public TfrmFiltroPadrao {
public:
    Filter() {
        setObjectName(QStringLiteral("frmFiltroTeste"));
        auto* layout = new QVBoxLayout(grbFiltroPadrao);
        todas = new QRadioButton(QStringLiteral("Todas"), grbFiltroPadrao);
        todas->setObjectName(QStringLiteral("rbtFilialTodas"));
        lista = new QRadioButton(QStringLiteral("Lista"), grbFiltroPadrao);
        lista->setObjectName(QStringLiteral("rbtFilialLista"));
        bloq = new QCheckBox(QStringLiteral("Bloqueado"), grbFiltroPadrao);
        bloq->setObjectName(QStringLiteral("chbBloq"));
        data = new TDateEditPlus(grbFiltroPadrao, QStringLiteral("depEmisIni"));
        grupo = new TMaskEdit(grbFiltroPadrao, QStringLiteral("medAgrupFilial"));
        grupo->setEditMask(QStringLiteral("9999999999;0; "));
        numero = new TNumberEdit(grbFiltroPadrao, QStringLiteral("nedQuantidade"));
        auto* unnamed = new QLineEdit(grbFiltroPadrao); // no name: not an option control
        unnamed->setText(QStringLiteral("x"));
        for (QWidget* w :
             std::initializer_list<QWidget*>{todas, lista, bloq, data, grupo, numero, unnamed})
            layout->addWidget(w);
        todas->setChecked(true);
        OnClick(lista, [this] { ++listaClicks; });
    }
    void btfSaveOpcClick() override {
        TfrmFiltroPadrao::btfSaveOpcClick();
        setOpcao(QStringLiteral("stFilial"), stFilial);
    }
    void btfLoadOpcClick() override {
        TfrmFiltroPadrao::btfLoadOpcClick();
        stFilial = opcao(QStringLiteral("stFilial"));
    }
    QRadioButton* todas;
    QRadioButton* lista;
    QCheckBox* bloq;
    TDateEditPlus* data;
    TMaskEdit* grupo;
    TNumberEdit* numero;
    QString stFilial;
    int listaClicks = 0;
};

QList<TDBGrid::Column> itemColumns() {
    QList<TDBGrid::Column> cols;
    for (const char* name : {"CALC", "CDMARCA", "NMMARCA", "QTPROGENPEOL"}) {
        TDBGrid::Column c;
        c.fieldName = QString::fromLatin1(name);
        cols << c;
    }
    cols[0].readOnly = true;
    cols[0].title = QStringLiteral("✓");
    return cols;
}

sup::data::TWorkingSet* items(QObject* parent) {
    return hosttest::makeSet(
        parent,
        {FieldDef::text(QStringLiteral("CALC"), 1, {}, true),
         FieldDef::text(QStringLiteral("CDMARCA"), 5, QStringLiteral("Marca")),
         FieldDef::text(QStringLiteral("NMMARCA"), 20, QStringLiteral("Nome da Marca")),
         FieldDef::real(QStringLiteral("QTPROGENPEOL"), QStringLiteral("Qtde."),
                        QStringLiteral("###,##0.000"))},
        {{QStringLiteral("N"), QStringLiteral("00001"), QStringLiteral("Acme"), 10.0},
         {QStringLiteral("N"), QStringLiteral("00012"), QStringLiteral("São Jorge"), 1234.5},
         {QStringLiteral("N"), QStringLiteral("00120"), QStringLiteral("Boa Vista"), 0.0}},
        QStringLiteral("cdsItem"));
}

QStringList menuNames(QMenu* menu) {
    QStringList out;
    for (QAction* a : menu->actions())
        out << (a->isSeparator() ? QStringLiteral("-") : a->objectName());
    return out;
}

} // namespace

class Dialog : public TfrmRotiGeral {
    Q_OBJECT

public:
    Dialog() { setObjectName(QStringLiteral("frmDialogo")); }
    void FormActivate() override { ++activations; }
    void FormClose(TCloseAction& action) override {
        TfrmRotiGeral::FormClose(action);
        ++closes;
        action = closeAction;
    }
    void sbtConfirmaClick() override {
        TfrmRotiGeral::sbtConfirmaClick();
        if (refuse)
            MensErro(QStringLiteral("Lote de envio não cadastrado."));
        setModalResult(mrOk);
    }
    int activations = 0;
    int closes = 0;
    bool refuse = false;
    TCloseAction closeAction = caHide;
};

class TstHostScreens : public QObject {
    Q_OBJECT
private slots:
    void gridScreenMenusAndButtons();
    void gridScreenBaseHandlers();
    void gridScreenCloseReleases();
    void dialogThroughTheHost();
    void dialogCloseActions();
    void failingCreateReleasesTheScreen();
    void filterOptionsRoundTrip();
    void filterOptionsPerOperator();
    void gridEditsTheCurrentRecord();
    void gridRefusedPostKeepsTheRow();
    void gridColumnEvents();
    void gridKeyHooks();
    void registry();
    void scriptedServerBehindAConnection();
};

void TstHostScreens::gridScreenMenusAndButtons() {
    ScriptedHost host;
    std::unique_ptr<GridScreen> screen(CreateForm<GridScreen>());
    QCOMPARE(screen->log, QStringList{"create"});
    // The screen's items go after the base items and before the listing.
    QCOMPARE(menuNames(screen->mnuManutencao),
             (QStringList{"mnuConfirmar", "mnuCancelar", "-", "mnuIncluir", "mnuAlterar",
                          "mnuExcluir", "-", "mnuProcurar", "mnuVerificar", "-", "mnuFiltro",
                          "mnuOutro", "-", "mnuListagem", "mnuConfImpressora", "-", "mnuFechar"}));
    // The screen's buttons stand before print, help and close.
    QLayout* bar = screen->panBotoes->layout();
    const int filtro = bar->indexOf(screen->sbtFiltro);
    QVERIFY(filtro > bar->indexOf(screen->sbtVerificar));
    QVERIFY(filtro < bar->indexOf(screen->sbtImprimir));
    QVERIFY(bar->indexOf(screen->sbtImprimir) < bar->indexOf(screen->sbtAjuda));
    QVERIFY(bar->indexOf(screen->sbtAjuda) < bar->indexOf(screen->sbtFechar));
    // Each button mirrors its menu item.
    const QList<std::pair<QAction*, TButtonFlat*>> pairs{
        {screen->mnuConfirmar, screen->sbtConfirmar}, {screen->mnuCancelar, screen->sbtCancelar},
        {screen->mnuIncluir, screen->sbtIncluir},     {screen->mnuAlterar, screen->sbtAlterar},
        {screen->mnuExcluir, screen->sbtExcluir},     {screen->mnuProcurar, screen->sbtProcurar},
        {screen->mnuVerificar, screen->sbtVerificar}, {screen->mnuListagem, screen->sbtImprimir},
        {screen->mnuFechar, screen->sbtFechar},       {screen->mnuFiltro, screen->sbtFiltro}};
    for (const auto& [item, button] : pairs) {
        item->setEnabled(false);
        QVERIFY2(!button->isEnabled(), qPrintable(button->objectName()));
        item->setEnabled(true);
        QVERIFY2(button->isEnabled(), qPrintable(button->objectName()));
    }
    // The listing starts disabled, and so its print button.
    std::unique_ptr<GridScreen> fresh(CreateForm<GridScreen>());
    QVERIFY(!fresh->sbtImprimir->isEnabled());
    QVERIFY(!fresh->mnuConfImpressora->isEnabled());
    // A click runs the menu item's handler, a disabled button runs nothing.
    screen->sbtFiltro->click();
    QCOMPARE(screen->log.last(), QStringLiteral("filtro"));
    screen->sbtVerificar->click();
    QCOMPARE(screen->log.last(), QStringLiteral("verificar"));
    screen->mnuFiltro->setEnabled(false);
    screen->sbtFiltro->click();
    QCOMPARE(screen->log.size(), 3);
    QCOMPARE(screen->mnuFiltro->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_L));
    QCOMPARE(screen->mnuFiltro->shortcutContext(), Qt::WidgetWithChildrenShortcut);
    QCOMPARE(screen->msgMensagensPadroes->Msg(QStringLiteral("Canc")),
             QStringLiteral("Cancelar operação?"));
    QCOMPARE(screen->msgMensagensPadroes->Msg(QStringLiteral("Conf")),
             QStringLiteral("Confirma operação?"));
    QCOMPARE(screen->msgMensagensPadroes->Msg(QStringLiteral("Excl")),
             QStringLiteral("Confirma exclusão?"));
}

void TstHostScreens::gridScreenBaseHandlers() {
    ScriptedHost host;
    std::unique_ptr<GridScreen> screen(CreateForm<GridScreen>());
    auto* set = items(screen.get());
    screen->dtsPadrao->setDataSet(set);
    // Confirm and cancel follow the edit state; the navigator the browse state.
    QVERIFY(!screen->mnuConfirmar->isEnabled());
    set->edit();
    QVERIFY(screen->sbtConfirmar->isEnabled());
    QVERIFY(screen->sbtCancelar->isEnabled());
    QVERIFY(!screen->dbnPadrao->isEnabled());
    set->cancel();
    QVERIFY(!screen->sbtConfirmar->isEnabled());
    QVERIFY(screen->dbnPadrao->isEnabled());
    // Delete asks "Excl": No keeps the record, Yes removes it.
    host.answerMessage(mrNo);
    screen->mnuExcluir->trigger();
    QCOMPARE(set->recordCount(), 3);
    QCOMPARE(host.lastMessage().key, QStringLiteral("Excl"));
    host.answerMessage(mrYes);
    screen->mnuExcluir->trigger();
    QCOMPARE(set->recordCount(), 2);
    // Search picks a record and moves there.
    host.answerPickWhere(QStringLiteral("CDMARCA"), QStringLiteral("00120"));
    screen->mnuProcurar->trigger();
    QCOMPARE(set->fieldByName(u"NMMARCA")->asString(), QStringLiteral("Boa Vista"));
    // Help answers with the screen's code.
    screen->setScreenCode(QStringLiteral("SUP07700"));
    screen->mnuAjuda->trigger();
    QVERIFY(host.lastMessage().text.contains(QStringLiteral("SUP07700")));
}

void TstHostScreens::gridScreenCloseReleases() {
    ScriptedHost host;
    QPointer<GridScreen> screen(CreateForm<GridScreen>());
    screen->show();
    QTRY_VERIFY(screen->log.contains(QStringLiteral("activate")));
    screen->sbtFechar->click();
    QTRY_VERIFY(screen.isNull());
}

void TstHostScreens::dialogThroughTheHost() {
    ScriptedHost host;
    std::unique_ptr<Dialog> dialog(CreateForm<Dialog>());
    int activationsSeen = -1;
    host.onModal(QStringLiteral("frmDialogo"), [&](QDialog& d) {
        activationsSeen = static_cast<Dialog&>(d).activations;
        static_cast<Dialog&>(d).sbtConfirma->click();
    });
    QCOMPARE(dialog->ShowModal(), int(mrOk));
    QCOMPARE(activationsSeen, 1); // activated before the user acts
    QCOMPARE(dialog->closes, 1);
    QCOMPARE(host.modalScreens, QStringList{"frmDialogo"});
    // A refused confirmation keeps the screen open: the script closes it with Esc then.
    dialog->refuse = true;
    host.onModal(QStringLiteral("frmDialogo"), [&](QDialog& d) {
        static_cast<Dialog&>(d).sbtConfirma->click();
        QVERIFY(d.isVisible());
        QTest::keyClick(&d, Qt::Key_Escape);
    });
    QCOMPARE(dialog->ShowModal(), int(mrCancel));
    QCOMPARE(host.lastMessage().text, QStringLiteral("Lote de envio não cadastrado."));
    QCOMPARE(dialog->closes, 2);
    // The cancel button closes with mrCancel; Enter is the confirm button.
    dialog->refuse = false;
    host.onModal(QStringLiteral("Dialog"), [](QDialog& d) { // by class name
        QVERIFY(static_cast<Dialog&>(d).sbtConfirma->isDefault());
        static_cast<Dialog&>(d).sbtCancel->click();
    });
    QCOMPARE(dialog->ShowModal(), int(mrCancel));
    // A script that forgets to close: the test hears of it and the screen is closed.
    host.setStrict(false);
    host.onModal(QStringLiteral("frmDialogo"), [](QDialog&) {});
    QCOMPARE(dialog->ShowModal(), int(mrCancel));
    QCOMPARE(host.unanswered.size(), 1);
    QVERIFY(!dialog->isVisible());
}

void TstHostScreens::dialogCloseActions() {
    ScriptedHost host;
    std::unique_ptr<Dialog> dialog(CreateForm<Dialog>());
    // Close while hidden still runs the close handler.
    QVERIFY(dialog->Close());
    QCOMPARE(dialog->closes, 1);
    dialog->show();
    dialog->closeAction = caNone;
    QVERIFY(!dialog->Close());
    QVERIFY(dialog->isVisible());
    QCOMPARE(dialog->closes, 2);
    dialog->closeAction = caHide;
    dialog->close(); // the window's close box
    QVERIFY(!dialog->isVisible());
    QCOMPARE(dialog->closes, 3);
    QCOMPARE(dialog->result(), int(mrCancel));
    QPointer<Dialog> freed(dialog.release());
    freed->closeAction = caFree;
    freed->show();
    freed->Close();
    QTRY_VERIFY(freed.isNull());
}

void TstHostScreens::failingCreateReleasesTheScreen() {
    ScriptedHost host;
    bool destroyed = false;
    QVERIFY(!Guarded([&] { CreateForm<FailingCreate>(&destroyed); }));
    QVERIFY(destroyed);
    QCOMPARE(host.lastMessage().text, QStringLiteral("Sem conexão."));
}

void TstHostScreens::filterOptionsRoundTrip() {
    ScriptedHost host;
    std::unique_ptr<Filter> f(CreateForm<Filter>());
    f->lista->setChecked(true);
    f->bloq->setChecked(true);
    f->data->setDate(QDate(2024, 5, 17));
    f->grupo->SetText(QStringLiteral("0000000007"));
    f->numero->SetNumber(3.5);
    f->stFilial = QStringLiteral("_0001__0002_");
    f->btfSaveOpc->click();
    QCOMPARE(host.lastMessage().text, QStringLiteral("Opções salvas."));
    QCOMPARE(f->Opcoes, (QStringList{"rbtFilialTodas=N", "rbtFilialLista=S", "chbBloq=S",
                                     "depEmisIni=17/05/2024", "medAgrupFilial=0000000007",
                                     "nedQuantidade=3,50", "stFilial=_0001__0002_"}));
    // Change everything, then load: the controls and the screen's own value come back, and
    // the radio's click handler runs as for a click.
    f->todas->setChecked(true);
    f->bloq->setChecked(false);
    f->data->Clear();
    f->grupo->Clear();
    f->numero->clear();
    f->stFilial.clear();
    const int clicks = f->listaClicks;
    f->btfLoadOpc->click();
    QCOMPARE(host.lastMessage().text, QStringLiteral("Opções carregadas."));
    QVERIFY(f->lista->isChecked());
    QVERIFY(f->bloq->isChecked());
    QCOMPARE(f->data->Date(), QDate(2024, 5, 17));
    QCOMPARE(f->grupo->Text(), QStringLiteral("0000000007"));
    QCOMPARE(f->numero->GetNumber(), 3.5);
    QCOMPARE(f->stFilial, QStringLiteral("_0001__0002_"));
    QCOMPARE(f->listaClicks, clicks + 1);
    QCOMPARE(f->optionGroup(), QStringLiteral("Opcoes/frmFiltroTeste"));
}

void TstHostScreens::filterOptionsPerOperator() {
    ScriptedHost host;
    std::unique_ptr<Filter> f(CreateForm<Filter>());
    f->bloq->setChecked(true);
    f->stFilial = QStringLiteral("_0001_");
    f->saveOptions();
    // Another operator has nothing stored: a message, and the screen's part does not run.
    host.values().Operador = QStringLiteral("000002");
    f->bloq->setChecked(false);
    f->stFilial = QStringLiteral("antes");
    f->btfLoadOpc->click();
    QCOMPARE(host.lastMessage().text, QStringLiteral("Não há opções salvas para este usuário."));
    QVERIFY(!f->bloq->isChecked());
    QCOMPARE(f->stFilial, QStringLiteral("antes"));
    host.values().Operador = QStringLiteral("000001");
    f->loadOptions();
    QVERIFY(f->bloq->isChecked());
    QCOMPARE(f->stFilial, QStringLiteral("_0001_"));
    // A stored name that is no control of the screen is skipped.
    ApplyOptionValues(
        f->grbFiltroPadrao,
        {QStringLiteral("naoExiste=S"), QStringLiteral("chbBloq=N"), QStringLiteral("sem igual")});
    QVERIFY(!f->bloq->isChecked());
}

void TstHostScreens::gridEditsTheCurrentRecord() {
    ScriptedHost host;
    QObject owner;
    auto* set = items(&owner);
    TDBGrid grid;
    grid.setDataSource(hosttest::sourceOf(set));
    grid.setColumns(itemColumns());
    grid.setEditing(true);
    grid.show();
    QCOMPARE(grid.model()->headerData(0, Qt::Horizontal).toString(), QStringLiteral("✓"));
    QCOMPARE(grid.model()->headerData(3, Qt::Horizontal).toString(), QStringLiteral("Qtde."));
    QCOMPARE(grid.model()->index(1, 3).data().toString(), QStringLiteral("1.234,500"));
    // The grid follows the set and the set the grid.
    set->moveTo(2);
    QCOMPARE(grid.currentIndex().row(), 2);
    grid.setCurrentIndex(grid.model()->index(1, 1));
    QCOMPARE(set->currentPosition(), 1);
    // Writing a cell puts the record in edit; a number in the Brazilian form.
    grid.writeCell(3, QStringLiteral("1.500,25"));
    QCOMPARE(set->state(), DataSetState::Edit);
    QCOMPARE(set->fieldByName(u"QTPROGENPEOL")->asFloat(), 1500.25);
    QCOMPARE(set->changeCount(), 0);
    // Leaving the row posts it.
    grid.setCurrentIndex(grid.model()->index(0, 3));
    QCOMPARE(set->state(), DataSetState::Browse);
    QCOMPARE(set->changeCount(), 1);
    QCOMPARE(set->currentPosition(), 0);
    // Read-only columns do not edit; a bad number is refused with a clear message.
    QVERIFY(!grid.columnEditable(0));
    QVERIFY(grid.columnEditable(1));
    QVERIFY_THROWS_EXCEPTION(EHostError, grid.writeCell(3, QStringLiteral("doze")));
    // The same text writes nothing (no edit state).
    set->cancel();
    grid.writeCell(1, set->fieldByName(u"CDMARCA")->editText());
    QCOMPARE(set->state(), DataSetState::Browse);
    grid.setEditing(false);
    QVERIFY(!grid.columnEditable(1));
}

void TstHostScreens::gridRefusedPostKeepsTheRow() {
    ScriptedHost host;
    QObject owner;
    auto* set = items(&owner);
    set->BeforePost = [](sup::data::TWorkingSet& s) {
        if (s.fieldByName(u"CDMARCA")->asString().trimmed().isEmpty())
            MensErro(QStringLiteral("Marca deve ser informada."));
    };
    TDBGrid grid;
    grid.setDataSource(hosttest::sourceOf(set));
    grid.setColumns(itemColumns());
    grid.setEditing(true);
    grid.show();
    grid.setCurrentIndex(grid.model()->index(0, 1));
    grid.writeCell(1, QString());
    grid.setCurrentIndex(grid.model()->index(2, 1));
    // The post was refused: the user stays on the row, still editing.
    QCOMPARE(host.lastMessage().text, QStringLiteral("Marca deve ser informada."));
    QCOMPARE(grid.currentIndex().row(), 0);
    QCOMPARE(set->currentPosition(), 0);
    QCOMPARE(set->state(), DataSetState::Edit);
    // Esc drops the edit.
    grid.setFocus();
    QTest::keyClick(&grid, Qt::Key_Escape);
    QCOMPARE(set->state(), DataSetState::Browse);
    QCOMPARE(set->fieldByName(u"CDMARCA")->asString(), QStringLiteral("00001"));
}

void TstHostScreens::gridColumnEvents() {
    ScriptedHost host;
    QObject owner;
    auto* set = items(&owner);
    TDBGrid grid;
    grid.setDataSource(hosttest::sourceOf(set));
    grid.setColumns(itemColumns());
    grid.show();
    QStringList events;
    bool refuse = false;
    grid.OnColExit = [&](TDBGrid& g) {
        events << QStringLiteral("exit ") + g.SelectedField();
        if (refuse)
            MensErro(QStringLiteral("Marca não cadastrada."));
    };
    grid.OnColEnter = [&](TDBGrid& g) {
        events << QStringLiteral("enter ") + g.SelectedField();
    };
    int titles = -1;
    grid.OnTitleClick = [&](TDBGrid&, int column) {
        titles = column;
    };
    grid.setCurrentIndex(grid.model()->index(0, 1));
    events.clear();
    grid.setCurrentIndex(grid.model()->index(0, 2));
    QCOMPARE(events, (QStringList{"exit CDMARCA", "enter NMMARCA"}));
    // A failing exit keeps the user in the column.
    refuse = true;
    events.clear();
    grid.setCurrentIndex(grid.model()->index(0, 3));
    QCOMPARE(events, QStringList{"exit NMMARCA"});
    QCOMPARE(grid.SelectedField(), QStringLiteral("NMMARCA"));
    // Selecting from code runs no exit or enter.
    events.clear();
    grid.setSelectedField(u"QTPROGENPEOL");
    QCOMPARE(grid.SelectedIndex(), 3);
    QVERIFY(events.isEmpty());
    // Hidden columns keep their index.
    grid.setColumnVisible(2, false);
    QVERIFY(!grid.isColumnVisible(2));
    QCOMPARE(grid.columnIndexOfField(u"QTPROGENPEOL"), 3);
    grid.setButtonStyle(1, TDBGrid::ButtonStyle::Ellipsis);
    QVERIFY(grid.columnHasEllipsis(1));
    int buttons = 0;
    grid.OnEditButtonClick = [&](TDBGrid&) {
        ++buttons;
    };
    grid.setSelectedIndex(1);
    grid.setFocus();
    QTest::keyClick(&grid, Qt::Key_Return, Qt::ControlModifier);
    QCOMPARE(buttons, 1);
    emit grid.horizontalHeader()->sectionClicked(0);
    QCOMPARE(titles, 0);
}

void TstHostScreens::gridKeyHooks() {
    ScriptedHost host;
    QObject owner;
    auto* set = items(&owner);
    set->BeforeInsert = [](sup::data::TWorkingSet&) {
        Abort();
    };
    TDBGrid grid;
    grid.setDataSource(hosttest::sourceOf(set));
    grid.setColumns(itemColumns());
    grid.setEditing(true);
    grid.show();
    grid.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&grid));
    int deletes = 0;
    grid.OnKeyDown = [&](TDBGrid&, int& key, Qt::KeyboardModifiers m) {
        if (key == Qt::Key_Delete && (m & Qt::ControlModifier)) {
            ++deletes;
            key = 0;
        }
    };
    grid.OnKeyPress = [](TDBGrid& g, QChar& ch) {
        if (g.SelectedField() == u"QTPROGENPEOL" && QStringLiteral("-+eE").contains(ch))
            ch = QChar();
    };
    grid.setCurrentIndex(grid.model()->index(0, 3));
    grid.setFocus();
    // Typed into the cell: the editor opens and the discarded characters never reach it.
    QTest::keyClick(&grid, '1');
    QVERIFY(grid.editorOpen());
    QTest::keyClicks(QApplication::focusWidget(), QStringLiteral("e3"));
    grid.commitEditor();
    QCOMPARE(set->fieldByName(u"QTPROGENPEOL")->asFloat(), 13.0);
    QCOMPARE(set->state(), DataSetState::Edit);
    set->post();
    // Ctrl+Delete discarded by the hook: nothing asked, nothing deleted.
    grid.setFocus();
    QTest::keyClick(&grid, Qt::Key_Delete, Qt::ControlModifier);
    QCOMPARE(deletes, 1);
    QCOMPARE(set->recordCount(), 3);
    QVERIFY(host.messages.isEmpty());
    // Down on the last row tries to append; the set refuses silently.
    grid.setCurrentIndex(grid.model()->index(2, 1));
    QTest::keyClick(&grid, Qt::Key_Down);
    QCOMPARE(set->recordCount(), 3);
    QVERIFY(host.messages.isEmpty());
}

void TstHostScreens::registry() {
    ScriptedHost host;
    const QString key = QStringLiteral("SOFTWARE\\QUORVEL\\Sistemas Integrados Quorvel\\WebSrv");
    TRegistry reg;
    QVERIFY(reg.OpenKeyReadOnly(key));
    QVERIFY(!reg.ValueExists(QStringLiteral("StringConex")));
    QCOMPARE(reg.ReadString(QStringLiteral("StringConex")), QString());
    host.setRegistryValue(key, QStringLiteral("StringConex"), QStringLiteral("Provider=X"));
    QVERIFY(reg.ValueExists(QStringLiteral("stringconex")));
    QCOMPARE(reg.ReadString(QStringLiteral("StringConex")), QStringLiteral("Provider=X"));
    reg.CloseKey();
    QCOMPARE(reg.ReadString(QStringLiteral("StringConex")), QString());
    host.setRegistryUnavailable(true);
    QVERIFY(!reg.OpenKeyReadOnly(key));
}

void TstHostScreens::scriptedServerBehindAConnection() {
    ScriptedServer server;
    server.install();
    server.on(QStringLiteral("GetVd_LotePedOL"), [](QVariantList& args) {
        args[0] = QStringLiteral("reescrito"); // a by-reference argument
        return QVariant(true);
    });
    server.fail(QStringLiteral("GetVd_LotePedOL"), QStringLiteral("Lote em uso."), 2);
    sup::net::TNetConnection net(nullptr, QStringLiteral("netAltPedidosOL"));
    net.setServerName(QStringLiteral("Sup07700.rdmAltPedidosOL"));
    QVERIFY(net.connect());
    QVariantList args{QStringLiteral("T")};
    QVariant answer = net.AppServer().call(QStringLiteral("GetVd_LotePedOL"), args);
    QVERIFY(sup::contracts::CheckResultServ(answer, true, 1).toBool());
    QCOMPARE(args.at(0).toString(), QStringLiteral("reescrito"));
    args = {QStringLiteral("0000000001")};
    answer = net.AppServer().call(QStringLiteral("GetVd_LotePedOL"), args);
    try {
        sup::contracts::CheckResultServ(answer, true, 0);
        QFAIL("the second call should have failed");
    } catch (const sup::contracts::EServerError& e) {
        QCOMPARE(e.message(), QStringLiteral("Lote em uso."));
    }
    QCOMPARE(server.count(QStringLiteral("GetVd_LotePedOL")), 2);
    const auto first = server.callsOf(QStringLiteral("GetVd_LotePedOL")).first();
    QCOMPARE(first.module, QStringLiteral("Sup07700.rdmAltPedidosOL"));
    QCOMPARE(first.args, QVariantList{QStringLiteral("T")});
    QCOMPARE(first.argsAfter, QVariantList{QStringLiteral("reescrito")});
    // A module-specific script wins; an unscripted method answers a fault.
    server.answer(QStringLiteral("GetParaSupri"), QStringLiteral("todos"));
    server.on(QStringLiteral("Sup.rdmSuprimentos"), QStringLiteral("GetParaSupri"),
              [](QVariantList&) { return QVariant(QStringLiteral("suprimentos")); });
    QVariantList branch{QStringLiteral("0001")};
    QCOMPARE(
        server.call(QStringLiteral("Sup.rdmSuprimentos"), QStringLiteral("GetParaSupri"), branch)
            .toString(),
        QStringLiteral("suprimentos"));
    QCOMPARE(server
                 .call(QStringLiteral("Sup07700.rdmAltPedidosOL"), QStringLiteral("GetParaSupri"),
                       branch)
                 .toString(),
             QStringLiteral("todos"));
    server.answerOnce(QStringLiteral("GetParaSupri"), QStringLiteral("uma vez"));
    QCOMPARE(
        server.call(QStringLiteral("Sup.rdmSuprimentos"), QStringLiteral("GetParaSupri"), branch)
            .toString(),
        QStringLiteral("uma vez"));
    server.setStrict(false);
    QVERIFY(sup::contracts::isFault(server.call(QStringLiteral("Sup07700.rdmAltPedidosOL"),
                                                QStringLiteral("GetAgruFili"), branch)));
    QVariantList none;
    QVERIFY(sup::contracts::isFault(
        server.call(QStringLiteral("Sup07700.rdmAltPedidosOL"), QStringLiteral("Nada"), none)));
    QCOMPARE(server.methods().last(), QStringLiteral("Nada"));
}

QTEST_MAIN(TstHostScreens)
#include "tst_host_screens.moc"
