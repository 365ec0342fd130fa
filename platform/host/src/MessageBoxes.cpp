#include "sup/host/Dialogs.h"

#include <QAbstractButton>
#include <QApplication>
#include <QLabel>
#include <QLayout>
#include <QMessageBox>
#include <QPushButton>

#include <vector>

namespace sup::host {

QString MessageTitle(TMsgDlgType type) {
    switch (type) {
    case mtWarning:
        return QStringLiteral("Atenção");
    case mtError:
        return QStringLiteral("Erro");
    case mtInformation:
        return QStringLiteral("Informação");
    case mtConfirmation:
        return QStringLiteral("Confirmação");
    case mtCustom:
        break;
    }
    const QString app = QApplication::applicationDisplayName();
    return app.isEmpty() ? QStringLiteral("Mensagem") : app;
}

namespace {

QMessageBox::Icon iconOf(TMsgDlgType type) {
    switch (type) {
    case mtWarning:
        return QMessageBox::Warning;
    case mtError:
        return QMessageBox::Critical;
    case mtInformation:
        return QMessageBox::Information;
    case mtConfirmation:
        return QMessageBox::Question;
    case mtCustom:
        break;
    }
    return QMessageBox::NoIcon;
}

// A message box that shows all of its text: wide enough for its title even with a short text,
// wrapped at a readable width for a long one, and as tall as the wrapped text needs. (The
// toolkit's own sizing gives up on small screens and cut long texts.)
class FittedMessageBox final : public QMessageBox {
public:
    using QMessageBox::QMessageBox;

    static constexpr int kMinTextWidth = 300;
    static constexpr int kMaxTextWidth = 560;

protected:
    void showEvent(QShowEvent* event) override {
        QMessageBox::showEvent(event);
        fit();
    }

private:
    void fit() {
        auto* label = findChild<QLabel*>(QStringLiteral("qt_msgbox_label"));
        if (!label || !layout())
            return;
        label->setWordWrap(true);
        const int textWidth =
            qBound(kMinTextWidth, label->fontMetrics().horizontalAdvance(label->text()) + 8,
                   kMaxTextWidth);
        label->setMinimumWidth(textWidth);
        const int width = qMax(layout()->totalMinimumSize().width(), textWidth);
        const int height = layout()->hasHeightForWidth() ? layout()->totalHeightForWidth(width)
                                                         : layout()->totalMinimumSize().height();
        setFixedSize(width, height);
    }
};

void prepare(QMessageBox& box, const QString& text, TMsgDlgType type) {
    box.setWindowTitle(MessageTitle(type));
    box.setIcon(iconOf(type));
    box.setTextFormat(Qt::PlainText);
    box.setText(text);
    box.setWindowModality(Qt::ApplicationModal);
}

} // namespace

int RunMessageBox(QWidget* parent, const QString& text, TMsgDlgType type, TMsgDlgButtons buttons) {
    struct Kind {
        TMsgDlgBtn button;
        const char* caption;
        QMessageBox::ButtonRole role;
        int result;
    };
    static const Kind kinds[] = {
        {mbYes, "&Sim", QMessageBox::YesRole, mrYes},
        {mbNo, "&Não", QMessageBox::NoRole, mrNo},
        {mbOK, "OK", QMessageBox::AcceptRole, mrOk},
        {mbCancel, "Cancelar", QMessageBox::RejectRole, mrCancel},
        {mbAbort, "&Abortar", QMessageBox::DestructiveRole, mrAbort},
        {mbRetry, "&Repetir", QMessageBox::ActionRole, mrRetry},
        {mbIgnore, "&Ignorar", QMessageBox::ActionRole, mrIgnore},
        {mbAll, "&Todos", QMessageBox::ActionRole, mrAll},
        {mbHelp, "Aj&uda", QMessageBox::HelpRole, mrNone},
    };
    if ((buttons & ~mbHelp) == 0)
        buttons |= mbOK;
    FittedMessageBox box(parent);
    prepare(box, text, type);
    std::vector<std::pair<QPushButton*, int>> made;
    for (const Kind& k : kinds)
        if (buttons & k.button)
            made.emplace_back(box.addButton(QString::fromUtf8(k.caption), k.role), k.result);
    box.setDefaultButton(made.front().first);
    QPushButton* escape = nullptr;
    int escapeResult = mrCancel;
    for (int wanted : {int(mrCancel), int(mrNo), int(mrOk)}) {
        for (const auto& [b, r] : made)
            if (r == wanted) {
                escape = b;
                escapeResult = r;
                break;
            }
        if (escape)
            break;
    }
    if (escape)
        box.setEscapeButton(escape);
    box.exec();
    QAbstractButton* clicked = box.clickedButton();
    for (const auto& [b, r] : made)
        if (b == clicked)
            return r;
    return escapeResult;
}

int RunCaptionedBox(QWidget* parent, const QString& text, TMsgDlgType type,
                    const QStringList& captions, int defaultButton) {
    FittedMessageBox box(parent);
    prepare(box, text, type);
    QStringList shown = captions;
    if (shown.isEmpty())
        shown << QStringLiteral("OK");
    std::vector<QPushButton*> made;
    for (const QString& caption : shown)
        made.push_back(box.addButton(caption, QMessageBox::ActionRole));
    const int def = defaultButton >= 1 && defaultButton <= int(made.size()) ? defaultButton - 1 : 0;
    box.setDefaultButton(made[std::size_t(def)]);
    box.setEscapeButton(made.back());
    box.exec();
    QAbstractButton* clicked = box.clickedButton();
    for (std::size_t i = 0; i < made.size(); ++i)
        if (made[i] == clicked)
            return kFirstCaptionedAnswer + int(i);
    return kFirstCaptionedAnswer + int(made.size()) - 1;
}

} // namespace sup::host
