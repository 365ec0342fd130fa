#pragma once

#include <QDialog>
#include <QString>

#include <memory>
#include <utility>

class QLabel;

namespace sup::host {

class TMessages;

// What happens to a screen when it closes.
enum TCloseAction : int {
    caNone = 0,     // it stays open
    caHide = 1,     // it is hidden (kept for the next opening)
    caFree = 2,     // it is released
    caMinimize = 3, // it is minimised
};

// Creates a screen and runs its creation handler (FormCreate), as the host's screen creation
// does: constructors build the controls, FormCreate (virtual, derived calls base first) does
// the rest. A failing FormCreate releases the screen and the failure travels on.
template <class T, class... Args> T* CreateForm(Args&&... args) {
    std::unique_ptr<T> form(new T(std::forward<Args>(args)...));
    form->FormCreate();
    return form.release();
}

// Shows a modal screen through the host and returns its modal result (mrOk, mrCancel, ...).
int ShowModal(QDialog* screen);

// Base of the modal screens (dialogs and filter screens).
//
// - FormCreate runs once after construction (CreateForm); FormActivate each time the screen is
//   shown or becomes active again after another window; FormClose on every close, whatever
//   closes it (a button, Esc, the window's close box, Close() from code, also while hidden):
//   the action decides whether it is hidden (default), released or kept open.
// - The modal result is the value the screen was closed with: setModalResult(mrOk) closes it
//   with mrOk; Esc and the close box close with mrCancel.
// - lblCodTela shows the screen's code; msgPadrao is its message catalogue; F1 shows the help
//   of its help context.
class TForm : public QDialog {
    Q_OBJECT
public:
    explicit TForm(QWidget* parent = nullptr);
    ~TForm() override;

    virtual void FormCreate();
    virtual void FormActivate();
    virtual void FormClose(TCloseAction& action);

    // Closes the screen (with mrCancel unless a modal result was set). Returns false when
    // FormClose kept it open.
    bool Close();
    void setModalResult(int result);
    int ModalResult() const { return modalResult_; }
    int ShowModal() { return sup::host::ShowModal(this); }

    void setScreenCode(const QString& code);
    QString screenCode() const;
    void setHelpContext(int context) { helpContext_ = context; }
    int HelpContext() const { return helpContext_; }
    void Repaint();

    QLabel* lblCodTela = nullptr;
    TMessages* msgPadrao = nullptr;

    // Runs FormActivate now (through the guard), as an activation does.
    void activateForm();

public slots:
    void done(int result) override;
    void reject() override;

protected:
    bool event(QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    int modalResult_ = 0;
    int helpContext_ = 0;
    bool activeSinceShow_ = false;
    bool closing_ = false;
    bool layoutRestored_ = false;
};

} // namespace sup::host
