#include "WalCheckpointer.h"

#include <sqlite3.h>

#include <utility>

namespace sup::sql {

WalCheckpointer::WalCheckpointer(QByteArray path, bool uri)
    : path_(std::move(path))
    , uri_(uri) {}

WalCheckpointer::~WalCheckpointer() {
    {
        const std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    wake_.notify_one();
    if (thread_.joinable())
        thread_.join();
}

void WalCheckpointer::attach(sqlite3* writer) {
    sqlite3_wal_hook(
        writer,
        [](void* self, sqlite3*, const char*, int pages) {
            if (pages >= kPages)
                static_cast<WalCheckpointer*>(self)->request();
            return SQLITE_OK;
        },
        this);
}

void WalCheckpointer::request() {
    {
        const std::lock_guard lock(mutex_);
        pending_ = true;
        if (!thread_.joinable())
            thread_ = std::thread([this] { run(); });
    }
    wake_.notify_one();
}

void WalCheckpointer::run() {
    sqlite3* db = nullptr;
    const int flags = SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX | (uri_ ? SQLITE_OPEN_URI : 0);
    if (sqlite3_open_v2(path_.constData(), &db, flags, nullptr) != SQLITE_OK) {
        // Without its own connection the log still gets copied when the last connection closes,
        // and readers still find every page in it.
        sqlite3_close(db);
        return;
    }
    std::unique_lock lock(mutex_);
    for (;;) {
        wake_.wait(lock, [this] { return pending_ || stopping_; });
        if (stopping_)
            break;
        pending_ = false;
        lock.unlock();
        // Passive: copies what no reader still needs and never waits for a lock, so a writer or
        // a long read is never held up; what is left is copied at the next request.
        int logged = 0;
        int copied = 0;
        const int rc =
            sqlite3_wal_checkpoint_v2(db, nullptr, SQLITE_CHECKPOINT_PASSIVE, &logged, &copied);
        if (rc == SQLITE_OK && copied == logged)
            ++completed_;
        lock.lock();
    }
    lock.unlock();
    sqlite3_close(db);
}

} // namespace sup::sql
