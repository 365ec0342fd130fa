#include "sup/widgetkit/Options.h"

#include "sup/contracts/host/Host.h"
#include "sup/widgetkit/Controls.h"
#include "sup/widgetkit/DBGrid.h"
#include "sup/widgetkit/Messages.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGuiApplication>
#include <QMdiSubWindow>
#include <QRadioButton>
#include <QScreen>
#include <QSettings>
#include <QWidget>

namespace sup::host {

namespace {

bool isOptionControl(const QWidget* w) {
    const QString name = w->objectName();
    if (name.isEmpty() || name.startsWith(QLatin1String("qt_")))
        return false;
    if (qobject_cast<const QLineEdit*>(w) && qobject_cast<const QComboBox*>(w->parentWidget()))
        return false; // the edit inside a combo box
    return qobject_cast<const QCheckBox*>(w) || qobject_cast<const QRadioButton*>(w) ||
           qobject_cast<const QLineEdit*>(w) || qobject_cast<const QComboBox*>(w);
}

QString valueOf(const QWidget* w) {
    if (auto* c = qobject_cast<const QCheckBox*>(w))
        return c->isChecked() ? QStringLiteral("S") : QStringLiteral("N");
    if (auto* r = qobject_cast<const QRadioButton*>(w))
        return r->isChecked() ? QStringLiteral("S") : QStringLiteral("N");
    if (auto* d = qobject_cast<const TDateEditPlus*>(w))
        return d->isValidDate() ? d->Date().toString(QStringLiteral("dd/MM/yyyy")) : QString();
    if (auto* m = qobject_cast<const TMaskEdit*>(w))
        return m->Text();
    if (auto* e = qobject_cast<const QLineEdit*>(w))
        return e->text();
    if (auto* b = qobject_cast<const QComboBox*>(w))
        return QString::number(b->currentIndex());
    return {};
}

void apply(QWidget* w, const QString& value) {
    if (auto* c = qobject_cast<QCheckBox*>(w)) {
        c->setChecked(value == QLatin1String("S"));
    } else if (auto* r = qobject_cast<QRadioButton*>(w)) {
        if (value == QLatin1String("S"))
            r->setChecked(true);
    } else if (auto* d = qobject_cast<TDateEditPlus*>(w)) {
        d->setDate(QDate::fromString(value, QStringLiteral("dd/MM/yyyy")));
    } else if (auto* m = qobject_cast<TMaskEdit*>(w)) {
        m->SetText(value);
    } else if (auto* e = qobject_cast<QLineEdit*>(w)) {
        e->setText(value);
    } else if (auto* b = qobject_cast<QComboBox*>(w)) {
        bool ok = false;
        const int i = value.toInt(&ok);
        if (ok && i >= -1 && i < b->count())
            b->setCurrentIndex(i);
    }
}

QString operatorKey() {
    const QString op = Host::instance().vantrel().Operador.trimmed();
    return op.isEmpty() ? QStringLiteral("_") : op;
}

} // namespace

QStringList CollectOptionValues(QWidget* container) {
    QStringList out;
    if (!container)
        return out;
    const auto children = container->findChildren<QWidget*>();
    for (QWidget* w : children)
        if (isOptionControl(w))
            out << w->objectName() + QLatin1Char('=') + valueOf(w);
    return out;
}

void ApplyOptionValues(QWidget* container, const QStringList& values) {
    if (!container)
        return;
    for (const QString& line : values) {
        const qsizetype eq = line.indexOf(QLatin1Char('='));
        if (eq <= 0)
            continue;
        QWidget* w = container->findChild<QWidget*>(line.left(eq));
        if (w && isOptionControl(w))
            apply(w, line.mid(eq + 1));
    }
}

std::optional<QString> ValueOfOption(const QStringList& values, const QString& name) {
    const QString prefix = name + QLatin1Char('=');
    for (const QString& line : values)
        if (line.startsWith(prefix))
            return line.mid(prefix.size());
    return std::nullopt;
}

void SetOptionValue(QStringList& values, const QString& name, const QString& value) {
    const QString prefix = name + QLatin1Char('=');
    for (QString& line : values)
        if (line.startsWith(prefix)) {
            line = prefix + value;
            return;
        }
    values << prefix + value;
}

void StoreOptions(const QString& group, const QStringList& values) {
    const auto settings = Host::instance().optionStore();
    settings->beginGroup(group + QLatin1Char('/') + operatorKey());
    settings->setValue(QStringLiteral("Valores"), values);
    settings->endGroup();
    settings->sync();
    if (settings->status() != QSettings::NoError)
        throw EHostError(
            QStringLiteral("As opções não puderam ser gravadas em %1.").arg(settings->fileName()));
}

std::optional<QStringList> StoredOptions(const QString& group) {
    const auto settings = Host::instance().optionStore();
    settings->beginGroup(group + QLatin1Char('/') + operatorKey());
    const QVariant v = settings->value(QStringLiteral("Valores"));
    settings->endGroup();
    if (!v.isValid())
        return std::nullopt;
    return v.toStringList();
}

namespace {

QWidget* frameOf(QWidget* screen) {
    if (auto* sub = qobject_cast<QMdiSubWindow*>(screen->parentWidget()))
        return sub;
    return screen->window();
}

} // namespace

void StoreLayout(const QString& group, QWidget* screen, const TDBGrid* grid) {
    if (!screen)
        return;
    QWidget* frame = frameOf(screen);
    const QRect normal = frame->isMaximized() ? frame->normalGeometry() : frame->geometry();
    const auto settings = Host::instance().optionStore();
    settings->beginGroup(group + QLatin1Char('/') + operatorKey());
    if (normal.isValid())
        settings->setValue(QStringLiteral("Janela"), normal);
    settings->setValue(QStringLiteral("Maximizada"), frame->isMaximized());
    if (grid)
        settings->setValue(QStringLiteral("Colunas"), grid->layoutText());
    settings->endGroup();
    settings->sync();
}

void RestoreLayout(const QString& group, QWidget* screen, TDBGrid* grid) {
    if (!screen)
        return;
    const auto settings = Host::instance().optionStore();
    settings->beginGroup(group + QLatin1Char('/') + operatorKey());
    const QRect rect = settings->value(QStringLiteral("Janela")).toRect();
    const bool maximized = settings->value(QStringLiteral("Maximizada")).toBool();
    const QString columns = settings->value(QStringLiteral("Colunas")).toString();
    settings->endGroup();
    if (grid && !columns.isEmpty())
        grid->applyLayout(columns);
    QWidget* frame = frameOf(screen);
    if (rect.isValid() && rect.width() >= 100 && rect.height() >= 60) {
        // Inside the work area or on one of the screens there are now.
        QRect room;
        if (frame->parentWidget())
            room = frame->parentWidget()->rect();
        else if (QScreen* s = QGuiApplication::screenAt(rect.center()))
            room = s->availableGeometry();
        else if (QScreen* p = QGuiApplication::primaryScreen())
            room = p->availableGeometry();
        QRect placed = rect;
        if (room.isValid()) {
            placed.setSize(rect.size().boundedTo(room.size()));
            if (!room.contains(placed))
                placed.moveTopLeft(room.topLeft());
        }
        frame->setGeometry(placed);
    }
    if (maximized)
        frame->showMaximized();
}

} // namespace sup::host
