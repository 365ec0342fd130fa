// The export of the grid's rows to a spreadsheet (.xlsx) or CSV file: the marked items when any
// is marked, else every item the grid shows, in the grid's column order and with its titles.
#include "Cli_sup07700/TfrmAltPedidosOL.h"
#include "Cli_sup07700/sheet/SheetWriter.h"
#include "Dm_sup07700/TdmAltPedidosOL.h"

#include "sup/data/WorkingSet.h"
#include "sup/widgetkit/Busy.h"
#include "sup/widgetkit/Messages.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QHeaderView>
#include <QLocale>
#include <QProgressDialog>
#include <QStandardPaths>

using namespace sup::host;
using namespace sup07700::sheet;
using sup::data::FieldType;
using sup::data::TWorkingSet;

namespace {

// The folder of the last export in this session, where the next one starts.
QString& lastFolder() {
    static QString folder;
    return folder;
}

CellKind kindOf(FieldType type) {
    switch (type) {
    case FieldType::DateTime:
        return CellKind::Date;
    case FieldType::Double:
        return CellKind::Quantity; // the grid's numbers are quantities
    case FieldType::Integer:
        return CellKind::Integer;
    case FieldType::Boolean:
        return CellKind::Flag;
    case FieldType::Text:
        break;
    }
    return CellKind::Text;
}

// The grid's data columns as the user sees them: visual order, shown ones only, without the
// marker.
QList<SheetColumn> gridColumns(const TDBGrid& grid, const TWorkingSet& items) {
    QList<SheetColumn> out;
    const QHeaderView* header = grid.horizontalHeader();
    const int charWidth = std::max(1, grid.fontMetrics().averageCharWidth());
    const QList<TDBGrid::Column>& columns = grid.columns();
    for (int v = 0; v < header->count(); ++v) {
        const int logical = header->logicalIndex(v);
        if (logical < 0 || logical >= columns.size() || header->isSectionHidden(logical) ||
            !grid.isColumnVisible(logical))
            continue;
        const TDBGrid::Column& c = columns.at(logical);
        if (c.fieldName.compare(u"CALC", Qt::CaseInsensitive) == 0)
            continue;
        const sup::data::TField* field = items.findField(c.fieldName);
        if (!field)
            continue;
        SheetColumn s;
        s.field = field->fieldName();
        s.title = c.title.isEmpty() ? field->displayLabel() : c.title;
        s.kind = kindOf(field->dataType());
        s.width = std::max<int>(int(s.title.size()) + 2, header->sectionSize(logical) / charWidth);
        out.append(s);
    }
    return out;
}

// Visible positions of the marked items, or of every item when none is marked.
std::vector<int> rowsToExport(const TWorkingSet& items, bool& markedOnly) {
    const int count = items.recordCount();
    std::vector<int> marked;
    const int calc = items.fieldIndex(u"CALC");
    if (calc >= 0) {
        const sup::data::Column& column = items.currentColumn(calc);
        for (int p = 0; p < count; ++p) {
            const QByteArrayView v = column.utf8(items.physicalRow(p));
            if (!v.isEmpty() && v.front() == 'S')
                marked.push_back(p);
        }
    }
    markedOnly = !marked.empty();
    if (markedOnly)
        return marked;
    std::vector<int> all(static_cast<std::size_t>(count));
    for (int p = 0; p < count; ++p)
        all[std::size_t(p)] = p;
    return all;
}

QString number(qsizetype n) {
    return QLocale(QLocale::Portuguese, QLocale::Brazil).toString(qlonglong(n));
}

} // namespace

void TfrmAltPedidosOL::mnuExportarClick() {
    TWorkingSet* items = dm_->cdsItem;
    if (!items->active() || items->isEmpty()) {
        msgPadrao->ShowMsg(QStringLiteral("Exp_Vazio"), mtInformation, mbOK);
        return;
    }
    bool markedOnly = false;
    const std::vector<int> rows = rowsToExport(*items, markedOnly);
    const QList<SheetColumn> columns = gridColumns(*dbgPadrao, *items);

    // Where to, and in which format.
    QFileDialog dialog(this);
    dialog.setObjectName(QStringLiteral("dlgExportar"));
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setOption(QFileDialog::DontConfirmOverwrite); // asked below, in Portuguese
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setWindowTitle(msgPadrao->Msg(QStringLiteral("Exp_Titulo")));
    dialog.setLabelText(QFileDialog::LookIn, msgPadrao->Msg(QStringLiteral("Exp_Lbl_Pasta")));
    dialog.setLabelText(QFileDialog::FileName, msgPadrao->Msg(QStringLiteral("Exp_Lbl_Arquivo")));
    dialog.setLabelText(QFileDialog::FileType, msgPadrao->Msg(QStringLiteral("Exp_Lbl_Tipo")));
    dialog.setLabelText(QFileDialog::Accept, msgPadrao->Msg(QStringLiteral("Exp_Btn_Salvar")));
    dialog.setLabelText(QFileDialog::Reject, msgPadrao->Msg(QStringLiteral("Exp_Btn_Cancelar")));
    const QString xlsxFilter = msgPadrao->Msg(QStringLiteral("Exp_Filtro_Xlsx"));
    const QString csvFilter = msgPadrao->Msg(QStringLiteral("Exp_Filtro_Csv"));
    dialog.setNameFilters({xlsxFilter, csvFilter});
    QString folder = lastFolder();
    if (folder.isEmpty() || !QFileInfo(folder).isDir())
        folder = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    if (folder.isEmpty() || !QFileInfo(folder).isDir())
        folder = QDir::homePath();
    dialog.setDirectory(folder);
    dialog.selectFile(QStringLiteral("SUP07700_%1.xlsx")
                          .arg(QDateTime::currentDateTime().toString(u"yyyyMMdd_HHmm")));
    if (Host::instance().showModal(&dialog) != QDialog::Accepted ||
        dialog.selectedFiles().isEmpty())
        return;
    QString path = dialog.selectedFiles().constFirst();
    // A name without a known extension takes the one of the type chosen.
    std::optional<SheetFormat> format = formatOfFile(path);
    if (!format) {
        format = dialog.selectedNameFilter() == csvFilter ? SheetFormat::Csv : SheetFormat::Xlsx;
        path += *format == SheetFormat::Csv ? QStringLiteral(".csv") : QStringLiteral(".xlsx");
    }
    path = QDir::toNativeSeparators(QFileInfo(path).absoluteFilePath());
    lastFolder() = QFileInfo(path).absolutePath();

    if (*format == SheetFormat::Xlsx && qsizetype(rows.size()) > kMaxSheetRows) {
        const QString key = QStringLiteral("Exp_Limite");
        Host::instance().showError(
            Format(msgPadrao->Msg(key), {number(qsizetype(rows.size())), number(kMaxSheetRows)}),
            key);
        return;
    }
    if (QFileInfo::exists(path)) {
        const QString key = QStringLiteral("Exp_Substituir");
        if (Host::instance().showMessage(Format(msgPadrao->Msg(key), {path}), mtConfirmation,
                                         mbYesNo, key) != mrYes)
            return;
    }

    // The writing, with a progress the user may cancel once it lasts; the messages that follow
    // come after the hour-glass and the progress are gone.
    SheetResult result = SheetResult::Cancelled;
    QString failure, failureKey;
    {
        THourGlass hourGlass;
        QProgressDialog progress(this);
        progress.setObjectName(QStringLiteral("prgExportar"));
        progress.setWindowTitle(msgPadrao->Msg(QStringLiteral("Exp_Titulo")));
        progress.setLabelText(Format(msgPadrao->Msg(QStringLiteral("Exp_Andamento")),
                                     {number(qsizetype(rows.size())), path}));
        progress.setCancelButtonText(msgPadrao->Msg(QStringLiteral("Exp_Btn_Cancelar")));
        progress.setWindowModality(Qt::WindowModal);
        progress.setMinimumDuration(400);
        progress.setAutoReset(false);
        progress.setAutoClose(false);
        progress.setRange(0, int(rows.size()));
        try {
            result = writeSheet(path, *format, columns, *items, rows,
                                [&progress](qsizetype written, qsizetype total) {
                                    if (written >= total && total > 0)
                                        progress.setRange(0, 0); // the file being packed
                                    else
                                        progress.setValue(int(written));
                                    QCoreApplication::processEvents();
                                    return !progress.wasCanceled();
                                });
        } catch (const SheetError& e) {
            const QString key = e.reason() == SheetError::CannotCreate
                                    ? QStringLiteral("Exp_N_Criar")
                                    : QStringLiteral("Exp_N_Gravar");
            const QString detail =
                e.detail().isEmpty() ? QString() : QStringLiteral(": ") + e.detail();
            failure = Format(msgPadrao->Msg(key), {e.path(), detail});
            failureKey = key;
        }
    }
    if (!failure.isEmpty()) {
        Host::instance().showError(failure, failureKey);
        return;
    }
    if (result == SheetResult::Cancelled) {
        msgPadrao->ShowMsg(QStringLiteral("Exp_Cancelada"), mtInformation, mbOK);
        return;
    }
    const QString key = markedOnly ? QStringLiteral("Exp_OK_Marcados") : QStringLiteral("Exp_OK");
    Host::instance().showMessage(
        Format(msgPadrao->Msg(key), {number(qsizetype(rows.size())), path}), mtInformation, mbOK,
        key);
}
