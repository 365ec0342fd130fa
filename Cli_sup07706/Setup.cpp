// Controls of the item history screen: the item's name, the read-only grid of its changes and
// the close button.
#include "Cli_sup07706/TfrmHistItem.h"

#include "ui_TfrmHistItem.h"

#include "Dm_sup07700/Dm_sup07700.h"
#include "Dm_sup07700/TdmAltPedidosOL.h"

#include "sup/data/DataSource.h"
#include "sup/widgetkit/DBGrid.h"
#include "sup/widgetkit/Messages.h"

#include <QFontMetrics>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>

using namespace sup::host;

static void initResources() {
    Q_INIT_RESOURCE(Cli_sup07706);
}

TfrmHistItem::TfrmHistItem(QWidget* parent)
    : TfrmRotiGeral(parent)
    , ui_(std::make_unique<Ui::HistItem>()) {
    initResources();
    setObjectName(QStringLiteral("frmHistItem"));
    setScreenCode(QStringLiteral("SUP07706"));
    msgPadrao->loadFromFile(QStringLiteral(":/Cli_sup07706/msgPadrao.txt"));
    setWindowTitle(msgPadrao->Msg(QStringLiteral("Titulo")));

    // The history takes the place of the base's data group; its only button closes.
    auto* form = new QWidget(this);
    ui_->setupUi(form);
    grbDadosRel->hide();
    mainLayout_->insertWidget(0, form, 1);
    sbtConfirma->hide();
    sbtCancel->setText(QStringLiteral("&Fechar"));
    sbtCancel->setDefault(true);
    resize(960, 420);

    bindControls();
}

TfrmHistItem::~TfrmHistItem() = default;

void TfrmHistItem::bindControls() {
    Ui::HistItem& u = *ui_;
    lblItem = u.lblItem;
    lblContagem = u.lblContagem;
    dbgHistorico = u.dbgHistorico;

    QFont bold = lblItem->font();
    bold.setBold(true);
    lblItem->setFont(bold);

    TdmAltPedidosOL& dm = sup07700::DataModule();
    dtsHistorico = new sup::data::TDataSource(this, QStringLiteral("dtsHistorico"));
    dtsHistorico->setDataSet(dm.cdsHistItem);
    dbgHistorico->setDataSource(dtsHistorico);
    showColumns();
    dbgHistorico->setEditing(false);
    dbgHistorico->setRowSelect(true);
    dbgHistorico->setShowGrid(true);
    dbgHistorico->horizontalHeader()->setSectionResizeMode(QHeaderView::Interactive);
}

void TfrmHistItem::showColumns() {
    using Col = TDBGrid::Column;
    const QFontMetrics fm(dbgHistorico->font());
    auto col = [&fm](const char* field, const char* title, const char* sample) {
        Col c;
        c.fieldName = QString::fromLatin1(field);
        c.title = QString::fromUtf8(title);
        c.width =
            qMax(fm.horizontalAdvance(c.title), fm.horizontalAdvance(QString::fromUtf8(sample))) +
            14;
        c.readOnly = true;
        return c;
    };
    dbgHistorico->setColumns({
        col("DTEVENTO", "Data/Hora", "00/00/0000 00:00:00"),
        col("CDOPERADOR", "Operador", "COMPRAS1"),
        col("NMOPERADOR", "Nome do Operador", "Nome de um operador"),
        col("DSOPERACAO", "Operação", "Alteração do item: motivo"),
        col("DSCAMPO", "Campo", "Quantidade reservada"),
        col("DSVALORANT", "Valor Anterior", "0000000000"),
        col("DSVALORNOVO", "Valor Novo", "0000000000"),
    });
    dbgHistorico->setStretchFields({QStringLiteral("DSOPERACAO")});
}
