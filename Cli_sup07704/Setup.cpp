// Controls and handler wiring of the particularity dialog of the automatic alteration.
#include "Cli_sup07704/TfrmErroCadaAuto.h"

#include "ui_TfrmErroCadaAuto.h"

#include "Dm_sup07700/Dm_sup07700.h"
#include "Dm_sup07700/TdmAltPedidosOL.h"

#include "sup/data/DataSource.h"
#include "sup/widgetkit/DBGrid.h"
#include "sup/widgetkit/Guard.h"
#include "sup/widgetkit/Messages.h"

#include <QFontMetrics>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QStyle>
#include <QTabBar>
#include <QTabWidget>
#include <QToolTip>

using namespace sup::host;

static void initResources() {
    Q_INIT_RESOURCE(Cli_sup07704);
}

TfrmErroCadaAuto::TfrmErroCadaAuto(QWidget* parent)
    : TfrmRotiGeral(parent)
    , ui_(std::make_unique<Ui::ErroCadaAuto>()) {
    initResources();
    setObjectName(QStringLiteral("frmErroCadaAuto"));
    setWindowTitle(QStringLiteral("Erro"));
    setScreenCode(QStringLiteral("SUP07704"));
    setHelpContext(12801716);
    msgPadrao->loadFromFile(QStringLiteral(":/Cli_sup07704/msgPadrao.txt"));
    // A fixed frame with the system menu only: no minimising, no maximising, no resizing.
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);

    // The list and its two answers take the place of the base's data group and buttons.
    auto* form = new QWidget(this);
    ui_->setupUi(form);
    grbDadosRel->hide();
    panMenu->hide();
    mainLayout_->insertWidget(0, form, 1);
    ui_->layBotoes->insertWidget(0, lblCodTela);
    setFixedSize(877, 302);

    bindControls();
    connectHandlers();
}

TfrmErroCadaAuto::~TfrmErroCadaAuto() = default;

void TfrmErroCadaAuto::bindControls() {
    Ui::ErroCadaAuto& u = *ui_;
    imgErroOri = u.imgErroOri;
    lblErro = u.lblErro;
    pgcPadrao = u.pgcPadrao;
    tshFolhaDados = u.tshFolhaDados;
    dbgPadrao = u.dbgPadrao;
    btnSim = u.btnSim;
    btnNao = u.btnNao;

    imgErroOri->setPixmap(style()->standardIcon(QStyle::SP_MessageBoxWarning).pixmap(32, 32));
    QFont bold = lblErro->font();
    bold.setBold(true);
    lblErro->setFont(bold);
    // One page, no tab to choose it by.
    pgcPadrao->tabBar()->hide();

    dtsErro = new sup::data::TDataSource(this, QStringLiteral("dtsErro"));
    dtsErro->setDataSet(sup07700::DataModule().cdsMarcaPref2);
    dbgPadrao->setDataSource(dtsErro);
    using Col = TDBGrid::Column;
    auto col = [](const char* field, int width) {
        Col c;
        c.fieldName = QString::fromLatin1(field);
        c.width = width;
        c.readOnly = true;
        return c;
    };
    // The order and the tree code are read whole; the name gives room to the particularity.
    const QFontMetrics fm(dbgPadrao->font());
    const auto fit = [&fm](const char* sample) {
        return fm.horizontalAdvance(QString::fromLatin1(sample)) + 12;
    };
    dbgPadrao->setColumns(
        {col("CDFILDEST", 0), col("CDFILLANC", 0), col("NRPEDEXOL", fit("0000000000")),
         col("CDARVPROD", qMax(98, fit("00.00.000.0000"))),
         col("NMPRODUTO", fit("Nome de um produto médio")), col("SGUNIDADE", qMax(26, fit("UN"))),
         col("CDTIPPART", fit("Marca Obrigatória: 00000 - Nome da marca."))});
    dbgPadrao->setEditing(false);
    dbgPadrao->setRowSelect(true);
    dbgPadrao->setShowGrid(true);
    dbgPadrao->horizontalHeader()->setSectionsMovable(false);
    dbgPadrao->horizontalHeader()->setSectionResizeMode(QHeaderView::Interactive);
    dbgPadrao->setStretchFields({QStringLiteral("CDTIPPART")});
    // The list reads as a note, on the tooltip's colours.
    QPalette p = dbgPadrao->palette();
    p.setColor(QPalette::Base, QToolTip::palette().color(QPalette::ToolTipBase));
    p.setColor(QPalette::Text, QToolTip::palette().color(QPalette::ToolTipText));
    dbgPadrao->setPalette(p);
}

void TfrmErroCadaAuto::connectHandlers() {
    OnClick(btnSim, [this] { btnSimClick(); });
    OnClick(btnNao, [this] { btnNaoClick(); });
}
