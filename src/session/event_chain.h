#pragma once
// Adding a handler to one of the session core's single-slot events without displacing the one
// already bound. The added handler runs after the earlier one, and only while its owner lives
// (the owner keeps the token; the event may outlive it).

#include <functional>
#include <memory>
#include <type_traits>
#include <utility>

using TAliveToken = std::shared_ptr<int>;

inline TAliveToken MakeAliveToken() {
    return std::make_shared<int>(0);
}

template <typename... TArgs>
void ChainEvent(std::function<void(TArgs...)>& ASlot, const TAliveToken& AOwner,
                std::type_identity_t<std::function<void(TArgs...)>> AHandler) {
    std::function<void(TArgs...)> earlier = ASlot;
    std::weak_ptr<int> alive = AOwner;
    ASlot = [earlier = std::move(earlier), alive, handler = std::move(AHandler)](TArgs... AArgs) {
        if (earlier) earlier(AArgs...);
        if (!alive.expired()) handler(AArgs...);
    };
}
