// Controls, list columns, row colours and handler wiring of the automatic alteration's preview.
#include "Cli_sup07705/TfrmVisCadaAuto.h"

#include "ui_TfrmVisCadaAuto.h"

#include "Dm_sup07700/Dm_sup07700.h"
#include "Dm_sup07700/TdmAltPedidosOL.h"

#include "sup/contracts/host/Vantrel.h"
#include "sup/contracts/record/AutoPreview.h"
#include "sup/data/DataSource.h"
#include "sup/data/WorkingSet.h"
#include "sup/widgetkit/DBGrid.h"
#include "sup/widgetkit/Guard.h"
#include "sup/widgetkit/Messages.h"

#include <QFontMetrics>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QStyleOptionViewItem>

using namespace sup::host;
using sup::data::TField;
using sup::data::TWorkingSet;

static void initResources() {
    Q_INIT_RESOURCE(Cli_sup07705);
}

namespace {

// Row backgrounds: refused, short of OL stock. Unchanged rows keep the background, greyed text.
const QColor kRefused(255, 214, 214);
const QColor kShortOfStock(255, 244, 196);

} // namespace

TfrmVisCadaAuto::TfrmVisCadaAuto(QWidget* parent)
    : TfrmRotiGeral(parent)
    , ui_(std::make_unique<Ui::VisCadaAuto>()) {
    initResources();
    setObjectName(QStringLiteral("frmVisCadaAuto"));
    setWindowTitle(QString::fromUtf8("Visualização da Alteração Automática"));
    setScreenCode(QStringLiteral("SUP07705"));
    msgPadrao->loadFromFile(QStringLiteral(":/Cli_sup07705/msgPadrao.txt"));

    // The list and its button take the place of the base's data group and buttons.
    auto* form = new QWidget(this);
    ui_->setupUi(form);
    grbDadosRel->hide();
    panMenu->hide();
    mainLayout_->insertWidget(0, form, 1);
    ui_->layBotoes->insertWidget(0, lblCodTela);
    resize(1320, 460);

    bindControls();
    connectHandlers();
}

TfrmVisCadaAuto::~TfrmVisCadaAuto() = default;

void TfrmVisCadaAuto::bindControls() {
    Ui::VisCadaAuto& u = *ui_;
    lblResumo = u.lblResumo;
    dbgPadrao = u.dbgPadrao;
    btnFechar = u.btnFechar;
    QFont bold = lblResumo->font();
    bold.setBold(true);
    lblResumo->setFont(bold);
    // Two lines of room: the counts never hide behind the list.
    lblResumo->setMinimumHeight(QFontMetrics(bold).lineSpacing() * 2 + 6);

    TWorkingSet* set = sup07700::DataModule().cdsVisAltAtuItem;
    // "S"/"N" read as words; a conflict's reason says what it is. The texts are copied: the set
    // outlives this screen.
    const QString yes = msgPadrao->Msg(QStringLiteral("Sim"));
    const QString no = msgPadrao->Msg(QStringLiteral("Nao"));
    for (const char16_t* name : {u"IDALTERA", u"IDSEMSALDO"})
        if (TField* f = set->fieldByName(name))
            f->OnGetText = [yes, no](const TField& field, bool) {
                return field.asString() == u"S" ? yes : no;
            };
    const QString conflict = msgPadrao->Msg(QStringLiteral("Conflito"));
    if (TField* f = set->fieldByName(u"DSMOTIVO"))
        f->OnGetText = [conflict](const TField& field, bool) {
            const TWorkingSet* s = field.dataSet();
            const QString reason = field.asString();
            if (s && s->fieldByName(u"IDRECUSA")->asString() == sup::contracts::refusal::kConflict)
                return Format(conflict, {reason});
            return reason;
        };

    dtsVisAltAtuItem = new sup::data::TDataSource(this, QStringLiteral("dtsVisAltAtuItem"));
    dtsVisAltAtuItem->setDataSet(set);
    dbgPadrao->setDataSource(dtsVisAltAtuItem);
    using Col = TDBGrid::Column;
    const QFontMetrics fm(dbgPadrao->font());
    auto col = [&fm](const char* field, const char* sample) {
        Col c;
        c.fieldName = QString::fromLatin1(field);
        c.width = sample ? fm.horizontalAdvance(QString::fromUtf8(sample)) + 12 : 0;
        c.readOnly = true;
        return c;
    };
    // What changes first, the reason next; the names, long, last.
    dbgPadrao->setColumns(
        {col("CDFILDEST", "Destino"), col("CDFILLANC", "Filial Lanc."),
         col("NRPEDEXOL", "0000000000"), col("CDARVPROD", "00.00.000.0000"),
         col("CDMARCA", "Marca"), col("QTPROGENPEOL", "000.000,000"),
         col("DTPROGENPEOL", "00/00/0000"), col("CDARVPRODNOVO", "00.00.000.0000"),
         col("CDMARCANOVA", "Marca Nova"), col("QTNOVA", "000.000,000"),
         col("DTNOVA", "Entrega Nova"), col("IDALTERA", "Altera"), col("IDSEMSALDO", "Sem Saldo"),
         col("DSMOTIVO", "Motivo da recusa de um item"), col("NMPRODUTO", "Nome de um produto"),
         col("NMPRODUTONOVO", "Nome de um produto")});
    dbgPadrao->setEditing(false);
    dbgPadrao->setRowSelect(true);
    dbgPadrao->setShowGrid(true);
    dbgPadrao->setStretchFields({QStringLiteral("DSMOTIVO")});
    dbgPadrao->horizontalHeader()->setSectionResizeMode(QHeaderView::Interactive);
    dbgPadrao->OnDrawColumnCell = [this](TDBGrid&, QPainter& painter,
                                         const QStyleOptionViewItem& option, int) {
        return dbgPadraoDrawColumnCell(painter, option);
    };
    if (auto* tree = set->fieldByName(u"CDARVPROD"))
        tree->setEditMask(Vantrel().DBPict(0));
    if (auto* tree = set->fieldByName(u"CDARVPRODNOVO"))
        tree->setEditMask(Vantrel().DBPict(0));
}

void TfrmVisCadaAuto::connectHandlers() {
    OnClick(btnFechar, [this] { btnFecharClick(); });
}

TfrmVisCadaAuto::RowKind TfrmVisCadaAuto::rowKind(int row) const {
    const TWorkingSet* set = sup07700::DataModule().cdsVisAltAtuItem;
    if (row < 0 || row >= set->recordCount())
        return RowKind::Altered;
    if (set->valueAt(row, set->fieldIndex(u"IDALTERA")).toString() == u"S")
        return set->valueAt(row, set->fieldIndex(u"IDSEMSALDO")).toString() == u"S"
                   ? RowKind::ShortOfStock
                   : RowKind::Altered;
    return set->valueAt(row, set->fieldIndex(u"IDRECUSA")).toString() ==
                   sup::contracts::refusal::kUnchanged
               ? RowKind::Unchanged
               : RowKind::Refused;
}

bool TfrmVisCadaAuto::dbgPadraoDrawColumnCell(QPainter& painter,
                                              const QStyleOptionViewItem& option) {
    if (!option.index.isValid() || (option.state & QStyle::State_Selected))
        return false;
    const QString text = option.index.data(Qt::DisplayRole).toString();
    QColor background, pen = option.palette.color(QPalette::Text);
    switch (rowKind(option.index.row())) {
    case RowKind::Altered:
        return false;
    case RowKind::ShortOfStock:
        background = kShortOfStock;
        break;
    case RowKind::Refused:
        background = kRefused;
        pen = QColor(140, 0, 0);
        break;
    case RowKind::Unchanged:
        background = option.palette.color(QPalette::Base);
        pen = option.palette.color(QPalette::Disabled, QPalette::Text);
        break;
    }
    painter.fillRect(option.rect, background);
    painter.setPen(pen);
    painter.setFont(option.font);
    painter.drawText(option.rect.adjusted(3, 0, -3, 0),
                     int(option.displayAlignment) | Qt::AlignVCenter, text);
    return true;
}
