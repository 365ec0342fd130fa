#pragma once

#include <QString>
#include <QStringList>

#include <optional>

class QWidget;

namespace sup::host {

class TDBGrid;

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

// The layout of a screen for the signed-on operator, under `group` (the screen's name): the
// place, size and state (maximised or not) of its window (the sub-window holding it, when it
// lives in the host's work area) and, given a grid, the grid's columns (TDBGrid::layoutText).
// Restoring keeps the window on the screens there are; a layout never stored changes nothing.
// Failing storage is not worth a message: nothing is kept, and the screen opens as designed.
void StoreLayout(const QString& group, QWidget* screen, const TDBGrid* grid = nullptr);
void RestoreLayout(const QString& group, QWidget* screen, TDBGrid* grid = nullptr);

} // namespace sup::host
