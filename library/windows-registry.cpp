#include "windows-registry.hpp"

#include <windows.h>

#include <cstring>
#include <mutex>
#include <utility>

namespace Windows::Registry {

namespace {

// Query, set, create subkey, enumerate, notify, delete and read-control.
constexpr REGSAM Access_Mask = 0x3001F;

bool Is_Predefined(HKEY key) { return key == HKEY_CURRENT_USER || key == HKEY_LOCAL_MACHINE; }

// An open key; the predefined roots belong to the platform and are never closed.
class Key {
public:
    explicit Key(HKEY handle) : handle_(handle) {}
    Key(const Key&) = delete;
    Key& operator=(const Key&) = delete;
    Key(Key&& other) noexcept : handle_(std::exchange(other.handle_, nullptr)) {}
    Key& operator=(Key&& other) noexcept {
        if (this != &other) {
            Close();
            handle_ = std::exchange(other.handle_, nullptr);
        }
        return *this;
    }
    ~Key() { Close(); }

    HKEY Handle() const { return handle_; }

private:
    void Close() {
        if (handle_ != nullptr && !Is_Predefined(handle_)) RegCloseKey(handle_);
        handle_ = nullptr;
    }

    HKEY handle_;
};

// All registry work is meant to come from one thread at a time; the lock only keeps a
// stray concurrent call from closing a handle another call is using.
struct State {
    std::mutex mutex;
    HKEY root = HKEY_CURRENT_USER;
    Key current{HKEY_CURRENT_USER};
};

State& The_State() {
    static State state;
    return state;
}

HKEY Root_Of(Branch branch) {
    switch (branch) {
        case Branch::Current_User: return HKEY_CURRENT_USER;
        case Branch::Local_Machine: return HKEY_LOCAL_MACHINE;
    }
    throw Constraint_Error("registry branch " + std::to_string(static_cast<int>(branch)));
}

// A machine-wide key may refuse write access to an ordinary user; reading it is still
// worth doing, so such a key is opened for reading only.
LONG Open_Key(HKEY root, const std::string& path, HKEY& key) {
    LONG result = RegOpenKeyExA(root, path.c_str(), 0, Access_Mask, &key);
    if (result == ERROR_ACCESS_DENIED) result = RegOpenKeyExA(root, path.c_str(), 0, KEY_READ, &key);
    return result;
}

void Make_Current(State& state, const std::string& path) {
    HKEY key = nullptr;
    if (Open_Key(state.root, path, key) != ERROR_SUCCESS) throw Key_Not_Found(path);
    state.current = Key(key);
}

void Set_Value(const std::string& name, DWORD type, const void* data, DWORD size) {
    State& state = The_State();
    std::lock_guard lock(state.mutex);
    if (RegSetValueExA(state.current.Handle(), name.c_str(), 0, type,
                       static_cast<const BYTE*>(data), size) != ERROR_SUCCESS) {
        throw Entry_Creation_Failure(name);
    }
}

}  // namespace

void Initialise() {
    State& state = The_State();
    std::lock_guard lock(state.mutex);
    state.root = HKEY_CURRENT_USER;
    state.current = Key(HKEY_CURRENT_USER);
}

void Define_Root(Branch branch) {
    State& state = The_State();
    std::lock_guard lock(state.mutex);
    state.root = Root_Of(branch);
    Make_Current(state, "");
}

void Set_Current_Key(const std::string& path) {
    State& state = The_State();
    std::lock_guard lock(state.mutex);
    Make_Current(state, path);
}

void Create_Key(const std::string& path) {
    State& state = The_State();
    std::lock_guard lock(state.mutex);
    HKEY key = nullptr;
    if (RegCreateKeyExA(state.root, path.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                        Access_Mask, nullptr, &key, nullptr) != ERROR_SUCCESS) {
        throw Key_Creation_Failure(path);
    }
    state.current = Key(key);
}

void Create_Entry(const std::string& name, std::uint32_t value) {
    DWORD data = value;
    Set_Value(name, REG_DWORD, &data, sizeof data);
}

void Create_Entry(const std::string& name, const std::string& value) {
    Set_Value(name, REG_SZ, value.c_str(), static_cast<DWORD>(value.size() + 1));
}

std::uint32_t Number_Of(const std::string& name) {
    State& state = The_State();
    std::lock_guard lock(state.mutex);
    DWORD type = 0;
    DWORD data = 0;
    DWORD size = sizeof data;
    LONG result = RegQueryValueExA(state.current.Handle(), name.c_str(), nullptr, &type,
                                   reinterpret_cast<BYTE*>(&data), &size);
    // A longer value of another type does not fit the buffer either, but it is there.
    bool is_present = result == ERROR_SUCCESS || result == ERROR_MORE_DATA;
    if (is_present && type != REG_DWORD) throw Wrong_Type(name);
    if (result != ERROR_SUCCESS) throw Entry_Not_Found(name);
    if (size != sizeof data) throw Wrong_Type(name);
    return data;
}

std::string Text_Of(const std::string& name) {
    State& state = The_State();
    std::lock_guard lock(state.mutex);
    DWORD type = 0;
    char data[String_Buffer_Size];
    DWORD size = sizeof data;
    LONG result = RegQueryValueExA(state.current.Handle(), name.c_str(), nullptr, &type,
                                   reinterpret_cast<BYTE*>(data), &size);
    if (result == ERROR_MORE_DATA) throw Overflow(name);
    if (result != ERROR_SUCCESS) throw Entry_Not_Found(name);
    if (type != REG_SZ) throw Wrong_Type(name);
    // A value stored without its NUL is taken as it is.
    return std::string(data, strnlen(data, size));
}

}  // namespace Windows::Registry
