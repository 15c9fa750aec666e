#include "archive/output_files.h"

#include <cstdlib>

char temp_dir[path_buffer_size];
HANDLE output_handle = INVALID_HANDLE_VALUE;
CreatedFile* created_files = nullptr;

namespace {
CreatedFile* pop_created_file() {
    CreatedFile* head = created_files;
    created_files = head->next;
    return head;
}

void release_node(CreatedFile* node) {
    std::free(node->path);
    std::free(node);
}
} // namespace

void delete_created_files() {
    while (created_files) {
        CreatedFile* node = pop_created_file();
        DeleteFileA(node->path);
        release_node(node);
    }
}

void forget_created_files() {
    while (created_files) release_node(pop_created_file());
}
