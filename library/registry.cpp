#include "registry.hpp"

#include "unsigned.hpp"
#include "windows-registry.hpp"

namespace Registry {

std::unique_lock<std::recursive_mutex> Exclusive_Use() {
    static std::recursive_mutex the_current_key;
    return std::unique_lock(the_current_key);
}

namespace {

// Set once early in start-up, before the first topic is defined.
struct State {
    Company company = Company::Vornhale;
    std::string application_name;
};

State& The_State() {
    static State state;
    return state;
}

}  // namespace

void Initialise() { The_State() = State{}; }

void Define(Company company, const std::string& application_name) {
    The_State() = State{company, application_name};
}

void Define(const std::string& topic) {
    Windows::Registry::Define_Root(Windows::Registry::Branch::Current_User);
    Windows::Registry::Create_Key(Registry_Key() + topic);
}

void Set(const std::string& name, const std::string& value) {
    Windows::Registry::Create_Entry(name, value);
}

void Set(const std::string& name, const char* value) { Set(name, std::string(value)); }

void Set(const std::string& name, int value) {
    Windows::Registry::Create_Entry(name, Unsigned::Longword_Of(value));
}

void Set(const std::string& name, bool value) {
    Windows::Registry::Create_Entry(name, std::uint32_t{value ? 1u : 0u});
}

std::string Value_Of(const std::string& name, const std::string& default_value) {
    try {
        return Windows::Registry::Text_Of(name);
    } catch (const Failure&) {
        Set(name, default_value);
        return default_value;
    }
}

std::string Value_Of(const std::string& name, const char* default_value) {
    return Value_Of(name, std::string(default_value));
}

int Value_Of(const std::string& name, int default_value) {
    try {
        return Unsigned::To_Integer(Windows::Registry::Number_Of(name));
    } catch (const Failure&) {
        Set(name, default_value);
        return default_value;
    }
}

bool Value_Of(const std::string& name, bool default_value) {
    try {
        return Windows::Registry::Number_Of(name) != 0;
    } catch (const Failure&) {
        Set(name, default_value);
        return default_value;
    }
}

std::string Company_Name() {
    return The_State().company == Company::Harrowgen ? "Harrowgen" : "Vornhale";
}

std::string Registry_Key() {
    return "Software\\" + Company_Name() + "\\" + The_State().application_name;
}

}  // namespace Registry
