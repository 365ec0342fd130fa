#pragma once

#include "ModuleLoader.h"

#include <QMainWindow>

class QMdiArea;
class QLabel;

// The host shell's main window: the routines menu and the MDI area the routines' screens open
// in. The routine's module is loaded on first use and unloaded when the window closes.
class MainWindow : public QMainWindow {
    Q_OBJECT
public:
    explicit MainWindow(QWidget* parent = nullptr);
    ~MainWindow() override;

    QMdiArea* mdiArea() const { return mdi_; }
    ModuleLoader& module() { return module_; }
    void setSignedOn(const QString& text);
    // Opens routine SUP07700 (its menu item).
    void openSup07700();

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    QMdiArea* mdi_ = nullptr;
    QLabel* user_ = nullptr;
    ModuleLoader module_;
};
