// Controls, menus, grid columns, working sets, connection and local query of the maintenance
// screen.
#include "Cli_sup07700/TfrmAltPedidosOL.h"
#include "Dm_sup07700/TdmAltPedidosOL.h"

#include "sup/contracts/host/Vantrel.h"
#include "sup/data/DataSource.h"
#include "sup/data/WorkingSet.h"
#include "sup/net/NetConnection.h"
#include "sup/widgetkit/Glyphs.h"
#include "sup/widgetkit/Guard.h"
#include "sup/widgetkit/Messages.h"
#include "sup/widgetkit/Query.h"

#include <QApplication>
#include <QMenu>
#include <QPainter>
#include <QStatusBar>
#include <QStyle>
#include <QStyleOptionButton>

using namespace sup::host;
using sup::data::TDataSource;
using sup::data::TWorkingSet;

static void initResources() {
    Q_INIT_RESOURCE(Cli_sup07700);
}

namespace {

// The marker pictures: a check box drawn by the style, checked or not, 16 by 16.
QPixmap markerPicture(const QWidget* w, bool checked) {
    QPixmap pm(16, 16);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    QStyleOptionButton opt;
    opt.rect = QRect(1, 1, 14, 14);
    opt.state = QStyle::State_Enabled | (checked ? QStyle::State_On : QStyle::State_Off);
    w->style()->drawPrimitive(QStyle::PE_IndicatorCheckBox, &opt, &p, w);
    return pm;
}

} // namespace

TDBText::TDBText(QWidget* parent, const QString& name, const QString& fieldName)
    : QLabel(parent)
    , fieldName_(fieldName) {
    setObjectName(name);
}

void TDBText::setDataSource(TDataSource* source) {
    for (const auto& c : conns_) {
        disconnect(c);
    }
    conns_.clear();
    source_ = source;
    if (source) {
        conns_ << connect(source, &TDataSource::dataChanged, this, &TDBText::refresh)
               << connect(source, &TDataSource::stateChanged, this, &TDBText::refresh)
               << connect(source, &TDataSource::dataSetChanged, this, &TDBText::refresh);
    }
    refresh();
}

void TDBText::refresh() {
    TWorkingSet* set = source_ ? source_->dataSet() : nullptr;
    if (!set || !set->active() || set->isEmpty()) {
        setText({});
        return;
    }
    const sup::data::TField* f = set->findField(fieldName_);
    setText(f ? f->text() : QString());
}

TfrmAltPedidosOL::TfrmAltPedidosOL(QWidget* parent)
    : TfrmPadraoGrid(parent) {
    initResources();
    setObjectName(QStringLiteral("frmAltPedidosOL"));
    setWindowTitle(QStringLiteral("Alteração de Pedidos do OL"));
    setScreenCode(QStringLiteral("SUP07700"));
    resize(1004, 418);
    msgPadrao->loadFromFile(QStringLiteral(":/Cli_sup07700/msgPadrao.txt"));

    buildData();
    buildActions();
    buildGrid();
    buildStatusBar();
}

TfrmAltPedidosOL::~TfrmAltPedidosOL() = default;

void TfrmAltPedidosOL::buildData() {
    dm_ = new TdmAltPedidosOL(this);
    TWorkingSet* cdsItem = dm_->cdsItem;
    cdsItem->AfterOpen = [this](TWorkingSet&) {
        cdsItemAfterOpen();
    };
    cdsItem->AfterScroll = [this](TWorkingSet&) {
        cdsItemAfterScroll();
    };
    cdsItem->BeforeInsert = [this](TWorkingSet&) {
        cdsItemBeforeInsert();
    };
    cdsItem->BeforeDelete = [this](TWorkingSet&) {
        cdsItemBeforeDelete();
    };
    cdsItem->BeforeEdit = [this](TWorkingSet&) {
        cdsItemBeforeEdit();
    };
    cdsItem->BeforePost = [this](TWorkingSet&) {
        cdsItemBeforePost();
    };
    dm_->cdsMarcaPref2->fieldByName(u"CDTIPPART")->OnGetText = [this](const sup::data::TField& f,
                                                                      bool) {
        return cdsMarcaPref2CDTIPPARTGetText(f);
    };
    dtsPesqProduto = new TDataSource(dm_->cdsPesqProduto, QStringLiteral("dtsPesqProduto"));
    dtsPesqProduto->setDataSet(dm_->cdsPesqProduto);
    dtsPesqMarca = new TDataSource(dm_->cdsPesqMarca, QStringLiteral("dtsPesqMarca"));
    dtsPesqMarca->setDataSet(dm_->cdsPesqMarca);
    dtsPesqMarcaTodas = new TDataSource(dm_->qryPesqMarcTodas, QStringLiteral("dtsPesqMarcaTodas"));
    dtsPesqMarcaTodas->setDataSet(dm_->qryPesqMarcTodas);
    dtsGerente = new TDataSource(dm_->qryGerente, QStringLiteral("dtsGerente"));
    dtsGerente->setDataSet(dm_->qryGerente);
    cdsItem->fieldByName(u"IDITMPEDOLBLOQ")->OnGetText = [this](const sup::data::TField& f, bool) {
        return cdsItemIDITMPEDOLBLOQGetText(f);
    };
    cdsItem->fieldByName(u"IDTIPOEXOL")->OnGetText = [this](const sup::data::TField& f, bool) {
        const QString v = f.asString().trimmed();
        if (v == u"A") {
            return msgPadrao->Msg(QStringLiteral("Automatico"));
        }
        if (v == u"M") {
            return msgPadrao->Msg(QStringLiteral("Manual"));
        }
        return QString();
    };
    dtsPadrao->setDataSet(cdsItem);

    // The counts of the status bar follow the items.
    calcField_ = cdsItem->fieldByName(u"CALC")->index();
    alteradoField_ = cdsItem->fieldByName(u"ALTERADO")->index();
    connect(cdsItem, &TWorkingSet::contentReset, this, [this] { countItems(); });
    connect(cdsItem, &TWorkingSet::rowsInserted, this, [this](int) { countItems(); });
    connect(cdsItem, &TWorkingSet::rowsRemoved, this, [this](int) { countItems(); });
    connect(cdsItem, &TWorkingSet::recordChanged, this, [this](int position, int field) {
        if (field < 0 || field == calcField_ || field == alteradoField_) {
            countItem(position);
        }
    });

    dm_->netAltPedidosOL->BeforeConnect = [this](sup::net::TNetConnection& c) {
        netAltPedidosOLBeforeConnect(c);
    };
    // Whoever loads the items (the filter's confirm, every reload), the actions follow.
    connect(dm_, &TdmAltPedidosOL::itemsLoaded, this, [this] { Habilita(); });
}

void TfrmAltPedidosOL::buildActions() {
    // Menu items in the order of the maintenance menu.
    mnuFiltro = newMenuItem(QStringLiteral("mnuFiltro"), QStringLiteral("Filtrar"),
                            QKeySequence(Qt::CTRL | Qt::Key_L));
    mnuBaixaManual =
        newMenuItem(QStringLiteral("mnuBaixaManual"), QStringLiteral("&Cancelar Pedido"));
    mnuED = newMenuItem(QStringLiteral("mnuED"), QStringLiteral("Entrega &Direta (ponto-a-ponto)"));
    mnuAltAut = newMenuItem(QStringLiteral("mnuAltAut"), QStringLiteral("Alteração A&utomática"));
    mnuBloqItem =
        newMenuItem(QStringLiteral("mnuBloqItem"), QStringLiteral("&Bloquear/Desbloquear Item"),
                    QKeySequence(Qt::CTRL | Qt::Key_B));
    mnuReservaOL =
        newMenuItem(QStringLiteral("mnuReservaOL"), QStringLiteral("&Reserva de Produto"),
                    QKeySequence(Qt::CTRL | Qt::Key_R));
    mnuEnvPedOL = newMenuItem(QStringLiteral("mnuEnvPedOL"), QStringLiteral("&Envio de Pedido"),
                              QKeySequence(Qt::CTRL | Qt::Key_E));

    // Buttons in the order of the toolbar, each tied to its menu item.
    sbtFiltro = newToolButton(QStringLiteral("sbtFiltro"), QStringLiteral("Filtrar"), mnuFiltro,
                              Glyph(u"system-search"));
    sbtAutomatico =
        newToolButton(QStringLiteral("sbtAutomatico"), QStringLiteral("Alteração Automática"),
                      mnuAltAut, Glyph(u"system-run"));
    btnBaixaManual =
        newToolButton(QStringLiteral("btnBaixaManual"), QStringLiteral("Cancelar Pedido"),
                      mnuBaixaManual, Glyph(u"process-stop"));
    btnPontoaPonto =
        newToolButton(QStringLiteral("btnPontoaPonto"),
                      QStringLiteral("Entrega Direta (ponto-a-ponto)"), mnuED, Glyph(u"go-jump"));
    btnBloqItem =
        newToolButton(QStringLiteral("btnBloqItem"), QStringLiteral("Bloquear/Desbloquear Item"),
                      mnuBloqItem, Glyph(u"changes-prevent"));
    btnReservaOL =
        newToolButton(QStringLiteral("btnReservaOL"), QStringLiteral("Reserva de Produto"),
                      mnuReservaOL, Glyph(u"emblem-package"));
    btnLoteEnvOL = newToolButton(QStringLiteral("btnLoteEnvOL"),
                                 QStringLiteral("Cadastramento de Lote de Envio de Pedidos OL"),
                                 mnuEnvPedOL, Glyph(u"mail-send"));

    for (QAction* a :
         {mnuFiltro, mnuBaixaManual, mnuED, mnuAltAut, mnuBloqItem, mnuReservaOL, mnuEnvPedOL}) {
        a->setEnabled(false);
    }
    OnTriggered(mnuFiltro, [this] { sbtFiltroClick(); });
    OnTriggered(mnuBloqItem, [this] { mnuBloqItemClick(); });
    OnTriggered(mnuED, [this] { btnPontoaPontoClick(); });
    OnTriggered(mnuBaixaManual, [this] { btnBaixaManualClick(); });
    OnTriggered(mnuReservaOL, [this] { btnReservaOLClick(); });
    OnTriggered(mnuEnvPedOL, [this] { mnuEnvPedOLClick(); });
    OnTriggered(mnuAltAut, [this] { sbtAutomaticoClick(); });

    // The listing and printer set-up are not offered by this routine.
    mnuListagem->setEnabled(false);
    mnuConfImpressora->setEnabled(false);

    pmnCadastro = new QMenu(this);
    pmnCadastro->setObjectName(QStringLiteral("pmnCadastro"));
    mnuBloquear = pmnCadastro->addAction(QStringLiteral("&Bloquear Item"));
    mnuBloquear->setObjectName(QStringLiteral("mnuBloquear"));
    mnuNBloquear = pmnCadastro->addAction(QStringLiteral("&Desbloquear Item"));
    mnuNBloquear->setObjectName(QStringLiteral("mnuNBloquear"));
    pmnCadastro1 = new QMenu(this);
    pmnCadastro1->setObjectName(QStringLiteral("pmnCadastro1"));
    mnuExcluiRes = pmnCadastro1->addAction(QStringLiteral("&Excluir"));
    mnuExcluiRes->setObjectName(QStringLiteral("mnuExcluiRes"));
    mnuIncluiRes = pmnCadastro1->addAction(QStringLiteral("&Incluir"));
    mnuIncluiRes->setObjectName(QStringLiteral("mnuIncluiRes"));
    OnTriggered(mnuBloquear, [this] { BloqItem(QStringLiteral("N"), QStringLiteral("S")); });
    OnTriggered(mnuNBloquear, [this] { BloqItem(QStringLiteral("S"), QStringLiteral("N")); });
    OnTriggered(mnuIncluiRes, [this] { Excl_Incl_Reserva(QStringLiteral("I")); });
    OnTriggered(mnuExcluiRes, [this] { Excl_Incl_Reserva(QStringLiteral("E")); });

    // The history of the current item: a read, whatever the state of the items.
    mnuHistItem = newMenuItem(QStringLiteral("mnuHistItem"), QStringLiteral("&Histórico do Item"),
                              QKeySequence(Qt::CTRL | Qt::Key_H));
    OnTriggered(mnuHistItem, [this] { mnuHistItemClick(); });

    // The export of the grid's rows, after the routine's own items and buttons.
    mnuExportar = newMenuItem(QStringLiteral("mnuExportar"), QStringLiteral("E&xportar…"),
                              QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_E));
    btnExportar =
        newToolButton(QStringLiteral("btnExportar"), QStringLiteral("Exportar para planilha"),
                      mnuExportar, Glyph(u"document-save"));
    OnTriggered(mnuExportar, [this] { mnuExportarClick(); });
}

void TfrmAltPedidosOL::buildGrid() {
    using Col = TDBGrid::Column;
    // The widths were drawn for a small screen font of about 5 pixels a character: they grow
    // with the font in use, in proportion, and never below the title.
    const QFontMetrics fm(dbgPadrao->font());
    const double scale = std::max(1.0, fm.averageCharWidth() / 5.0);
    // `sample` is a typical value the column must show whole.
    auto col = [&](const char* field, const char* title, int width, bool readOnly,
                   const char* sample = "") {
        Col c;
        c.fieldName = QString::fromLatin1(field);
        c.title = QString::fromUtf8(title);
        if (width > 0)
            c.width = std::max({int(width * scale + 0.5), fm.horizontalAdvance(c.title) + 14,
                                fm.horizontalAdvance(QString::fromLatin1(sample)) + 12});
        c.readOnly = readOnly;
        return c;
    };
    Col marker = col("CALC", "\u2714", 18, false);
    QFont symbol = font();
    symbol.setBold(true);
    marker.titleFont = symbol;
    marker.titleFontSet = true;
    dbgPadrao->setColumns({
        marker,
        col("DTPROGEMBARQ", "Embarque", 63, true, "00/00/0000"),
        col("DTPROGENPEOL", "Entrega", 63, true, "00/00/0000"),
        col("CDARVPROD", "Produto", 77, false, "00.00.000.0000"),
        col("NMPRODUTO", "Nome do Produto", 131, true),
        col("SGUNIDADE", "UN", 19, true),
        col("CDMARCA", "Marca", 56, false, "00000"),
        col("NMMARCA", "Nome da Marca", 80, true),
        col("CDFILDEST", "Destino", 73, true),
        col("CDFILLANC", "Lanç.", 0, true),
        col("NRPEDEXOL", "Pedido", 65, true, "0000000000"),
        col("QTPROGENPEOL", "Qtde.", 66, false, "000.000,000"),
        col("QTRESERVESTOL", "Reserva", 0, true),
        col("CDLOTENVITOL", "Lote de Envio", 0, false),
        col("CDFILIOPELOG", "OL", 55, false, "0000"),
    });
    dbgPadrao->setStretchFields({QStringLiteral("NMPRODUTO"), QStringLiteral("NMMARCA")});
    dbgPadrao->OnDrawColumnCell = [this](TDBGrid&, QPainter& painter,
                                         const QStyleOptionViewItem& option, int column) {
        return dbgPadraoDrawColumnCell(painter, option, column);
    };
    dbgPadrao->OnDblClick = [this](TDBGrid&) {
        dbgPadraoDblClick();
    };
    dbgPadrao->OnTitleClick = [this](TDBGrid&, int column) {
        dbgPadraoTitleClick(column);
    };
    dbgPadrao->OnColEnter = [this](TDBGrid&) {
        dbgPadraoColEnter();
    };
    dbgPadrao->OnColExit = [this](TDBGrid&) {
        dbgPadraoColExit();
    };
    dbgPadrao->OnEditButtonClick = [this](TDBGrid&) {
        dbgPadraoEditButtonClick();
    };

    imgChecked = new QLabel(this);
    imgChecked->setObjectName(QStringLiteral("imgChecked"));
    imgChecked->setPixmap(markerPicture(this, true));
    imgChecked->hide();
    imgUnChecked = new QLabel(this);
    imgUnChecked->setObjectName(QStringLiteral("imgUnChecked"));
    imgUnChecked->setPixmap(markerPicture(this, false));
    imgUnChecked->hide();
}

void TfrmAltPedidosOL::buildStatusBar() {
    dbtNome = new TDBText(stbPadrao, QStringLiteral("dbtNome"), QStringLiteral("NMPRODUTO"));
    dbtTipoLanc =
        new TDBText(stbPadrao, QStringLiteral("dbtTipoLanc"), QStringLiteral("IDTIPOEXOL"));
    QFont bold = dbtTipoLanc->font();
    bold.setBold(true);
    dbtTipoLanc->setFont(bold);
    dbtItemBloq =
        new TDBText(stbPadrao, QStringLiteral("dbtItemBloq"), QStringLiteral("IDITMPEDOLBLOQ"));
    dbtItemBloq->setFont(bold);
    dbtItemBloq->setStyleSheet(QStringLiteral("color: red;"));
    lblContagem = new QLabel(stbPadrao);
    lblContagem->setObjectName(QStringLiteral("lblContagem"));
    stbPadrao->addWidget(dbtNome, 1);
    stbPadrao->addWidget(dbtTipoLanc);
    stbPadrao->addWidget(dbtItemBloq);
    stbPadrao->addPermanentWidget(lblContagem);
    for (TDBText* t : {dbtNome, dbtTipoLanc, dbtItemBloq}) {
        t->setDataSource(dtsPadrao);
    }
}
