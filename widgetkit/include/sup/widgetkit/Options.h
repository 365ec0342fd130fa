#pragma once

#include <QString>
#include <QStringList>

#include <optional>

class QWidget;

namespace sup::host {

// The option controls inside a container as "name=value" lines, in the order of the widget
// tree: check boxes and radio buttons "S"/"N", edits their text (masked edits their stored
// text), date edits their date (dd/mm/aaaa or ""), number edits their number, combo boxes their
// item index. Controls without an object name are left out.
QStringList CollectOptionValues(QWidget* container);

// Sets the controls named in `values` (lines of CollectOptionValues); names that are not an
// option control inside `container` and values that do not fit are skipped. Setting a check box
// or radio button from here runs its click handler as a click would (Guard.h).
void ApplyOptionValues(QWidget* container, const QStringList& values);

// The value of `name` in a name=value list (nullopt when absent) and its replacement.
std::optional<QString> ValueOfOption(const QStringList& values, const QString& name);
void SetOptionValue(QStringList& values, const QString& name, const QString& value);

// Storing option lists for the signed-on operator (Host::optionStore). `group` names the
// screen ("frmFiltroAltPedidoOL").
void StoreOptions(const QString& group, const QStringList& values);
std::optional<QStringList> StoredOptions(const QString& group);

} // namespace sup::host
