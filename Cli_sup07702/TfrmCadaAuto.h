#pragma once

#include "sup/widgetkit/BaseScreens.h"
#include "sup/widgetkit/Controls.h"
#include "sup/widgetkit/Pickers.h"
#include "sup/widgetkit/Query.h"

#include <QString>

#include <memory>

class QAction;
class QCheckBox;
class QFrame;
class QLabel;
class QLineEdit;
class QPushButton;

namespace Ui {
class CadaAuto;
}

namespace sup::data {
class TDataSource;
class TWorkingSet;
} // namespace sup::data

class TdmAltPedidosOL;

namespace sup::contracts::calls {
struct AltAtuItemArgs;
} // namespace sup::contracts::calls

// The automatic alteration of the marked OL order items: one replacement product (with its
// brand), quantity or delivery date for all of them, under the option the operator keeps on the
// server ("Embalagem Diferente", "Produto Diferente", "Produto + Entrega", "Entrega",
// "Quantidade" or none). A modal screen created anew at every launch from the maintenance
// screen, which leaves the chosen items in the routine's data module (vaItensSelec).
class TfrmCadaAuto : public sup::host::TfrmFiltroPadrao {
    Q_OBJECT
public:
    explicit TfrmCadaAuto(QWidget* parent = nullptr);
    ~TfrmCadaAuto() override;

    // Creation and activation.
    void FormCreate() override;
    void FormActivate() override;
    // The option buttons need the web service's connection text of this machine: without it
    // they are disabled.
    void StringConex();

    // The options profile: read from the server and applied to the check boxes.
    void CarregaOpcoes();
    // Stores an option ("" removes it) and applies the profile again.
    void SetFiltroSup(const QString& option);
    // Unchecks the five check boxes, in tab order.
    void SetChildChecked();
    // The option menu under the options button (the typed product is checked first).
    void btfLoadOpcClick() override;
    void mnuPadraoClick();
    void mnuEmbalagemDiferenteClick();
    void mnuProdutoDiferenteClick();
    void mnuProdutoEntregaClick();
    void mnuEntregaClick();
    void mnuQuantidadeClick();
    // The option stored now ("" when none).
    QString storedOption() const;

    // The check boxes.
    void chbProdutoClick();
    void chbQuantidadeClick();
    void chbEntregaClick();
    void chbConsideraSolClick();

    // The replacement product and the quantity.
    void vd_Produto(bool mandatory);
    void medCdProdutoExit();
    void medCdProdutoChange();
    void btpProdutoClick();
    void Vd_BloqProdSemRelacOL();
    void Vd_Quantidade();
    void Vd_VerifProdIgual(const QString& a, const QString& b);

    // The delivery date and the branch's purchase calendar.
    void vd_DtEntrega();
    void vd_Periodicidade();
    void depEntregaChange();
    void depEntregaExit();

    // Checks everything once more, asks, shows the branches' particularities the new product
    // breaks, alters every chosen item in one call, reloads the maintenance screen's items and
    // closes. A failure leaves the screen open.
    void sbtConfirmaClick() override;
    // Checks the fields as the confirmation does (with the same messages), sends the alteration's
    // arguments to its preview (VisAltAtuItem) and shows what it would make of each chosen item
    // (CriaVisCadaAuto). Nothing is written, nothing is asked, and the screen is left as it was:
    // the confirmation that follows looks the product up as it would have.
    void btnVisualizarClick();

    // Controls, in tab order.
    QCheckBox* chbProduto = nullptr;
    sup::host::TMaskEdit* medCdProduto = nullptr;
    sup::host::TBtnPesquisa* btpProduto = nullptr;
    QLineEdit* edtNmProduto = nullptr;
    QCheckBox* chbEntrega = nullptr;
    sup::host::TDateEditPlus* depEntrega = nullptr;
    QCheckBox* chbQuantidade = nullptr;
    sup::host::TNumberEdit* nedQuantidade = nullptr;
    QCheckBox* chbAtuSoli = nullptr;
    QCheckBox* chbConsideraSol = nullptr;
    QFrame* panAjuste = nullptr;
    QLabel* lblAjustUn = nullptr;
    sup::host::TNumberEdit* nedAjustUn = nullptr;
    QLabel* lblAjustQtde = nullptr;
    sup::host::TNumberEdit* nedAjustQtde = nullptr;
    QLabel* lblObs = nullptr;
    QPushButton* btnVisualizar = nullptr;

    // The options menu.
    QAction* mnuPadrao = nullptr;
    QAction* mnuEmbalagemDiferente = nullptr;
    QAction* mnuProdutoDiferente = nullptr;
    QAction* mnuProdutoEntrega = nullptr;
    QAction* mnuEntrega = nullptr;
    QAction* mnuQuantidade = nullptr;

    // Working sets and their data sources.
    sup::data::TWorkingSet* cdsFiltroSup = nullptr;
    sup::data::TWorkingSet* cdsPesqProduto = nullptr;
    sup::data::TWorkingSet* cdsVdProduto = nullptr;
    sup::data::TWorkingSet* cdsVdProdEntr = nullptr;
    sup::data::TWorkingSet* cdsProdutos = nullptr;
    sup::data::TWorkingSet* cdsProduto = nullptr;
    sup::data::TWorkingSet* cdsAjusteUn = nullptr;
    sup::data::TDataSource* dtsPesqProduto = nullptr;
    // The set the last product lookup loaded (cdsVdProduto or cdsVdProdEntr).
    sup::data::TDataSource* dtsVdProduto = nullptr;

    // Local queries.
    sup::host::TADOIBQuery* qryPesoUnid = nullptr;
    sup::host::TADOIBQuery* qryCentCmp = nullptr;
    sup::host::TADOIBQuery* qryParamPeriodicidade = nullptr;
    sup::host::TADOIBQuery* qryGrupoOperForaPeri = nullptr;

    // The product, factor (as text) and stock product the chosen items share; empty when their
    // products differ.
    QString stProdOrig;
    QString stFatoConvOrig;
    QString stProdEstoOrig;

private:
    void bindControls();
    void buildMenu();
    void buildData();
    void connectHandlers();
    // The adjustment controls show exactly when "Produto" is checked and "Quantidade" is not.
    void adjustmentVisibility();
    // The product lookups of a typed code.
    void lookUpUnrestricted(const QString& code);
    void lookUpRestricted(const QString& code, const QString& restriction);
    void takeLookupResult();
    // The typed code found in the OL's products (its product and brand), when no lookup has
    // found it yet.
    void lookUpTypedProduct();
    // The quantity adjustment registered from the items' product to the new one, when any.
    void lookUpQuantityAdjustment();
    // The adjustments against the product the OL order first asked for.
    void adjustToRequestedProduct();
    // The routine's data and the current item of the maintenance screen.
    TdmAltPedidosOL& dm() const;
    QString currentItem(const char16_t* field) const;
    // Whether the items gathered have different products (the tag of cdsMarcaPref).
    bool differentProducts() const;

    // What the checks of the confirmation leave for the call: the attributes checked, the
    // replacement product (as found) and its stock unit, the central purchasing branch.
    struct AlterationInputs {
        bool product = false, quantity = false, delivery = false;
        QString newProduct, stockUnit, centralBranch;
    };
    // The checks of the screen's fields that the confirmation runs before its question; a failed
    // one shows its message and aborts.
    AlterationInputs checkInputs();
    // The arguments of the alteration (and of its preview) from the checked inputs and the fields.
    sup::contracts::calls::AltAtuItemArgs alterationArgs(const AlterationInputs& in) const;

    std::unique_ptr<Ui::CadaAuto> ui_;
    QWidget* form_ = nullptr; // the layout holder of the controls inside grbFiltroPadrao
};
