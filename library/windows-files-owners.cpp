// The owners: one cache entry per account, found by hashing its SID's bytes, so that a scan
// or a volume of a hundred thousand accounts costs no more per owner than one of ten.
#include <algorithm>
#include <deque>
#include <mutex>
#include <string_view>
#include <unordered_map>

#include "windows-files.hpp"

namespace Windows::Files {

namespace {

constexpr DWORD Security_Descriptor_Size = 120;
constexpr DWORD Account_Name_Length = 50;

const std::wstring No_Name;

// The bare account name; empty when the platform cannot name it.
std::wstring Account_Name_Of(PSID sid) {
    std::wstring name(Account_Name_Length, L'\0');
    std::wstring domain(Account_Name_Length, L'\0');
    for (int attempt = 0; attempt < 2; ++attempt) {
        DWORD name_length = static_cast<DWORD>(name.size());
        DWORD domain_length = static_cast<DWORD>(domain.size());
        SID_NAME_USE use;
        if (LookupAccountSidW(nullptr, sid, name.data(), &name_length, domain.data(),
                              &domain_length, &use)) {
            name.resize(name_length);
            return name;
        }
        if (GetLastError() != ERROR_INSUFFICIENT_BUFFER) break;
        // Longer than the usual buffer: the platform has told the lengths it needs.
        name.resize(std::max<DWORD>(name_length, name.size()));
        domain.resize(std::max<DWORD>(domain_length, domain.size()));
    }
    return {};
}

bool Is_Storable(PSID sid) {
    return sid != nullptr && IsValidSid(sid) && GetLengthSid(sid) <= sizeof(Sid_Body::Nt_Sid);
}

std::string_view Key_Of(PSID sid) { return {static_cast<const char*>(sid), GetLengthSid(sid)}; }

// Every owner met, under one guard. A name a scan saved stays with that scan's owners, but a
// live search never takes it: the platform names each SID it reports afresh, and a scan read
// after that takes the platform's name too.
class Owner_Cache {
public:
    Owner Named_By_Platform(PSID sid) {
        std::lock_guard lock(guard_);
        if (const Sid_Body* known = Found(named_by_platform_, Key_Of(sid))) return known;
        return Added(named_by_platform_, sid, Account_Name_Of(sid));
    }

    Owner Named_By_Scan(PSID sid, const std::wstring& image) {
        std::lock_guard lock(guard_);
        if (const Sid_Body* known = Found(named_by_platform_, Key_Of(sid))) return known;
        if (const Sid_Body* known = Found(named_by_scans_, Key_Of(sid))) return known;
        return Added(named_by_scans_, sid, image);
    }

private:
    // Keyed by views of the entries' own SIDs, which stay where they were made.
    using Index = std::unordered_map<std::string_view, const Sid_Body*>;

    static const Sid_Body* Found(const Index& index, std::string_view key) {
        const auto found = index.find(key);
        return found == index.end() ? nullptr : found->second;
    }

    const Sid_Body* Added(Index& index, PSID sid, std::wstring image) {
        Sid_Body& entry = entries_.emplace_back();
        CopySid(sizeof entry.Nt_Sid, entry.Nt_Sid, sid);
        entry.Image = std::move(image);
        index.emplace(Key_Of(entry.Nt_Sid), &entry);
        return &entry;
    }

    std::mutex guard_;
    std::deque<Sid_Body> entries_;
    Index named_by_platform_;
    Index named_by_scans_;
};

Owner_Cache& Known_Owners() {
    static Owner_Cache cache;
    return cache;
}

// The cache entry for the owner a security descriptor names.
Owner Known_Owner_For(void* descriptor) {
    PSID sid = nullptr;
    BOOL is_defaulted = FALSE;
    if (!GetSecurityDescriptorOwner(descriptor, &sid, &is_defaulted) || !Is_Storable(sid))
        return nullptr;
    return Known_Owners().Named_By_Platform(sid);
}

// A SID given as bytes (from a scan file or a volume) in storage of its own; false when the
// bytes are not a valid SID. Checked within the bytes given before the platform reads the
// SID's own length.
bool Copied_Sid(std::basic_string_view<std::uint8_t> sid_bytes, std::uint8_t (&copy)[sizeof(Sid_Body::Nt_Sid)]) {
    constexpr std::size_t Fixed_Part = 8;
    if (sid_bytes.size() < Fixed_Part || sid_bytes.size() > sizeof copy ||
        sid_bytes.size() != Fixed_Part + 4 * std::size_t{sid_bytes[1]})
        return false;
    std::copy(sid_bytes.begin(), sid_bytes.end(), copy);
    return Is_Storable(copy);
}

}  // namespace

Owner Owner_Of(HANDLE file) {
    alignas(8) std::uint8_t descriptor[Security_Descriptor_Size]{};
    DWORD needed = 0;
    if (!GetKernelObjectSecurity(file, OWNER_SECURITY_INFORMATION, descriptor,
                                 Security_Descriptor_Size, &needed))
        return nullptr;
    return Known_Owner_For(descriptor);
}

Owner Owner_Of(const std::wstring& filename) {
    alignas(8) std::uint8_t descriptor[Security_Descriptor_Size]{};
    DWORD needed = 0;
    if (!GetFileSecurityW(Long_Path_Form(filename).c_str(), OWNER_SECURITY_INFORMATION,
                          descriptor, Security_Descriptor_Size, &needed))
        return nullptr;
    return Known_Owner_For(descriptor);
}

bool Is_Unknown(Owner the_sid) { return the_sid == nullptr; }

const std::wstring& Image_Of(Owner the_sid) { return the_sid == nullptr ? No_Name : the_sid->Image; }

std::basic_string_view<std::uint8_t> Sid_Bytes_Of(Owner the_sid) {
    if (the_sid == nullptr) return {};
    return {the_sid->Nt_Sid, GetLengthSid(const_cast<std::uint8_t*>(the_sid->Nt_Sid))};
}

Owner Owner_With_Sid(std::basic_string_view<std::uint8_t> sid_bytes, const std::wstring& image) {
    std::uint8_t copy[sizeof(Sid_Body::Nt_Sid)]{};
    return Copied_Sid(sid_bytes, copy) ? Known_Owners().Named_By_Scan(copy, image) : nullptr;
}

Owner Owner_With_Sid(std::basic_string_view<std::uint8_t> sid_bytes) {
    std::uint8_t copy[sizeof(Sid_Body::Nt_Sid)]{};
    return Copied_Sid(sid_bytes, copy) ? Known_Owners().Named_By_Platform(copy) : nullptr;
}

}  // namespace Windows::Files
