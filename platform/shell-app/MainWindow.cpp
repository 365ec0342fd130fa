#include "MainWindow.h"

#include "sup/widgetkit/Guard.h"
#include "sup/widgetkit/Messages.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QLabel>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenuBar>
#include <QStatusBar>

MainWindow::MainWindow(QWidget* parent)
    : QMainWindow(parent) {
    setObjectName(QStringLiteral("frmPrincipal"));
    setWindowTitle(QStringLiteral("Suprimentos"));
    mdi_ = new QMdiArea(this);
    mdi_->setObjectName(QStringLiteral("mdiPrincipal"));
    mdi_->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    mdi_->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    setCentralWidget(mdi_);

    QMenu* routines = menuBar()->addMenu(QStringLiteral("&Rotinas"));
    routines->setObjectName(QStringLiteral("mnuRotinas"));
    QAction* sup07700 =
        routines->addAction(QStringLiteral("SUP07700 - Alteração de Pedidos do OL"));
    sup07700->setObjectName(QStringLiteral("mnuSUP07700"));
    sup::host::OnTriggered(sup07700, [this] { openSup07700(); });
    routines->addSeparator();
    QAction* quit = routines->addAction(QStringLiteral("&Sair"));
    quit->setShortcut(QKeySequence(Qt::ALT | Qt::Key_F4));
    connect(quit, &QAction::triggered, this, &QWidget::close);

    QMenu* windows = menuBar()->addMenu(QStringLiteral("&Janelas"));
    windows->addAction(QStringLiteral("&Cascata"), mdi_, &QMdiArea::cascadeSubWindows);
    windows->addAction(QStringLiteral("&Lado a lado"), mdi_, &QMdiArea::tileSubWindows);

    user_ = new QLabel(this);
    statusBar()->addPermanentWidget(user_);
    resize(1100, 640);
}

MainWindow::~MainWindow() = default;

void MainWindow::setSignedOn(const QString& text) {
    user_->setText(text);
}

void MainWindow::openSup07700() {
    try {
        module_.run();
    } catch (const sup::host::EAbort&) {
    } catch (const std::exception& e) {
        sup::host::MensErro(QString::fromUtf8(e.what()), false);
    }
}

void MainWindow::closeEvent(QCloseEvent* event) {
    mdi_->closeAllSubWindows();
    if (!mdi_->subWindowList().isEmpty()) {
        event->ignore();
        return;
    }
    // The screens are released before the module that holds their code goes.
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    module_.unload();
    event->accept();
}
