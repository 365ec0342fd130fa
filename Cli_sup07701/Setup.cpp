// Controls, pickers, working sets, local queries and handler wiring of the filter screen.
#include "Cli_sup07701/TfrmFiltroAltPedidoOL.h"
#include "units/LocalQueries.h"

#include "ui_TfrmFiltroAltPedidoOL.h"

#include "sup/contracts/MethodContract.h"
#include "sup/data/DataSource.h"
#include "sup/data/WorkingSet.h"
#include "sup/net/NetConnection.h"
#include "sup/widgetkit/Glyphs.h"
#include "sup/widgetkit/Guard.h"
#include "sup/widgetkit/Messages.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QLineEdit>
#include <QRadioButton>
#include <QStyle>
#include <QVBoxLayout>

using namespace sup::host;
using sup::data::FieldDef;
using sup::data::FieldDefs;
using sup::data::TDataSource;
using sup::data::TWorkingSet;

static void initResources() {
    Q_INIT_RESOURCE(Cli_sup07701);
}

namespace {

QString S(const char* utf8) {
    return QString::fromUtf8(utf8);
}

// A bold caption over controls in the normal weight.
void boldCaption(QGroupBox* group) {
    QFont bold = group->font();
    bold.setBold(true);
    group->setFont(bold);
    for (QWidget* child : group->findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
        QFont normal = child->font();
        normal.setBold(false);
        child->setFont(normal);
    }
}

FieldDef labelled(FieldDef def, int displayWidth = 0) {
    if (displayWidth > 0) {
        def.displayWidth = displayWidth;
    }
    return def;
}

} // namespace

TfrmFiltroAltPedidoOL::TfrmFiltroAltPedidoOL(QWidget* parent)
    : TfrmFiltroPadrao(parent)
    , ui_(std::make_unique<Ui::FiltroAltPedidoOL>()) {
    initResources();
    setObjectName(QStringLiteral("frmFiltroAltPedidoOL"));
    setWindowTitle(S("Filtro de Alteração de Pedidos do OL"));
    setScreenCode(QStringLiteral("SUP07701"));
    setHelpContext(10403901);
    msgPadrao->loadFromFile(QStringLiteral(":/Cli_sup07701/msgPadrao.txt"));

    auto* form = new QWidget(grbFiltroPadrao);
    ui_->setupUi(form);
    auto* layout = new QVBoxLayout(grbFiltroPadrao);
    layout->setContentsMargins(6, 6, 6, 6);
    layout->addWidget(form);

    bindControls();
    buildData();
    buildQueries();
    buildPickers();
    connectHandlers();
}

TfrmFiltroAltPedidoOL::~TfrmFiltroAltPedidoOL() = default;

void TfrmFiltroAltPedidoOL::bindControls() {
    Ui::FiltroAltPedidoOL& u = *ui_;
    grbPedido = u.grbPedido;
    grbEntrega = u.grbEntrega;
    grbDtEmbarque = u.grbDtEmbarque;
    grbAgrupFili = u.grbAgrupFili;
    grbFilialDest = u.grbFilialDest;
    grbRegiao = u.grbRegiao;
    grbRota = u.grbRota;
    grbMarca = u.grbMarca;
    grbOL = u.grbOL;
    grbLote = u.grbLote;
    grbSubGrupo = u.grbSubGrupo;
    grbProduto = u.grbProduto;
    grpStatus = u.grpStatus;
    grbPedOlExtr = u.grbPedOlExtr;
    grbReserva = u.grbReserva;

    depEmisIni = u.depEmisIni;
    depEmisFim = u.depEmisFim;
    depEntrIni = u.depEntrIni;
    depEntrFim = u.depEntrFim;
    depDtIniEmbarque = u.depDtIniEmbarque;
    depDtFinEmbarque = u.depDtFinEmbarque;
    depDtIniBloq = u.depDtIniBloq;
    depDtFinBloq = u.depDtFinBloq;
    depDtIniNBloq = u.depDtIniNBloq;
    depDtFinNBloq = u.depDtFinNBloq;

    medAgrupFilial = u.medAgrupFilial;
    btnAgrupFilial = u.btnAgrupFilial;
    edtAgrupFilial = u.edtAgrupFilial;
    medProdutoInicial = u.medProdutoInicial;
    medProdutoFinal = u.medProdutoFinal;
    btnPesqProdutoInicial = u.btnPesqProdutoInicial;
    btnPesqProdutoFinal = u.btnPesqProdutoFinal;
    edtProdutoInicial = u.edtProdutoInicial;
    edtProdutoFinal = u.edtProdutoFinal;
    // The names beside the codes are never typed into (the boxes are disabled), but they are read:
    // their text keeps the colour of text, not the pale one of a disabled control.
    for (QLineEdit* name : {edtAgrupFilial, edtProdutoInicial, edtProdutoFinal}) {
        QPalette p = name->palette();
        p.setColor(QPalette::Disabled, QPalette::Text, p.color(QPalette::Active, QPalette::Text));
        name->setPalette(p);
    }

    rbtFilialTodas = u.rbtFilialTodas;
    rbtFilialLista = u.rbtFilialLista;
    btpFilial = u.btpFilial;
    rbtRegiaoT = u.rbtRegiaoT;
    rbtRegiaoL = u.rbtRegiaoL;
    btnRegiao = u.btnRegiao;
    rbtTodasRota = u.rbtTodasRota;
    rbtListaRota = u.rbtListaRota;
    btpRota = u.btpRota;
    rbtTodasMarca = u.rbtTodasMarca;
    rbtListaMarca = u.rbtListaMarca;
    btpMarca = u.btpMarca;
    rbtTodosOL = u.rbtTodosOL;
    rbtListaOL = u.rbtListaOL;
    btpOL = u.btpOL;
    rbtTLote = u.rbtTLote;
    rbtLLote = u.rbtLLote;
    btpLoteEnvio = u.btpLoteEnvio;
    rbtNConsidera = u.rbtNConsidera;
    rbtTSubGrupo = u.rbtTSubGrupo;
    rbtLSubGrupo = u.rbtLSubGrupo;
    btnSubGrupo = u.btnSubGrupo;

    chbBloq = u.chbBloq;
    chbNBloq = u.chbNBloq;
    chbExtra = u.chbExtra;
    chbNExtra = u.chbNExtra;
    chbReserva = u.chbReserva;
    chbNReserva = u.chbNReserva;

    for (QGroupBox* g :
         {grbPedido, grbEntrega, grbDtEmbarque, grbAgrupFili, grbFilialDest, grbRegiao, grbRota,
          grbMarca, grbOL, grbLote, grbSubGrupo, grbProduto, grpStatus, grbPedOlExtr, grbReserva}) {
        boldCaption(g);
    }

    // Ten digits, literals not stored, blank as space.
    medAgrupFilial->setEditMask(QStringLiteral("9999999999;0; "));
    medAgrupFilial->setMaxLength(10);
}

void TfrmFiltroAltPedidoOL::buildData() {
    netSuprimentos = new sup::net::TNetConnection(this, QStringLiteral("netSuprimentos"));
    netSuprimentos->setServerName(sup::contracts::kModuleSuprimentos);
    netSuprimentos->BeforeConnect = [this](sup::net::TNetConnection& c) {
        netSuprimentosBeforeConnect(c);
    };

    cdsParaSupri = new TWorkingSet(this, QStringLiteral("cdsParaSupri"));

    cdsGrupFili = new TWorkingSet(this, QStringLiteral("cdsGrupFili"));
    cdsGrupFili->setFieldDefs({
        labelled(FieldDef::text(QStringLiteral("CDGRUPFILI"), 10, S("Código")), 12),
        FieldDef::text(QStringLiteral("NMGRUPFILI"), 40, S("Nome")),
    });

    cdsFiliAgrupFili = new TWorkingSet(this, QStringLiteral("cdsFiliAgrupFili"));
    {
        FieldDef marked = FieldDef::text(QStringLiteral("IDMARCADO"), 1, {}, true);
        marked.readOnly = true;
        FieldDef branch = FieldDef::text(QStringLiteral("CDFILIAL"), 4, S("Código"));
        branch.editMask = QStringLiteral(">aaaa;0; ");
        cdsFiliAgrupFili->setFieldDefs({
            marked,
            branch,
            FieldDef::text(QStringLiteral("CDGRUPFILI"), 10).hidden(),
            FieldDef::text(QStringLiteral("NMFILIAL"), 30, S("Nome")),
            labelled(FieldDef::text(QStringLiteral("CDREGIAO"), 3, S("Região")), 6),
        });
    }

    cdsProduto = new TWorkingSet(this, QStringLiteral("cdsProduto"));
    cdsProduto->setFieldDefs({
        FieldDef::text(QStringLiteral("CDARVPROD"), 20, S("Código")),
        FieldDef::text(QStringLiteral("NMPRODUTO"), 50, S("Nome")),
    });

    cdsLotePedOL = new TWorkingSet(this, QStringLiteral("cdsLotePedOL"));
    cdsLotePedOL->setFieldDefs({
        FieldDef::text(QStringLiteral("IDMARCADO"), 1),
        labelled(FieldDef::text(QStringLiteral("CDLOTENVITOL"), 10, S("Código")), 14),
        labelled(FieldDef::text(QStringLiteral("NMLOTENVITOL"), 30, S("Nome")), 34),
    });

    dtsGrupFili = new TDataSource(this, QStringLiteral("dtsGrupFili"));
    dtsGrupFili->setDataSet(cdsGrupFili);
    dtsFiliAgrupFili = new TDataSource(this, QStringLiteral("dtsFiliAgrupFili"));
    dtsFiliAgrupFili->setDataSet(cdsFiliAgrupFili);
    dtsProduto = new TDataSource(this, QStringLiteral("dtsProduto"));
    dtsProduto->setDataSet(cdsProduto);
    dtsLotePedOL = new TDataSource(this, QStringLiteral("dtsLotePedOL"));
    dtsLotePedOL->setDataSet(cdsLotePedOL);
}

void TfrmFiltroAltPedidoOL::buildQueries() {
    auto query = [this](const char* name) {
        return new TADOIBQuery(this, QString::fromLatin1(name));
    };
    auto source = [this](const char* name, TWorkingSet* set) {
        auto* s = new TDataSource(this, QString::fromLatin1(name));
        s->setDataSet(set);
        return s;
    };

    // The purchasing branch of the processing branch.
    qryCentCmp = query("qryCentCmp");
    sup07700::SetCentCmpQuery(*qryCentCmp);

    // Destination branches, by region; qryFilial2 only those linked to the operator.
    const FieldDefs filialFields = {
        FieldDef::text(QStringLiteral("CDFILIAL"), 4, S("Código")),
        FieldDef::text(QStringLiteral("NMFILIAL"), 30, S("Nome")),
        FieldDef::text(QStringLiteral("CDREGIAO"), 3, S("Região")),
    };
    qryFilial = query("qryFilial");
    qryFilial->SQL = {
        QStringLiteral("SELECT"),
        QStringLiteral("  FILIAL.CDFILIAL,"),
        QStringLiteral("  FILIAL.NMFILIAL,"),
        QStringLiteral("  FILIAL.CDREGIAO"),
        QStringLiteral("FROM"),
        QStringLiteral("  FILIAL,"),
        QStringLiteral("  PARAM(:P_CDREGIAO) P_CDREGIAO"),
        QStringLiteral("WHERE (INSTR(P_CDREGIAO.PARAM, CDREGIAO) > 0 OR :P_TCDREGIAO = 'T')"),
        QStringLiteral("  AND (FILIAL.CDFILIAL = :P_CDFILIAL OR :P_TCDFILIAL = 'T')"),
        QStringLiteral("ORDER BY"),
        QStringLiteral("  FILIAL.CDFILIAL"),
    };
    qryFilial->SQL_IB = qryFilial->SQL;
    qryFilial->SQL_ORACLE = {
        QStringLiteral("SELECT"),
        QStringLiteral("  FILIAL.CDFILIAL,"),
        QStringLiteral("  FILIAL.NMFILIAL,"),
        QStringLiteral("  FILIAL.CDREGIAO"),
        QStringLiteral("FROM"),
        QStringLiteral("  FILIAL"),
        QStringLiteral("WHERE (INSTR(:P_CDREGIAO, CDREGIAO) > 0 OR :P_TCDREGIAO = 'T')"),
        QStringLiteral("  AND (FILIAL.CDFILIAL = :P_CDFILIAL OR :P_TCDFILIAL = 'T')"),
        QStringLiteral("ORDER BY"),
        QStringLiteral("  FILIAL.CDFILIAL"),
    };
    qryFilial->SQL_MSSQL = qryFilial->SQL_ORACLE;
    qryFilial->SQL_MSSQL[6] =
        QStringLiteral("WHERE (CHARINDEX(CDREGIAO, :P_CDREGIAO) > 0 OR :P_TCDREGIAO = 'T')");
    qryFilial->setFieldDefs(filialFields);

    qryFilial2 = query("qryFilial2");
    qryFilial2->SQL = {
        QStringLiteral("SELECT"),
        QStringLiteral("  FILIAL.CDFILIAL,"),
        QStringLiteral("  FILIAL.NMFILIAL,"),
        QStringLiteral("  FILIAL.CDREGIAO"),
        QStringLiteral("FROM"),
        QStringLiteral("  FILIAL,"),
        QStringLiteral("  FILIOPER,"),
        QStringLiteral("  PARAM(:P_CDREGIAO) P_CDREGIAO"),
        QStringLiteral("WHERE (INSTR(P_CDREGIAO.PARAM, CDREGIAO) > 0 OR :P_TCDREGIAO = 'T')"),
        QStringLiteral("  AND (FILIAL.CDFILIAL = :P_CDFILIAL OR :P_TCDFILIAL = 'T')"),
        QStringLiteral("  AND (FILIAL.CDFILIAL = FILIOPER.CDFILIAL)"),
        QStringLiteral("  AND (FILIOPER.CDOPERADOR = :P_CDOPERADOR)"),
        QStringLiteral("ORDER BY"),
        QStringLiteral("  FILIAL.CDFILIAL"),
    };
    qryFilial2->SQL_IB = qryFilial2->SQL;
    qryFilial2->SQL_ORACLE = {
        QStringLiteral("SELECT"),
        QStringLiteral("  FILIAL.CDFILIAL,"),
        QStringLiteral("  FILIAL.NMFILIAL,"),
        QStringLiteral("  FILIAL.CDREGIAO"),
        QStringLiteral("FROM"),
        QStringLiteral("  FILIAL,"),
        QStringLiteral("  FILIOPER"),
        QStringLiteral("WHERE (INSTR(:P_CDREGIAO, CDREGIAO) > 0 OR :P_TCDREGIAO = 'T')"),
        QStringLiteral("  AND (FILIAL.CDFILIAL = :P_CDFILIAL OR :P_TCDFILIAL = 'T')"),
        QStringLiteral("  AND (FILIOPER.CDFILIAL = FILIAL.CDFILIAL)"),
        QStringLiteral("  AND (FILIOPER.CDOPERADOR = :P_CDOPERADOR)"),
        QStringLiteral("ORDER BY"),
        QStringLiteral("  FILIAL.CDFILIAL"),
    };
    qryFilial2->SQL_MSSQL = qryFilial2->SQL_ORACLE;
    qryFilial2->SQL_MSSQL[7] =
        QStringLiteral("WHERE (CHARINDEX(CDREGIAO, :P_CDREGIAO) > 0 OR :P_TCDREGIAO = 'T')");
    FieldDefs filial2Fields = filialFields;
    filial2Fields[1].label = QStringLiteral("Filial");
    qryFilial2->setFieldDefs(filial2Fields);

    // Logistics operators are the branches whose function is "O".
    qryOL = query("qryOL");
    qryOL->SQL = {
        QStringLiteral("SELECT"),
        QStringLiteral("  FILIAL.CDFILIAL,"),
        QStringLiteral("  FILIAL.NMFILIAL"),
        QStringLiteral("FROM"),
        QStringLiteral("  FILIAL"),
        QStringLiteral("WHERE FILIAL.IDFUNCAOFILI = 'O'"),
        QStringLiteral("  AND (FILIAL.CDFILIAL = :P_CDFILIAL OR :P_TCDFILIAL = 'T')"),
        QStringLiteral("ORDER BY"),
        QStringLiteral("  FILIAL.CDFILIAL"),
    };
    qryOL->setFieldDefs({FieldDef::text(QStringLiteral("CDFILIAL"), 4, S("Código")),
                         FieldDef::text(QStringLiteral("NMFILIAL"), 30, S("Nome"))});

    qryRegiao = query("qryRegiao");
    qryRegiao->SQL = {QStringLiteral("SELECT CDREGIAO,"), QStringLiteral("  NMREGIAO"),
                      QStringLiteral("FROM REGIAO"), QStringLiteral("ORDER BY CDREGIAO")};
    qryRegiao->setFieldDefs({FieldDef::text(QStringLiteral("CDREGIAO"), 3, S("Código")),
                             FieldDef::text(QStringLiteral("NMREGIAO"), 30, S("Nome"))});

    qrySubGrupo = query("qrySubGrupo");
    qrySubGrupo->SQL = {QStringLiteral("SELECT CDSUBGRPROD, NMSUBGRPROD"),
                        QStringLiteral("FROM SUBGRUPPROD"),
                        QStringLiteral("WHERE (CDGRUPPROD = :P_CDGRUPPROD)"),
                        QStringLiteral("ORDER BY CDSUBGRPROD")};
    qrySubGrupo->setFieldDefs({FieldDef::text(QStringLiteral("CDSUBGRPROD"), 10, S("Código")),
                               FieldDef::text(QStringLiteral("NMSUBGRPROD"), 40, S("Nome"))});

    qryRota = query("qryRota");
    qryRota->SQL = {QStringLiteral("SELECT"), QStringLiteral("  CDROTATRANS,"),
                    QStringLiteral("  NMROTATRANS"), QStringLiteral("FROM ROTATRANS"),
                    QStringLiteral("ORDER BY CDROTATRANS")};
    qryRota->setFieldDefs({FieldDef::text(QStringLiteral("CDROTATRANS"), 6, S("Código")),
                           FieldDef::text(QStringLiteral("NMROTATRANS"), 40, S("Nome"))});

    qryMarca = query("qryMarca");
    qryMarca->SQL = {QStringLiteral("SELECT CDMARCA, NMMARCA"), QStringLiteral("FROM MARCA"),
                     QStringLiteral("ORDER BY CDMARCA")};
    qryMarca->setFieldDefs({FieldDef::text(QStringLiteral("CDMARCA"), 5, S("Código")),
                            FieldDef::text(QStringLiteral("NMMARCA"), 20, S("Nome"))});

    qryParamGeral = query("qryParamGeral");
    qryParamGeral->SQL = {QStringLiteral("SELECT IDRESTRFILIOPER FROM PARAMGERAL")};
    qryParamGeral->setFieldDefs({FieldDef::text(QStringLiteral("IDRESTRFILIOPER"), 1)});

    dtsFilial = source("dtsFilial", qryFilial);
    dtsOL = source("dtsOL", qryOL);
    dtsRegiao = source("dtsRegiao", qryRegiao);
    dtsSubGrupo = source("dtsSubGrupo", qrySubGrupo);
    dtsRota = source("dtsRota", qryRota);
    dtsMarca = source("dtsMarca", qryMarca);
}

void TfrmFiltroAltPedidoOL::buildPickers() {
    struct Picker {
        TBtnPesquisa* button;
        const char* title;
        TDataSource* source;
        const char* emptyError;
        QLineEdit* associate;
    };
    const Picker pickers[] = {
        {btnAgrupFilial, "Agrupamento de Filial", dtsGrupFili, "Não há agrupamento cadastrado.",
         medAgrupFilial},
        {btpFilial, "Filial Destino", dtsFilial, "Não há filial cadastrada.", nullptr},
        {btnRegiao, "Região", dtsRegiao, "Não há região cadastrada.", nullptr},
        {btpRota, "Rota", nullptr, "Não há rota cadastrada.", nullptr},
        {btpMarca, "", nullptr, "", nullptr},
        {btpOL, "Operador Logístico", dtsOL, "Não há operador logístico cadastrado.", nullptr},
        {btpLoteEnvio, "Lote de Envio", nullptr, "Não há lote de envio cadastrado.", nullptr},
        {btnSubGrupo, "Sub-Grupo", nullptr, "", nullptr},
        {btnPesqProdutoInicial, "Produto", dtsProduto,
         "Não há produto cadastrado que possua relacionamento para o OL.", medProdutoInicial},
        {btnPesqProdutoFinal, "Produto", dtsProduto,
         "Não há produto cadastrado que possua relacionamento para o OL.", medProdutoFinal},
    };
    const QIcon glyph = Glyph(u"edit-find");
    for (const Picker& p : pickers) {
        p.button->setIcon(glyph);
        p.button->setHint(S("Pesquisar"));
        p.button->setTitle(S(p.title));
        p.button->setDataSource(p.source);
        p.button->setEmptyError(S(p.emptyError));
        if (p.associate) {
            p.button->setAssociate(p.associate);
        }
    }
}

void TfrmFiltroAltPedidoOL::connectHandlers() {
    // After every choice (a radio, a picker, F9, a grouping typed) the "Lista" radios tell how
    // many keys their lists hold, also when the handler failed half way.
    struct ShowChosen {
        TfrmFiltroAltPedidoOL* screen;
        ~ShowChosen() { screen->showChosenKeys(); }
    };
    auto click = [this](QAbstractButton* b, void (TfrmFiltroAltPedidoOL::*h)()) {
        OnClick(b, [this, h] {
            const ShowChosen shown{this};
            (this->*h)();
        });
    };
    click(rbtFilialTodas, &TfrmFiltroAltPedidoOL::rbtFilialTodasClick);
    click(rbtFilialLista, &TfrmFiltroAltPedidoOL::rbtFilialListaClick);
    click(rbtRegiaoT, &TfrmFiltroAltPedidoOL::rbtRegiaoTClick);
    click(rbtRegiaoL, &TfrmFiltroAltPedidoOL::rbtRegiaoLClick);
    click(rbtTodasRota, &TfrmFiltroAltPedidoOL::rbtTodasRotaClick);
    click(rbtListaRota, &TfrmFiltroAltPedidoOL::rbtListaRotaClick);
    click(rbtTodasMarca, &TfrmFiltroAltPedidoOL::rbtTodasMarcaClick);
    click(rbtListaMarca, &TfrmFiltroAltPedidoOL::rbtListaMarcaClick);
    click(rbtTodosOL, &TfrmFiltroAltPedidoOL::rbtTodosOLClick);
    click(rbtListaOL, &TfrmFiltroAltPedidoOL::rbtListaOLClick);
    click(rbtTLote, &TfrmFiltroAltPedidoOL::rbtTLoteClick);
    click(rbtNConsidera, &TfrmFiltroAltPedidoOL::rbtNConsideraClick);
    click(rbtLLote, &TfrmFiltroAltPedidoOL::rbtLLoteClick);
    click(rbtTSubGrupo, &TfrmFiltroAltPedidoOL::rbtTSubGrupoClick);
    click(rbtLSubGrupo, &TfrmFiltroAltPedidoOL::rbtLSubGrupoClick);
    click(chbBloq, &TfrmFiltroAltPedidoOL::chbBloqClick);
    click(chbNBloq, &TfrmFiltroAltPedidoOL::chbNBloqClick);

    // The multiple pickers run their own handler instead of the button's single pick.
    for (TBtnPesquisa* b :
         {btpFilial, btpOL, btnRegiao, btpRota, btpMarca, btpLoteEnvio, btnSubGrupo}) {
        QObject::disconnect(b, &QAbstractButton::clicked, b, nullptr);
    }
    click(btpFilial, &TfrmFiltroAltPedidoOL::btpFilialClick);
    click(btpOL, &TfrmFiltroAltPedidoOL::btpOLClick);
    click(btnRegiao, &TfrmFiltroAltPedidoOL::btnRegiaoClick);
    click(btpRota, &TfrmFiltroAltPedidoOL::btpRotaClick);
    click(btpMarca, &TfrmFiltroAltPedidoOL::btpMarcaClick);
    click(btpLoteEnvio, &TfrmFiltroAltPedidoOL::btpLoteEnvioClick);
    click(btnSubGrupo, &TfrmFiltroAltPedidoOL::btnSubGrupoClick);

    btnAgrupFilial->OnBeforePesq = [this](TBtnPesquisa&) {
        btnAgrupFilialBeforePesq();
    };
    btnAgrupFilial->OnAfterPesq = [this](TBtnPesquisa&) {
        btnAgrupFilialAfterPesq();
    };
    btnPesqProdutoInicial->OnBeforePesq = [this](TBtnPesquisa&) {
        btnPesqProdutoInicialBeforePesq();
    };
    btnPesqProdutoInicial->OnAfterPesq = [this](TBtnPesquisa&) {
        btnPesqProdutoInicialAfterPesq();
    };
    btnPesqProdutoFinal->OnBeforePesq = [this](TBtnPesquisa&) {
        btnPesqProdutoFinalBeforePesq();
    };
    btnPesqProdutoFinal->OnAfterPesq = [this](TBtnPesquisa&) {
        btnPesqProdutoFinalAfterPesq();
    };

    auto key = [this](QWidget* w, void (TfrmFiltroAltPedidoOL::*h)(int&, Qt::KeyboardModifiers)) {
        OnKeyDown(w, [this, h](int& k, Qt::KeyboardModifiers m) {
            const ShowChosen shown{this};
            (this->*h)(k, m);
        });
    };
    key(rbtFilialLista, &TfrmFiltroAltPedidoOL::rbtFilialListaKeyDown);
    key(rbtListaOL, &TfrmFiltroAltPedidoOL::rbtListaOLKeyDown);
    key(rbtLLote, &TfrmFiltroAltPedidoOL::rbtLLoteKeyDown);
    key(rbtLSubGrupo, &TfrmFiltroAltPedidoOL::rbtLSubGrupoKeyDown);

    OnExit(medAgrupFilial, [this] { medAgrupFilialExit(); });
    OnExit(medProdutoInicial, [this] { medProdutoInicialExit(); });
    OnExit(medProdutoFinal, [this] { medProdutoFinalExit(); });
    // Each date edit tells of a date that does not exist when it is left.
    for (TDateEditPlus* d :
         {depEmisIni, depEmisFim, depEntrIni, depEntrFim, depDtIniEmbarque, depDtFinEmbarque,
          depDtIniBloq, depDtFinBloq, depDtIniNBloq, depDtFinNBloq}) {
        OnExit(d, [d] { d->CheckValidDateOnExit(); });
    }

    ConnectGuarded(medAgrupFilial, &QLineEdit::textChanged, this, [this](const QString&) {
        const ShowChosen shown{this};
        medAgrupFilialChange();
    });
    ConnectGuarded(medProdutoInicial, &QLineEdit::textChanged, this,
                   [this](const QString&) { medProdutoInicialChange(); });
    ConnectGuarded(medProdutoFinal, &QLineEdit::textChanged, this,
                   [this](const QString&) { medProdutoFinalChange(); });
}
