// The file bookkeeping that the launcher run and the extraction share.
#pragma once

#include "archive/format.h"
#include "platform/win32.h"

// The temporary directory as the platform gives it, with its trailing separator. Extraction puts
// the later entries' files here.
extern char temp_dir[path_buffer_size];

// The file being written: the temporary program file first, then each later entry's file;
// INVALID_HANDLE_VALUE when none is open.
extern HANDLE output_handle;

// The files made for the entries after the first, newest first, each with a heap copy of its path.
struct CreatedFile {
    CreatedFile* next;
    char* path;
};
extern CreatedFile* created_files;

// Deletes every listed file, newest first, and empties the list. Results are not examined.
void delete_created_files();

// Empties the list and leaves the files in place (for callers that keep what was extracted).
void forget_created_files();
