#pragma once
// A volume's bytes as the master file table's reader takes them: through one read-only handle
// on the device or image, in whole sectors. What the bytes mean is windows-mft-format's.

#include <windows.h>

#include <cstdint>
#include <string>

#include "windows-mft-format.hpp"
#include "windows-mft.hpp"
#include "windows.hpp"

namespace Windows::Mft {

class Volume_File final : public Volume_Source {
public:
    explicit Volume_File(const std::wstring& path);
    void Read(std::uint64_t offset, std::uint8_t* into, std::size_t length) override;

private:
    Windows::Unique<HANDLE, CloseHandle> handle_;
};

}  // namespace Windows::Mft
