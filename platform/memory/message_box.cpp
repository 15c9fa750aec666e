// The message box of the memory platform: remembered instead of shown. (The progress window is the
// native build's inert one.)
#include "platform/memory/memory_platform.h"

#include <cstring>

char memory_message_text[1024];
int memory_messages_shown;

int MessageBoxA(HWND, LPCSTR text, LPCSTR, UINT) {
    const char* source = text ? text : "";
    std::size_t length = std::strlen(source);
    if (length >= sizeof memory_message_text) length = sizeof memory_message_text - 1;
    std::memcpy(memory_message_text, source, length);
    memory_message_text[length] = '\0';
    ++memory_messages_shown;
    return 1;
}
