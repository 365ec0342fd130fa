#pragma once

#include "sup/widgetkit/Controls.h"
#include "sup/widgetkit/DBGrid.h"
#include "sup/widgetkit/Forms.h"

#include <QStringList>
#include <QWidget>

class QAction;
class QBoxLayout;
class QFrame;
class QGroupBox;
class QHBoxLayout;
class QLabel;
class QMenu;
class QMenuBar;
class QPushButton;
class QStatusBar;
class QToolButton;
class QVBoxLayout;

namespace sup::data {
class TDataSource;
}

namespace sup::host {

// Base of the dialogs: the data group grbDadosRel (the screen's controls go in it), the button
// panel panMenu with sbtConfirma ("&Confirmar", Enter) and sbtCancel ("&Cancelar", Esc), the
// screen code and the catalogue msgPadrao. sbtConfirmaClick does nothing in the base (the
// screen validates and closes itself); sbtCancelClick closes with mrCancel.
class TfrmRotiGeral : public TForm {
    Q_OBJECT
public:
    explicit TfrmRotiGeral(QWidget* parent = nullptr);

    virtual void sbtConfirmaClick();
    virtual void sbtCancelClick();

    QGroupBox* grbDadosRel = nullptr;
    QFrame* panMenu = nullptr;
    QPushButton* sbtConfirma = nullptr;
    QPushButton* sbtCancel = nullptr;

protected:
    QVBoxLayout* mainLayout_ = nullptr;
};

// Base of the filter screens: the criteria group grbFiltroPadrao, the buttons sbtConfirma
// ("&Confirmar", Enter), sbtCancel ("&Cancelar", Esc) and sbtFechar ("&Fechar"), both of
// which close without confirming, the option buttons btfSaveOpc ("Salvar opções") and
// btfLoadOpc ("Carregar opções") and the options menu ppmOpcoes (empty in the base; a screen
// fills it and opens it from its own handler).
//
// Saved options: a click of btfSaveOpc clears the option list, runs btfSaveOpcClick (the base
// collects the option controls: every named check box, radio button, edit, date edit, number
// edit and combo box inside grbFiltroPadrao, as "name=value"; a screen calls the base and then
// adds its own values with setOpcao) and then stores the list for the screen and the signed-on
// operator. A click of btfLoadOpc reads the stored list into the option list and runs
// btfLoadOpcClick (the base sets the controls; a screen calls the base and then reads its own
// values with opcao). Nothing stored: "Não há opções salvas para este usuário." and the
// handler does not run.
class TfrmFiltroPadrao : public TForm {
    Q_OBJECT
public:
    explicit TfrmFiltroPadrao(QWidget* parent = nullptr);

    void FormCreate() override;
    virtual void sbtConfirmaClick();
    virtual void sbtCancelClick();
    virtual void sbtFecharClick();
    virtual void btfSaveOpcClick();
    virtual void btfLoadOpcClick();

    // The name=value option list.
    QStringList Opcoes;
    void setOpcao(const QString& name, const QString& value);
    QString opcao(const QString& name) const;
    bool hasOpcao(const QString& name) const;

    // What a click of the option buttons does, as described above (without the guard).
    void saveOptions();
    void loadOptions();
    // Where the options of this screen are kept (group of the option store).
    QString optionGroup() const;

    QGroupBox* grbFiltroPadrao = nullptr;
    QFrame* panBotoes = nullptr;
    QPushButton* sbtConfirma = nullptr;
    QPushButton* sbtCancel = nullptr;
    QPushButton* sbtFechar = nullptr;
    TButtonFlat* btfSaveOpc = nullptr;
    TButtonFlat* btfLoadOpc = nullptr;
    QMenu* ppmOpcoes = nullptr;

protected:
    QVBoxLayout* mainLayout_ = nullptr;
};

// A small record navigator: first, prior, next, last.
class TDBNavigator : public QWidget {
    Q_OBJECT
public:
    explicit TDBNavigator(QWidget* parent = nullptr, const QString& name = {});
    void setDataSource(sup::data::TDataSource* source) { source_ = source; }

private:
    sup::data::TDataSource* source_ = nullptr;
};

// Base of the grid screens (non-modal child windows of the main window).
//
// Menu "&Manutenção" (mnuManutencao) with the base items mnuConfirmar, mnuCancelar, mnuIncluir,
// mnuAlterar, mnuExcluir, mnuProcurar, mnuVerificar, the screen's own items (addMenuItem),
// mnuListagem, mnuConfImpressora and mnuFechar; menu "Aj&uda" with mnuAjuda. The toolbar
// panBotoes holds sbtConfirmar, sbtCancelar, sbtIncluir, sbtAlterar, sbtExcluir, sbtProcurar,
// sbtVerificar, the screen's own buttons (addToolButton), sbtImprimir (the listing), sbtAjuda
// and sbtFechar; each base button is tied to its menu item: it takes the item's enabled state
// whenever that changes and runs the item when clicked. The filter panel panFiltro, the grid
// dbgPadrao over the data source dtsPadrao, the navigator dbnPadrao on the status bar
// stbPadrao, the catalogues msgPadrao (the screen's) and msgMensagensPadroes ("Excl", "Canc",
// "Conf").
//
// Base handlers: sbtConfirmarClick writes an open cell editor into the record;
// sbtCancelarClick drops an open cell editor; sbtIncluirClick appends a record;
// sbtAlterarClick puts the current record in edit; sbtExcluirClick asks "Excl" and deletes the
// current record; sbtProcurarClick opens a pick list over dtsPadrao and moves to the chosen
// record; sbtAjudaClick shows the help; sbtFecharClick closes; FormClose releases the screen;
// dtsPadraoStateChange enables confirm and cancel while the set is edited and the navigator
// while it is browsed; the key handlers do nothing in the base.
class TfrmPadraoGrid : public QWidget {
    Q_OBJECT
public:
    explicit TfrmPadraoGrid(QWidget* parent = nullptr);
    ~TfrmPadraoGrid() override;

    virtual void FormCreate();
    virtual void FormActivate();
    // Asked before the screen closes, by the user or with the host: false keeps it open.
    virtual void FormCloseQuery(bool& canClose);
    virtual void FormClose(TCloseAction& action);
    virtual void dtsPadraoStateChange();
    virtual void dbgPadraoKeyDown(int& key, Qt::KeyboardModifiers modifiers);
    virtual void dbgPadraoKeyPress(QChar& key);
    virtual void panFiltroEnter();
    virtual void sbtConfirmarClick();
    virtual void sbtCancelarClick();
    virtual void sbtIncluirClick();
    virtual void sbtAlterarClick();
    virtual void sbtExcluirClick();
    virtual void sbtProcurarClick();
    virtual void sbtVerificarClick();
    virtual void sbtImprimirClick();
    virtual void sbtAjudaClick();
    virtual void sbtFecharClick();

    // Adds a screen's menu item to the maintenance menu (after the base items, in call order)
    // and a screen's button to the toolbar (before print, help and close).
    void addMenuItem(QAction* item);
    void addToolButton(TButtonFlat* button);
    // Builds a menu item and its button tied together; the handler runs through the guard.
    QAction* newMenuItem(const QString& name, const QString& caption,
                         const QKeySequence& shortcut = {});
    TButtonFlat* newToolButton(const QString& name, const QString& hint, QAction* item,
                               const QIcon& glyph = {});

    void setScreenCode(const QString& code);
    void setHelpContext(int context) { helpContext_ = context; }
    int HelpContext() const { return helpContext_; }
    bool Close();
    void Repaint() { repaint(); }
    void activateForm();

    QMenuBar* mnuPrincipal = nullptr;
    QMenu* mnuManutencao = nullptr;
    QMenu* mnuAjudaMenu = nullptr;
    QAction* mnuConfirmar = nullptr;
    QAction* mnuCancelar = nullptr;
    QAction* mnuIncluir = nullptr;
    QAction* mnuAlterar = nullptr;
    QAction* mnuExcluir = nullptr;
    QAction* mnuProcurar = nullptr;
    QAction* mnuVerificar = nullptr;
    QAction* mnuListagem = nullptr;
    QAction* mnuConfImpressora = nullptr;
    QAction* mnuFechar = nullptr;
    QAction* mnuAjuda = nullptr;

    QFrame* panBotoes = nullptr;
    TButtonFlat* sbtConfirmar = nullptr;
    TButtonFlat* sbtCancelar = nullptr;
    TButtonFlat* sbtIncluir = nullptr;
    TButtonFlat* sbtAlterar = nullptr;
    TButtonFlat* sbtExcluir = nullptr;
    TButtonFlat* sbtProcurar = nullptr;
    TButtonFlat* sbtVerificar = nullptr;
    TButtonFlat* sbtImprimir = nullptr;
    TButtonFlat* sbtAjuda = nullptr;
    TButtonFlat* sbtFechar = nullptr;

    QFrame* panFiltro = nullptr;
    QLabel* lblCodTela = nullptr;
    TDBGrid* dbgPadrao = nullptr;
    sup::data::TDataSource* dtsPadrao = nullptr;
    QStatusBar* stbPadrao = nullptr;
    TDBNavigator* dbnPadrao = nullptr;
    TMessages* msgPadrao = nullptr;
    TMessages* msgMensagensPadroes = nullptr;

protected:
    void closeEvent(QCloseEvent* event) override;
    bool event(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

    QVBoxLayout* mainLayout_ = nullptr;
    QHBoxLayout* toolLayout_ = nullptr;

private:
    QAction* baseItem(const QString& name, const QString& caption, const QKeySequence& shortcut,
                      void (TfrmPadraoGrid::*handler)());
    TButtonFlat* baseButton(const QString& name, const QString& hint, QAction* item,
                            const QIcon& glyph);
    void keepLayout();                  // window and grid layout into the operator's options
    QAction* screenItemsEnd_ = nullptr; // separator before the listing items
    int screenButtonsAt_ = 0;
    int helpContext_ = 0;
    bool activeSinceShow_ = false;
    bool closing_ = false;
    bool layoutRestored_ = false;
};

} // namespace sup::host
