// The progress window: the modeless "Setup" dialog (template IDD_PROGRESS) with the icon group
// IDI_SETUP, shown while the payload is unpacked. Nothing services it: no message loop runs.
#pragma once

#include "platform/win32.h"

// Resource ids, shared with resources/sfxstub.rc.
#include "resources/resource_ids.h"

// Accepts the dialog's initialisation (TRUE for WM_INITDIALOG, so that the platform sets the
// focus) and leaves every other message to the default dialog handling (FALSE).
INT_PTR CALLBACK progress_dialog_proc(HWND window, UINT message, WPARAM wparam, LPARAM lparam);
