// The grid's column layout: kept and restored order and widths, and the columns that stretch.

#include "sup/widgetkit/DBGrid.h"

#include <QHeaderView>
#include <QResizeEvent>
#include <QScrollBar>

#include <algorithm>

namespace sup::host {

namespace {

constexpr int kMinWidth = 8;
constexpr int kMaxWidth = 4000;

} // namespace

QString TDBGrid::layoutText() const {
    QStringList parts;
    const QHeaderView* header = horizontalHeader();
    for (int i = 0; i < columns_.size(); ++i) {
        if (columns_.at(i).fieldName.isEmpty())
            continue;
        parts << QStringLiteral("%1=%2,%3")
                     .arg(columns_.at(i).fieldName)
                     .arg(header->visualIndex(i))
                     .arg(baseWidth(i));
    }
    return parts.join(QLatin1Char(';'));
}

void TDBGrid::applyLayout(const QString& text) {
    QHeaderView* header = horizontalHeader();
    struct Entry {
        int column, visual, width;
    };
    std::vector<Entry> entries;
    for (const QString& part : text.split(QLatin1Char(';'), Qt::SkipEmptyParts)) {
        const qsizetype eq = part.indexOf(QLatin1Char('='));
        if (eq <= 0)
            continue;
        const int column = columnIndexOfField(QStringView(part).left(eq).trimmed());
        const QStringList values = part.mid(eq + 1).split(QLatin1Char(','));
        bool okVisual = false, okWidth = false;
        const int visual = values.value(0).toInt(&okVisual);
        const int width = values.value(1).toInt(&okWidth);
        if (column < 0 || values.size() != 2 || !okVisual || !okWidth)
            continue;
        entries.push_back({column, visual, std::clamp(width, kMinWidth, kMaxWidth)});
    }
    // Widths first, then the order, placing the columns from the leftmost visual place.
    stretching_ = true;
    for (const Entry& e : entries) {
        setColumnWidth(e.column, e.width);
        if (stretchBase_.contains(e.column))
            stretchBase_[e.column] = e.width;
    }
    stretching_ = false;
    std::sort(entries.begin(), entries.end(),
              [](const Entry& a, const Entry& b) { return a.visual < b.visual; });
    for (const Entry& e : entries)
        if (e.visual >= 0 && e.visual < header->count())
            header->moveSection(header->visualIndex(e.column), e.visual);
    stretchColumns();
}

void TDBGrid::setStretchFields(const QStringList& fields) {
    stretchFields_ = fields;
    stretchBase_.clear();
    for (const QString& name : fields) {
        const int column = columnIndexOfField(name);
        if (column >= 0)
            stretchBase_.insert(column, columnWidth(column));
    }
    stretchColumns();
}

int TDBGrid::baseWidth(int column) const {
    return stretchBase_.value(column, columnWidth(column));
}

// The stretch columns at their base widths plus the room the others leave, shared in
// proportion to those widths.
void TDBGrid::stretchColumns() {
    if (stretchBase_.isEmpty() || !model())
        return;
    int fixed = 0, stretchTotal = 0;
    QList<int> shown;
    for (int i = 0; i < model()->columnCount(); ++i) {
        if (isColumnHidden(i))
            continue;
        if (stretchBase_.contains(i)) {
            shown << i;
            stretchTotal += stretchBase_.value(i);
        } else {
            fixed += columnWidth(i);
        }
    }
    if (shown.isEmpty() || stretchTotal <= 0)
        return;
    const int room = std::max(0, viewport()->width() - fixed - stretchTotal - 1);
    stretching_ = true;
    int given = 0;
    for (qsizetype k = 0; k < shown.size(); ++k) {
        const int column = shown.at(k);
        const int base = stretchBase_.value(column);
        const int share =
            k + 1 == shown.size() ? room - given : int(qint64(room) * base / stretchTotal);
        given += share;
        setColumnWidth(column, base + share);
    }
    stretching_ = false;
}

void TDBGrid::resizeEvent(QResizeEvent* event) {
    QTableView::resizeEvent(event);
    stretchColumns();
}

} // namespace sup::host
