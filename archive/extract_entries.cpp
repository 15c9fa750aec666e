#include "archive/extract_entries.h"

#include "archive/entry_walk.h"
#include "archive/extract_sink.h"
#include "archive/format.h"
#include "archive/output_files.h"
#include "archive/unpack_entry.h"
#include "payload/keystream.h"
#include "platform/win32.h"

#include <cstdlib>
#include <cstring>

const char* entry_base_name(const char* name, int length) {
    const char* base = name;
    for (int i = 0; i < length; ++i) {
        if (name[i] == '\\' || name[i] == '/') base = name + i + 1;
    }
    return base;
}

namespace {

// Lists a file that now exists. When the node cannot be had, the file is closed and removed at
// once, since nothing else would ever delete it.
bool list_created_file(const char* path, int path_length) {
    auto* node = static_cast<CreatedFile*>(std::malloc(sizeof(CreatedFile)));
    char* copy = static_cast<char*>(std::malloc(static_cast<std::size_t>(path_length) + 1));
    if (!node || !copy) {
        std::free(node);
        std::free(copy);
        CloseHandle(output_handle);
        output_handle = INVALID_HANDLE_VALUE;
        DeleteFileA(path);
        return false;
    }
    lstrcpyA(copy, path);
    node->path = copy;
    node->next = created_files;
    created_files = node;
    return true;
}

// Creates temp_dir plus the entry's base name for a later entry and lists it. Fails when the name
// has no NUL inside the payload, the path does not fit its buffer, or the file cannot be made.
bool create_entry_file(const unsigned char* image, std::uint32_t payload_length,
                       const EntryHeader& header) {
    const int name_length = entry_name_length(image, payload_length, header);
    if (name_length < 0) return false;
    const char* name = reinterpret_cast<const char*>(image + header.name_position);
    const char* base = entry_base_name(name, name_length);
    const int base_length = name_length - static_cast<int>(base - name);
    const int dir_length = lstrlenA(temp_dir);
    if (dir_length + base_length + 1 > static_cast<int>(path_buffer_size)) return false;

    char path[path_buffer_size];
    lstrcpyA(path, temp_dir);
    lstrcatA(path, base);
    output_handle = CreateFileA(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                FILE_ATTRIBUTE_ARCHIVE, nullptr);
    if (output_handle == INVALID_HANDLE_VALUE) return false;
    return list_created_file(path, dir_length + base_length);
}

// Writes the sink's bytes with one call; a failed or short write fails the entry.
bool write_sink() {
    DWORD written = 0;
    const BOOL ok =
        WriteFile(output_handle, extract_sink.buffer, extract_sink.count, &written, nullptr);
    return ok && written == extract_sink.count;
}

// The DOS date and time, read as UTC, become all three file times; a rejected one changes nothing.
void set_entry_times(const EntryHeader& header) {
    FILETIME time;
    if (DosDateTimeToFileTime(static_cast<WORD>(header.dos_time >> 16),
                              static_cast<WORD>(header.dos_time & 0xFFFF), &time)) {
        SetFileTime(output_handle, &time, &time, &time);
    }
}

} // namespace

int extract_entries(unsigned char* image, std::uint32_t payload_length) {
    const std::uint32_t archive_end = find_archive_end(image, payload_length);
    restore_tail(image, payload_length, archive_end);
    const unsigned char* tail = image + archive_end;
    const std::uint32_t tail_length = payload_length - archive_end;

    if (!header_id_at(image, payload_length, 0)) return 0;
    bool first = true;
    std::uint32_t p = 0;
    for (;;) {
        EntryHeader header;
        if (!read_entry_header(image, payload_length, archive_end, p, &header)) return 0;
        if (!first && !create_entry_file(image, payload_length, header)) return 0;

        if (!unpack_entry(image, header, tail, tail_length)) return 0;
        const bool written = write_sink();
        release_sink();
        if (!written) return 0;
        if (!sink_matches_crc(header)) return 0;
        set_entry_times(header);

        if (!entry_follows(image, payload_length, header.next)) return 1;
        CloseHandle(output_handle);
        output_handle = INVALID_HANDLE_VALUE;
        first = false;
        p = header.next;
    }
}
