#pragma once

#include <QDateTime>
#include <QHash>
#include <QList>
#include <QMutex>
#include <QMutexLocker>
#include <QPair>
#include <QString>
#include <QStringList>

#include <algorithm>

namespace sup::server {

// Failed sign-ons. Each operator at each address has its own count, so that one person's
// mistakes never slow another person down (behind a proxy every user shares its address): after
// the free attempts each new one must wait 1 s, 2 s, 4 s... up to 5 minutes. An address trying
// many operators is slowed down too, after ten times the free attempts. The table is bounded:
// past its size, entries that hold no wait go first, then the waits that end soonest.
class SignOnThrottle {
public:
    explicit SignOnThrottle(int free, int maxEntries = 100000)
        : free_(qMax(1, free))
        , maxEntries_(qMax(16, maxEntries)) {}

    static QStringList keys(const QString& op, const QString& address) {
        return {QStringLiteral("op:%1|ip:%2").arg(op, address), QStringLiteral("ip:") + address};
    }
    int retryAfter(const QStringList& keys) {
        QMutexLocker l(&m_);
        const qint64 now = QDateTime::currentMSecsSinceEpoch();
        qint64 wait = 0;
        for (const QString& k : keys) {
            const auto it = state_.constFind(k);
            if (it != state_.cend() && it->until > now)
                wait = qMax(wait, it->until - now);
        }
        return wait > 0 ? int((wait + 999) / 1000) : 0;
    }
    void failed(const QStringList& keys) {
        QMutexLocker l(&m_);
        const qint64 now = QDateTime::currentMSecsSinceEpoch();
        for (const QString& k : keys) {
            State& s = state_[k];
            if (s.last && now - s.last > kWindowMs)
                s = {};
            ++s.failures;
            s.last = now;
            const int free = k.startsWith(u"ip:") ? 10 * free_ : free_;
            if (s.failures >= free)
                s.until = now + qMin<qint64>(300000, 1000LL << qMin(s.failures - free, 20));
        }
        if (state_.size() > maxEntries_)
            prune(now);
    }
    void succeeded(const QStringList& keys) {
        QMutexLocker l(&m_);
        state_.remove(keys.value(0)); // the operator's own count; the address keeps its own
    }
    qsizetype size() {
        QMutexLocker l(&m_);
        return state_.size();
    }

private:
    static constexpr qint64 kWindowMs = 15 * 60 * 1000;
    struct State {
        int failures = 0;
        qint64 last = 0;
        qint64 until = 0;
    };

    void prune(qint64 now) {
        const qsizetype target = maxEntries_ - maxEntries_ / 10;
        // Entries that hold no wait, oldest first; then the waits that end soonest.
        QList<QPair<qint64, QString>> order;
        order.reserve(state_.size());
        for (auto it = state_.cbegin(); it != state_.cend(); ++it)
            order.append({it->until > now ? it->until : it->last - kWindowMs, it.key()});
        std::sort(order.begin(), order.end());
        for (qsizetype i = 0; i < order.size() && state_.size() > target; ++i)
            state_.remove(order[i].second);
    }

    QMutex m_;
    QHash<QString, State> state_;
    int free_;
    qsizetype maxEntries_;
};

} // namespace sup::server
