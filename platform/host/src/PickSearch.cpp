#include "sup/host/PickSearch.h"

#include "sup/data/Format.h"
#include "sup/data/WorkingSet.h"

#include <QThread>
#include <QThreadPool>
#include <QtConcurrent/QtConcurrentRun>

#include <algorithm>
#include <bit>
#include <cstring>
#include <numeric>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace sup::host {

using sup::data::FieldType;
using sup::data::TWorkingSet;

QString foldForSearch(const QString& text) {
    const QString d = text.normalized(QString::NormalizationForm_D);
    QString out;
    out.reserve(d.size());
    for (QChar c : d)
        if (c.category() != QChar::Mark_NonSpacing)
            out += c;
    return out.toCaseFolded();
}

namespace {

// Appends the folded form of a UTF-8 text and the row separator. Plain ASCII, the bulk of codes,
// names and numbers, is folded byte by byte; anything else goes through Unicode folding.
void appendFolded(std::string& out, QByteArrayView utf8) {
    const auto* p = reinterpret_cast<const unsigned char*>(utf8.data());
    const qsizetype n = utf8.size();
    bool ascii = true;
    for (qsizetype i = 0; i < n && ascii; ++i)
        ascii = p[i] < 0x80;
    if (ascii) {
        const std::size_t at = out.size();
        out.resize(at + std::size_t(n));
        char* o = out.data() + at;
        for (qsizetype i = 0; i < n; ++i) {
            const unsigned char c = p[i];
            o[i] = c == '\n' ? ' ' : (c >= 'A' && c <= 'Z' ? char(c + 32) : char(c));
        }
    } else {
        QByteArray f = foldForSearch(QString::fromUtf8(utf8)).toUtf8();
        f.replace('\n', ' ');
        out.append(f.constData(), std::size_t(f.size()));
    }
    out.push_back('\n');
}

QByteArray foldedNeedle(const QString& text) {
    QByteArray n = foldForSearch(text).toUtf8();
    n.replace('\n', ' ');
    return n;
}

// The first occurrence of `needle` (n >= 1 bytes) in [hay, hay + len), or null. Sixteen places
// are tested at a time for the needle's first and last bytes together; only places where both
// agree are compared in full. A short needle's common first letter would otherwise stop a plain
// byte search at almost every place.
const char* findBytes(const char* hay, std::size_t len, const char* needle, std::size_t n) {
    if (n == 1)
        return static_cast<const char*>(std::memchr(hay, needle[0], len));
    if (len < n)
        return nullptr;
    std::size_t i = 0;
#if defined(__SSE2__)
    const __m128i first = _mm_set1_epi8(needle[0]);
    const __m128i last = _mm_set1_epi8(needle[n - 1]);
    for (; i + n - 1 + 16 <= len; i += 16) {
        const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(hay + i));
        const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(hay + i + n - 1));
        auto mask = unsigned(
            _mm_movemask_epi8(_mm_and_si128(_mm_cmpeq_epi8(a, first), _mm_cmpeq_epi8(b, last))));
        while (mask != 0) {
            const int bit = std::countr_zero(mask);
            if (std::memcmp(hay + i + std::size_t(bit) + 1, needle + 1, n - 2) == 0)
                return hay + i + std::size_t(bit);
            mask &= mask - 1;
        }
    }
#endif
    for (; i + n <= len; ++i)
        if (hay[i] == needle[0] && std::memcmp(hay + i, needle, n) == 0)
            return hay + i;
    return nullptr;
}

bool contains(std::string_view hay, const QByteArray& needle) {
    return findBytes(hay.data(), hay.size(), needle.constData(), std::size_t(needle.size())) !=
           nullptr;
}

bool startsWith(std::string_view hay, const QByteArray& needle) {
    return hay.size() >= std::size_t(needle.size()) &&
           std::memcmp(hay.data(), needle.constData(), std::size_t(needle.size())) == 0;
}

} // namespace

PickSearch::PickSearch(const TWorkingSet& set, std::vector<int> fields)
    : set_(set)
    , fields_(std::move(fields))
    , count_(set.recordCount())
    , folded_(fields_.size()) {
    order_.resize(std::size_t(count_));
    std::iota(order_.begin(), order_.end(), 0);
    shown_ = order_;
}

PickSearch::~PickSearch() {
    cancel_ = true;
    waitForWorkers();
}

void PickSearch::prepare() {
    if (!workers_.isEmpty())
        return;
    // One task per column, on a pool of the lists' own: Qt's global pool stays free for the
    // toolkit's work, which the opening list would otherwise wait behind.
    static QThreadPool* pool = [] {
        auto* p = new QThreadPool;
        p->setMaxThreadCount(std::max(1, QThread::idealThreadCount()));
        p->setExpiryTimeout(30000);
        return p;
    }();
    for (std::size_t c = 0; c < fields_.size(); ++c)
        if (!set_.field(fields_[c])->OnGetText)
            workers_.append(QtConcurrent::run(pool, [this, c] {
                if (!cancel_)
                    buildColumn(int(c), true);
            }));
}

void PickSearch::waitForWorkers() {
    for (QFuture<void>& w : workers_)
        w.waitForFinished();
}

void PickSearch::buildColumn(int column, bool onWorker) {
    Folded& f = folded_[std::size_t(column)];
    const int field = fields_[std::size_t(column)];
    const sup::data::FieldDef& def = set_.field(field)->def();
    const bool handler = bool(set_.field(field)->OnGetText);
    if (onWorker && handler)
        return; // a display-text handler reads the set's current record: this thread only
    std::string bytes;
    std::vector<std::uint32_t> start(std::size_t(count_) + 1);
    bytes.reserve(std::size_t(count_) * std::size_t(std::clamp(def.size, 4, 24)));
    const sup::data::Column& col = set_.currentColumn(field);
    const bool plainText = !handler && def.type == FieldType::Text && def.editMask.isEmpty();
    for (int pos = 0; pos < count_; ++pos) {
        if (onWorker && (pos & 0x3FFF) == 0 && cancel_)
            return;
        start[std::size_t(pos)] = std::uint32_t(bytes.size());
        if (plainText) {
            appendFolded(bytes, col.utf8(set_.physicalRow(pos)));
        } else if (handler) {
            appendFolded(bytes, set_.textAt(pos, field, true).toUtf8());
        } else {
            const qsizetype r = set_.physicalRow(pos);
            const QString text = def.type == FieldType::Text
                                     ? sup::data::formatMasked(col.text(r), def.editMask)
                                     : sup::data::formatCell(col, r, def.displayFormat);
            appendFolded(bytes, text.toUtf8());
        }
    }
    start[std::size_t(count_)] = std::uint32_t(bytes.size());
    f.bytes = std::move(bytes);
    f.start = std::move(start);
    f.ready = true;
}

void PickSearch::ensureColumns(bool all, int column) {
    waitForWorkers();
    for (std::size_t c = 0; c < fields_.size(); ++c)
        if ((all || int(c) == column) && !folded_[c].ready)
            buildColumn(int(c), false);
}

std::string_view PickSearch::slice(int column, int position) const {
    const Folded& f = folded_[std::size_t(column)];
    const std::uint32_t a = f.start[std::size_t(position)];
    const std::uint32_t b = f.start[std::size_t(position) + 1] - 1; // without the separator
    return {f.bytes.data() + a, b - a};
}

int PickSearch::rowOfPosition(int position) const {
    const auto it = std::find(shown_.begin(), shown_.end(), position);
    return it == shown_.end() ? -1 : int(it - shown_.begin());
}

void PickSearch::sortBy(int column, bool descending) {
    sortColumn_ = column < 0 || column >= int(fields_.size()) ? -1 : column;
    descending_ = sortColumn_ >= 0 && descending;
    std::iota(order_.begin(), order_.end(), 0);
    if (sortColumn_ >= 0) {
        const int field = fields_[std::size_t(sortColumn_)];
        const FieldType type = set_.field(field)->dataType();
        const bool byValue = !set_.field(field)->OnGetText && type != FieldType::Text;
        if (byValue) {
            // Nulls first, then by value.
            const sup::data::Column& col = set_.currentColumn(field);
            std::vector<std::pair<bool, double>> keys(static_cast<std::size_t>(count_));
            for (int pos = 0; pos < count_; ++pos) {
                const qsizetype r = set_.physicalRow(pos);
                double v = 0;
                if (!col.isNull(r)) {
                    if (type == FieldType::Double)
                        v = col.real(r);
                    else if (type == FieldType::DateTime)
                        v = double(col.dateTimeMs(r));
                    else if (type == FieldType::Boolean)
                        v = col.boolean(r) ? 1 : 0;
                    else
                        v = double(col.integer(r));
                }
                keys[std::size_t(pos)] = {!col.isNull(r), v};
            }
            std::stable_sort(order_.begin(), order_.end(), [&](int a, int b) {
                return descending_ ? keys[std::size_t(b)] < keys[std::size_t(a)]
                                   : keys[std::size_t(a)] < keys[std::size_t(b)];
            });
        } else {
            ensureColumns(false, sortColumn_);
            std::stable_sort(order_.begin(), order_.end(), [&](int a, int b) {
                return descending_ ? slice(sortColumn_, b) < slice(sortColumn_, a)
                                   : slice(sortColumn_, a) < slice(sortColumn_, b);
            });
        }
    }
    const QString text = needle_;
    needle_.clear();
    needleBytes_.clear();
    search(text, anyColumn_, column_);
}

void PickSearch::search(const QString& text, bool anyColumn, int column) {
    const QString needle = foldForSearch(text.trimmed());
    const QByteArray bytes = foldedNeedle(text.trimmed());
    column = std::clamp(column, 0, std::max(0, int(fields_.size()) - 1));
    const bool sameWay = anyColumn == anyColumn_ && column == column_;
    const bool grew = sameWay && !needleBytes_.isEmpty() &&
                      (anyColumn ? bytes.contains(needleBytes_) : bytes.startsWith(needleBytes_));
    needle_ = needle;
    anyColumn_ = anyColumn;
    column_ = column;
    if (bytes.isEmpty()) {
        needleBytes_.clear();
        shown_ = order_;
        return;
    }
    if (fields_.empty()) {
        shown_.clear();
        return;
    }
    ensureColumns(anyColumn, column);
    // Narrowing reads record by record; a scan of whole blocks is faster while most records
    // still match.
    if (grew && shown_.size() < std::size_t(count_) / 256)
        narrow(bytes, anyColumn, column);
    else
        fullScan(bytes, anyColumn, column);
    needleBytes_ = bytes;
}

// Every record: one pass over each searched column's block; a hit is mapped to its
// record by the offsets, and the scan goes on from the next record.
void PickSearch::fullScan(const QByteArray& needle, bool anyColumn, int column) {
    std::vector<char> hit(std::size_t(count_), 0);
    const std::size_t n = std::size_t(needle.size());
    for (std::size_t c = 0; c < fields_.size(); ++c) {
        if (!anyColumn && int(c) != column)
            continue;
        const Folded& f = folded_[c];
        if (anyColumn) {
            const char* base = f.bytes.data();
            const char* end = base + f.bytes.size();
            const char* from = base;
            std::size_t pos = 0; // hits come in order: the record is found walking forward
            while (from < end) {
                const char* m = findBytes(from, std::size_t(end - from), needle.constData(), n);
                if (!m)
                    break;
                const auto off = std::uint32_t(m - base);
                while (f.start[pos + 1] <= off)
                    ++pos;
                hit[pos] = 1;
                from = base + f.start[pos + 1];
            }
        } else {
            for (int pos = 0; pos < count_; ++pos)
                hit[std::size_t(pos)] = startsWith(slice(int(c), pos), needle) ? 1 : 0;
        }
    }
    shown_.clear();
    for (int pos : order_)
        if (hit[std::size_t(pos)])
            shown_.push_back(pos);
}

// The text grew from the last one: only the records found then can match.
void PickSearch::narrow(const QByteArray& needle, bool anyColumn, int column) {
    std::vector<int> kept;
    kept.reserve(shown_.size());
    for (int pos : shown_) {
        bool match = false;
        if (anyColumn) {
            for (std::size_t c = 0; c < fields_.size() && !match; ++c)
                match = contains(slice(int(c), pos), needle);
        } else {
            match = startsWith(slice(column, pos), needle);
        }
        if (match)
            kept.push_back(pos);
    }
    shown_ = std::move(kept);
}

} // namespace sup::host
