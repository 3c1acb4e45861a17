#include <atomic>
#include <vector>

#include "hostsim_broker.h"
#include "object_model.h"

namespace hostsim::detail {

namespace {

std::atomic<size_t> g_liveObjects{0};

// Each thread has a default arena (freed when the thread ends) and a stack of call scopes.
struct ThreadArenas {
    Arena base;
    std::vector<Arena *> scopes;
};

ThreadArenas &thread_arenas() {
    thread_local ThreadArenas arenas;
    return arenas;
}

} // namespace

ObjectBase::ObjectBase() {
    g_liveObjects.fetch_add(1);
}

ObjectBase::~ObjectBase() {
    g_liveObjects.fetch_sub(1);
}

Arena::~Arena() {
    std::unordered_set<ObjectBase *> objects;
    {
        std::lock_guard<std::mutex> guard(lock_);
        objects.swap(objects_);
    }
    for (ObjectBase *object : objects) {
        object->arena = nullptr;
        delete object;
    }
}

void Arena::track(ObjectBase *object) {
    std::lock_guard<std::mutex> guard(lock_);
    object->arena = this;
    objects_.insert(object);
}

void Arena::untrack(ObjectBase *object) {
    std::lock_guard<std::mutex> guard(lock_);
    objects_.erase(object);
    object->arena = nullptr;
}

Arena &current_arena() {
    ThreadArenas &arenas = thread_arenas();
    return arenas.scopes.empty() ? arenas.base : *arenas.scopes.back();
}

void push_arena(Arena *arena) {
    thread_arenas().scopes.push_back(arena);
}

void pop_arena() {
    thread_arenas().scopes.pop_back();
}

void destroy(ObjectBase *object) {
    if (object == nullptr) {
        return;
    }
    if (object->arena != nullptr) {
        object->arena->untrack(object);
    }
    delete object;
}

} // namespace hostsim::detail

namespace hostsim {

size_t live_objects() {
    return detail::g_liveObjects.load();
}

CallScope::CallScope() {
    detail::push_arena(new detail::Arena);
}

CallScope::~CallScope() {
    detail::Arena *arena = &detail::current_arena();
    detail::pop_arena();
    delete arena;
}

} // namespace hostsim
