// Radio, check box, key and change handlers of the filter screen.
#include "Cli_sup07701/Cli_sup07701.h"
#include "Cli_sup07701/TfrmFiltroAltPedidoOL.h"

#include "sup/widgetkit/Consiste.h"
#include "sup/widgetkit/KeyList.h"
#include "sup/widgetkit/Messages.h"

#include <QApplication>
#include <QCheckBox>
#include <QLineEdit>
#include <QRadioButton>

#include <utility>

using namespace sup::host;
using sup07700::stFilial;
using sup07700::stOL;
using sup07700::stRegiao;

void TfrmFiltroAltPedidoOL::followListChoice(TBtnPesquisa* button, const QRadioButton* lista) {
    button->setEnabled(lista->isChecked());
}

void TfrmFiltroAltPedidoOL::statusDates(bool checked, TDateEditPlus* ini, TDateEditPlus* fim) {
    // Window background while usable; the inactive caption text colour of the system while not.
    const QPalette system = QApplication::palette();
    const QColor colour = checked ? system.color(QPalette::Active, QPalette::Base)
                                  : system.color(QPalette::Inactive, QPalette::Mid);
    for (TDateEditPlus* d : {ini, fim}) {
        d->setEnabled(checked);
        if (!checked) {
            d->Clear();
        }
        QPalette p = d->palette();
        p.setColor(QPalette::Base, colour);
        d->setPalette(p);
    }
}

void TfrmFiltroAltPedidoOL::rbtFilialTodasClick() {
    followListChoice(btpFilial, rbtFilialLista);
    stFilial.clear();
}

void TfrmFiltroAltPedidoOL::rbtFilialListaClick() {
    // The branches are offered by region: with "Lista" of regions, a region must come first.
    if (rbtRegiaoL->isChecked() && EmptyString(stRegiao) && boFilCriado) {
        rbtRegiaoL->setFocus(Qt::OtherFocusReason);
        MensErro(msgPadrao->Msg(QStringLiteral("Reg_N_Inf")), true);
    }
    followListChoice(btpFilial, rbtFilialLista);
}

void TfrmFiltroAltPedidoOL::rbtRegiaoTClick() {
    btnRegiao->setEnabled(false);
    stRegiao = QStringLiteral("T");
}

void TfrmFiltroAltPedidoOL::rbtRegiaoLClick() {
    btnRegiao->setEnabled(true);
    stRegiao.clear();
}

void TfrmFiltroAltPedidoOL::rbtTodasRotaClick() {
    stRota.clear();
    followListChoice(btpRota, rbtListaRota);
}

void TfrmFiltroAltPedidoOL::rbtListaRotaClick() {
    followListChoice(btpRota, rbtListaRota);
}

void TfrmFiltroAltPedidoOL::rbtTodasMarcaClick() {
    followListChoice(btpMarca, rbtListaMarca);
    stMarca.clear();
}

void TfrmFiltroAltPedidoOL::rbtListaMarcaClick() {
    followListChoice(btpMarca, rbtListaMarca);
}

void TfrmFiltroAltPedidoOL::rbtTodosOLClick() {
    followListChoice(btpOL, rbtListaOL);
    stOL.clear();
}

void TfrmFiltroAltPedidoOL::rbtListaOLClick() {
    followListChoice(btpOL, rbtListaOL);
}

void TfrmFiltroAltPedidoOL::rbtTLoteClick() {
    followListChoice(btpLoteEnvio, rbtLLote);
    stLote.clear();
}

void TfrmFiltroAltPedidoOL::rbtNConsideraClick() {
    followListChoice(btpLoteEnvio, rbtLLote);
    stLote.clear();
}

void TfrmFiltroAltPedidoOL::rbtLLoteClick() {
    followListChoice(btpLoteEnvio, rbtLLote);
}

void TfrmFiltroAltPedidoOL::rbtTSubGrupoClick() {
    followListChoice(btnSubGrupo, rbtLSubGrupo);
    stSubGrupo.clear();
}

void TfrmFiltroAltPedidoOL::rbtLSubGrupoClick() {
    followListChoice(btnSubGrupo, rbtLSubGrupo);
}

void TfrmFiltroAltPedidoOL::chbBloqClick() {
    statusDates(chbBloq->isChecked(), depDtIniBloq, depDtFinBloq);
}

void TfrmFiltroAltPedidoOL::chbNBloqClick() {
    statusDates(chbNBloq->isChecked(), depDtIniNBloq, depDtFinNBloq);
}

void TfrmFiltroAltPedidoOL::rbtFilialListaKeyDown(int& key, Qt::KeyboardModifiers) {
    if (key == Qt::Key_F9) {
        btpFilialClick();
    }
}

void TfrmFiltroAltPedidoOL::rbtListaOLKeyDown(int& key, Qt::KeyboardModifiers) {
    if (key == Qt::Key_F9) {
        btpOLClick();
    }
}

void TfrmFiltroAltPedidoOL::rbtLLoteKeyDown(int& key, Qt::KeyboardModifiers) {
    if (key == Qt::Key_F9) {
        btpLoteEnvioClick();
    }
}

void TfrmFiltroAltPedidoOL::rbtLSubGrupoKeyDown(int& key, Qt::KeyboardModifiers) {
    if (key == Qt::Key_F9) {
        btnSubGrupoClick();
    }
}

void TfrmFiltroAltPedidoOL::medAgrupFilialChange() {
    // The chosen branches belonged to the previous grouping.
    stFilial.clear();
    edtAgrupFilial->clear();
}

void TfrmFiltroAltPedidoOL::medProdutoInicialChange() {
    edtProdutoInicial->clear();
}

void TfrmFiltroAltPedidoOL::medProdutoFinalChange() {
    edtProdutoFinal->clear();
}

void TfrmFiltroAltPedidoOL::showChosenKeys() {
    const std::pair<QRadioButton*, const QString*> lists[] = {
        {rbtFilialLista, &stFilial}, {rbtRegiaoL, &stRegiao}, {rbtListaRota, &stRota},
        {rbtListaMarca, &stMarca},   {rbtListaOL, &stOL},     {rbtLLote, &stLote},
        {rbtLSubGrupo, &stSubGrupo},
    };
    for (const auto& [radio, list] : lists) {
        QVariant base = radio->property("supBaseText");
        if (!base.isValid()) {
            base = radio->text();
            radio->setProperty("supBaseText", base);
        }
        bool ok = false;
        const QStringList keys = *list == u"T" ? QStringList() : ParseKeyList(*list, &ok);
        if (!ok || keys.isEmpty()) {
            radio->setText(base.toString());
            radio->setToolTip({});
            continue;
        }
        radio->setText(QStringLiteral("%1 (%2 %3)")
                           .arg(base.toString())
                           .arg(keys.size())
                           .arg(keys.size() == 1 ? QStringLiteral("selecionado")
                                                 : QStringLiteral("selecionados")));
        const qsizetype shown = qMin<qsizetype>(keys.size(), 40);
        QString tip = keys.mid(0, shown).join(QStringLiteral(", "));
        if (shown < keys.size()) {
            tip += QStringLiteral(" e mais %1").arg(keys.size() - shown);
        }
        radio->setToolTip(tip);
    }
}
