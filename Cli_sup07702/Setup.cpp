// Controls, options menu, working sets, local queries and handler wiring of the automatic
// alteration screen.
#include "Cli_sup07702/TfrmCadaAuto.h"
#include "Dm_sup07700/Dm_sup07700.h"
#include "Dm_sup07700/TdmAltPedidosOL.h"
#include "units/LocalQueries.h"

#include "ui_TfrmCadaAuto.h"

#include "sup/contracts/record/OrderItem.h"
#include "sup/data/DataSource.h"
#include "sup/data/WorkingSet.h"
#include "sup/widgetkit/Guard.h"
#include "sup/widgetkit/Messages.h"

#include <QAction>
#include <QCheckBox>
#include <QFrame>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QVBoxLayout>

using namespace sup::host;
using sup::data::FieldDef;
using sup::data::FieldDefs;
using sup::data::TDataSource;
using sup::data::TWorkingSet;

static void initResources() {
    Q_INIT_RESOURCE(Cli_sup07702);
}

namespace {

QString S(const char* utf8) {
    return QString::fromUtf8(utf8);
}

} // namespace

TfrmCadaAuto::TfrmCadaAuto(QWidget* parent)
    : TfrmFiltroPadrao(parent)
    , ui_(std::make_unique<Ui::CadaAuto>()) {
    initResources();
    setObjectName(QStringLiteral("frmCadaAuto"));
    setWindowTitle(S("Alteração Automática de Pedidos do OL"));
    setScreenCode(QStringLiteral("SUP07702"));
    setHelpContext(10403901);
    msgPadrao->loadFromFile(QStringLiteral(":/Cli_sup07702/msgPadrao.txt"));

    form_ = new QWidget(grbFiltroPadrao);
    ui_->setupUi(form_);
    auto* layout = new QVBoxLayout(grbFiltroPadrao);
    layout->setContentsMargins(6, 6, 6, 6);
    layout->addWidget(form_);
    resize(706, 141 + panBotoes->sizeHint().height());

    bindControls();
    buildMenu();
    buildData();
    connectHandlers();
}

TfrmCadaAuto::~TfrmCadaAuto() = default;

void TfrmCadaAuto::bindControls() {
    Ui::CadaAuto& u = *ui_;
    chbProduto = u.chbProduto;
    medCdProduto = u.medCdProduto;
    btpProduto = u.btpProduto;
    edtNmProduto = u.edtNmProduto;
    chbEntrega = u.chbEntrega;
    depEntrega = u.depEntrega;
    chbQuantidade = u.chbQuantidade;
    nedQuantidade = u.nedQuantidade;
    chbAtuSoli = u.chbAtuSoli;
    chbConsideraSol = u.chbConsideraSol;
    panAjuste = u.panAjuste;
    lblAjustUn = u.lblAjustUn;
    nedAjustUn = u.nedAjustUn;
    lblAjustQtde = u.lblAjustQtde;
    nedAjustQtde = u.nedAjustQtde;
    lblObs = u.lblObs;
    btnVisualizar = u.btnVisualizar;

    // The edits of an attribute open only with its check box; the product's name is shown,
    // never typed, on the info-tip background like the code.
    for (QWidget* w : {static_cast<QWidget*>(medCdProduto), static_cast<QWidget*>(btpProduto),
                       static_cast<QWidget*>(edtNmProduto), static_cast<QWidget*>(depEntrega),
                       static_cast<QWidget*>(nedQuantidade)})
        w->setEnabled(false);
    medCdProduto->setStyleSheet(QStringLiteral("QLineEdit { background: palette(tooltip-base); }"));
    edtNmProduto->setStyleSheet(QStringLiteral("QLineEdit { background: palette(button); }"));
    depEntrega->setWeekDayNames({S("Domingo"), S("Segunda"), S("Terça"), S("Quarta"), S("Quinta"),
                                 S("Sexta"), S("Sábado")});
    depEntrega->setValidColor(Qt::blue);
    nedQuantidade->setDecimals(3);
    nedQuantidade->setAllowNegative(false);
    nedAjustUn->setDecimals(2);
    nedAjustQtde->setDecimals(2);
    chbConsideraSol->setVisible(false);
    for (QWidget* w : {static_cast<QWidget*>(lblAjustUn), static_cast<QWidget*>(nedAjustUn),
                       static_cast<QWidget*>(lblAjustQtde), static_cast<QWidget*>(nedAjustQtde)})
        w->setVisible(false);
    lblObs->setVisible(false);

    btpProduto->setAssociate(medCdProduto);
    btpProduto->setTitle(S("Produto"));
    btpProduto->setEmptyError(S("Não há produto cadastrado."));
}

void TfrmCadaAuto::buildMenu() {
    auto item = [this](const char* name, const char* caption) {
        QAction* a = ppmOpcoes->addAction(S(caption));
        a->setObjectName(QString::fromLatin1(name));
        return a;
    };
    mnuPadrao = item("mnuPadrao", "Padrão");
    mnuEmbalagemDiferente = item("mnuEmbalagemDiferente", "Embalagem Diferente");
    mnuProdutoDiferente = item("mnuProdutoDiferente", "Produto Diferente");
    mnuProdutoEntrega = item("mnuProdutoEntrega", "Produto + Entrega");
    mnuEntrega = item("mnuEntrega", "Entrega");
    mnuQuantidade = item("mnuQuantidade", "Quantidade");
}

void TfrmCadaAuto::buildData() {
    cdsFiltroSup = new TWorkingSet(this, QStringLiteral("cdsFiltroSup"));
    cdsFiltroSup->setFieldDefs(sup::contracts::filtroSupFields());

    cdsPesqProduto = new TWorkingSet(this, QStringLiteral("cdsPesqProduto"));
    cdsPesqProduto->setFieldDefs({
        FieldDef::text(QStringLiteral("CDARVPROD"), 15, S("Código")),
        FieldDef::text(QStringLiteral("NMPRODUTO"), 50, S("Nome")),
        FieldDef::text(QStringLiteral("CDPRODUTO"), 10).hidden(),
        FieldDef::text(QStringLiteral("NMMARCA"), 20, S("Nome Marca")),
        FieldDef::text(QStringLiteral("CDMARCA"), 5, S("Marca")),
        FieldDef::text(QStringLiteral("CDNVPRODUTO"), 1).hidden(),
        FieldDef::text(QStringLiteral("IDPRODATIVPR"), 1).hidden(),
        FieldDef::text(QStringLiteral("CDPRODARVOL"), 15, S("Código OL")),
        FieldDef::real(QStringLiteral("EST_DISP")).formats(QStringLiteral("###,##0.000")).hidden(),
        FieldDef::text(QStringLiteral("EST_DISP_ST"), 40, S("Estoque Disponível")),
        FieldDef::text(QStringLiteral("SGUNIDADE"), 10).hidden(),
    });

    cdsVdProduto = new TWorkingSet(this, QStringLiteral("cdsVdProduto"));
    cdsVdProduto->setFieldDefs(sup::contracts::vdProdutoFields());

    cdsVdProdEntr = new TWorkingSet(this, QStringLiteral("cdsVdProdEntr"));
    cdsVdProdEntr->setFieldDefs(sup::contracts::produtosFields());
    cdsProdutos = new TWorkingSet(this, QStringLiteral("cdsProdutos"));
    cdsProdutos->setFieldDefs(sup::contracts::produtosFields());
    cdsProduto = new TWorkingSet(this, QStringLiteral("cdsProduto"));
    cdsProduto->setFieldDefs({FieldDef::text(QStringLiteral("CDPRODUTO"), 10)});
    cdsAjusteUn = new TWorkingSet(this, QStringLiteral("cdsAjusteUn"));
    cdsAjusteUn->setFieldDefs(sup::contracts::ajusteUnFields());

    dtsPesqProduto = new TDataSource(this, QStringLiteral("dtsPesqProduto"));
    dtsPesqProduto->setDataSet(cdsPesqProduto);
    btpProduto->setDataSource(dtsPesqProduto);
    dtsVdProduto = new TDataSource(this, QStringLiteral("dtsVdProduto"));
    dtsVdProduto->setDataSet(cdsVdProduto);

    auto query = [this](const char* name) {
        return new TADOIBQuery(this, QString::fromLatin1(name));
    };
    qryPesoUnid = query("qryPesoUnid");
    sup07700::SetPesoUnidQuery(*qryPesoUnid);
    qryCentCmp = query("qryCentCmp");
    sup07700::SetCentCmpOfBranchQuery(*qryCentCmp);
    qryParamPeriodicidade = query("qryParamPeriodicidade");
    sup07700::SetParamPeriodicidadeQuery(*qryParamPeriodicidade);
    qryGrupoOperForaPeri = query("qryGrupoOperForaPeri");
    sup07700::SetGrupoOperForaPeriQuery(*qryGrupoOperForaPeri);
}

void TfrmCadaAuto::connectHandlers() {
    OnClick(chbProduto, [this] { chbProdutoClick(); });
    OnClick(chbQuantidade, [this] { chbQuantidadeClick(); });
    OnClick(chbEntrega, [this] { chbEntregaClick(); });
    OnClick(chbConsideraSol, [this] { chbConsideraSolClick(); });
    OnClick(btnVisualizar, [this] { btnVisualizarClick(); });

    // The options button opens this screen's menu instead of the base's stored options.
    QObject::disconnect(btfLoadOpc, &QAbstractButton::clicked, this, nullptr);
    OnClick(btfLoadOpc, [this] { btfLoadOpcClick(); });
    OnTriggered(mnuPadrao, [this] { mnuPadraoClick(); });
    OnTriggered(mnuEmbalagemDiferente, [this] { mnuEmbalagemDiferenteClick(); });
    OnTriggered(mnuProdutoDiferente, [this] { mnuProdutoDiferenteClick(); });
    OnTriggered(mnuProdutoEntrega, [this] { mnuProdutoEntregaClick(); });
    OnTriggered(mnuEntrega, [this] { mnuEntregaClick(); });
    OnTriggered(mnuQuantidade, [this] { mnuQuantidadeClick(); });

    // The picker runs its own handler (the list depends on the stored option).
    QObject::disconnect(btpProduto, &QAbstractButton::clicked, btpProduto, nullptr);
    OnClick(btpProduto, [this] { btpProdutoClick(); });
    OnExit(medCdProduto, [this] { medCdProdutoExit(); });
    ConnectGuarded(medCdProduto, &QLineEdit::textChanged, this,
                   [this](const QString&) { medCdProdutoChange(); });
    ConnectGuarded(depEntrega, &QLineEdit::textChanged, this,
                   [this](const QString&) { depEntregaChange(); });
    OnExit(depEntrega, [this] { depEntregaExit(); });
}

TdmAltPedidosOL& TfrmCadaAuto::dm() const {
    return sup07700::DataModule();
}
