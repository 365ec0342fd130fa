#pragma once

// Copies the write-ahead log of a SQLite file back into the database on a thread of its own.
//
// By default a connection checkpoints at the end of the commit that takes the log past 1,000
// pages: the writer waits while every page it wrote is copied again into the database file and
// synced, which for a write of ten thousand scattered rows doubles the time the caller waits.
// attach() hands that work to a thread with its own connection to the same file. The commit
// itself stays as durable as before (the log is synced at commit); only the copy moves.

#include <QByteArray>

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <thread>

struct sqlite3;

namespace sup::sql {

class WalCheckpointer {
public:
    // The log's size in pages from which a checkpoint is asked for (SQLite's own default).
    static constexpr int kPages = 1000;

    // `path` and `uri` as the writer opened the file. No thread runs until the first request.
    WalCheckpointer(QByteArray path, bool uri);
    ~WalCheckpointer(); // finishes a checkpoint under way and closes its connection
    WalCheckpointer(const WalCheckpointer&) = delete;
    WalCheckpointer& operator=(const WalCheckpointer&) = delete;

    // Replaces `writer`'s automatic checkpoint by requests to this checkpointer.
    void attach(sqlite3* writer);
    // Checkpoints run to the end so far (the ones that copied the whole log).
    quint64 completed() const { return completed_.load(); }

private:
    void request();
    void run();

    const QByteArray path_;
    const bool uri_;
    std::mutex mutex_;
    std::condition_variable wake_;
    bool pending_ = false;
    bool stopping_ = false;
    std::atomic<quint64> completed_{0};
    std::thread thread_;
};

} // namespace sup::sql
