#pragma once

#include "message_channel.h"

#include <condition_variable>
#include <deque>
#include <mutex>
#include <vector>

namespace wren::rpc {

/// A channel over two in-memory queues, for tests and benchmarks: Push what
/// the server is to read; Written() is what it sent.
class QueueChannel : public MessageChannel {
public:
    void Push(Incoming incoming) {
        std::lock_guard lock(mutex_);
        inbox_.push_back(std::move(incoming));
        changed_.notify_all();
    }
    void Push(nlohmann::json message) {
        Push(Incoming{Incoming::Kind::Message, std::move(message), {}});
    }
    /// After the queued messages, Read reports the end.
    void Close() { Push(Incoming{Incoming::Kind::Closed, {}, {}}); }

    Incoming Read() override {
        std::unique_lock lock(mutex_);
        changed_.wait(lock, [&] { return !inbox_.empty(); });
        Incoming next = std::move(inbox_.front());
        if (next.kind != Incoming::Kind::Closed)
            inbox_.pop_front();
        return next;
    }

    void Write(const nlohmann::json& message) override {
        std::lock_guard lock(mutex_);
        // Round-trip through text, as a real client would see it.
        outbox_.push_back(nlohmann::json::parse(Serialize(message)));
        changed_.notify_all();
    }

    /// Everything written so far, and forgets it.
    std::vector<nlohmann::json> Take() {
        std::lock_guard lock(mutex_);
        return std::exchange(outbox_, {});
    }

private:
    std::mutex mutex_;
    std::condition_variable changed_;
    std::deque<Incoming> inbox_;
    std::vector<nlohmann::json> outbox_;
};

} // namespace wren::rpc
