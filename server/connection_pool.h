#pragma once
// A bounded pool of database connections shared by the request threads. A connection is
// opened when none is idle and the pool is below its size; otherwise the caller waits.

#include <condition_variable>
#include <cstddef>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

namespace zorvan::scores {

template <class Connection>
class ConnectionPool {
public:
    using Factory = std::function<std::unique_ptr<Connection>()>;

    ConnectionPool(std::size_t size, Factory factory) : size_(size), factory_(std::move(factory)) {}
    ConnectionPool(const ConnectionPool&) = delete;
    ConnectionPool& operator=(const ConnectionPool&) = delete;

    class Lease {
    public:
        Lease(ConnectionPool& pool, std::unique_ptr<Connection> c) : pool_(&pool), c_(std::move(c)) {}
        Lease(Lease&& other) noexcept : pool_(other.pool_), c_(std::move(other.c_)) {}
        Lease(const Lease&) = delete;
        Lease& operator=(const Lease&) = delete;
        Lease& operator=(Lease&&) = delete;
        ~Lease() {
            if (c_) pool_->giveBack(std::move(c_), broken_);
        }
        Connection* operator->() { return c_.get(); }
        Connection& operator*() { return *c_; }
        // The connection failed in a way that may leave it unusable: close it on return.
        void discard() { broken_ = true; }

    private:
        ConnectionPool* pool_;
        std::unique_ptr<Connection> c_;
        bool broken_ = false;
    };

    // Throws whatever the factory throws when a new connection cannot be opened.
    Lease take() {
        std::unique_lock lock(mutex_);
        for (;;) {
            if (!idle_.empty()) {
                auto c = std::move(idle_.back());
                idle_.pop_back();
                return Lease(*this, std::move(c));
            }
            if (open_ < size_) {
                ++open_;
                lock.unlock();
                try {
                    return Lease(*this, factory_());
                } catch (...) {
                    lock.lock();
                    --open_;
                    available_.notify_one();
                    throw;
                }
            }
            available_.wait(lock);
        }
    }

    // Keeps one idle connection open (so a broken configuration shows at start-up).
    void warmUp() { Lease l = take(); }

private:
    void giveBack(std::unique_ptr<Connection> c, bool broken) {
        {
            std::lock_guard lock(mutex_);
            if (broken) {
                --open_;
            } else {
                idle_.push_back(std::move(c));
            }
        }
        available_.notify_one();
        // A broken connection is closed here, outside the lock, when `c` goes out of scope.
    }

    std::size_t size_;
    Factory factory_;
    std::mutex mutex_;
    std::condition_variable available_;
    std::vector<std::unique_ptr<Connection>> idle_;
    std::size_t open_ = 0;
};

}  // namespace zorvan::scores
