#pragma once

// The rows of a pick list: the set's records in the list's order, narrowed by a search text.
//
// The search runs over folded copies of the columns' display texts (letter case and accents
// removed, one contiguous byte block per column), built once per list on a worker thread and
// read in place: no row is copied into an item model, and a keystroke costs one scan of those
// blocks (or of the rows already found, when the text only grew).

#include <QFuture>
#include <QList>
#include <QString>

#include <atomic>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace sup::data {
class TWorkingSet;
}

namespace sup::host {

// Letter case and accents removed: "São" and "sao" fold alike.
QString foldForSearch(const QString& text);

class PickSearch {
public:
    // `fields`: the set's field indexes shown as the list's columns, in column order. The set
    // must not change while this object lives (the list is modal).
    PickSearch(const sup::data::TWorkingSet& set, std::vector<int> fields);
    ~PickSearch();
    PickSearch(const PickSearch&) = delete;
    PickSearch& operator=(const PickSearch&) = delete;

    // Starts folding the columns on worker threads; searching and sorting wait for them. Columns
    // shown through a display-text handler are folded on the calling thread when first needed.
    void prepare();

    int rowCount() const { return int(shown_.size()); }
    int positionAt(int row) const { return shown_[std::size_t(row)]; }
    int rowOfPosition(int position) const; // -1 when the record is not shown
    const std::vector<int>& shown() const { return shown_; }

    // Orders the records by a column (-1: as the set holds them); the last search is kept.
    // Numbers and dates order by value, texts by their folded form; ties keep the set's order.
    void sortBy(int column, bool descending = false);
    int sortColumn() const { return sortColumn_; }
    bool descending() const { return descending_; }

    // Keeps the records whose column `column` starts with the text (anyColumn false) or any of
    // whose columns contains it; an empty text keeps every record.
    void search(const QString& text, bool anyColumn, int column);
    const QString& needle() const { return needle_; }

private:
    struct Folded {
        std::string bytes;                // each row's folded text followed by '\n'
        std::vector<std::uint32_t> start; // offset of each position's text; one past the end
        bool ready = false;
    };

    void buildColumn(int column, bool onWorker);
    void ensureColumns(bool all, int column);
    std::string_view slice(int column, int position) const;
    void fullScan(const QByteArray& needle, bool anyColumn, int column);
    void narrow(const QByteArray& needle, bool anyColumn, int column);

    const sup::data::TWorkingSet& set_;
    std::vector<int> fields_;
    int count_ = 0;
    std::vector<Folded> folded_;
    std::vector<int> order_; // positions in the list's order
    std::vector<int> shown_; // the positions of order_ that match the search
    int sortColumn_ = -1;
    bool descending_ = false;
    QString needle_;
    QByteArray needleBytes_;
    bool anyColumn_ = false;
    int column_ = 0;
    void waitForWorkers();
    QList<QFuture<void>> workers_;
    std::atomic<bool> cancel_{false};
};

} // namespace sup::host
