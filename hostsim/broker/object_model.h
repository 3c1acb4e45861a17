// Broker-private representation of the encapsulated CMPI objects.
#pragma once

#include <mutex>
#include <string>
#include <unordered_set>
#include <utility>
#include <vector>

#include <cmpi/cmpift.h>

namespace hostsim::detail {

class Arena;

// Every broker object counts itself while it lives (see hostsim::live_objects()).
struct ObjectBase {
    ObjectBase();
    ObjectBase(const ObjectBase &) = delete;
    ObjectBase &operator=(const ObjectBase &) = delete;
    virtual ~ObjectBase();
    Arena *arena = nullptr; // null: owned by a container or by whoever cloned it
};

// The objects one broker call (or one thread outside calls) has made and not released.
class Arena {
  public:
    Arena() = default;
    ~Arena();
    Arena(const Arena &) = delete;
    Arena &operator=(const Arena &) = delete;
    void track(ObjectBase *object);
    void untrack(ObjectBase *object);

  private:
    std::mutex lock_;
    std::unordered_set<ObjectBase *> objects_;
};

Arena &current_arena();
void push_arena(Arena *arena);
void pop_arena();

template <class T> T *tracked(T *object) {
    current_arena().track(object);
    return object;
}
template <class T> T *maybe_track(T *object, bool track) {
    return track ? tracked(object) : object;
}
// Frees an object now, whether or not an arena holds it.
void destroy(ObjectBase *object);

// An encapsulated object as the broker allocates it: the CMPI struct {hdl, ft} followed by a
// pointer to its C++ owner. hdl stays free for what providers expect in it (a string's
// characters, as CMGetCharPtr reads them).
template <class Enc> struct Cell {
    Enc enc;
    ObjectBase *owner;
};

template <class Impl, class Enc> Impl *impl_of(const Enc *enc) {
    return enc ? static_cast<Impl *>(reinterpret_cast<const Cell<Enc> *>(enc)->owner) : nullptr;
}

// The owner of any encapsulated object, whatever its type.
inline ObjectBase *owner_of(const void *enc) {
    return enc ? reinterpret_cast<const Cell<CMPIString> *>(enc)->owner : nullptr;
}

// A CMPI value with its own deep copy of strings, arrays, references and instances.
class Value {
  public:
    Value() = default;
    Value(const Value &other);
    Value &operator=(const Value &other);
    ~Value();
    // CMPI_chars is kept as CMPI_string; a NULL value or NULL object is a null value.
    static Value from(const CMPIValue *value, CMPIType type);
    static Value null_of(CMPIType type);
    // Borrowed view: object pointers stay valid while this Value lives.
    CMPIData data() const;
    CMPIType type() const { return type_; }

  private:
    void reset();
    void copy_from(const Value &other);
    CMPIType type_ = CMPI_null;
    CMPIValueState state_ = CMPI_nullValue;
    CMPIValue value_{};
};

// Named values in insertion order; names compare without case, as CIM names do.
class NamedValues {
  public:
    void set(const char *name, Value value);
    const Value *find(const char *name) const;
    size_t size() const { return entries_.size(); }
    const std::pair<std::string, Value> &at(size_t index) const { return entries_[index]; }

  private:
    std::vector<std::pair<std::string, Value>> entries_;
};

struct StringImpl : ObjectBase {
    explicit StringImpl(std::string value);
    Cell<CMPIString> cell{};
    CMPIString &enc = cell.enc;
    std::string text;
};

struct ArrayImpl : ObjectBase {
    ArrayImpl(CMPIType elementType, CMPICount size);
    Cell<CMPIArray> cell{};
    CMPIArray &enc = cell.enc;
    CMPIType elementType;
    std::vector<Value> elements;
};

struct ArgsImpl : ObjectBase {
    ArgsImpl();
    Cell<CMPIArgs> cell{};
    CMPIArgs &enc = cell.enc;
    NamedValues args;
};

struct ObjectPathImpl : ObjectBase {
    ObjectPathImpl();
    Cell<CMPIObjectPath> cell{};
    CMPIObjectPath &enc = cell.enc;
    std::string nameSpace, hostName, className;
    NamedValues keys;
};

struct InstanceImpl : ObjectBase {
    InstanceImpl();
    Cell<CMPIInstance> cell{};
    CMPIInstance &enc = cell.enc;
    ObjectPathImpl path;
    NamedValues properties;
    std::vector<std::string> filter; // empty: every property is kept
    bool filtered = false;
};

struct EnumerationImpl : ObjectBase {
    EnumerationImpl();
    Cell<CMPIEnumeration> cell{};
    CMPIEnumeration &enc = cell.enc;
    std::vector<Value> items;
    mutable std::mutex lock;
    mutable size_t cursor = 0;
};

struct ContextImpl : ObjectBase {
    ContextImpl();
    Cell<CMPIContext> cell{};
    CMPIContext &enc = cell.enc;
    mutable std::mutex lock;
    NamedValues entries;
};

struct ResultImpl : ObjectBase {
    ResultImpl();
    Cell<CMPIResult> cell{};
    CMPIResult &enc = cell.enc;
    mutable std::mutex lock;
    std::vector<Value> data;
    bool done = false;
};

struct DateTimeImpl : ObjectBase {
    DateTimeImpl(CMPIUint64 microseconds, bool interval);
    Cell<CMPIDateTime> cell{};
    CMPIDateTime &enc = cell.enc;
    CMPIUint64 microseconds;
    bool interval;
};

// Holds a value returned to a caller so that its objects live as long as the caller's arena.
struct ValueHolder : ObjectBase {
    Value value;
};

// Status helpers.
inline CMPIStatus status_ok() {
    return CMPIStatus{CMPI_RC_OK, nullptr};
}
inline CMPIStatus status_of(CMPIrc rc) {
    return CMPIStatus{rc, nullptr};
}
inline void set_rc(CMPIStatus *rc, CMPIrc code) {
    if (rc) {
        rc->rc = code;
        rc->msg = nullptr;
    }
}
CMPIStatus status_with_text(CMPIrc code, const std::string &text);
inline CMPIData null_data(CMPIValueState state = CMPI_nullValue) {
    CMPIData d{};
    d.type = CMPI_null;
    d.state = state;
    return d;
}

// Factories: new objects, tracked in the current arena unless `track` is false.
StringImpl *make_string(const std::string &text, bool track = true);
ArrayImpl *make_array(CMPIType elementType, CMPICount size, bool track = true);
ArgsImpl *make_args(bool track = true);
ObjectPathImpl *make_path(const char *nameSpace, const char *className, bool track = true);
InstanceImpl *make_instance(const ObjectPathImpl *path, bool track = true);
EnumerationImpl *make_enumeration(std::vector<Value> items, bool track = true);
ContextImpl *make_context(bool track = true);
ResultImpl *make_result(bool track = true);
DateTimeImpl *make_datetime(CMPIUint64 microseconds, bool interval, bool track = true);

// Untracked deep copies.
ArrayImpl *clone_array(const ArrayImpl &array);
ObjectPathImpl *clone_path(const ObjectPathImpl &path);
InstanceImpl *clone_instance(const InstanceImpl &instance);
ArgsImpl *clone_args(const ArgsImpl &args);

CMPIData data_at(const NamedValues &values, CMPICount index, CMPIString **name, CMPIStatus *rc);
CMPIData data_named(const NamedValues &values, const char *name, CMPIStatus *rc);

} // namespace hostsim::detail
