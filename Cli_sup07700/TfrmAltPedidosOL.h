#pragma once

#include "sup/widgetkit/BaseScreens.h"

#include <QLabel>
#include <QPointer>

#include <vector>

class QMenu;
class QPainter;
class QStyleOptionViewItem;
class TdmAltPedidosOL;

namespace sup::net {
class TNetConnection;
} // namespace sup::net

namespace sup::data {
class TDataSource;
class TField;
class TWorkingSet;
} // namespace sup::data

// A label on the status bar that shows one field of the current record of a data source.
class TDBText : public QLabel {
    Q_OBJECT
public:
    TDBText(QWidget* parent, const QString& name, const QString& fieldName);
    void setDataSource(sup::data::TDataSource* source);
    const QString& DataField() const { return fieldName_; }
    void refresh();

private:
    QPointer<sup::data::TDataSource> source_;
    QString fieldName_;
    QList<QMetaObject::Connection> conns_;
};

// The order item maintenance screen: the items of the OL orders chosen in the filter, in a grid,
// with every operation on them. A non-modal child window of the host's main window.
class TfrmAltPedidosOL : public sup::host::TfrmPadraoGrid {
    Q_OBJECT
public:
    explicit TfrmAltPedidosOL(QWidget* parent = nullptr);
    ~TfrmAltPedidosOL() override;

    // Creation, activation and close.
    void FormCreate() override;
    void FormActivate() override;
    // Pending changes of the items are not dropped without the user's word.
    void FormCloseQuery(bool& canClose) override;
    void FormClose(sup::host::TCloseAction& action) override;
    void netAltPedidosOLBeforeConnect(sup::net::TNetConnection& connection);

    // Actions.
    void dtsPadraoStateChange() override;
    void panFiltroEnter() override;
    void sbtFiltroClick();
    void sbtVerificarClick() override;
    void sbtCancelarClick() override;
    // Saving the item changes (Saving.cpp).
    void sbtConfirmarClick() override;
    void Vd_ItemJaCadastrado();
    // The grid's product and brand pick lists (GridPickers.cpp).
    void dbgPadraoEditButtonClick();
    // Blocking (Blocking.cpp).
    void btnBloqItemClick();
    void mnuBloqItemClick();
    void BloqItem(const QString& from, const QString& to);
    QString cdsItemIDITMPEDOLBLOQGetText(const sup::data::TField& field) const;
    // Direct delivery and manual write-off (DirectDelivery.cpp).
    void Vd_SenhaGer();
    void btnPontoaPontoClick();
    void btnBaixaManualClick();
    // The automatic alteration: gathers the marked items it may change (all of one OL) into the
    // routine's data module and opens its screen.
    void sbtAutomaticoClick();
    // The gathering of the marked items for it (with the grid's refresh suspended): every
    // marked item it may change (not blocked unless the operator's groups may alter blocked
    // items, not an adjustment item) into vaItensSelec, the different-products flag on the tag
    // of cdsMarcaPref. True when an item gathered has another OL than the first marked row.
    bool gatherSelectedItems();
    // The manager's release of direct delivery: "S" or "N".
    QString stLiberaGer = QStringLiteral("N");
    // Including or excluding the reservation of the marked items (Reservation.cpp).
    void btnReservaOLClick();
    void Excl_Incl_Reserva(const QString& operation);
    // The dispatch batch of the marked items (DispatchBatch.cpp): its screen, then the reload.
    void btnLoteEnvOLClick();
    void mnuEnvPedOLClick();
    // The history of the current item (History.cpp): its audit rows on their own screen.
    void mnuHistItemClick();
    // The export of the grid's rows to a spreadsheet or CSV file (Export.cpp): its menu item
    // and toolbar button, always enabled (an empty grid says so).
    void mnuExportarClick();
    QAction* mnuExportar = nullptr;
    sup::host::TButtonFlat* btnExportar = nullptr;

    // Rules of the item set.
    void cdsItemAfterOpen();
    void cdsItemAfterScroll();
    void cdsItemBeforeInsert();
    void cdsItemBeforeDelete();
    void cdsItemBeforeEdit();
    void cdsItemBeforePost();

    // The grid: drawing, marking, keys and the editable columns (Grid.cpp).
    bool dbgPadraoDrawColumnCell(QPainter& painter, const QStyleOptionViewItem& option, int column);
    void dbgPadraoDblClick();
    void dbgPadraoTitleClick(int column);
    void dbgPadraoKeyDown(int& key, Qt::KeyboardModifiers modifiers) override;
    void dbgPadraoKeyPress(QChar& key) override;
    void dbgPadraoColEnter();
    void dbgPadraoColExit();
    // Whether the first marking-all click marks (false) or unmarks (true) every item.
    bool boTodos = true;

    // The editing rules of an item (Editing.cpp); each failure is shown and abandons.
    void Vd_Produto(bool mandatory);
    void vd_CdMarca(bool mandatory);
    void Vd_BloqIncluiProdCmpOL();
    void Vd_BloqProdSemRelacOL();
    void Vd_NUpdProdutoeQtd();
    // Warns when the OL's stock does not cover the quantity; never abandons.
    void Vd_Estoque_Disponivel(const QString& filialDestino, const QString& filialLancamento,
                               const QString& ol, const QString& marca, const QString& produto,
                               const QString& arvProd, double quantidade);
    // The brand particularities of the destination branch (BrandPreference.cpp).
    void VerificaMarcaPreferencial();
    QString cdsMarcaPref2CDTIPPARTGetText(const sup::data::TField& field) const;
    // The reservation check of an edited item (Reservation.cpp).
    void VdReserva();

    // Recomputes the enabled state of every action from the state of the item set.
    void Habilita();

    // Whether the grid shows the reservation column (decided at each activation).
    bool reservationColumnShown() const;
    bool firstActivationPending() const { return firstActivation_; }

    // The routine's data module, created with this screen and owned by it: the connection, the
    // items and every sibling working set.
    TdmAltPedidosOL& data() const { return *dm_; }

    // The screen's own menu items and buttons.
    QAction* mnuFiltro = nullptr;
    QAction* mnuBaixaManual = nullptr;
    QAction* mnuED = nullptr;
    QAction* mnuAltAut = nullptr;
    QAction* mnuBloqItem = nullptr;
    QAction* mnuReservaOL = nullptr;
    QAction* mnuEnvPedOL = nullptr;
    QAction* mnuHistItem = nullptr; // always enabled: without a current item it says so
    sup::host::TButtonFlat* sbtFiltro = nullptr;
    sup::host::TButtonFlat* sbtAutomatico = nullptr;
    sup::host::TButtonFlat* btnBaixaManual = nullptr;
    sup::host::TButtonFlat* btnPontoaPonto = nullptr;
    sup::host::TButtonFlat* btnBloqItem = nullptr;
    sup::host::TButtonFlat* btnReservaOL = nullptr;
    sup::host::TButtonFlat* btnLoteEnvOL = nullptr;

    // Pop-up menus of blocking and reservation.
    QMenu* pmnCadastro = nullptr;
    QAction* mnuBloquear = nullptr;
    QAction* mnuNBloquear = nullptr;
    QMenu* pmnCadastro1 = nullptr;
    QAction* mnuExcluiRes = nullptr;
    QAction* mnuIncluiRes = nullptr;

    // The data sources of the grid's product and brand pick lists.
    sup::data::TDataSource* dtsPesqProduto = nullptr;
    sup::data::TDataSource* dtsPesqMarca = nullptr;
    sup::data::TDataSource* dtsPesqMarcaTodas = nullptr;
    // The operators who may release direct delivery.
    sup::data::TDataSource* dtsGerente = nullptr;

    // Marker pictures and the status-bar labels.
    QLabel* imgChecked = nullptr;
    QLabel* imgUnChecked = nullptr;
    TDBText* dbtNome = nullptr;
    TDBText* dbtTipoLanc = nullptr;
    TDBText* dbtItemBloq = nullptr;
    // Loaded, marked and changed items, kept as the items change.
    QLabel* lblContagem = nullptr;

    // Grid column of the reservation (0-based).
    static constexpr int kReservationColumn = 12;

private:
    // Marking (Grid.cpp).
    void toggleCurrentMark();
    void markAll();
    // The blocked-item guard (Editing.cpp).
    void guardBlockedItem();
    void focusColumn(const char* field);
    QString destinationBranch() const; // the first four characters of CDFILDEST
    // Operations that reload the items ask before unsaved edits go (Blocking.cpp).
    bool unsavedEditsMayGo();
    bool leaveOutBlockedItems();
    void sendMarkedItems(const QString& writeOff, const QString& directDelivery,
                         const QString& question);

    void buildActions();
    void buildGrid();
    void buildStatusBar();
    void buildData();
    void setPickerButtons(bool on);

    // The counts of the status bar: a full count when the items are loaded or reset, then one
    // record at a time as marks and changes are posted or cancelled.
    void countItems();
    void countItem(int position);
    void showItemCounts();
    quint8 itemFlags(qsizetype row) const;

    TdmAltPedidosOL* dm_ = nullptr;
    bool firstActivation_ = true;
    std::vector<quint8> itemFlags_; // per physical row: 1 marked, 2 changed
    qsizetype markedItems_ = 0;
    qsizetype changedItems_ = 0;
    int calcField_ = -1;
    int alteradoField_ = -1;
};
