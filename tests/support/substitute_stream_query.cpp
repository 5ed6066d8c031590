#include "substitute_stream_query.hpp"

#include <algorithm>
#include <cstring>

namespace Files = Windows::Files;

std::vector<unsigned char> Stream_Buffer_Of(const std::vector<Scripted_Stream>& streams) {
    constexpr std::size_t header = offsetof(Files::File_Stream_Information, Name);
    std::vector<unsigned char> buffer;
    std::size_t previous = 0;
    for (std::size_t index = 0; index < streams.size(); ++index) {
        std::size_t offset = (buffer.size() + 7) / 8 * 8;
        if (index > 0) {
            auto distance = static_cast<std::int32_t>(offset - previous);
            std::memcpy(buffer.data() + previous, &distance, 4);
        }
        const Scripted_Stream& stream = streams[index];
        auto name_length = static_cast<std::int32_t>(stream.Name.size() * 2);
        buffer.resize(offset + header + stream.Name.size() * 2, 0);
        std::int32_t last = 0;
        std::memcpy(buffer.data() + offset, &last, 4);
        std::memcpy(buffer.data() + offset + 4, &name_length, 4);
        std::memcpy(buffer.data() + offset + 8, &stream.Size, 8);
        std::memcpy(buffer.data() + offset + 16, &stream.Size, 8);
        std::memcpy(buffer.data() + offset + header, stream.Name.data(), stream.Name.size() * 2);
        previous = offset;
    }
    return buffer;
}

namespace {

std::wstring Path_Of(HANDLE file) {
    std::wstring path(32768, L'\0');
    DWORD length = GetFinalPathNameByHandleW(file, path.data(), static_cast<DWORD>(path.size()), 0);
    path.resize(length < path.size() ? length : 0);
    return path;
}

std::int32_t WINAPI Scripted_Query(HANDLE file, Files::Io_Status_Block* status, void* buffer,
                                   std::uint32_t length, std::int32_t information_class) {
    ++Substitute_Stream_Query::Calls;
    if (Substitute_Stream_Query::On_Query) Substitute_Stream_Query::On_Query();
    if (information_class != Files::File_Stream_Information_Class) return -1;
    const auto script = Substitute_Stream_Query::Buffer_For
                            ? Substitute_Stream_Query::Buffer_For(Path_Of(file))
                            : Substitute_Stream_Query::Buffer;
    std::memcpy(buffer, script.data(), std::min<std::size_t>(script.size(), length));
    status->Status = Substitute_Stream_Query::Status;
    status->Information = std::min<std::size_t>(script.size(), length);
    return Substitute_Stream_Query::Status;
}

}  // namespace

Substitute_Stream_Query::Substitute_Stream_Query() : saved_(Files::Nt_Query_Information_File) {
    Buffer.clear();
    Status = 0;
    Calls = 0;
    On_Query = nullptr;
    Buffer_For = nullptr;
    Files::Nt_Query_Information_File = Scripted_Query;
}

Substitute_Stream_Query::~Substitute_Stream_Query() {
    Files::Nt_Query_Information_File = saved_;
    On_Query = nullptr;
    Buffer_For = nullptr;
}
