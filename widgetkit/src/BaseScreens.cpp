#include "sup/widgetkit/BaseScreens.h"
#include "sup/widgetkit/Glyphs.h"

#include "sup/contracts/host/Host.h"
#include "sup/data/DataSource.h"
#include "sup/data/WorkingSet.h"
#include "sup/widgetkit/Guard.h"
#include "sup/widgetkit/Messages.h"
#include "sup/widgetkit/Options.h"
#include "sup/widgetkit/Pickers.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QFrame>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QMdiSubWindow>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QStatusBar>
#include <QStyle>
#include <QVBoxLayout>

namespace sup::host {

using sup::data::DataSetState;

namespace {

// A toolbar button's hint names the shortcut of its menu item: "Filtrar (Ctrl+L)".
QString hintWithShortcut(const QString& hint, const QAction* item) {
    if (!item || item->shortcut().isEmpty())
        return hint;
    return QStringLiteral("%1 (%2)").arg(hint, item->shortcut().toString(QKeySequence::NativeText));
}

// The base catalogue of the grid screens.
const char* const kMensagensPadroes = "Excl|Confirma exclusão?\n"
                                      "Canc|Cancelar operação?\n"
                                      "Conf|Confirma operação?\n";

QPushButton* dialogButton(QWidget* parent, const QString& name, const QString& caption,
                          QStyle::StandardPixmap icon) {
    auto* b = new QPushButton(parent->style()->standardIcon(icon), caption, parent);
    b->setObjectName(name);
    b->setAutoDefault(false);
    b->setMinimumWidth(96);
    return b;
}

QFrame* panel(QWidget* parent, const QString& name) {
    auto* f = new QFrame(parent);
    f->setObjectName(name);
    f->setFrameShape(QFrame::StyledPanel);
    return f;
}

} // namespace

// --- TfrmRotiGeral ---------------------------------------------------------------------------

TfrmRotiGeral::TfrmRotiGeral(QWidget* parent)
    : TForm(parent) {
    setObjectName(QStringLiteral("frmRotiGeral"));
    mainLayout_ = new QVBoxLayout(this);
    grbDadosRel = new QGroupBox(this);
    grbDadosRel->setObjectName(QStringLiteral("grbDadosRel"));
    mainLayout_->addWidget(grbDadosRel, 1);

    panMenu = panel(this, QStringLiteral("panMenu"));
    auto* buttons = new QHBoxLayout(panMenu);
    buttons->setContentsMargins(6, 4, 6, 4);
    buttons->addWidget(lblCodTela);
    buttons->addStretch(1);
    sbtConfirma = dialogButton(panMenu, QStringLiteral("sbtConfirma"), QStringLiteral("&Confirmar"),
                               QStyle::SP_DialogOkButton);
    sbtConfirma->setDefault(true);
    sbtCancel = dialogButton(panMenu, QStringLiteral("sbtCancel"), QStringLiteral("&Cancelar"),
                             QStyle::SP_DialogCancelButton);
    buttons->addWidget(sbtConfirma);
    buttons->addWidget(sbtCancel);
    mainLayout_->addWidget(panMenu);

    connect(sbtConfirma, &QPushButton::clicked, this,
            [this] { Guarded([this] { sbtConfirmaClick(); }); });
    connect(sbtCancel, &QPushButton::clicked, this,
            [this] { Guarded([this] { sbtCancelClick(); }); });
}

void TfrmRotiGeral::sbtConfirmaClick() {}

void TfrmRotiGeral::sbtCancelClick() {
    setModalResult(mrCancel);
}

// --- TfrmFiltroPadrao ------------------------------------------------------------------------

TfrmFiltroPadrao::TfrmFiltroPadrao(QWidget* parent)
    : TForm(parent) {
    setObjectName(QStringLiteral("frmFiltroPadrao"));
    mainLayout_ = new QVBoxLayout(this);
    grbFiltroPadrao = new QGroupBox(this);
    grbFiltroPadrao->setObjectName(QStringLiteral("grbFiltroPadrao"));
    mainLayout_->addWidget(grbFiltroPadrao, 1);

    panBotoes = panel(this, QStringLiteral("panBotoes"));
    auto* buttons = new QHBoxLayout(panBotoes);
    buttons->setContentsMargins(6, 4, 6, 4);
    buttons->addWidget(lblCodTela);
    btfSaveOpc = new TButtonFlat(panBotoes, QStringLiteral("btfSaveOpc"));
    btfSaveOpc->setIcon(Glyph(u"document-save"));
    btfSaveOpc->setCaption(QStringLiteral("&Salvar opções"));
    btfSaveOpc->setHint(QStringLiteral("Salvar as opções desta tela para o seu usuário"));
    btfLoadOpc = new TButtonFlat(panBotoes, QStringLiteral("btfLoadOpc"));
    btfLoadOpc->setIcon(Glyph(u"document-open"));
    btfLoadOpc->setCaption(QStringLiteral("Carregar &opções"));
    btfLoadOpc->setHint(QStringLiteral("Carregar as opções salvas para o seu usuário"));
    buttons->addWidget(btfSaveOpc);
    buttons->addWidget(btfLoadOpc);
    buttons->addStretch(1);
    sbtConfirma = dialogButton(panBotoes, QStringLiteral("sbtConfirma"),
                               QStringLiteral("&Confirmar"), QStyle::SP_DialogOkButton);
    sbtConfirma->setDefault(true);
    sbtCancel = dialogButton(panBotoes, QStringLiteral("sbtCancel"), QStringLiteral("&Cancelar"),
                             QStyle::SP_DialogCancelButton);
    sbtFechar = dialogButton(panBotoes, QStringLiteral("sbtFechar"), QStringLiteral("&Fechar"),
                             QStyle::SP_DialogCloseButton);
    buttons->addWidget(sbtConfirma);
    buttons->addWidget(sbtCancel);
    buttons->addWidget(sbtFechar);
    mainLayout_->addWidget(panBotoes);

    ppmOpcoes = new QMenu(this);
    ppmOpcoes->setObjectName(QStringLiteral("ppmOpcoes"));

    connect(sbtConfirma, &QPushButton::clicked, this,
            [this] { Guarded([this] { sbtConfirmaClick(); }); });
    connect(sbtCancel, &QPushButton::clicked, this,
            [this] { Guarded([this] { sbtCancelClick(); }); });
    connect(sbtFechar, &QPushButton::clicked, this,
            [this] { Guarded([this] { sbtFecharClick(); }); });
    connect(btfSaveOpc, &QToolButton::clicked, this,
            [this] { Guarded([this] { saveOptions(); }); });
    connect(btfLoadOpc, &QToolButton::clicked, this,
            [this] { Guarded([this] { loadOptions(); }); });
}

void TfrmFiltroPadrao::FormCreate() {
    TForm::FormCreate();
}

void TfrmFiltroPadrao::sbtConfirmaClick() {}
void TfrmFiltroPadrao::sbtCancelClick() {
    setModalResult(mrCancel);
}
void TfrmFiltroPadrao::sbtFecharClick() {
    setModalResult(mrCancel);
}

QString TfrmFiltroPadrao::optionGroup() const {
    const QString name =
        objectName().isEmpty() ? QString::fromLatin1(metaObject()->className()) : objectName();
    return QStringLiteral("Opcoes/") + name;
}

void TfrmFiltroPadrao::setOpcao(const QString& name, const QString& value) {
    SetOptionValue(Opcoes, name, value);
}

QString TfrmFiltroPadrao::opcao(const QString& name) const {
    return ValueOfOption(Opcoes, name).value_or(QString());
}

bool TfrmFiltroPadrao::hasOpcao(const QString& name) const {
    return ValueOfOption(Opcoes, name).has_value();
}

void TfrmFiltroPadrao::btfSaveOpcClick() {
    Opcoes << CollectOptionValues(grbFiltroPadrao);
}

void TfrmFiltroPadrao::btfLoadOpcClick() {
    if (Opcoes.isEmpty()) {
        Host::instance().showMessage(QStringLiteral("Não há opções salvas para este usuário."),
                                     mtInformation, mbOK);
        Abort();
    }
    ApplyOptionValues(grbFiltroPadrao, Opcoes);
}

void TfrmFiltroPadrao::saveOptions() {
    Opcoes.clear();
    btfSaveOpcClick();
    StoreOptions(optionGroup(), Opcoes);
    Host::instance().showMessage(QStringLiteral("Opções salvas."), mtInformation, mbOK);
}

void TfrmFiltroPadrao::loadOptions() {
    Opcoes = StoredOptions(optionGroup()).value_or(QStringList());
    btfLoadOpcClick();
    Host::instance().showMessage(QStringLiteral("Opções carregadas."), mtInformation, mbOK);
}

// --- TDBNavigator ----------------------------------------------------------------------------

TDBNavigator::TDBNavigator(QWidget* parent, const QString& name)
    : QWidget(parent) {
    setObjectName(name);
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    struct Step {
        QStyle::StandardPixmap icon;
        const char* hint;
        void (sup::data::TWorkingSet::*move)();
    };
    const Step steps[] = {
        {QStyle::SP_MediaSkipBackward, "Primeiro", &sup::data::TWorkingSet::first},
        {QStyle::SP_MediaSeekBackward, "Anterior", &sup::data::TWorkingSet::prior},
        {QStyle::SP_MediaSeekForward, "Próximo", &sup::data::TWorkingSet::next},
        {QStyle::SP_MediaSkipForward, "Último", &sup::data::TWorkingSet::last},
    };
    for (const Step& s : steps) {
        auto* b = new QToolButton(this);
        b->setIcon(style()->standardIcon(s.icon));
        b->setToolTip(QString::fromUtf8(s.hint));
        b->setAutoRaise(true);
        b->setFocusPolicy(Qt::NoFocus);
        layout->addWidget(b);
        const auto move = s.move;
        connect(b, &QToolButton::clicked, this, [this, move] {
            Guarded([&] {
                if (source_ && source_->dataSet() && source_->dataSet()->active())
                    (source_->dataSet()->*move)();
            });
        });
    }
}

// --- TfrmPadraoGrid --------------------------------------------------------------------------

TfrmPadraoGrid::TfrmPadraoGrid(QWidget* parent)
    : QWidget(parent) {
    setObjectName(QStringLiteral("frmPadraoGrid"));
    msgPadrao = new TMessages(this, QStringLiteral("msgPadrao"));
    msgMensagensPadroes = new TMessages(this, QStringLiteral("msgMensagensPadroes"));
    msgMensagensPadroes->setText(QString::fromUtf8(kMensagensPadroes));
    dtsPadrao = new sup::data::TDataSource(this, QStringLiteral("dtsPadrao"));

    mainLayout_ = new QVBoxLayout(this);
    mainLayout_->setContentsMargins(0, 0, 0, 0);
    mainLayout_->setSpacing(0);

    mnuPrincipal = new QMenuBar(this);
    mnuPrincipal->setObjectName(QStringLiteral("mnuPrincipal"));
    mnuManutencao = mnuPrincipal->addMenu(QStringLiteral("&Manutenção"));
    mnuManutencao->setObjectName(QStringLiteral("mnuManutencao"));
    mnuAjudaMenu = mnuPrincipal->addMenu(QStringLiteral("Aj&uda"));
    mnuAjudaMenu->setObjectName(QStringLiteral("mnuAjudaMenu"));
    mainLayout_->setMenuBar(mnuPrincipal);

    panBotoes = new QFrame(this);
    panBotoes->setObjectName(QStringLiteral("panBotoes"));
    panBotoes->setFrameShape(QFrame::StyledPanel);
    toolLayout_ = new QHBoxLayout(panBotoes);
    toolLayout_->setContentsMargins(4, 2, 4, 2);
    toolLayout_->setSpacing(2);
    mainLayout_->addWidget(panBotoes);

    mnuConfirmar = baseItem(QStringLiteral("mnuConfirmar"), QStringLiteral("&Confirmar"),
                            QKeySequence(Qt::CTRL | Qt::Key_S), &TfrmPadraoGrid::sbtConfirmarClick);
    mnuCancelar = baseItem(QStringLiteral("mnuCancelar"), QStringLiteral("C&ancelar"),
                           QKeySequence(Qt::CTRL | Qt::Key_Z), &TfrmPadraoGrid::sbtCancelarClick);
    mnuManutencao->addSeparator();
    mnuIncluir = baseItem(QStringLiteral("mnuIncluir"), QStringLiteral("&Incluir"), {},
                          &TfrmPadraoGrid::sbtIncluirClick);
    mnuAlterar = baseItem(QStringLiteral("mnuAlterar"), QStringLiteral("A&lterar"), {},
                          &TfrmPadraoGrid::sbtAlterarClick);
    mnuExcluir = baseItem(QStringLiteral("mnuExcluir"), QStringLiteral("&Excluir"), {},
                          &TfrmPadraoGrid::sbtExcluirClick);
    mnuManutencao->addSeparator();
    mnuProcurar = baseItem(QStringLiteral("mnuProcurar"), QStringLiteral("&Procurar"),
                           QKeySequence(Qt::CTRL | Qt::Key_F), &TfrmPadraoGrid::sbtProcurarClick);
    mnuVerificar = baseItem(QStringLiteral("mnuVerificar"), QStringLiteral("&Verificar"),
                            QKeySequence(Qt::Key_F5), &TfrmPadraoGrid::sbtVerificarClick);
    mnuManutencao->addSeparator();
    screenItemsEnd_ = mnuManutencao->addSeparator();
    mnuListagem = baseItem(QStringLiteral("mnuListagem"), QStringLiteral("Lis&tagem"),
                           QKeySequence(Qt::CTRL | Qt::Key_P), &TfrmPadraoGrid::sbtImprimirClick);
    mnuConfImpressora = new QAction(QStringLiteral("Configurar i&mpressora..."), this);
    mnuConfImpressora->setObjectName(QStringLiteral("mnuConfImpressora"));
    mnuManutencao->addAction(mnuConfImpressora);
    mnuManutencao->addSeparator();
    mnuFechar = baseItem(QStringLiteral("mnuFechar"), QStringLiteral("&Fechar"), {},
                         &TfrmPadraoGrid::sbtFecharClick);
    mnuAjuda = new QAction(QStringLiteral("&Ajuda"), this);
    mnuAjuda->setObjectName(QStringLiteral("mnuAjuda"));
    mnuAjuda->setShortcut(QKeySequence(Qt::Key_F1));
    mnuAjuda->setShortcutContext(Qt::WidgetWithChildrenShortcut);
    addAction(mnuAjuda);
    mnuAjudaMenu->addAction(mnuAjuda);
    OnTriggered(mnuAjuda, [this] { sbtAjudaClick(); });

    sbtConfirmar = baseButton(QStringLiteral("sbtConfirmar"), QStringLiteral("Confirmar (Ctrl+S)"),
                              mnuConfirmar, Glyph(u"document-save"));
    sbtCancelar = baseButton(QStringLiteral("sbtCancelar"), QStringLiteral("Cancelar (Ctrl+Z)"),
                             mnuCancelar, Glyph(u"edit-undo"));
    sbtIncluir = baseButton(QStringLiteral("sbtIncluir"), QStringLiteral("Incluir"), mnuIncluir,
                            Glyph(u"list-add"));
    sbtAlterar = baseButton(QStringLiteral("sbtAlterar"), QStringLiteral("Alterar"), mnuAlterar,
                            Glyph(u"accessories-text-editor"));
    sbtExcluir = baseButton(QStringLiteral("sbtExcluir"), QStringLiteral("Excluir"), mnuExcluir,
                            Glyph(u"edit-delete"));
    sbtProcurar = baseButton(QStringLiteral("sbtProcurar"), QStringLiteral("Procurar (Ctrl+F)"),
                             mnuProcurar, Glyph(u"edit-find"));
    sbtVerificar = baseButton(QStringLiteral("sbtVerificar"), QStringLiteral("Verificar (F5)"),
                              mnuVerificar, Glyph(u"view-refresh"));
    screenButtonsAt_ = toolLayout_->count();
    toolLayout_->addStretch(1);
    sbtImprimir = baseButton(QStringLiteral("sbtImprimir"), QStringLiteral("Imprimir"), mnuListagem,
                             Glyph(u"document-print"));
    sbtAjuda = baseButton(QStringLiteral("sbtAjuda"), QStringLiteral("Ajuda (F1)"), mnuAjuda,
                          Glyph(u"help-browser"));
    sbtFechar = baseButton(QStringLiteral("sbtFechar"), QStringLiteral("Fechar"), mnuFechar,
                           Glyph(u"window-close"));
    mnuConfirmar->setEnabled(false);
    mnuCancelar->setEnabled(false);
    mnuListagem->setEnabled(false);
    mnuConfImpressora->setEnabled(false);

    panFiltro = new QFrame(this);
    panFiltro->setObjectName(QStringLiteral("panFiltro"));
    panFiltro->setLayout(new QHBoxLayout);
    panFiltro->layout()->setContentsMargins(4, 2, 4, 2);
    panFiltro->hide(); // shown by a screen that places criteria in it
    mainLayout_->addWidget(panFiltro);

    dbgPadrao = new TDBGrid(this, QStringLiteral("dbgPadrao"));
    dbgPadrao->setDataSource(dtsPadrao);
    mainLayout_->addWidget(dbgPadrao, 1);
    dbgPadrao->OnKeyDown = [this](TDBGrid&, int& key, Qt::KeyboardModifiers m) {
        dbgPadraoKeyDown(key, m);
    };
    dbgPadrao->OnKeyPress = [this](TDBGrid&, QChar& key) {
        dbgPadraoKeyPress(key);
    };

    stbPadrao = new QStatusBar(this);
    stbPadrao->setObjectName(QStringLiteral("stbPadrao"));
    stbPadrao->setSizeGripEnabled(false);
    dbnPadrao = new TDBNavigator(stbPadrao, QStringLiteral("dbnPadrao"));
    dbnPadrao->setDataSource(dtsPadrao);
    stbPadrao->addWidget(dbnPadrao);
    lblCodTela = new QLabel(stbPadrao);
    lblCodTela->setObjectName(QStringLiteral("lblCodTela"));
    QFont bold = lblCodTela->font();
    bold.setBold(true);
    lblCodTela->setFont(bold);
    stbPadrao->addPermanentWidget(lblCodTela);
    mainLayout_->addWidget(stbPadrao);

    connect(dtsPadrao, &sup::data::TDataSource::stateChanged, this,
            [this] { Guarded([this] { dtsPadraoStateChange(); }); });
    connect(qApp, &QApplication::focusChanged, this, [this](QWidget* old, QWidget* now) {
        if (now && panFiltro->isAncestorOf(now) && !(old && panFiltro->isAncestorOf(old)))
            Guarded([this] { panFiltroEnter(); });
    });
}

TfrmPadraoGrid::~TfrmPadraoGrid() = default;

QAction* TfrmPadraoGrid::baseItem(const QString& name, const QString& caption,
                                  const QKeySequence& shortcut, void (TfrmPadraoGrid::*handler)()) {
    auto* item = new QAction(caption, this);
    item->setObjectName(name);
    if (!shortcut.isEmpty()) {
        item->setShortcut(shortcut);
        item->setShortcutContext(Qt::WidgetWithChildrenShortcut);
        addAction(item);
    }
    mnuManutencao->addAction(item);
    OnTriggered(item, [this, handler] { (this->*handler)(); });
    return item;
}

TButtonFlat* TfrmPadraoGrid::baseButton(const QString& name, const QString& hint, QAction* item,
                                        const QIcon& glyph) {
    auto* b = new TButtonFlat(panBotoes, name);
    b->setIcon(glyph);
    b->setHint(hintWithShortcut(hint, item));
    b->setFocusPolicy(Qt::NoFocus);
    b->bindToMenuItem(item);
    toolLayout_->addWidget(b);
    return b;
}

void TfrmPadraoGrid::addMenuItem(QAction* item) {
    mnuManutencao->insertAction(screenItemsEnd_, item);
    if (!item->shortcut().isEmpty()) {
        item->setShortcutContext(Qt::WidgetWithChildrenShortcut);
        addAction(item);
    }
}

void TfrmPadraoGrid::addToolButton(TButtonFlat* button) {
    button->setParent(panBotoes);
    button->setFocusPolicy(Qt::NoFocus);
    toolLayout_->insertWidget(screenButtonsAt_++, button);
}

QAction* TfrmPadraoGrid::newMenuItem(const QString& name, const QString& caption,
                                     const QKeySequence& shortcut) {
    auto* item = new QAction(caption, this);
    item->setObjectName(name);
    item->setShortcut(shortcut);
    addMenuItem(item);
    return item;
}

TButtonFlat* TfrmPadraoGrid::newToolButton(const QString& name, const QString& hint, QAction* item,
                                           const QIcon& glyph) {
    auto* b = new TButtonFlat(panBotoes, name);
    b->setIcon(glyph);
    b->setHint(hintWithShortcut(hint, item));
    if (item)
        b->bindToMenuItem(item);
    addToolButton(b);
    return b;
}

void TfrmPadraoGrid::setScreenCode(const QString& code) {
    lblCodTela->setText(code);
}

void TfrmPadraoGrid::FormCreate() {
    dtsPadraoStateChange();
}

void TfrmPadraoGrid::FormActivate() {}

void TfrmPadraoGrid::FormCloseQuery(bool&) {}

void TfrmPadraoGrid::FormClose(TCloseAction& action) {
    action = caFree;
}

void TfrmPadraoGrid::dtsPadraoStateChange() {
    const DataSetState s = dtsPadrao->state();
    const bool editing = s == DataSetState::Edit || s == DataSetState::Insert;
    mnuConfirmar->setEnabled(editing);
    mnuCancelar->setEnabled(editing);
    dbnPadrao->setEnabled(s == DataSetState::Browse);
}

void TfrmPadraoGrid::dbgPadraoKeyDown(int&, Qt::KeyboardModifiers) {}
void TfrmPadraoGrid::dbgPadraoKeyPress(QChar&) {}
void TfrmPadraoGrid::panFiltroEnter() {}

void TfrmPadraoGrid::sbtConfirmarClick() {
    dbgPadrao->commitEditor();
}
void TfrmPadraoGrid::sbtCancelarClick() {
    dbgPadrao->cancelEditor();
}

void TfrmPadraoGrid::sbtIncluirClick() {
    if (auto* set = dtsPadrao->dataSet(); set && set->active()) {
        set->append();
        dbgPadrao->setFocus(Qt::OtherFocusReason);
    }
}

void TfrmPadraoGrid::sbtAlterarClick() {
    if (auto* set = dtsPadrao->dataSet(); set && set->active() && !set->isEmpty()) {
        set->edit();
        dbgPadrao->setFocus(Qt::OtherFocusReason);
    }
}

void TfrmPadraoGrid::sbtExcluirClick() {
    auto* set = dtsPadrao->dataSet();
    if (!set || !set->active() || set->isEmpty())
        return;
    if (msgMensagensPadroes->ShowMsg(QStringLiteral("Excl"), mtConfirmation, mbYesNo) == mrYes)
        set->deleteRecord();
}

void TfrmPadraoGrid::sbtProcurarClick() {
    auto* set = dtsPadrao->dataSet();
    if (!set || !set->active())
        return;
    if (Pesquisar_Plus(dtsPadrao,
                       windowTitle() + QStringLiteral("|Não há dados a serem listados.")))
        dbgPadrao->setFocus(Qt::OtherFocusReason);
}

void TfrmPadraoGrid::sbtVerificarClick() {}
void TfrmPadraoGrid::sbtImprimirClick() {}

void TfrmPadraoGrid::sbtAjudaClick() {
    Host::instance().showHelp(lblCodTela->text(), helpContext_);
}

void TfrmPadraoGrid::sbtFecharClick() {
    Close();
}

void TfrmPadraoGrid::activateForm() {
    Guarded([this] { FormActivate(); });
}

bool TfrmPadraoGrid::Close() {
    if (auto* sub = qobject_cast<QMdiSubWindow*>(parentWidget()))
        return sub->close();
    return close();
}

void TfrmPadraoGrid::closeEvent(QCloseEvent* event) {
    if (closing_) {
        event->ignore();
        return;
    }
    closing_ = true;
    bool canClose = true;
    if (!Guarded([&] { FormCloseQuery(canClose); }) || !canClose) {
        closing_ = false;
        event->ignore();
        return;
    }
    TCloseAction action = caHide;
    const bool ok = Guarded([&] { FormClose(action); });
    closing_ = false;
    if (!ok || action == caNone) {
        event->ignore();
        return;
    }
    if (action == caMinimize) {
        event->ignore();
        if (auto* sub = qobject_cast<QMdiSubWindow*>(parentWidget()))
            sub->showMinimized();
        else
            showMinimized();
        return;
    }
    keepLayout();
    event->accept();
    if (action == caFree) {
        if (auto* sub = qobject_cast<QMdiSubWindow*>(parentWidget()))
            sub->deleteLater();
        deleteLater();
    }
}

void TfrmPadraoGrid::keepLayout() {
    try {
        StoreLayout(objectName(), this, dbgPadrao);
    } catch (const std::exception&) {
        // the layout is a convenience: a failing store loses nothing else
    }
}

bool TfrmPadraoGrid::event(QEvent* event) {
    switch (event->type()) {
    case QEvent::Show:
        if (!layoutRestored_) {
            layoutRestored_ = true;
            try {
                RestoreLayout(objectName(), this, dbgPadrao);
            } catch (const std::exception&) {
                // no stored layout to be had: the screen opens as designed
            }
        }
        if (!activeSinceShow_) {
            activeSinceShow_ = true;
            QMetaObject::invokeMethod(
                this, [this] { activateForm(); }, Qt::QueuedConnection);
        }
        break;
    case QEvent::Hide:
        activeSinceShow_ = false;
        break;
    case QEvent::WindowDeactivate:
        activeSinceShow_ = false;
        break;
    case QEvent::WindowActivate:
        if (!activeSinceShow_ && isVisible()) {
            activeSinceShow_ = true;
            QMetaObject::invokeMethod(
                this, [this] { activateForm(); }, Qt::QueuedConnection);
        }
        break;
    default:
        break;
    }
    return QWidget::event(event);
}

bool TfrmPadraoGrid::eventFilter(QObject* watched, QEvent* event) {
    return QWidget::eventFilter(watched, event);
}

} // namespace sup::host
