#pragma once

#include "sup/widgetkit/BaseScreens.h"
#include "sup/widgetkit/Controls.h"
#include "sup/widgetkit/Pickers.h"
#include "sup/widgetkit/Query.h"

#include <QString>

#include <memory>

class QCheckBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QRadioButton;

namespace Ui {
class FiltroAltPedidoOL;
}

namespace sup::data {
class TDataSource;
class TWorkingSet;
} // namespace sup::data

namespace sup::net {
class TNetConnection;
} // namespace sup::net

// The filter of the OL order items: dates, branches, operators, region, route, brand, dispatch
// batch, sub-group, product range, blocking, extra-order and reservation status. A modal screen
// kept hidden between openings, so that its choices survive until the maintenance screen
// closes.
class TfrmFiltroAltPedidoOL : public sup::host::TfrmFiltroPadrao {
    Q_OBJECT
public:
    explicit TfrmFiltroAltPedidoOL(QWidget* parent = nullptr);
    ~TfrmFiltroAltPedidoOL() override;

    // Creation, activation and close.
    void FormCreate() override;
    void FormActivate() override;
    void FormClose(sup::host::TCloseAction& action) override;
    void netSuprimentosBeforeConnect(sup::net::TNetConnection& connection);

    // The confirm: checks the criteria, asks the server for the items and loads them into the
    // routine's working sets (its data module). Run on the hidden screen it is the reload of the
    // items with the criteria the screen still holds.
    void sbtConfirmaClick() override;
    // Every check of the criteria, in order; the first failure focuses its control and ends the
    // running action with its message. The list checks apply only while the screen is shown.
    void Validacoes_FiltroAF();

    // Saves (true) the dates and product codes of the controls into the remembered filter, or
    // puts them back (false) into the controls.
    void Dados_Filtro(bool save);

    // Beside each "Lista" radio, how many keys its list holds ("4 selecionados"), with the keys
    // in its tooltip.
    void showChosenKeys();

    // Saved options: the base options plus the chosen branches and operators.
    void btfSaveOpcClick() override;
    void btfLoadOpcClick() override;

    // Radio and check box handlers.
    void rbtFilialTodasClick();
    void rbtFilialListaClick();
    void rbtRegiaoTClick();
    void rbtRegiaoLClick();
    void rbtTodasRotaClick();
    void rbtListaRotaClick();
    void rbtTodasMarcaClick();
    void rbtListaMarcaClick();
    void rbtTodosOLClick();
    void rbtListaOLClick();
    void rbtTLoteClick();
    void rbtNConsideraClick();
    void rbtLLoteClick();
    void rbtTSubGrupoClick();
    void rbtLSubGrupoClick();
    void chbBloqClick();
    void chbNBloqClick();

    // F9 on a "Lista" radio runs its group's picker.
    void rbtFilialListaKeyDown(int& key, Qt::KeyboardModifiers modifiers);
    void rbtListaOLKeyDown(int& key, Qt::KeyboardModifiers modifiers);
    void rbtLLoteKeyDown(int& key, Qt::KeyboardModifiers modifiers);
    void rbtLSubGrupoKeyDown(int& key, Qt::KeyboardModifiers modifiers);

    // Code edits.
    void medAgrupFilialChange();
    void medAgrupFilialExit();
    void medProdutoInicialChange();
    void medProdutoFinalChange();
    void medProdutoInicialExit();
    void medProdutoFinalExit();

    // Checks of the codes typed: a known branch grouping (its code adjusted to its stored form
    // and its name shown) and a known product (its name shown). A failure focuses the edit and
    // ends the running action with the error.
    void Vd_AgrupFilial();
    void Vd_Produto(sup::host::TMaskEdit* edit);

    // Multiple pickers: each fills its list and lets the user mark the keys.
    void btpFilialClick();
    void btpOLClick();
    void btnRegiaoClick();
    void btpRotaClick();
    void btpMarcaClick();
    void btpLoteEnvioClick();
    void btnSubGrupoClick();

    // Single pickers: the branch grouping and the product range.
    void btnAgrupFilialBeforePesq();
    void btnAgrupFilialAfterPesq();
    void btnPesqProdutoInicialBeforePesq();
    void btnPesqProdutoInicialAfterPesq();
    void btnPesqProdutoFinalBeforePesq();
    void btnPesqProdutoFinalAfterPesq();

    // Key lists that live as long as this screen object.
    QString stLote;     // dispatch batches
    QString stSubGrupo; // product sub-groups
    QString stRota;     // routes
    QString stMarca;    // brands

    // Groups, in tab order.
    QGroupBox* grbAgrupFili = nullptr;
    QGroupBox* grbFilialDest = nullptr;

    // Dates.
    sup::host::TDateEditPlus* depEmisIni = nullptr;
    sup::host::TDateEditPlus* depEmisFim = nullptr;
    sup::host::TDateEditPlus* depEntrIni = nullptr;
    sup::host::TDateEditPlus* depEntrFim = nullptr;
    sup::host::TDateEditPlus* depDtIniEmbarque = nullptr;
    sup::host::TDateEditPlus* depDtFinEmbarque = nullptr;
    sup::host::TDateEditPlus* depDtIniBloq = nullptr;
    sup::host::TDateEditPlus* depDtFinBloq = nullptr;
    sup::host::TDateEditPlus* depDtIniNBloq = nullptr;
    sup::host::TDateEditPlus* depDtFinNBloq = nullptr;

    // Branch grouping and products.
    sup::host::TMaskEdit* medAgrupFilial = nullptr;
    sup::host::TBtnPesquisa* btnAgrupFilial = nullptr;
    QLineEdit* edtAgrupFilial = nullptr;
    sup::host::TMaskEdit* medProdutoInicial = nullptr;
    sup::host::TMaskEdit* medProdutoFinal = nullptr;
    sup::host::TBtnPesquisa* btnPesqProdutoInicial = nullptr;
    sup::host::TBtnPesquisa* btnPesqProdutoFinal = nullptr;
    QLineEdit* edtProdutoInicial = nullptr;
    QLineEdit* edtProdutoFinal = nullptr;

    // List choices and their pickers.
    QRadioButton* rbtFilialTodas = nullptr;
    QRadioButton* rbtFilialLista = nullptr;
    sup::host::TBtnPesquisa* btpFilial = nullptr;
    QRadioButton* rbtRegiaoT = nullptr;
    QRadioButton* rbtRegiaoL = nullptr;
    sup::host::TBtnPesquisa* btnRegiao = nullptr;
    QRadioButton* rbtTodasRota = nullptr;
    QRadioButton* rbtListaRota = nullptr;
    sup::host::TBtnPesquisa* btpRota = nullptr;
    QRadioButton* rbtTodasMarca = nullptr;
    QRadioButton* rbtListaMarca = nullptr;
    sup::host::TBtnPesquisa* btpMarca = nullptr;
    QRadioButton* rbtTodosOL = nullptr;
    QRadioButton* rbtListaOL = nullptr;
    sup::host::TBtnPesquisa* btpOL = nullptr;
    QRadioButton* rbtTLote = nullptr;
    QRadioButton* rbtLLote = nullptr;
    sup::host::TBtnPesquisa* btpLoteEnvio = nullptr;
    QRadioButton* rbtNConsidera = nullptr;
    QRadioButton* rbtTSubGrupo = nullptr;
    QRadioButton* rbtLSubGrupo = nullptr;
    sup::host::TBtnPesquisa* btnSubGrupo = nullptr;

    // Status.
    QCheckBox* chbBloq = nullptr;
    QCheckBox* chbNBloq = nullptr;
    QCheckBox* chbExtra = nullptr;
    QCheckBox* chbNExtra = nullptr;
    QCheckBox* chbReserva = nullptr;
    QCheckBox* chbNReserva = nullptr;

    // Server connection, working sets, local queries and the data sources of the pickers.
    sup::net::TNetConnection* netSuprimentos = nullptr;
    sup::data::TWorkingSet* cdsParaSupri = nullptr;
    sup::data::TWorkingSet* cdsFiliAgrupFili = nullptr;
    sup::data::TWorkingSet* cdsProduto = nullptr;
    sup::host::TADOIBQuery* qryCentCmp = nullptr;
    sup::host::TADOIBQuery* qryFilial = nullptr;
    sup::host::TADOIBQuery* qryFilial2 = nullptr;
    sup::data::TDataSource* dtsGrupFili = nullptr;
    sup::data::TDataSource* dtsFiliAgrupFili = nullptr;
    sup::data::TDataSource* dtsLotePedOL = nullptr;
    sup::data::TDataSource* dtsFilial = nullptr;
    sup::data::TDataSource* dtsOL = nullptr;
    sup::data::TDataSource* dtsRegiao = nullptr;
    sup::data::TDataSource* dtsSubGrupo = nullptr;
    sup::data::TDataSource* dtsRota = nullptr;
    sup::data::TDataSource* dtsMarca = nullptr;

private:
    // Groups, sets, queries and data sources only this screen touches.
    QGroupBox* grbPedido = nullptr;
    QGroupBox* grbEntrega = nullptr;
    QGroupBox* grbDtEmbarque = nullptr;
    QGroupBox* grbRegiao = nullptr;
    QGroupBox* grbRota = nullptr;
    QGroupBox* grbMarca = nullptr;
    QGroupBox* grbOL = nullptr;
    QGroupBox* grbLote = nullptr;
    QGroupBox* grbSubGrupo = nullptr;
    QGroupBox* grbProduto = nullptr;
    QGroupBox* grpStatus = nullptr;
    QGroupBox* grbPedOlExtr = nullptr;
    QGroupBox* grbReserva = nullptr;
    sup::data::TWorkingSet* cdsGrupFili = nullptr;
    sup::data::TWorkingSet* cdsLotePedOL = nullptr;
    sup::host::TADOIBQuery* qryOL = nullptr;
    sup::host::TADOIBQuery* qryRegiao = nullptr;
    sup::host::TADOIBQuery* qrySubGrupo = nullptr;
    sup::host::TADOIBQuery* qryRota = nullptr;
    sup::host::TADOIBQuery* qryMarca = nullptr;
    sup::host::TADOIBQuery* qryParamGeral = nullptr;
    sup::data::TDataSource* dtsProduto = nullptr;

    void bindControls();
    void buildPickers();
    void buildData();
    void buildQueries();
    void connectHandlers();
    // A picker button is enabled exactly when its group's "Lista" radio is checked.
    static void followListChoice(sup::host::TBtnPesquisa* button, const QRadioButton* lista);
    // The status dates of one check box: enabled and in the window colour when checked;
    // disabled, cleared and in the inactive colour otherwise.
    void fetchProducts();
    static void statusDates(bool checked, sup::host::TDateEditPlus* ini,
                            sup::host::TDateEditPlus* fim);

    std::unique_ptr<Ui::FiltroAltPedidoOL> ui_;
};
