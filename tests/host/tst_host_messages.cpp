// Message catalogues, questions, MensErro and the guard, the error report, the busy indicator.

#include "sup/contracts/ServerResult.h"
#include "sup/data/WorkingSet.h"
#include "sup/testkit/ScriptedHost.h"
#include "sup/widgetkit/Busy.h"
#include "sup/widgetkit/Guard.h"
#include "sup/widgetkit/Messages.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <QVBoxLayout>

using namespace sup::host;
using sup::testkit::LoggedMessage;
using sup::testkit::ScriptedHost;

class TstHostMessages : public QObject {
    Q_OBJECT
private slots:
    void catalogueLookups();
    void catalogueFromMissingFile();
    void showMsgReturnsTheAnswer();
    void captionedQuestions();
    void formatReplacesPlaceholders();
    void mensErroAbandonsThroughTheGuard();
    void guardReportsOtherFailures();
    void errorTexts();
    void busyIndicatorNests();
    void busyIndicatorHiddenAfterFailure();
    void busyGuardHidesOnce();
    void clickHandlersRunFromCode();
};

void TstHostMessages::catalogueLookups() {
    ScriptedHost host;
    TMessages msg(nullptr, QStringLiteral("msgPadrao"));
    msg.loadFromFile(QStringLiteral(":/tests/msgTeste.txt"));
    QCOMPARE(msg.Msg(QStringLiteral("N_Item_selec")),
             QStringLiteral("Não há pedido selecionado desbloqueado para alteração automática."));
    QCOMPARE(msg.Msg(QStringLiteral("Produto")), QStringLiteral("Produto"));
    // The key stands in another case only: found ignoring letter case.
    QCOMPARE(msg.Msg(QStringLiteral("PRODUTO")), QStringLiteral("Produto"));
    QCOMPARE(msg.Msg(QStringLiteral("Nao_Existe")), QString());
    QVERIFY(!msg.contains(QStringLiteral("Nao_Existe")));
    // Text after the first "|" as it stands, trailing blank included; lines without "|" and
    // empty lines are skipped.
    QCOMPARE(msg.Msg(QStringLiteral("Texto_Com_Barra")), QStringLiteral("um | dois"));
    QCOMPARE(msg.Msg(QStringLiteral("Get_Data")),
             QStringLiteral("Recebendo pedidos do servidor... "));
    QCOMPARE(msg.count(), 7);
    QVERIFY(!msg.contains(QStringLiteral("linha sem separador")));
    // An exact key wins over one that differs only in case.
    msg.setLines({QStringLiteral("SIM|maiúsculas"), QStringLiteral("Sim|Sim")});
    QCOMPARE(msg.Msg(QStringLiteral("Sim")), QStringLiteral("Sim"));
    QCOMPARE(msg.Msg(QStringLiteral("sim")), QStringLiteral("maiúsculas"));
}

void TstHostMessages::catalogueFromMissingFile() {
    TMessages msg;
    QVERIFY_THROWS_EXCEPTION(EHostError, msg.loadFromFile(QStringLiteral(":/tests/nada.txt")));
}

void TstHostMessages::showMsgReturnsTheAnswer() {
    ScriptedHost host;
    TMessages msg;
    msg.setLines({QStringLiteral("Canc|Cancelar operação?"),
                  QStringLiteral("Item_Zerado|O item será excluído do pedido.")});
    host.answerMessage(mrYes);
    QCOMPARE(msg.ShowMsg(QStringLiteral("Canc"), mtConfirmation, mbYesNo, 0), 6);
    host.answerMessage(mrNo);
    QCOMPARE(msg.ShowMsg(QStringLiteral("Canc"), mtConfirmation, mbYesNo, 0), int(mrNo));
    // A box with only OK needs no answer.
    QCOMPARE(msg.ShowMsg(QStringLiteral("Item_Zerado"), mtInformation, mbOK, 0), int(mrOk));
    QCOMPARE(host.messages.size(), 3);
    QCOMPARE(host.messages[0].key, QStringLiteral("Canc"));
    QCOMPARE(host.messages[0].text, QStringLiteral("Cancelar operação?"));
    QCOMPARE(host.messages[0].type, mtConfirmation);
    QCOMPARE(host.messages[2].type, mtInformation);
    QVERIFY(host.unanswered.isEmpty());
}

void TstHostMessages::captionedQuestions() {
    ScriptedHost host;
    TMessages msg;
    msg.setLines({QStringLiteral("Sim|Sim"), QStringLiteral("Nao|Não"),
                  QStringLiteral("Atu_Soli|Deseja atualizar as solicitações?")});
    const QStringList captions{msg.Msg(QStringLiteral("Sim")), msg.Msg(QStringLiteral("Nao"))};
    host.answerCaptioned(10);
    QCOMPARE(MsgAlertEx(msg.Msg(QStringLiteral("Atu_Soli")), mtConfirmation, captions, 2, 0, 0),
             10);
    host.answerCaptioned(11);
    QCOMPARE(MsgAlert(QStringLiteral("Confirma?"), mtConfirmation, captions, 1), 11);
    const LoggedMessage first = host.messages.first();
    QCOMPARE(first.kind, LoggedMessage::Question);
    QCOMPARE(first.captions, captions);
    // The text came from a lookup, so the log names its key.
    QCOMPARE(first.key, QStringLiteral("Atu_Soli"));
    QCOMPARE(host.messages.last().key, QString());
}

void TstHostMessages::formatReplacesPlaceholders() {
    QCOMPARE(Format(QStringLiteral("Marca Obrigatória: %s. Deseja continuar?"),
                    {QStringLiteral("00012")}),
             QStringLiteral("Marca Obrigatória: 00012. Deseja continuar?"));
    QCOMPARE(Format(QStringLiteral("filial %s para o produto %s ."),
                    {QStringLiteral("0001"), QStringLiteral("Arroz")}),
             QStringLiteral("filial 0001 para o produto Arroz ."));
    QCOMPARE(Format(QStringLiteral("%s e %s"), {QStringLiteral("um")}), QStringLiteral("um e "));
    QCOMPARE(Format(QStringLiteral("100%% %s"), {QStringLiteral("ok")}), QStringLiteral("100% ok"));
}

void TstHostMessages::mensErroAbandonsThroughTheGuard() {
    ScriptedHost host;
    QWidget window;
    auto* layout = new QVBoxLayout(&window);
    auto* first = new QLineEdit(&window);
    auto* second = new QLineEdit(&window);
    layout->addWidget(first);
    layout->addWidget(second);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));

    bool after = false;
    const bool completed = Guarded([&] {
        second->setFocus();
        MensErro(QStringLiteral("Marca deve ser informada."), true);
        after = true;
    });
    QVERIFY(!completed);
    QVERIFY(!after);
    // One message, an error; the abandon itself adds nothing; the focus set before stays.
    QCOMPARE(host.messages.size(), 1);
    QCOMPARE(host.messages[0].kind, LoggedMessage::Error);
    QCOMPARE(host.messages[0].text, QStringLiteral("Marca deve ser informada."));
    QCOMPARE(ScriptedHost::focusIn(&window), second);

    // Without abandon the action goes on.
    QVERIFY(Guarded([&] {
        MensErro(QStringLiteral("Produto não disponível no estoque do OL."), false);
        after = true;
    }));
    QVERIFY(after);
    QCOMPARE(host.messages.size(), 2);

    // A plain abandon shows nothing.
    QVERIFY(!Guarded([] { Abort(); }));
    QCOMPARE(host.messages.size(), 2);
}

void TstHostMessages::guardReportsOtherFailures() {
    ScriptedHost host;
    QVERIFY(!Guarded([] {
        throw sup::contracts::EServerError(QStringLiteral("Item bloqueado por outro usuário."),
                                           QStringLiteral("conflict"));
    }));
    QCOMPARE(host.lastMessage().text, QStringLiteral("Item bloqueado por outro usuário."));
    QCOMPARE(host.lastMessage().kind, LoggedMessage::Error);
    QVERIFY(!Guarded([] { throw std::runtime_error("disk full"); }));
    QCOMPARE(host.lastMessage().text, QStringLiteral("Erro inesperado: disk full"));
    QVERIFY(!Guarded([] { throw 42; }));
    QCOMPARE(host.lastMessage().text, QStringLiteral("Erro inesperado."));
    // A signal connected through the guard never lets the failure reach the event loop.
    QPushButton button;
    ConnectGuarded(&button, &QPushButton::clicked, &button,
                   [](bool) { throw EHostError(QStringLiteral("Falhou o clique.")); });
    button.click();
    QCOMPARE(host.lastMessage().text, QStringLiteral("Falhou o clique."));
    QCOMPARE(host.messages.size(), 4);
}

void TstHostMessages::errorTexts() {
    QCOMPARE(ErrorText(std::make_exception_ptr(EAbort())), QString());
    QCOMPARE(ErrorText(std::make_exception_ptr(EHostError(QStringLiteral("Data inválida.")))),
             QStringLiteral("Data inválida."));
    QCOMPARE(
        ErrorText(std::make_exception_ptr(sup::contracts::EServerError(sup::contracts::ServerFault{
            QStringLiteral("Sem conexão."), QStringLiteral("network")}))),
        QStringLiteral("Sem conexão."));
    QCOMPARE(ErrorText(std::make_exception_ptr(
                 sup::data::DataSetError("cdsItem: campo \"X\" não existe."))),
             QStringLiteral("cdsItem: campo \"X\" não existe."));
    QCOMPARE(ErrorText(std::make_exception_ptr(std::bad_alloc())),
             QStringLiteral("Memória insuficiente para concluir a operação."));
    QCOMPARE(ErrorText(nullptr), QString());
}

void TstHostMessages::busyIndicatorNests() {
    ScriptedHost host;
    QCOMPARE(BusyDepth(), 0);
    ActiveShowAvi(nullptr, aviGravando, QStringLiteral("Alterando dados no servidor..."));
    ActiveShowAvi(nullptr, aviRecebendo); // the reload inside a save
    QCOMPARE(BusyDepth(), 2);
    QCOMPARE(host.busyLog.last().text, QStringLiteral("Recebendo dados do servidor..."));
    DeactiveShowAvi();
    // The outer indicator comes back with its own text.
    QVERIFY(host.busyVisible());
    QCOMPARE(host.busyLog.last().kind, int(aviGravando));
    QCOMPARE(host.busyLog.last().text, QStringLiteral("Alterando dados no servidor..."));
    DeactiveShowAvi();
    QVERIFY(!host.busyVisible());
    QCOMPARE(BusyDepth(), 0);
    // One hide too many does nothing.
    DeactiveShowAvi();
    QCOMPARE(BusyDepth(), 0);
    QCOMPARE(host.busyHides(), 1);
    // A blank text shows the kind's own text.
    ActiveShowAvi(nullptr, aviConectando, QStringLiteral("   "));
    QCOMPARE(host.busyLog.last().text, QStringLiteral("Conectando ao servidor..."));
    DeactiveShowAvi();
    QCOMPARE(AviDefaultText(aviGravando), QStringLiteral("Gravando dados no servidor..."));
}

void TstHostMessages::busyIndicatorHiddenAfterFailure() {
    ScriptedHost host;
    // A handler that shows the indicator and fails before hiding it.
    QVERIFY(!Guarded([] {
        ActiveShowAvi(nullptr, aviRecebendo);
        ActiveShowAvi(nullptr, aviGravando);
        throw sup::contracts::EServerError(QStringLiteral("Falha no servidor."),
                                           QStringLiteral("internal"));
    }));
    QCOMPARE(BusyDepth(), 0);
    QVERIFY(!host.busyVisible());
    // The indicator was hidden before the error was shown.
    QCOMPARE(host.lastMessage().text, QStringLiteral("Falha no servidor."));
    QVERIFY(!host.busyLog.last().shown);

    // A guard nested in a handler that shows the indicator restores only its own share.
    ActiveShowAvi(nullptr, aviGravando);
    QVERIFY(!Guarded([] {
        ActiveShowAvi(nullptr, aviRecebendo);
        Abort();
    }));
    QCOMPARE(BusyDepth(), 1);
    QVERIFY(host.busyVisible());
    QCOMPARE(host.busyLog.last().kind, int(aviGravando));
    DeactiveShowAvi();
    QCOMPARE(BusyDepth(), 0);
}

void TstHostMessages::busyGuardHidesOnce() {
    ScriptedHost host;
    try {
        TBusyGuard busy(nullptr, aviRecebendo);
        busy.hide();
        ActiveShowAvi(nullptr, aviGravando); // someone else's indicator
        throw std::runtime_error("x");
    } catch (const std::exception&) {
    }
    // The guard's destructor did not hide the other indicator a second time.
    QCOMPARE(BusyDepth(), 1);
    DeactiveShowAvi();
    {
        TBusyGuard busy(nullptr, aviRecebendo);
        QCOMPARE(BusyDepth(), 1);
    }
    QCOMPARE(BusyDepth(), 0);
}

void TstHostMessages::clickHandlersRunFromCode() {
    ScriptedHost host;
    QWidget w;
    auto* a = new QRadioButton(QStringLiteral("Todas"), &w);
    auto* b = new QRadioButton(QStringLiteral("Lista"), &w);
    auto* check = new QCheckBox(QStringLiteral("Bloqueado"), &w);
    a->setChecked(true);
    int aClicks = 0, bClicks = 0, checkClicks = 0;
    OnClick(a, [&] { ++aClicks; });
    OnClick(b, [&] { ++bClicks; });
    OnClick(check, [&] { ++checkClicks; });
    b->setChecked(true); // from code, as a click would
    QCOMPARE(bClicks, 1);
    QCOMPARE(aClicks, 0); // the radio that lost its check runs nothing
    b->setChecked(true);  // no change, no click
    QCOMPARE(bClicks, 1);
    check->setChecked(true);
    check->setChecked(false);
    QCOMPARE(checkClicks, 2);
    // A failing click handler is reported, not thrown.
    OnClick(a, [] { MensErro(QStringLiteral("Região deve ser informada.")); });
    a->setChecked(true);
    QCOMPARE(aClicks, 1);
    QCOMPARE(host.lastMessage().text, QStringLiteral("Região deve ser informada."));
}

QTEST_MAIN(TstHostMessages)
#include "tst_host_messages.moc"
