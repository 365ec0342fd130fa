// The options profile of the automatic alteration (kept per operator on the server), its menu,
// and the rules of the check boxes.
#include "Cli_sup07702/TfrmCadaAuto.h"
#include "Dm_sup07700/TdmAltPedidosOL.h"

#include "sup/contracts/ServerCalls.h"
#include "sup/data/DataPacket.h"
#include "sup/data/WorkingSet.h"
#include "sup/widgetkit/Busy.h"
#include "sup/widgetkit/Consiste.h"
#include "sup/widgetkit/Messages.h"
#include "sup/widgetkit/Product.h"

#include <QCheckBox>
#include <QFrame>
#include <QGroupBox>
#include <QLabel>
#include <QMenu>

using namespace sup::host;
using sup::data::DataPacket;

QString TfrmCadaAuto::storedOption() const {
    if (!cdsFiltroSup->active() || cdsFiltroSup->isEmpty())
        return {};
    return cdsFiltroSup->fieldByName(u"DSOPCAO")->asString().trimmed();
}

void TfrmCadaAuto::CarregaOpcoes() {
    {
        TBusyGuard busy(this, aviRecebendo);
        cdsFiltroSup->loadFromPacket(
            CheckResultServ(sup::contracts::calls::GetFiltroSup(dm().server()), true, 0)
                .value<DataPacket>());
    }
    if (differentProducts()) {
        for (QWidget* w : {static_cast<QWidget*>(chbProduto), static_cast<QWidget*>(medCdProduto),
                           static_cast<QWidget*>(btpProduto), static_cast<QWidget*>(chbQuantidade),
                           static_cast<QWidget*>(nedQuantidade)})
            w->setEnabled(false);
    } else if (cdsFiltroSup->isEmpty()) {
        chbProduto->setEnabled(true);
        chbProduto->setChecked(false);
        medCdProduto->Clear();
        edtNmProduto->clear();
        chbEntrega->setEnabled(true);
        chbEntrega->setChecked(false);
        depEntrega->Clear();
        chbQuantidade->setEnabled(true);
        chbQuantidade->setChecked(false);
        nedQuantidade->Clear();
        chbAtuSoli->setEnabled(true);
        chbAtuSoli->setChecked(false);
        for (QWidget* w : {static_cast<QWidget*>(lblAjustUn), static_cast<QWidget*>(nedAjustUn),
                           static_cast<QWidget*>(lblAjustQtde), static_cast<QWidget*>(nedAjustQtde),
                           static_cast<QWidget*>(chbConsideraSol)})
            w->setVisible(false);
    } else {
        SetChildChecked();
        SetChildEnabled(grbFiltroPadrao, false);
        form_->setEnabled(true); // only lays the controls out
        panAjuste->setEnabled(true);
        SetChildEnabled(panAjuste, true);
        // Each row turns a check box of this screen on or off; rows naming anything else
        // (a label, an edit, a control this screen lacks) are passed over.
        for (cdsFiltroSup->first(); !cdsFiltroSup->eof(); cdsFiltroSup->next()) {
            const QString name = cdsFiltroSup->fieldByName(u"NMCOMPONENTE")->asString().trimmed();
            auto* box = name.isEmpty() ? nullptr : findChild<QCheckBox*>(name);
            if (!box)
                continue;
            const bool on = cdsFiltroSup->fieldByName(u"IDVALOR")->asString() == u"S";
            box->setEnabled(on);
            box->setChecked(on);
        }
    }
    Repaint();
}

void TfrmCadaAuto::SetChildChecked() {
    for (QCheckBox* box : {chbProduto, chbEntrega, chbQuantidade, chbAtuSoli, chbConsideraSol})
        box->setChecked(false);
}

void TfrmCadaAuto::btfLoadOpcClick() {
    if (!medCdProduto->Text().isEmpty()) {
        QString code = medCdProduto->Text();
        ValidEx(nullptr, 0, code, TValidExOptions::fromBits(2), QString(), true);
    }
    ppmOpcoes->popup(btfLoadOpc->mapToGlobal(QPoint(0, btfLoadOpc->height())));
}

void TfrmCadaAuto::SetFiltroSup(const QString& option) {
    TBusyGuard busy(this, aviGravando, msgPadrao->Msg(QStringLiteral("SetUpdate")));
    QString chosen = option;
    CheckResultServ(sup::contracts::calls::SetFiltroSup(dm().server(), chosen), true, 0);
    CarregaOpcoes();
}

void TfrmCadaAuto::mnuPadraoClick() {
    SetFiltroSup(QString());
}
void TfrmCadaAuto::mnuEmbalagemDiferenteClick() {
    SetFiltroSup(QStringLiteral("mnuEmbalagemDiferente"));
}
void TfrmCadaAuto::mnuProdutoDiferenteClick() {
    SetFiltroSup(QStringLiteral("mnuProdutoDiferente"));
}
void TfrmCadaAuto::mnuProdutoEntregaClick() {
    SetFiltroSup(QStringLiteral("mnuProdutoEntrega"));
}
void TfrmCadaAuto::mnuEntregaClick() {
    SetFiltroSup(QStringLiteral("mnuEntrega"));
}
void TfrmCadaAuto::mnuQuantidadeClick() {
    SetFiltroSup(QStringLiteral("mnuQuantidade"));
}

void TfrmCadaAuto::adjustmentVisibility() {
    const bool shown = chbProduto->isChecked() && !chbQuantidade->isChecked();
    for (QWidget* w : {static_cast<QWidget*>(lblAjustUn), static_cast<QWidget*>(lblAjustQtde),
                       static_cast<QWidget*>(nedAjustUn), static_cast<QWidget*>(nedAjustQtde),
                       static_cast<QWidget*>(chbConsideraSol)})
        w->setVisible(shown);
}

void TfrmCadaAuto::chbProdutoClick() {
    const bool on = chbProduto->isChecked();
    medCdProduto->setEnabled(on);
    adjustmentVisibility();
    if (on) {
        btpProduto->setEnabled(true);
        medCdProduto->setFocus();
    } else {
        medCdProduto->Clear(); // its change rule clears the name and both percentages
        btpProduto->setEnabled(false);
        lblObs->setVisible(false);
    }
}

void TfrmCadaAuto::chbQuantidadeClick() {
    const bool on = chbQuantidade->isChecked();
    nedQuantidade->setEnabled(on);
    adjustmentVisibility();
    if (!medCdProduto->Text().isEmpty() && on)
        Vd_VerifProdIgual(stProdOrig, medCdProduto->Text());
    if (on) {
        nedQuantidade->setFocus();
    } else {
        nedQuantidade->Clear();
        lblObs->setVisible(false);
    }
}

void TfrmCadaAuto::chbEntregaClick() {
    const bool on = chbEntrega->isChecked();
    depEntrega->setEnabled(on);
    adjustmentVisibility();
    if (on) {
        depEntrega->setFocus();
        if (!cdsFiltroSup->isEmpty())
            chbAtuSoli->setChecked(true);
    } else {
        depEntrega->Clear();
        if (storedOption() != u"mnuProdutoEntrega")
            chbAtuSoli->setChecked(false);
    }
    // A quantity alone never updates the purchase requests.
    if (chbQuantidade->isChecked() && !chbProduto->isChecked() && !chbEntrega->isChecked()) {
        chbAtuSoli->setChecked(false);
        chbAtuSoli->setEnabled(false);
    } else {
        chbAtuSoli->setEnabled(true);
    }
}

void TfrmCadaAuto::chbConsideraSolClick() {
    try {
        const bool fromRequest = chbConsideraSol->isChecked();
        lblAjustUn->setEnabled(!fromRequest);
        nedAjustUn->setEnabled(!fromRequest);
    } catch (...) {
        // Only the looks of two controls: nothing to report.
    }
}
