// Controls, the picker and the handler wiring of the dispatch batch screen.
#include "Cli_sup07703/TfrmCadLotEnvioPedOL.h"

#include "ui_TfrmCadLotEnvioPedOL.h"

#include "sup/data/DataSource.h"
#include "sup/widgetkit/Guard.h"
#include "sup/widgetkit/Messages.h"

#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

using namespace sup::host;

static void initResources() {
    Q_INIT_RESOURCE(Cli_sup07703);
}

TfrmCadLotEnvioPedOL::TfrmCadLotEnvioPedOL(QWidget* parent)
    : TfrmRotiGeral(parent)
    , ui_(std::make_unique<Ui::CadLotEnvioPedOL>()) {
    initResources();
    setObjectName(QStringLiteral("frmCadLotEnvioPedOL"));
    setWindowTitle(QStringLiteral("Cadastramento de Lote de Envio de Pedidos OL"));
    // The code this screen has always shown, the same as the automatic alteration's.
    setScreenCode(QStringLiteral("SUP07702"));
    msgPadrao->loadFromFile(QStringLiteral(":/Cli_sup07703/msgPadrao.txt"));

    auto* form = new QWidget(grbDadosRel);
    ui_->setupUi(form);
    auto* layout = new QVBoxLayout(grbDadosRel);
    layout->setContentsMargins(8, 8, 8, 8);
    layout->addWidget(form);
    resize(650, 96);

    bindControls();
    connectHandlers();
}

TfrmCadLotEnvioPedOL::~TfrmCadLotEnvioPedOL() = default;

void TfrmCadLotEnvioPedOL::bindControls() {
    Ui::CadLotEnvioPedOL& u = *ui_;
    lblLoteEnvioPedOL = u.lblLoteEnvioPedOL;
    medLoteEnvioPedOL = u.medLoteEnvioPedOL;
    btpLoteEnvioPedOL = u.btpLoteEnvioPedOL;
    edtNmLoteEnvioPedOL = u.edtNmLoteEnvioPedOL;

    QFont bold = lblLoteEnvioPedOL->font();
    bold.setBold(true);
    lblLoteEnvioPedOL->setFont(bold);

    // Ten digits; blanks as spaces.
    medLoteEnvioPedOL->setEditMask(QStringLiteral("9999999999;9; "));
    medLoteEnvioPedOL->setMaxLength(10);

    // The batch's name is read, never typed: the face of a button, the colour of text.
    QPalette p = edtNmLoteEnvioPedOL->palette();
    p.setColor(QPalette::Disabled, QPalette::Base, p.color(QPalette::Active, QPalette::Button));
    p.setColor(QPalette::Disabled, QPalette::Text, p.color(QPalette::Active, QPalette::Text));
    edtNmLoteEnvioPedOL->setPalette(p);

    dtsLotePedOL = new sup::data::TDataSource(this, QStringLiteral("dtsLotePedOL"));
    btpLoteEnvioPedOL->setHint(QStringLiteral("Pesquisar"));
    btpLoteEnvioPedOL->setAssociate(medLoteEnvioPedOL);
    btpLoteEnvioPedOL->setTitle(QStringLiteral("Lote de Envio"));
    btpLoteEnvioPedOL->setDataSource(dtsLotePedOL);
    btpLoteEnvioPedOL->setEmptyError(QStringLiteral("Não há lote de envio cadastrado."));

    setTabOrder(medLoteEnvioPedOL, sbtConfirma);
    setTabOrder(sbtConfirma, sbtCancel);
}

void TfrmCadLotEnvioPedOL::connectHandlers() {
    btpLoteEnvioPedOL->OnBeforePesq = [this](TBtnPesquisa&) {
        btpLoteEnvioPedOLBeforePesq();
    };
    btpLoteEnvioPedOL->OnAfterPesq = [this](TBtnPesquisa&) {
        btpLoteEnvioPedOLAfterPesq();
    };
    ConnectGuarded(medLoteEnvioPedOL, &QLineEdit::textChanged, this,
                   [this](const QString&) { medLoteEnvioPedOLChange(); });
    OnExit(medLoteEnvioPedOL, [this] { medLoteEnvioPedOLExit(); });
}
