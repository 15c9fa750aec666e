// Files kept in memory: a fixed table of files and one of handles, each handle with its own
// position and access. See memory_platform.h for the semantics.
#include "platform/memory/memory_platform.h"

#include <cstdlib>
#include <cstring>

MemoryFile memory_files[memory_file_limit];
MemoryStats memory_stats;
MemoryOpenRecord memory_open_log[memory_log_limit];
MemoryWriteRecord memory_write_log[memory_log_limit];
int memory_open_log_count;
int memory_write_log_count;

namespace {

struct MemoryHandle {
    bool used;
    int file;
    std::uint32_t position;
    bool can_read;
    bool can_write;
};

MemoryHandle handles[memory_handle_limit];
char directories[memory_directory_limit][memory_path_size];
int directory_count;
int fault_call;
MemoryFaultMode fault_mode;

// Handle values are small numbers well away from null and INVALID_HANDLE_VALUE.
constexpr std::intptr_t handle_base = 0x4D00;

HANDLE handle_value(int index) {
    return reinterpret_cast<HANDLE>(handle_base + index);
}

MemoryHandle* handle_of(HANDLE handle) {
    const std::intptr_t index = reinterpret_cast<std::intptr_t>(handle) - handle_base;
    if (index < 0 || index >= memory_handle_limit || !handles[index].used) {
        ++memory_stats.bad_handle_calls;
        return nullptr;
    }
    return &handles[index];
}

// True when the planned fault falls on this call; every fallible call counts.
bool fault_now() {
    ++memory_stats.fallible_calls;
    if (fault_call == 0 || memory_stats.fallible_calls != fault_call) return false;
    memory_stats.fault_hit = true;
    return true;
}

bool is_directory(const char* normalised) {
    if (std::strcmp(normalised, "/") == 0) return true;
    for (int i = 0; i < directory_count; ++i) {
        if (std::strcmp(directories[i], normalised) == 0) return true;
    }
    return false;
}

int find_linked(const char* normalised) {
    for (int i = 0; i < memory_file_limit; ++i) {
        if (memory_files[i].used && memory_files[i].linked &&
            std::strcmp(memory_files[i].path, normalised) == 0) {
            return i;
        }
    }
    return -1;
}

int new_file(const char* normalised) {
    for (int i = 0; i < memory_file_limit; ++i) {
        if (!memory_files[i].used) {
            MemoryFile& file = memory_files[i];
            std::memcpy(file.path, normalised, std::strlen(normalised) + 1);
            file.used = true;
            file.linked = true;
            file.bytes = nullptr;
            file.size = 0;
            file.capacity = 0;
            file.open_handles = 0;
            file.times_set = false;
            file.creation_time = file.access_time = file.write_time = FILETIME{0, 0};
            return i;
        }
    }
    return -1;
}

void release_file(int index) {
    std::free(memory_files[index].bytes);
    memory_files[index].bytes = nullptr;
    memory_files[index].used = false;
}

// Room for size bytes; false (nothing changed) when it cannot be had.
bool reserve(MemoryFile& file, std::uint64_t size) {
    if (size > 0xFFFFFFFFu) return false;
    if (size <= file.capacity) return true;
    std::uint64_t capacity = file.capacity ? file.capacity : 64;
    while (capacity < size) capacity *= 2;
    if (capacity > 0xFFFFFFFFu) capacity = size;
    auto* bytes = static_cast<unsigned char*>(std::realloc(file.bytes, capacity));
    if (!bytes) return false;
    file.bytes = bytes;
    file.capacity = static_cast<std::uint32_t>(capacity);
    return true;
}

void close_index(int index) {
    MemoryHandle& handle = handles[index];
    handle.used = false;
    MemoryFile& file = memory_files[handle.file];
    --file.open_handles;
    if (!file.linked && file.open_handles == 0) release_file(handle.file);
}

} // namespace

bool memory_normalise_path(const char* path, char* out) {
    if (!path || !*path) return false;
    const std::size_t length = std::strlen(path);
    if (length >= static_cast<std::size_t>(memory_path_size)) return false;
    // A relative path starts at the root: the memory platform has no other current directory.
    std::size_t out_length = 0;
    out[out_length++] = '/';
    out[out_length] = '\0';
    std::size_t i = 0;
    bool last_was_name = false;
    while (i < length) {
        while (i < length && path[i] == '/') ++i;
        if (i == length) {
            last_was_name = false; // a trailing separator: the path names a directory
            break;
        }
        const std::size_t start = i;
        while (i < length && path[i] != '/') ++i;
        const std::size_t name_length = i - start;
        if (name_length > static_cast<std::size_t>(memory_name_limit)) return false;
        // Every component before this one must have named a directory.
        if (!is_directory(out)) return false;
        if (name_length == 1 && path[start] == '.') {
            last_was_name = false;
            continue;
        }
        if (name_length == 2 && path[start] == '.' && path[start + 1] == '.') {
            while (out_length > 1 && out[out_length - 1] != '/') --out_length;
            if (out_length > 1) --out_length; // the separator before the dropped name
            out[out_length] = '\0';
            last_was_name = false;
            continue;
        }
        if (out_length > 1) out[out_length++] = '/';
        std::memcpy(out + out_length, path + start, name_length);
        out_length += name_length;
        out[out_length] = '\0';
        last_was_name = true;
    }
    return last_was_name && !is_directory(out);
}

void memory_reset() {
    for (int i = 0; i < memory_handle_limit; ++i) handles[i].used = false;
    for (int i = 0; i < memory_file_limit; ++i) {
        if (memory_files[i].used) release_file(i);
    }
    directory_count = 0;
    memory_open_log_count = 0;
    memory_write_log_count = 0;
    std::memset(&memory_stats, 0, sizeof memory_stats);
    fault_call = 0;
    fault_mode = memory_fault_fail;
    memory_started_application[0] = '\0';
    memory_started_directory[0] = '\0';
    memory_processes_started = 0;
    memory_message_text[0] = '\0';
    memory_messages_shown = 0;
    memory_slept = 0;
}

bool memory_add_directory(const char* path) {
    if (directory_count == memory_directory_limit) return false;
    const std::size_t length = std::strlen(path);
    if (length >= static_cast<std::size_t>(memory_path_size)) return false;
    std::memcpy(directories[directory_count++], path, length + 1);
    return true;
}

bool memory_put_file(const char* path, const unsigned char* bytes, std::uint32_t size) {
    char normalised[memory_path_size];
    if (!memory_normalise_path(path, normalised)) return false;
    int index = find_linked(normalised);
    if (index < 0) index = new_file(normalised);
    if (index < 0) return false;
    MemoryFile& file = memory_files[index];
    if (!reserve(file, size)) return false;
    if (size) std::memcpy(file.bytes, bytes, size);
    file.size = size;
    return true;
}

const MemoryFile* memory_find_file(const char* path) {
    char normalised[memory_path_size];
    if (!memory_normalise_path(path, normalised)) return nullptr;
    const int index = find_linked(normalised);
    return index < 0 ? nullptr : &memory_files[index];
}

int memory_open_handle_count() {
    int count = 0;
    for (int i = 0; i < memory_handle_limit; ++i) count += handles[i].used ? 1 : 0;
    return count;
}

int memory_handle_file(HANDLE handle) {
    const std::intptr_t index = reinterpret_cast<std::intptr_t>(handle) - handle_base;
    if (index < 0 || index >= memory_handle_limit || !handles[index].used) return -1;
    return handles[index].file;
}

void memory_plan_fault(int call, MemoryFaultMode mode) {
    fault_call = memory_stats.fallible_calls + call;
    fault_mode = mode;
}

HANDLE CreateFileA(LPCSTR path, DWORD access, DWORD, LPSECURITY_ATTRIBUTES, DWORD disposition,
                   DWORD, HANDLE) {
    if (fault_now()) return INVALID_HANDLE_VALUE;
    if (disposition != CREATE_NEW && disposition != CREATE_ALWAYS && disposition != OPEN_EXISTING)
        return INVALID_HANDLE_VALUE;
    char normalised[memory_path_size];
    if (!memory_normalise_path(path, normalised)) return INVALID_HANDLE_VALUE;

    int slot = -1;
    for (int i = 0; i < memory_handle_limit && slot < 0; ++i) {
        if (!handles[i].used) slot = i;
    }
    if (slot < 0) return INVALID_HANDLE_VALUE;

    int index = find_linked(normalised);
    if (index >= 0 && disposition == CREATE_NEW) return INVALID_HANDLE_VALUE;
    if (index < 0 && disposition == OPEN_EXISTING) return INVALID_HANDLE_VALUE;
    if (index < 0) {
        index = new_file(normalised);
        if (index < 0) return INVALID_HANDLE_VALUE;
        ++memory_stats.creates;
    } else if (disposition == CREATE_ALWAYS) {
        memory_files[index].size = 0;
    }
    MemoryFile& file = memory_files[index];
    if (file.open_handles > 0) ++memory_stats.open_conflicts;
    ++file.open_handles;
    handles[slot] =
        MemoryHandle{true, index, 0, (access & GENERIC_READ) != 0, (access & GENERIC_WRITE) != 0};
    ++memory_stats.opens;
    if (memory_open_log_count < memory_log_limit) {
        MemoryOpenRecord& record = memory_open_log[memory_open_log_count++];
        std::memcpy(record.requested, path, std::strlen(path) + 1);
        record.file = index;
        record.disposition = disposition;
    }
    return handle_value(slot);
}

DWORD GetFileSize(HANDLE file, LPDWORD high) {
    if (fault_now()) return INVALID_FILE_SIZE;
    MemoryHandle* handle = handle_of(file);
    if (!handle) return INVALID_FILE_SIZE;
    if (high) *high = 0;
    return memory_files[handle->file].size;
}

DWORD SetFilePointer(HANDLE file, LONG distance, PLONG distance_high, DWORD method) {
    if (fault_now()) return INVALID_SET_FILE_POINTER;
    MemoryHandle* handle = handle_of(file);
    if (!handle || method != FILE_BEGIN) return INVALID_SET_FILE_POINTER;
    if (distance_high && *distance_high != 0) return INVALID_SET_FILE_POINTER;
    handle->position = static_cast<DWORD>(distance);
    return handle->position;
}

BOOL ReadFile(HANDLE file, LPVOID buffer, DWORD count, LPDWORD read_count, void*) {
    if (read_count) *read_count = 0;
    const bool fault = fault_now();
    if (fault && fault_mode == memory_fault_fail) return FALSE;
    MemoryHandle* handle = handle_of(file);
    if (!handle || !handle->can_read) return FALSE;
    const MemoryFile& source = memory_files[handle->file];
    DWORD available = handle->position < source.size ? source.size - handle->position : 0;
    DWORD done = count < available ? count : available;
    if (fault) {
        if (done == 0) return FALSE;
        --done;
    }
    if (done) std::memcpy(buffer, source.bytes + handle->position, done);
    handle->position += done;
    if (read_count) *read_count = done;
    return TRUE;
}

BOOL WriteFile(HANDLE file, LPCVOID buffer, DWORD count, LPDWORD written, void*) {
    if (written) *written = 0;
    const bool fault = fault_now();
    MemoryHandle* handle = handle_of(file);
    if (!handle) return FALSE;
    ++memory_stats.writes;
    MemoryWriteRecord* record = nullptr;
    if (memory_write_log_count < memory_log_limit) {
        record = &memory_write_log[memory_write_log_count++];
        *record = MemoryWriteRecord{handle->file, handle->position, count, 0};
    }
    if (fault && fault_mode == memory_fault_fail) return FALSE;
    if (!handle->can_write) return FALSE;
    if (fault && count == 0) return FALSE;
    const DWORD done = fault ? count - 1 : count;
    MemoryFile& target = memory_files[handle->file];
    const std::uint64_t end = static_cast<std::uint64_t>(handle->position) + done;
    if (!reserve(target, end)) return FALSE;
    if (handle->position > target.size) {
        std::memset(target.bytes + target.size, 0, handle->position - target.size);
    }
    if (done) std::memcpy(target.bytes + handle->position, buffer, done);
    handle->position += done;
    if (handle->position > target.size) target.size = handle->position;
    if (record) record->written = done;
    if (written) *written = done;
    return TRUE;
}

BOOL CloseHandle(HANDLE handle) {
    if (!handle_of(handle)) return FALSE;
    close_index(static_cast<int>(reinterpret_cast<std::intptr_t>(handle) - handle_base));
    return TRUE;
}

BOOL DeleteFileA(LPCSTR path) {
    char normalised[memory_path_size];
    if (!memory_normalise_path(path, normalised)) return FALSE;
    const int index = find_linked(normalised);
    if (index < 0) return FALSE;
    MemoryFile& file = memory_files[index];
    if (file.open_handles > 0) {
        ++memory_stats.deletes_while_open;
        file.linked = false;
        return TRUE;
    }
    release_file(index);
    return TRUE;
}

BOOL SetFileTime(HANDLE file, const FILETIME* creation, const FILETIME* access,
                 const FILETIME* write) {
    MemoryHandle* handle = handle_of(file);
    if (!handle) return FALSE;
    MemoryFile& target = memory_files[handle->file];
    if (creation) target.creation_time = *creation;
    if (access) target.access_time = *access;
    if (write) target.write_time = *write;
    target.times_set = true;
    return TRUE;
}
